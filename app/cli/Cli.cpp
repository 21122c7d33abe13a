// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Cli.h"

#include "FileNameCodec.h"
#include "cli/CheckCommand.h"
#include "cli/InspectCommand.h"
#include "cli/InstallCommand.h"
#include "cli/LockCommand.h"
#include "cli/StatusCommand.h"
#include "cli/SummarizeCommand.h"
#include "cli/Terminal.h"
#include "core/install/InstallRun.h"
#include "core/install/WineRestart.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <csignal>
#include <cstring>

namespace {

// Every option of the terminal commands: any of them on the command line
// means the terminal, so a misused one is answered there and not by a window.
const char *const CommandOptions[] = {
        "--install",
        "--inspect",
        "--check",
        "--report",
        "--json",
        "--write-suggested",
        "--timeout",
        "--help",
        "--help-all",
        "-h",
        "-?",
        "--version",
        "-v",
        "--skip-done",
        "--resume",
        "--status",
        "--lock",
        "--restart",
        "--prefix",
        "--resume-after-reboot",
        "--resume-count",
        "--summarize",
        "--html",
};

// Qt's own options for a window (QGuiApplication and QApplication take them
// with one dash or two): they go to the windows; any other argument that
// starts with a dash is a mistake the terminal answers.
const char *const WindowOptions[] = {
        "platform",      "platformpluginpath",
        "platformtheme", "plugin",
        "qmljsdebugger", "qwindowgeometry",
        "geometry",      "qwindowicon",
        "icon",          "qwindowtitle",
        "title",         "reverse",
        "session",       "display",
        "name",          "style",
        "stylesheet",    "widgetcount",
        "nograb",        "dograb",
        "visual",        "ncols",
        "cmap",          "sync",
};

bool isWindowOption(const char *arg)
{
    const char *name = arg + (arg[1] == '-' ? 2 : 1);
    const char *eq = std::strchr(name, '=');
    const size_t len = eq ? size_t(eq - name) : std::strlen(name);
    for (const char *option : WindowOptions) {
        if (std::strlen(option) == len && std::strncmp(name, option, len) == 0)
            return true;
    }
    return false;
}

const char Description[] = "Installs a series of setup programs unattended, one after another.\n"
                           "\n"
                           "  setupreel [LIST.SR]\n"
                           "      Opens the main window, with LIST.SR loaded when given.\n"
                           "  setupreel --install LIST.SR [--report FILE] [--timeout SECONDS]\n"
                           "            [--skip-done] [--resume] [--restart=off|wine|stop] [--prefix NAME|DIR]\n"
                           "            [--resume-after-reboot]\n"
                           "      Installs the programs of LIST.SR with no window.\n"
                           "  setupreel --inspect [--json] FILE...\n"
                           "      Tells each file's installer type, machine and silent switch.\n"
                           "  setupreel --check LIST.SR [--write-suggested NEW.SR] [--json] [--prefix NAME|DIR]\n"
                           "      Checks the programs of LIST.SR without starting them.\n"
                           "  setupreel --status LIST.SR [--json]\n"
                           "      Tells what each program line of LIST.SR last did.\n"
                           "  setupreel --lock LIST.SR\n"
                           "      Writes LIST.SR.lock: the SHA-256 of the list and its setup files.\n"
                           "  setupreel --summarize DIR... [--html FILE]\n"
                           "      One table of the runs whose JSON reports are under DIR (many machines').\n"
                           "\n"
                           "Exit status of --install: 0 all succeeded, 1 some program did not succeed,\n"
                           "2 the list was refused or unreadable, 3 all succeeded but a restart is\n"
                           "needed, 4 all succeeded but the report could not be written, 128 + the\n"
                           "signal when interrupted (130 Ctrl-C, 143 SIGTERM, 129 SIGHUP).\n"
                           "--inspect: 0, or 2 when a file could not be read. --check: 0 every\n"
                           "program line will run, 1 some will not, 2 the list was refused or the\n"
                           "copy not written. --status: 0 every line is done, 1 some is not, 2 the\n"
                           "list was refused. --lock: 0 written, 2 not. --summarize: 0 every program\n"
                           "line succeeded (or needs a restart, or was skipped as done), 1 some did not,\n"
                           "2 no report found, a folder unreadable or the page not written.\n"
                           "A wrong command line: 2.";

int usageError(Terminal &terminal, const QString &message)
{
    terminal.errorLine(QStringLiteral("setupreel: ") + message + QLatin1Char('\n')
                       + QStringLiteral("Try 'setupreel --help' for more."));
    return Cli::Refused;
}

// The options of the terminal commands, added to the parser as they are made.
struct Options
{
    explicit Options(QCommandLineParser &parser);

