#include "cli/Cli.h"

#include "FileNameCodec.h"
#include "cli/InspectCommand.h"
#include "cli/InstallCommand.h"
#include "cli/Terminal.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <cstring>

// --check comes with its own sources; until they are in the tree, --check
// says it is not available.
#if __has_include("cli/CheckCommand.h")
#include "cli/CheckCommand.h"
#define SETUPREEL_HAS_CHECK 1
#endif

namespace {

// Every option of the terminal commands: any of them on the command line
// means the terminal, so a misused one is answered there and not by a window.
const char *const CommandOptions[] = {
    "--install", "--inspect", "--check", "--report", "--json", "--write-suggested",
    "--help", "--help-all", "-h", "-?", "--version", "-v",
};

const char Description[] =
    "Installs a series of setup programs unattended, one after another.\n"
    "\n"
    "  setupreel [LIST.SR]\n"
    "      Opens the main window, with LIST.SR loaded when given.\n"
    "  setupreel --install LIST.SR [--report FILE]\n"
    "      Installs the programs of LIST.SR with no window.\n"
    "  setupreel --inspect [--json] FILE...\n"
    "      Tells each file's installer type, machine and silent switch.\n"
    "  setupreel --check LIST.SR [--write-suggested NEW.SR]\n"
    "      Checks the programs of LIST.SR without starting them.\n"
    "\n"
    "Exit status of --install: 0 all succeeded, 1 some program did not succeed,\n"
    "2 the list was refused or unreadable, 3 all succeeded but a restart is\n"
    "needed, 130 interrupted (Ctrl-C). --inspect: 0, or 2 when a file could\n"
    "not be read. --check: 0 every program file found, 1 some not found, 2 the\n"
    "list was refused or the copy not written. A wrong command line: 2.";

int usageError(Terminal &terminal, const QString &message)
{
    terminal.errorLine(QStringLiteral("setupreel: ") + message + QLatin1Char('\n')
                       + QStringLiteral("Try 'setupreel --help' for more."));
    return Cli::Refused;
}

} // namespace

namespace Cli {

bool isCommand(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (std::strcmp(arg, "--") == 0)
            break;
        const char *eq = std::strchr(arg, '=');
        const size_t len = eq ? size_t(eq - arg) : std::strlen(arg);
        for (const char *option : CommandOptions) {
            if (std::strlen(option) == len && std::strncmp(arg, option, len) == 0)
                return true;
        }
    }
    return false;
}

int run(int argc, char *argv[])
{
    // The plain event loop: a terminal command has no use for GLib's, which
    // costs more on every wait. Unset again so the setups never see it.
    const bool chosenByUser = qEnvironmentVariableIsSet("QT_NO_GLIB");
    if (!chosenByUser)
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    if (!chosenByUser)
        qunsetenv("QT_NO_GLIB");
    QCoreApplication::setApplicationName(QStringLiteral("setupreel"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SETUPREEL_VERSION));
    Terminal terminal;

    // The arguments as bytes: a file name that is not UTF-8 stays itself.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << FileNameCodec::decodeFileName(QByteArray(argv[i]));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(Description));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption install(QStringLiteral("install"),
                                     QStringLiteral("Installs the programs of the list file, one after another."),
                                     QStringLiteral("LIST.SR"));
    const QCommandLineOption report(QStringLiteral("report"),
                                    QStringLiteral("With --install: also writes the run's JSON report to FILE."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption inspect(QStringLiteral("inspect"),
                                     QStringLiteral("Tells the installer type of each FILE."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("With --inspect: JSON for scripts."));
    const QCommandLineOption check(QStringLiteral("check"),
                                   QStringLiteral("Checks the programs of the list file without starting them."),
                                   QStringLiteral("LIST.SR"));
    const QCommandLineOption writeSuggested(QStringLiteral("write-suggested"),
                                            QStringLiteral("With --check: writes the list with the suggested "
                                                           "switches to NEW.SR."),
                                            QStringLiteral("NEW.SR"));
    parser.addOptions({install, report, inspect, json, check, writeSuggested});
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("With --inspect: the files to inspect."),
                                 QStringLiteral("[FILE...]"));

    if (!parser.parse(arguments))
        return usageError(terminal, parser.errorText());
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        // Usage names the program as it is typed, not by its full path.
        QString text = parser.helpText().trimmed();
        const qsizetype options = text.indexOf(QLatin1String(" [options]"));
        if (text.startsWith(QLatin1String("Usage: ")) && options > 0)
            text.replace(7, options - 7, QStringLiteral("setupreel"));
        terminal.lines(text);
        return AllSucceeded;
    }
    if (parser.isSet(version)) {
        terminal.line(QStringLiteral("setupreel ") + QStringLiteral(SETUPREEL_VERSION));
        return AllSucceeded;
    }

    const int commands = int(parser.isSet(install)) + int(parser.isSet(inspect)) + int(parser.isSet(check));
    if (commands == 0)
        return usageError(terminal, QStringLiteral("give one of --install, --inspect or --check."));
    if (commands > 1)
        return usageError(terminal, QStringLiteral("give only one of --install, --inspect or --check."));
    if (parser.isSet(report) && !parser.isSet(install))
        return usageError(terminal, QStringLiteral("--report goes with --install."));
    if (parser.isSet(json) && !parser.isSet(inspect))
        return usageError(terminal, QStringLiteral("--json goes with --inspect."));
    if (parser.isSet(writeSuggested) && !parser.isSet(check))
        return usageError(terminal, QStringLiteral("--write-suggested goes with --check."));
    const QStringList files = parser.positionalArguments();

    if (parser.isSet(inspect)) {
        if (files.isEmpty())
            return usageError(terminal, QStringLiteral("--inspect needs at least one FILE."));
        return InspectCommand::run(files, parser.isSet(json), terminal);
    }
    if (!files.isEmpty())
        return usageError(terminal, QStringLiteral("unexpected argument: %1").arg(files.first()));
    if (parser.isSet(install))
        return InstallCommand::run(parser.value(install), parser.value(report), terminal);

#ifdef SETUPREEL_HAS_CHECK
    QTextStream out(stdout);
    QTextStream err(stderr);
    return CheckCommand::run(parser.value(check), parser.value(writeSuggested), out, err);
#else
    terminal.errorLine(QStringLiteral("setupreel: --check is not available in this build."));
    return Refused;
#endif
}

} // namespace Cli
