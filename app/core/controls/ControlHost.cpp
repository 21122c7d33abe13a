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

void ControlHost::scan()
{
    m_scanned = true;
    QDir dir(m_systemDir);
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    for (const QString &name : files) {
        if (!name.endsWith(PluginMeta::LibrarySuffix, Qt::CaseInsensitive))
            continue;
        const QString path = dir.filePath(name);
        QPluginLoader probe(path);
        const QJsonObject meta = probe.metaData().value(PluginMeta::Root).toObject();
        const QJsonArray classes = meta.value(PluginMeta::Classes).toArray();
        for (const auto &cls : classes) {
            const QString key = cls.toString().toLower();
            if (!key.isEmpty() && !m_fileOfClass.contains(key))
                m_fileOfClass.insert(key, path);
        }
    }
}

QString ControlHost::fileOf(const QString &className)
{
    if (!m_scanned)
        scan();
    return m_fileOfClass.value(className.toLower());
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
