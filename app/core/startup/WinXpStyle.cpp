// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/startup/WinXpStyle.h"

#include "FileNameCodec.h"
#include "core/io/FileIO.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {
QList<QByteArray> &rememberedArguments()
{
    static QList<QByteArray> arguments;
    return arguments;
}
bool &argumentsRemembered()
{
    static bool remembered = false;
    return remembered;
}

// The running program's file as the bytes the system names it by, so a folder
// whose name is not valid UTF-8 still finds its manifest and its program.
QString ownProgramFile()
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n > 0 && size_t(n) < sizeof buffer)
        return FileNameCodec::decodeFileName(QByteArray(buffer, int(n)));
    return QCoreApplication::applicationFilePath();
}

QString folderOf(const QString &file)
{
    const qsizetype slash = file.lastIndexOf(QLatin1Char('/'));
    return slash > 0 ? file.left(slash) : QStringLiteral("/");
}

const char *const TemplateLines[] = {
        R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?> )",
        R"(<assembly )",
        R"(   xmlns="urn:schemas-microsoft-com:asm.v1" )",
        R"(   manifestVersion="1.0">)",
        R"(<assemblyIdentity )",
        R"(    processorArchitecture="x86" )",
        R"(    version="EXEVERSION")",
        R"(    type="win32")",
        R"(    name="EXENAME"/>)",
        R"(    <description>EXEDESCRIBTION</description>)",
        R"(    <dependency>)",
        R"(    <dependentAssembly>)",
        R"(    <assemblyIdentity)",
        R"(         type="win32")",
        R"(         name="Microsoft.Windows.Common-Controls")",
        R"(         version="6.0.0.0")",
        R"(         publicKeyToken="6595b64144ccf1df")",
        R"(         language="*")",
        R"(         processorArchitecture="x86"/>)",
        R"(    </dependentAssembly>)",
        R"(    </dependency>)",
        R"(</assembly>)",
};
}

namespace WinXpStyle {

void rememberArguments(int argc, char **argv)
{
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QByteArray(argv[i]);
    rememberedArguments() = arguments;
    argumentsRemembered() = true;
}

Environment defaultEnvironment()
{
    Environment env;
    const QString file = ownProgramFile();
    env.appDir = folderOf(file);
    env.programName = QFileInfo(file).completeBaseName();
    env.programFile = file;
    if (argumentsRemembered()) {
        env.arguments = rememberedArguments();
    } else {
        for (const QString &argument : QCoreApplication::arguments().mid(1))
            env.arguments << FileNameCodec::encodeFileName(argument);
    }
    env.version = QStringLiteral("%1.%2.%3.0")
                          .arg(SETUPREEL_VERSION_MAJOR)
                          .arg(SETUPREEL_VERSION_MINOR)
                          .arg(SETUPREEL_VERSION_PATCH);
    env.description = QStringLiteral(SETUPREEL_DESCRIPTION);
    env.startNewInstance = startProgram;
    env.endNow = [] {
        // As the original's End: nothing else of this instance runs.
        std::fflush(nullptr);
        ::_exit(0);
    };
    return env;
}

bool startProgram(const QString &program, const QList<QByteArray> &arguments)
{
    const QByteArray file = FileNameCodec::encodeFileName(program);
    std::vector<char *> argv;
    argv.reserve(size_t(arguments.size()) + 2);
    argv.push_back(const_cast<char *>(file.constData()));
    for (const QByteArray &argument : arguments)
        argv.push_back(const_cast<char *>(argument.constData()));
    argv.push_back(nullptr);

    // The new instance starts with no signal blocked, whatever this one blocks.
    posix_spawnattr_t attributes;
    if (::posix_spawnattr_init(&attributes) != 0)
        return false;
    sigset_t none;
    sigemptyset(&none);
    ::posix_spawnattr_setsigmask(&attributes, &none);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    pid_t pid = 0;
    // posix_spawn reports a program that cannot be executed as well.
    const int error = ::posix_spawn(&pid, file.constData(), nullptr, &attributes, argv.data(), environ);
    ::posix_spawnattr_destroy(&attributes);
    return error == 0;
}

bool writeWholeFile(const QString &path, const QByteArray &bytes)
{
    // A full disk may only show at the sync (or the close) on some file systems.
    return FileIO::replaceFile(FileNameCodec::encodeFileName(path), bytes).ok();
}

QString templateText()
{
    QString text;
    for (const char *line : TemplateLines)
        text += QLatin1String(line) + QLatin1String("\r\n");
    return text;
}

QString manifestText(const QString &exeName, const QString &version, const QString &description)
{
    QString text = templateText();
    text.replace(QLatin1String("EXENAME"), exeName);
    text.replace(QLatin1String("EXEVERSION"), version);
    // A description with markup characters would leave a manifest the loader
    // refuses, and then the program would not start at all.
    text.replace(QLatin1String("EXEDESCRIBTION"), description.toHtmlEscaped());
    return text;
}

QString manifestPath(const QString &appDir, const QString &programName)
{
    return appDir + QLatin1Char('/') + programName + QLatin1String(".exe.manifest");
}

void InitCommonControls()
{
    // Qt's widgets are themed by their style; there is no library to initialise.
}

bool EnsureStyleManifest(bool &RestartAfterWrite, bool &ForceRewrite)
{
    return EnsureStyleManifest(RestartAfterWrite, ForceRewrite, defaultEnvironment());
}

bool EnsureStyleManifest(bool &RestartAfterWrite, bool &ForceRewrite, const Environment &env)
{
    InitCommonControls();

    if (RestartAfterWrite)
        ForceRewrite = false;

    const QString path = manifestPath(env.appDir, env.programName);
    // Any file of that name counts, whatever its permissions (there are no
    // hidden or system attributes to look past here).
    struct stat info;
    const bool present = ::stat(FileNameCodec::encodeFileName(path).constData(), &info) == 0 && !S_ISDIR(info.st_mode);
    if (present && !ForceRewrite)
        return true;

    const QString text = manifestText(env.programName + QLatin1String(".exe"), env.version, env.description);

    // Written whole or not at all: a short or empty manifest would count as
    // present at every later start. A present one is replaced only by a
    // complete new one, never deleted before that.
    const bool written = writeWholeFile(path, text.toUtf8());

    // Without a manifest a restart would find none again and restart at every
    // start; and ending this instance is only right once the new one runs.
    if (RestartAfterWrite && written && env.startNewInstance && env.startNewInstance(env.programFile, env.arguments)) {
        if (env.endNow)
            env.endNow();
    }
    return present;
}

}