    QCommandLineOption help, version, install, report, timeout, restart, prefix, inspect, json, check, writeSuggested,
            skipDone, resume, status, lock, resumeAfterReboot, resumeCount, summarize, html;
};

Options::Options(QCommandLineParser &parser)
    : help(parser.addHelpOption()), version(parser.addVersionOption()),
      install(QStringLiteral("install"), QStringLiteral("Installs the programs of the list file, one after another."),
              QStringLiteral("LIST.SR")),
      report(QStringLiteral("report"), QStringLiteral("With --install: also writes the run's JSON report to FILE."),
             QStringLiteral("FILE")),
      timeout(QStringLiteral("timeout"),
              QStringLiteral("With --install: a program still running (with what it started) after SECONDS is "
                             "no longer waited for, and the run goes on."),
              QStringLiteral("SECONDS")),
      restart(QStringLiteral("restart"),
              QStringLiteral("With --install: after a Windows setup that needs a restart, when programs follow: "
                             "off (nothing, the default), wine (restart the Wine prefix and run its RunOnce "
                             "entries) or stop (end the run there for a restart of the computer, as also when a "
                             "native setup makes /run/reboot-required)."),
              QStringLiteral("off|wine|stop"), QStringLiteral("off")),
      prefix(QStringLiteral("prefix"),
             QStringLiteral("With --install or --check: the Wine prefix, a NAME in $XDG_DATA_HOME/wineprefixes or "
                            "a DIR (with a slash); --install makes a missing one, 64-bit. Default: $WINEPREFIX."),
             QStringLiteral("NAME|DIR")),
      inspect(QStringLiteral("inspect"), QStringLiteral("Tells the installer type of each FILE.")),
      json(QStringLiteral("json"), QStringLiteral("With --inspect, --check or --status: JSON for scripts.")),
      check(QStringLiteral("check"), QStringLiteral("Checks the programs of the list file without starting them."),
            QStringLiteral("LIST.SR")),
      writeSuggested(QStringLiteral("write-suggested"),
                     QStringLiteral("With --check: writes the list with the suggested switches to NEW.SR."),
                     QStringLiteral("NEW.SR")),
      skipDone(QStringLiteral("skip-done"),
               QStringLiteral("With --install: lines whose text and file last succeeded are not started again.")),
      resume(QStringLiteral("resume"),
             QStringLiteral("With --install: continues the list's last unfinished run at its first program that "
                            "did not end.")),
      status(QStringLiteral("status"), QStringLiteral("Tells what each program line of the list file last did."),
             QStringLiteral("LIST.SR")),
      lock(QStringLiteral("lock"),
           QStringLiteral("Writes LIST.SR.lock beside the list: the SHA-256 of the list and of each setup file, "
                          "which every run of the list checks."),
           QStringLiteral("LIST.SR")),
      resumeAfterReboot(QStringLiteral("resume-after-reboot"),
                        QStringLiteral("With --install and --restart=stop: a run stopped for a restart leaves an "
                                       "autostart entry (or a systemd user unit) that resumes it once after the "
                                       "restart; at most 3 resumes in a row.")),
      resumeCount(QStringLiteral("resume-count"),
                  QStringLiteral("With --resume-after-reboot: the resumes in a row so far (the entry sets it)."),
                  QStringLiteral("N")),
      summarize(QStringLiteral("summarize"),
                QStringLiteral("Reads the install runs' JSON reports under each DIR (reports/<host>/...) and prints "
                               "per machine, list and program line the newest outcome of a run that started it.")),
      html(QStringLiteral("html"), QStringLiteral("With --summarize: also writes the same as one HTML page to FILE."),
           QStringLiteral("FILE"))
{
    parser.setApplicationDescription(QString::fromLatin1(Description));
    parser.addOptions({install, report, timeout, restart, prefix, inspect, json, check, writeSuggested, skipDone,
                       resume, status, lock, resumeAfterReboot, resumeCount, summarize, html});
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("With --inspect: the files to inspect. With --summarize: the folders."),
                                 QStringLiteral("[FILE...]"));
}

