// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/install/WineRestart.h"

#include "CommandLine.h"
#include "LaunchPlan.h"
#include "ProcessTree.h"
#include "core/io/FileIO.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace WineRestart {

namespace {

// Registry files of big prefixes run to tens of megabytes.
constexpr qint64 MaxRegistryBytes = 512LL * 1024 * 1024;
const QString RunOnceKey = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce");

// A string as the Wine server writes it: backslash escapes for quotes and
// backslashes, C escapes and octal for control characters, \x for the rest.
// from: just behind the opening quote; *end: behind the closing one.
QString unescape(const QByteArray &line, qsizetype from, char quote, qsizetype *end)
{
    QString out;
    QByteArray plain;
    const auto flush = [&] {
        out += QString::fromUtf8(plain);
        plain.clear();
    };
    qsizetype i = from;
    while (i < line.size() && line.at(i) != quote) {
        const char c = line.at(i++);
        if (c != '\\' || i >= line.size()) {
            plain += c;
            continue;
        }
        const char e = line.at(i++);
        const int digits = e == 'x' ? 4 : (e >= '0' && e <= '7') ? 3 : 0;
        if (digits) {
            flush();
            const int base = e == 'x' ? 16 : 8;
            qsizetype start = e == 'x' ? i : i - 1, n = start;
            while (n < line.size() && n - start < digits
                   && QByteArray("0123456789abcdefABCDEF").left(base == 16 ? 22 : 8).contains(line.at(n)))
                ++n;
            out += QChar(char16_t(line.mid(start, n - start).toUInt(nullptr, base)));
            i = n;
            continue;
        }
        static const char letters[] = "abtnvfre";
        static const char codes[] = {7, 8, 9, 10, 11, 12, 13, 27};
        const char *at = std::strchr(letters, e);
        plain += at && e ? codes[at - letters] : e;
    }
    flush();
    if (end)
        *end = i + 1;
    return out;
}

// hex data ("5c,00,3f,00,...") as bytes.
QByteArray hexBytes(const QByteArray &data)
{
    QByteArray bytes;
    for (const QByteArray &b : data.split(','))
        if (!b.trimmed().isEmpty())
            bytes += char(b.trimmed().toUInt(nullptr, 16));
    return bytes;
}

QStringList splitAtNul(const QString &text)
{
    QStringList parts = text.split(QChar(0));
    while (!parts.isEmpty() && parts.last().isEmpty())
        parts.removeLast();
    return parts;
}

struct Ran
{
    bool ended = false;
    int exitCode = -1;
};

// Runs program and waits at most boundMs with the event loop turning; what
// is still running then is killed. Its output goes nowhere: the prefix's
// server and services would hold a pipe open long after it ended.
Ran runBounded(const QString &program, const QStringList &arguments, const QProcessEnvironment &env, int boundMs)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setStandardInputFile(QProcess::nullDevice());
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&p, &QProcess::finished, &loop, &QEventLoop::quit);
    p.start(program, arguments);
    if (!p.waitForStarted(10000))
        return {};
    limit.start(boundMs);
    if (p.state() != QProcess::NotRunning)
        loop.exec();
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished(5000);
        return {};
    }
    return {p.exitStatus() == QProcess::NormalExit, p.exitCode()};
}

QString wineServer(const QString &wine)
{
    QString found = QStandardPaths::findExecutable(QStringLiteral("wineserver"));
    if (!found.isEmpty() || wine.isEmpty())
        return found;
    const QString beside = QFileInfo(wine).absolutePath() + QStringLiteral("/wineserver");
    return QFileInfo(beside).isExecutable() ? beside : QString();
}

QProcessEnvironment environmentFor(const QString &prefix)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("WINEPREFIX"), prefix);
    return env;
}

QByteArray registryFile(const QString &prefix, const char *name)
{
    const FileIO::ReadResult r = FileIO::readFile(QFile::encodeName(prefix) + '/' + name, MaxRegistryBytes);
    return r.ok ? r.data : QByteArray();
}

// Those of programs ("<pid> <name>") still running, after a moment's grace:
// one just killed may not have been reaped by its parent yet.
QStringList stillRunning(const QStringList &programs)
{
    QStringList left;
    for (int tries = 0; tries < 20; ++tries) {
        left.clear();
        for (const QString &p : programs) {
            ShellAndWaitLogic::ProcessStat st;
            if (ShellAndWaitLogic::readProcessStat(pid_t(p.section(QLatin1Char(' '), 0, 0).toInt()), &st)
                && st.state != 'Z')
                left << p;
        }
        if (left.isEmpty())
            break;
        QEventLoop wait;
        QTimer::singleShot(100, &wait, &QEventLoop::quit);
        wait.exec();
    }
    return left;
}

