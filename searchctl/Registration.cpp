// SPDX-License-Identifier: GPL-3.0-or-later
// The four self-registration entry points, thin over the plugin mechanism.
// The registry is "controls.reg" in the system folder (SETUPREEL_SYSTEM_DIR
// when set, else the folder holding this library): one "class=file" line per
// registered class. The class object is the plugin's factory.
#include "QuarryBox.h"
#include "core/io/FileIO.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <dlfcn.h>

// Generated for Q_PLUGIN_METADATA: the library's one factory.
extern "C" QObject *qt_plugin_instance();

namespace {
constexpr long S_OK = 0, S_FALSE = 1, E_FAIL = long(0x80004005), E_POINTER = long(0x80004003),
               CLASS_E_CLASSNOTAVAILABLE = long(0x80040111);
const QLatin1String ClassName("Quarrylib.QuarryBox");

QString libraryFile()
{
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void *>(&libraryFile), &info) == 0 || !info.dli_fname)
        return {};
    return QFileInfo(QFile::decodeName(info.dli_fname)).absoluteFilePath();
}

QString registryFile()
{
    const QString dir = qEnvironmentVariableIsEmpty("SETUPREEL_SYSTEM_DIR")
                                ? QFileInfo(libraryFile()).absolutePath()
                                : qEnvironmentVariable("SETUPREEL_SYSTEM_DIR");
    return QDir(dir).filePath(QStringLiteral("controls.reg"));
}

// The registry without this library's class.
QStringList otherLines()
{
    // A registry of one line a class; anything larger is no registry.
    constexpr qint64 RegistryLimit = 16 * 1024 * 1024;
    const FileIO::ReadResult read = FileIO::readFile(QFile::encodeName(registryFile()), RegistryLimit);
    QStringList lines;
    if (read.ok)
        lines = QString::fromUtf8(read.data).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QString ours = ClassName + QLatin1Char('=');
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [&](const QString &l) { return l.startsWith(ours, Qt::CaseInsensitive); }),
                lines.end());
    return lines;
}

long writeRegistry(const QStringList &lines)
{
    if (lines.isEmpty()) {
        QFile f(registryFile());
        return !f.exists() || f.remove() ? S_OK : E_FAIL;
    }
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += line.toUtf8() + '\n';
    return FileIO::replaceFile(QFile::encodeName(registryFile()), bytes).ok() ? S_OK : E_FAIL;
}
}

extern "C" Q_DECL_EXPORT long DllRegisterServer()
{
    const QString file = libraryFile();
    if (file.isEmpty())
        return E_FAIL;
    return writeRegistry(otherLines() << ClassName + QLatin1Char('=') + file);
}

extern "C" Q_DECL_EXPORT long DllUnregisterServer() { return writeRegistry(otherLines()); }

// className: the class asked for; *classObject receives its ControlFactory.
extern "C" Q_DECL_EXPORT long DllGetClassObject(const char *className, void **classObject)
{
    if (!classObject)
        return E_POINTER;
    *classObject = nullptr;
    if (!className || QLatin1String(className).compare(ClassName, Qt::CaseInsensitive) != 0)
        return CLASS_E_CLASSNOTAVAILABLE;
    *classObject = static_cast<void *>(qobject_cast<ControlFactory *>(qt_plugin_instance()));
    return *classObject ? S_OK : E_FAIL;
}

// S_OK while no QuarryBox lives, so the host may unload the library.
extern "C" Q_DECL_EXPORT long DllCanUnloadNow() { return QuarryBox::liveInstances() == 0 ? S_OK : S_FALSE; }