// The arguments as bytes: a file name that is not UTF-8 stays itself.
QStringList argumentsOf(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << FileNameCodec::decodeFileName(QByteArray(argv[i]));
    return arguments;
}

void printHelp(const QCommandLineParser &parser, Terminal &terminal)
{
    // Usage names the program as it is typed, not by its full path.
    QString text = parser.helpText().trimmed();
    const qsizetype options = text.indexOf(QLatin1String(" [options]"));
    if (text.startsWith(QLatin1String("Usage: ")) && options > 0)
        text.replace(7, options - 7, QStringLiteral("setupreel"));
    terminal.lines(text);
}

// Longer than any installation, short enough for a timer's milliseconds.
constexpr int MaxTimeoutSeconds = 7 * 24 * 3600;

// --timeout's seconds; 0 or less when the text is not a whole number in range.
int timeoutSeconds(const QString &text)
{
    bool ok = false;
    const int seconds = text.toInt(&ok);
    return ok && seconds <= MaxTimeoutSeconds ? seconds : 0;
}

// What is wrong with the command line, empty when nothing is.
QString misuseOf(const QCommandLineParser &parser, const Options &o)
{
    for (const QCommandLineOption *once : {&o.install, &o.report, &o.timeout, &o.restart, &o.prefix, &o.check,
                                           &o.writeSuggested, &o.status, &o.lock, &o.resumeCount, &o.html}) {
        if (parser.values(*once).size() > 1)
            return QStringLiteral("give --%1 only once.").arg(once->names().constFirst());
    }
    const int commands = int(parser.isSet(o.install)) + int(parser.isSet(o.inspect)) + int(parser.isSet(o.check))
                         + int(parser.isSet(o.status)) + int(parser.isSet(o.lock)) + int(parser.isSet(o.summarize));
    if (commands == 0)
        return QStringLiteral("give one of --install, --inspect, --check, --status, --lock or --summarize.");
    if (commands > 1)
        return QStringLiteral("give only one of --install, --inspect, --check, --status, --lock or --summarize.");
    if (parser.isSet(o.html) && !parser.isSet(o.summarize))
        return QStringLiteral("--html goes with --summarize.");
    if (parser.isSet(o.report) && !parser.isSet(o.install))
        return QStringLiteral("--report goes with --install.");
    if (parser.isSet(o.timeout) && !parser.isSet(o.install))
        return QStringLiteral("--timeout goes with --install.");
    if (parser.isSet(o.timeout) && timeoutSeconds(parser.value(o.timeout)) <= 0)
        return QStringLiteral("--timeout takes a whole number of seconds from 1 to %1.").arg(MaxTimeoutSeconds);
    for (const QCommandLineOption *withInstall : {&o.skipDone, &o.resume}) {
        if (parser.isSet(*withInstall) && !parser.isSet(o.install))
            return QStringLiteral("--%1 goes with --install.").arg(withInstall->names().constFirst());
    }
    if (parser.isSet(o.json) && parser.isSet(o.install))
        return QStringLiteral("--json goes with --inspect, --check or --status.");
    if (parser.isSet(o.json) && parser.isSet(o.writeSuggested))
        return QStringLiteral("--json and --write-suggested: give only one.");
    if (parser.isSet(o.restart) && !parser.isSet(o.install))
        return QStringLiteral("--restart goes with --install.");
    const QString restart = parser.value(o.restart);
    if (restart != QLatin1String("off") && restart != QLatin1String("wine") && restart != QLatin1String("stop"))
        return QStringLiteral("--restart takes off, wine or stop.");
    if (parser.isSet(o.resumeAfterReboot) && (!parser.isSet(o.install) || restart != QLatin1String("stop")))
        return QStringLiteral("--resume-after-reboot goes with --install and --restart=stop.");
    if (parser.isSet(o.resumeCount) && !parser.isSet(o.resumeAfterReboot))
        return QStringLiteral("--resume-count goes with --resume-after-reboot.");
    if (parser.isSet(o.resumeCount) && parser.value(o.resumeCount).toInt() <= 0)
        return QStringLiteral("--resume-count takes a whole number from 1.");
    if (parser.isSet(o.prefix) && !parser.isSet(o.install) && !parser.isSet(o.check) && !parser.isSet(o.status))
        return QStringLiteral("--prefix goes with --install, --check or --status.");
    if (parser.isSet(o.writeSuggested) && !parser.isSet(o.check))
        return QStringLiteral("--write-suggested goes with --check.");
    const QStringList files = parser.positionalArguments();
    if (parser.isSet(o.inspect) && files.isEmpty())
        return QStringLiteral("--inspect needs at least one FILE.");
    if (parser.isSet(o.summarize) && files.isEmpty())
        return QStringLiteral("--summarize needs at least one DIR.");
    if (!parser.isSet(o.inspect) && !parser.isSet(o.summarize) && !files.isEmpty())
        return QStringLiteral("unexpected argument: %1").arg(files.first());
    return QString();
}