RunOnceRan runOne(const RegValue &value, const QString &prefix, const QString &wine, const QString &launcher,
                  const QProcessEnvironment &env)
{
    RunOnceRan ran;
    ran.name = value.name;
    ran.command = value.strings.value(0);
    const QStringList del{QStringLiteral("reg"),
                          QStringLiteral("delete"),
                          QStringLiteral("HKCU\\") + RunOnceKey,
                          QStringLiteral("/v"),
                          value.name,
                          QStringLiteral("/f")};
    // As Windows does: the value goes first, so a command that fails is not
    // run at every start; a name starting with "!" goes once it has run.
    const bool deferDelete = value.name.startsWith(QLatin1Char('!'));
    if (!deferDelete && runBounded(wine, del, env, ServerMs).exitCode != 0)
        ran.error = QStringLiteral("the value could not be deleted; ");
    if (launcher.isEmpty() || !QFileInfo(launcher).isFile()) {
        ran.error += QStringLiteral("not run: WineWait.exe is missing");
        return ran;
    }
    const QString code = ShellAndWaitLogic::newCodeFileName();
    const QString codePath = prefix + QStringLiteral("/drive_c/windows/temp/") + code;
    QStringList args{launcher, QStringLiteral("C:\\windows\\temp\\") + code};
    args << ShellAndWaitLogic::splitArguments(ran.command);
    const Ran r = runBounded(wine, args, env, RunOnceMs);
    const FileIO::ReadResult written = FileIO::readFile(QFile::encodeName(codePath), 64);
    ::unlink(QFile::encodeName(codePath).constData());
    const QByteArray text = written.ok ? written.data.trimmed() : QByteArray();
    bool ok = false;
    const quint32 full = text.toUInt(&ok);
    if (ok) {
        ran.exitCode = int(full);
        ran.exitCodeKnown = true;
    } else if (text.startsWith("start-error ")) {
        ran.error += QStringLiteral("could not be started (Windows error %1)").arg(QString::fromLatin1(text.mid(12)));
    } else {
        ran.error += r.ended ? QStringLiteral("its exit code could not be read")
                             : QStringLiteral("still running after %1 s, no longer waited for").arg(RunOnceMs / 1000);
    }
    if (deferDelete && ran.exitCodeKnown && runBounded(wine, del, env, ServerMs).exitCode != 0)
        ran.error = QStringLiteral("the value could not be deleted");
    return ran;
}

} // namespace

QList<RegValue> valuesOf(const QByteArray &regFile, const QString &key)
{
    QList<RegValue> values;
    bool inKey = false;
    QByteArray line;
    const QList<QByteArray> lines = regFile.split('\n');
    for (qsizetype n = 0; n < lines.size(); ++n) {
        line = lines.at(n);
        // Long hex data goes on over lines ending in a backslash.
        while (line.endsWith('\\') && n + 1 < lines.size())
            line = line.chopped(1) + lines.at(++n).trimmed();
        if (line.startsWith('[')) {
            if (inKey)
                break;
            inKey = unescape(line, 1, ']', nullptr).compare(key, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inKey || (!line.startsWith('"') && !line.startsWith('@')))
            continue;
        RegValue v;
        qsizetype at = 1;
        if (line.startsWith('"'))
            v.name = unescape(line, 1, '"', &at);
        if (at >= line.size() || line.at(at) != '=')
            continue;
        const QByteArray data = line.mid(at + 1);
        if (data.startsWith('"') || data.startsWith("str(")) {
            const qsizetype quote = data.indexOf('"');
            const QString text = unescape(data, quote + 1, '"', nullptr);
            const bool multi = data.startsWith("str(7)");
            v.type = multi ? QStringLiteral("multi_sz") : QStringLiteral("sz");
            v.strings = multi ? splitAtNul(text) : QStringList{text};
        } else if (data.startsWith("hex(7):")) {
            const QByteArray bytes = hexBytes(data.mid(7));
            v.type = QStringLiteral("multi_sz");
            v.strings = splitAtNul(
                    QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData()), bytes.size() / 2));
        } else {
            v.type = QString::fromLatin1(data.left(data.indexOf(':')));
        }
        values << v;
    }
    return values;
}

QList<PendingRename> pendingRenames(const QByteArray &systemReg)
{
    QList<PendingRename> renames;
    // CurrentControlSet is a link Wine saves under its target.
    for (const char *set : {"ControlSet001", "CurrentControlSet"}) {
        const QString key = QStringLiteral("System\\%1\\Control\\Session Manager").arg(QLatin1String(set));
        for (const RegValue &v : valuesOf(systemReg, key)) {
            if (v.name.compare(QLatin1String("PendingFileRenameOperations"), Qt::CaseInsensitive) != 0)
                continue;
            // Pairs of source and target; an empty target deletes. The list
            // ends at its first empty source.
            const QStringList all = QString(v.strings.join(QChar(0)) + QChar(0)).split(QChar(0));
            for (qsizetype i = 0; i + 1 < all.size() && !all.at(i).isEmpty(); i += 2)
                renames << PendingRename{all.at(i), all.at(i + 1), false};
        }
        if (!renames.isEmpty())
            break;
    }
    return renames;
}

