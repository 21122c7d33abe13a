#include "startup/WinXpStyle.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <cstdio>
#include <unistd.h>

namespace {
QStringList &rememberedArguments()
{
    static QStringList arguments;
    return arguments;
}
bool &argumentsRemembered()
{
    static bool remembered = false;
    return remembered;
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
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    rememberedArguments() = arguments;
    argumentsRemembered() = true;
}

Environment defaultEnvironment()
{
    Environment env;
    const QString file = QCoreApplication::applicationFilePath();
    env.appDir = QCoreApplication::applicationDirPath();
    env.programName = QFileInfo(file).completeBaseName();
    env.programFile = file;
    env.arguments = argumentsRemembered() ? rememberedArguments() : QCoreApplication::arguments().mid(1);
    env.version = QStringLiteral("%1.%2.%3.0")
                      .arg(SETUPREEL_VERSION_MAJOR)
                      .arg(SETUPREEL_VERSION_MINOR)
                      .arg(SETUPREEL_VERSION_PATCH);
    env.description = QStringLiteral(SETUPREEL_DESCRIPTION);
    env.startNewInstance = [](const QString &program, const QStringList &arguments) {
        return QProcess::startDetached(program, arguments);
    };
    env.endNow = [] {
        // As the original's End: nothing else of this instance runs.
        std::fflush(nullptr);
        ::_exit(0);
    };
    return env;
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
    const QFileInfo info(path);
    const bool present = info.exists() && !info.isDir();
    if (present && !ForceRewrite)
        return true;

    const QString text = manifestText(env.programName + QLatin1String(".exe"), env.version, env.description);

    if (present) {
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        QFile::remove(path);
    }

    // Written whole or not at all: a half-written manifest would count as
    // present at the next start. There are no hidden and system attributes on
    // this platform; the file is written all the same.
    bool written = false;
    {
        QSaveFile file(path);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(text.toUtf8());
            written = file.commit();
        }
    }

    // Without a manifest a restart would find none again and restart at every
    // start; and ending this instance is only right once the new one runs.
    if (RestartAfterWrite && written && env.startNewInstance
        && env.startNewInstance(env.programFile, env.arguments)) {
        if (env.endNow)
            env.endNow();
    }
    return present;
}

}
