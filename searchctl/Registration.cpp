// The four self-registration entry points, over the plugin mechanism: the
// registry is a file "controls.reg" beside the library, one "class=file" line a
// class; the class object is the plugin's factory.
#include "QuarryBox.h"

#include <QFile>
#include <QFileInfo>
#include <QPluginLoader>
#include <QStringList>
#include <dlfcn.h>

// Defined by the plugin's metadata: the one factory instance.
extern "C" QObject *qt_plugin_instance();

namespace {
constexpr long S_OK = 0, S_FALSE = 1, E_FAIL = 0x80004005L, CLASS_E_CLASSNOTAVAILABLE = 0x80040111L;
const char *const ClassName = "Quarrylib.QuarryBox";

QString libraryPath()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&libraryPath), &info) == 0 || !info.dli_fname)
        return {};
    return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absoluteFilePath();
}

QString registryPath() { return QFileInfo(libraryPath()).absolutePath() + QStringLiteral("/controls.reg"); }

QStringList readRegistry()
{
    QFile f(registryPath());
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

long writeRegistry(const QStringList &lines)
{
    QFile f(registryPath());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return E_FAIL;
    for (const QString &line : lines)
        f.write(line.toUtf8() + '\n');
    return f.error() == QFile::NoError ? S_OK : E_FAIL;
}

QStringList withoutOurClass(QStringList lines)
{
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [](const QString &l) { return l.startsWith(QLatin1String(ClassName) + '='); }),
                lines.end());
    return lines;
}
}

extern "C" Q_DECL_EXPORT long DllRegisterServer()
{
    QStringList lines = withoutOurClass(readRegistry());
    lines << QLatin1String(ClassName) + QLatin1Char('=') + libraryPath();
    return writeRegistry(lines);
}

extern "C" Q_DECL_EXPORT long DllUnregisterServer()
{
    return writeRegistry(withoutOurClass(readRegistry()));
}

extern "C" Q_DECL_EXPORT long DllGetClassObject(const char *className, void **classObject)
{
    if (!classObject)
        return E_FAIL;
    *classObject = nullptr;
    if (!className || qstricmp(className, ClassName) != 0)
        return CLASS_E_CLASSNOTAVAILABLE;
    *classObject = qobject_cast<ControlFactory *>(qt_plugin_instance());
    return *classObject ? S_OK : E_FAIL;
}

extern "C" Q_DECL_EXPORT long DllCanUnloadNow()
{
    return QuarryBox::liveInstances() == 0 ? S_OK : S_FALSE;
}
