// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/controls/ControlHost.h"

#include "ControlContract.h"
#include "ControlFactory.h"
#include "core/common/Folders.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QPluginLoader>

ControlHost::ControlHost(const QString &systemDir) : m_systemDir(systemDir) {}

ControlHost::~ControlHost()
{
    // Libraries stay mapped: instances created from them may outlive the host.
    qDeleteAll(m_loaders);
}

ControlHost &ControlHost::instance()
{
    static ControlHost host(Folders::systemDir());
    return host;
}

bool ControlHost::scanNext()
{
    if (!m_listed) {
        m_listed = true;
        QDir dir(m_systemDir);
        for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
            if (name.endsWith(PluginMeta::LibrarySuffix, Qt::CaseInsensitive))
                m_files << dir.filePath(name);
        }
    }
    if (m_nextFile >= m_files.size())
        return false;
    const QString path = m_files.at(m_nextFile++);
    QPluginLoader probe(path);
    const QJsonObject meta = probe.metaData().value(PluginMeta::Root).toObject();
    const QJsonArray classes = meta.value(PluginMeta::Classes).toArray();
    for (const auto &cls : classes) {
        const QString key = cls.toString().toLower();
        if (!key.isEmpty() && !m_fileOfClass.contains(key))
            m_fileOfClass.insert(key, path);
    }
    return true;
}

QString ControlHost::fileOf(const QString &className)
{
    // The libraries' metadata is read in name order only as far as needed:
    // the first library that names a class provides it.
    const QString key = className.toLower();
    while (!m_fileOfClass.contains(key)) {
        if (!scanNext())
            return QString();
    }
    return m_fileOfClass.value(key);
}

QObject *ControlHost::create(const QString &className, QWidget *parent, QString *error)
{
    const QString file = fileOf(className);
    if (file.isEmpty()) {
        if (error)
            *error = QStringLiteral("No control library in %1 provides the class %2.")
                             .arg(QDir::toNativeSeparators(m_systemDir), className);
        return nullptr;
    }
    return createFromPath(file, className, parent, error);
}

QObject *ControlHost::createFrom(const QString &fileName, const QString &className, QWidget *parent, QString *error)
{
    return createFromPath(QDir(m_systemDir).filePath(fileName), className, parent, error);
}

QObject *ControlHost::createFromPath(const QString &path, const QString &className, QWidget *parent, QString *error)
{
    QPluginLoader *loader = m_loaders.value(path);
    if (!loader) {
        loader = new QPluginLoader(path);
        loader->setLoadHints(QLibrary::PreventUnloadHint);
        m_loaders.insert(path, loader);
    }
    QObject *root = loader->instance();
    auto *factory = qobject_cast<ControlFactory *>(root);
    // The loader's own name for the file: the path as it was found.
    const QString file = loader->fileName().isEmpty() ? path : loader->fileName();
    if (!factory) {
        if (error)
            *error = root ? QStringLiteral("%1 is not a control library.").arg(file) : loader->errorString();
        return nullptr;
    }
    QObject *control = factory->create(className, parent);
    if (!control && error)
        *error = QStringLiteral("%1 could not create %2.").arg(file, className);
    return control;
}

QString ControlHost::notImplemented(const QString &className, const char *iid)
{
    return QStringLiteral("The class %1 does not implement %2.").arg(className, QLatin1String(iid));
}