QList<RegValue> userRunOnce(const QByteArray &userReg)
{
    QList<RegValue> commands;
    for (const RegValue &v : valuesOf(userReg, RunOnceKey))
        if (v.type == QLatin1String("sz") && !v.name.isEmpty())
            commands << v;
    return commands;
}

QString unixPathOf(const QString &prefix, const QString &windowsPath)
{
    QString p = windowsPath;
    if (p.startsWith(QLatin1Char('!')))
        p.remove(0, 1); // replace an existing target
    if (p.startsWith(QLatin1String("\\??\\")))
        p.remove(0, 4);
    if (p.size() < 2 || p.at(1) != QLatin1Char(':') || !p.at(0).isLetter())
        return QString();
    return prefix + QStringLiteral("/dosdevices/") + p.at(0).toLower() + QLatin1Char(':')
           + p.mid(2).replace(QLatin1Char('\\'), QLatin1Char('/'));
}

QStringList runningPrograms(const QString &prefix, bool *serverRuns)
{
    QStringList programs;
    bool server = false;
    const QString wanted = QDir::cleanPath(prefix);
    const QString byDefault = QDir::homePath() + QStringLiteral("/.wine");
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isPid = false;
        const pid_t pid = pid_t(entry.toInt(&isPid));
        struct stat st
        {};
        const QByteArray dir = "/proc/" + entry.toLatin1();
        if (!isPid || ::stat(dir.constData(), &st) != 0 || st.st_uid != ::getuid())
            continue;
        const QString exe = QFileInfo(QString::fromLatin1(dir) + QStringLiteral("/exe")).symLinkTarget();
        if (!QFileInfo(exe).fileName().startsWith(QLatin1String("wine")))
            continue;
        QString its = byDefault;
        const FileIO::ReadResult env = FileIO::readFile(dir + "/environ", 1 << 20);
        for (const QByteArray &var : env.data.split('\0'))
            if (var.startsWith("WINEPREFIX=") && var.size() > 11)
                its = QFile::decodeName(var.mid(11));
        if (QDir::cleanPath(its) != wanted)
            continue;
        if (QFileInfo(exe).fileName().startsWith(QLatin1String("wineserver"))) {
            server = true;
            continue;
        }
        const QString name = ShellAndWaitLogic::processName(pid);
        if (!ShellAndWaitLogic::isWineServiceName(name))
            programs << QStringLiteral("%1 %2").arg(pid).arg(name);
    }
    if (serverRuns)
        *serverRuns = server;
    return programs;
}

WineRestartRecord restart(const QString &prefix, const QString &launcher)
{
    QElapsedTimer took;
    took.start();
    WineRestartRecord rec;
    rec.prefix = prefix;
    QStringList errors;
    const QString wine = ShellAndWaitLogic::findWine();
    const QString server = wineServer(wine);
    if (wine.isEmpty() || server.isEmpty()) {
        rec.error = QStringLiteral("Wine is not installed (no \"wine\" and \"wineserver\" on the search path)");
        return rec;
    }
    const QProcessEnvironment env = environmentFor(prefix);
    bool serverRuns = false;
    rec.programsEnded = runningPrograms(prefix, &serverRuns);
    if (serverRuns) {
        // Programs are asked to close as at a shutdown, then what is left is
        // ended; the server writes the registry files as it exits.
        if (!runBounded(wine,
                        {QStringLiteral("wineboot"), QStringLiteral("--end-session"), QStringLiteral("--shutdown")},
                        env, EndSessionMs)
                     .ended)
            errors << QStringLiteral("the session did not end within %1 s").arg(EndSessionMs / 1000);
        runBounded(server, {QStringLiteral("-k")}, env, ServerMs);
        if (!runBounded(server, {QStringLiteral("-w")}, env, ServerMs).ended)
            errors << QStringLiteral("the Wine server did not end within %1 s").arg(ServerMs / 1000);
    }
    const QStringList left = stillRunning(rec.programsEnded);
    if (!left.isEmpty())
        errors << QStringLiteral("still running: %1").arg(left.join(QLatin1String(", ")));
    rec.renames = pendingRenames(registryFile(prefix, "system.reg"));
    const QList<RegValue> runOnce = userRunOnce(registryFile(prefix, "user.reg"));

    // The prefix's boot does the renames and the machine's RunOnce entries.
    if (!runBounded(wine, {QStringLiteral("wineboot")}, env, BootMs).ended)
        errors << QStringLiteral("the prefix did not start again within %1 s").arg(BootMs / 1000);
    for (PendingRename &r : rec.renames) {
        const QString from = unixPathOf(prefix, r.from), to = unixPathOf(prefix, r.to);
        r.done = !from.isEmpty() && !QFileInfo::exists(from) && (r.to.isEmpty() || QFileInfo::exists(to));
    }
    for (const RegValue &v : runOnce)
        rec.runOnce << runOne(v, prefix, wine, launcher, env);
    rec.error = errors.join(QLatin1String("; "));
    rec.ms = took.elapsed();
    return rec;
}