// --prefix: the run's WINEPREFIX, which the setups, the run's lock and its
// report use; --install makes a missing prefix. 0, or the exit status.
int usePrefix(const QString &nameOrDir, bool install, Terminal &terminal)
{
    QString error;
    const QString prefix = WineRestart::prefixFor(nameOrDir, &error);
    if (prefix.isEmpty())
        return usageError(terminal, error);
    if (!WineRestart::prefixExists(prefix)) {
        if (!install) {
            terminal.errorLine(QStringLiteral("The Wine prefix %1 is not made yet; --install makes it.").arg(prefix));
        } else {
            terminal.line(QStringLiteral("Making the Wine prefix %1 (64-bit)").arg(prefix));
            if (!WineRestart::createPrefix(prefix, &error)) {
                terminal.errorLine(
                        QStringLiteral("setupreel: the Wine prefix %1 could not be made: %2").arg(prefix, error));
                return Cli::Refused;
            }
        }
    }
    qputenv("WINEPREFIX", QFile::encodeName(prefix));
    return 0;
}

InstallRun::WineRestartMode restartMode(const QString &value)
{
    if (value == QLatin1String("wine"))
        return InstallRun::WineRestartMode::Wine;
    return value == QLatin1String("stop") ? InstallRun::WineRestartMode::Stop : InstallRun::WineRestartMode::Off;
}

int runCommand(const QCommandLineParser &parser, const Options &o, Terminal &terminal)
{
    if (parser.isSet(o.prefix)) {
        if (const int status = usePrefix(parser.value(o.prefix), parser.isSet(o.install), terminal))
            return status;
    }
    if (parser.isSet(o.inspect))
        return InspectCommand::run(parser.positionalArguments(), parser.isSet(o.json), terminal);
    if (parser.isSet(o.lock))
        return LockCommand::run(parser.value(o.lock), terminal);
    if (parser.isSet(o.summarize))
        return SummarizeCommand::run(parser.positionalArguments(), parser.value(o.html), terminal);
    if (parser.isSet(o.install))
        return InstallCommand::run(parser.value(o.install), parser.value(o.report),
                                   parser.isSet(o.timeout) ? timeoutSeconds(parser.value(o.timeout)) : 0,
                                   {parser.isSet(o.skipDone), parser.isSet(o.resume), parser.isSet(o.resumeAfterReboot),
                                    parser.value(o.resumeCount).toInt()},
                                   restartMode(parser.value(o.restart)), terminal);
    if (parser.isSet(o.status))
        return StatusCommand::run(parser.value(o.status), parser.isSet(o.json), terminal);
    return CheckCommand::run(parser.value(o.check), parser.value(o.writeSuggested), parser.isSet(o.json), terminal);
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
        // "--instal L.SR" is a typo, not a list to open in a window.
        if (arg[0] == '-' && arg[1] != '\0' && !isWindowOption(arg))
            return true;
    }
    return false;
}

int run(int argc, char *argv[])
{
    // A closed output (`| head`, a `tee` ended by Ctrl-C) is an error on the
    // write, never the end of a run; the setups get their own default back.
    std::signal(SIGPIPE, SIG_IGN);
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

    QCommandLineParser parser;
    const Options options(parser);
    if (!parser.parse(argumentsOf(argc, argv)))
        return usageError(terminal, parser.errorText());
    if (parser.isSet(options.help) || parser.isSet(QStringLiteral("help-all"))) {
        printHelp(parser, terminal);
        return AllSucceeded;
    }
    if (parser.isSet(options.version)) {
        terminal.line(QStringLiteral("setupreel ") + QStringLiteral(SETUPREEL_VERSION));
        return AllSucceeded;
    }
    const QString misuse = misuseOf(parser, options);
    if (!misuse.isEmpty())
        return usageError(terminal, misuse);
    return runCommand(parser, options, terminal);
}

} // namespace Cli
