#pragma once
// For the tests of a control library: loads it as the host does and checks that
// its metadata names the class and the file. Returns why it failed, or nothing.
#include "ControlFactory.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QPluginLoader>

inline QString loadControlLibrary(QPluginLoader &loader, const QString &path, const QString &className,
                                  ControlFactory **factory)
{
    loader.setFileName(path);
    *factory = qobject_cast<ControlFactory *>(loader.instance());
    if (!*factory)
        return QStringLiteral("%1 is no control library: %2").arg(path, loader.errorString());
    const QJsonObject meta = loader.metaData().value(QLatin1String("MetaData")).toObject();
    if (!meta.value(QLatin1String("classes")).toArray().contains(className))
        return QStringLiteral("%1 does not declare %2").arg(path, className);
    if (meta.value(QLatin1String("OriginalFilename")).toString() != QFileInfo(path).fileName())
        return QStringLiteral("%1 carries another OriginalFilename").arg(path);
    return QString();
}