QStringList summary(const WineRestartRecord &record)
{
    QStringList lines;
    lines << QStringLiteral("Wine restarted the prefix %1 in %2 s")
                     .arg(record.prefix)
                     .arg(qRound(double(record.ms) / 1000.0));
    if (!record.programsEnded.isEmpty())
        lines << QStringLiteral("ended: %1").arg(record.programsEnded.join(QLatin1String(", ")));
    for (const PendingRename &r : record.renames)
        lines << (r.to.isEmpty() ? QStringLiteral("pending delete %1: %3").arg(r.from)
                                 : QStringLiteral("pending rename %1 to %2: %3").arg(r.from, r.to))
                         .arg(r.done ? QStringLiteral("done") : QStringLiteral("not done"));
    for (const RunOnceRan &r : record.runOnce)
        lines << QStringLiteral("RunOnce %1: %2: %3")
                         .arg(r.name, r.command,
                              r.exitCodeKnown
                                      ? QStringLiteral("exit code %1").arg(r.exitCode)
                                                + (r.error.isEmpty() ? QString() : QStringLiteral("; ") + r.error)
                                      : r.error);
    if (!record.error.isEmpty())
        lines << QStringLiteral("not as planned: %1").arg(record.error);
    return lines;
}

QString prefixFor(const QString &nameOrDir, QString *error)
{
    if (nameOrDir.contains(QLatin1Char('/')))
        return QDir::cleanPath(QDir::current().absoluteFilePath(nameOrDir));
    if (nameOrDir.isEmpty() || nameOrDir == QLatin1String(".") || nameOrDir == QLatin1String("..")) {
        if (error)
            *error = QStringLiteral("--prefix takes a prefix's NAME or a folder (DIR, with a slash).");
        return QString();
    }
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (!QDir::isAbsolutePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(data + QStringLiteral("/wineprefixes/") + nameOrDir);
}

bool prefixExists(const QString &prefix) { return QFileInfo(prefix + QStringLiteral("/system.reg")).isFile(); }

bool createPrefix(const QString &prefix, QString *error)
{
    const QString wine = ShellAndWaitLogic::findWine();
    if (wine.isEmpty()) {
        *error = QStringLiteral("Wine is not installed (no \"wine\" on the search path)");
        return false;
    }
    if (!QDir().mkpath(QFileInfo(prefix).absolutePath())) {
        *error = QStringLiteral("its folder %1 could not be made").arg(QFileInfo(prefix).absolutePath());
        return false;
    }
    QProcessEnvironment env = environmentFor(prefix);
    env.insert(QStringLiteral("WINEARCH"), QStringLiteral("win64"));
    const Ran boot = runBounded(wine, {QStringLiteral("wineboot"), QStringLiteral("--init")}, env, BootMs);
    // The registry files are written when the server ends.
    const QString server = wineServer(wine);
    if (!server.isEmpty())
        runBounded(server, {QStringLiteral("-w")}, env, BootMs);
    if (prefixExists(prefix))
        return true;
    *error = boot.ended ? QStringLiteral("wineboot --init ended with status %1").arg(boot.exitCode)
                        : QStringLiteral("wineboot --init did not end within %1 s").arg(BootMs / 1000);
    return false;
}

QString prefixArch(const QString &prefix)
{
    // The line is among the first few of the file.
    const QByteArray path = QFile::encodeName(prefix + QStringLiteral("/system.reg"));
    const FileIO::Fd fd(
            FileIO::retryOnSignal([&] { return ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); }));
    QByteArray head(4096, '\0');
    const qsizetype n = fd.isOpen() ? FileIO::readUpTo(fd.get(), head.data(), size_t(head.size())) : -1;
    head.truncate(qMax<qsizetype>(0, n));
    for (const QByteArray &line : head.split('\n'))
        if (line.startsWith("#arch="))
            return QString::fromLatin1(line.mid(6).trimmed());
    return QString();
}

} // namespace WineRestart
