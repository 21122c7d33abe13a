// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChildWait.h"
#include "CommandLine.h"
#include "ControlTesting.h"
#include "FileNameCodec.h"
#include "LaunchPlan.h"
#include "ProcessTree.h"
#include "WineSession.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ShellAndWaitLogic;
Q_DECLARE_METATYPE(ChildWait::Method)

static void writeFile(const QString &path, const QByteArray &content, bool executable)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    f.write(content);
    f.close();
    QFileDevice::Permissions p = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (executable)
        p |= QFileDevice::ExeOwner;
    QVERIFY(f.setPermissions(p));
}

static double cpuSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

// The smallest PE image that says which processor it is for.
static QByteArray peFor(quint16 machine)
{
    QByteArray pe(0x40, '\0');
    pe[0] = 'M';
    pe[1] = 'Z';
    pe[0x3C] = 0x40;
    pe += QByteArray("PE\0\0", 4);
    pe += char(machine & 0xFF);
    pe += char(machine >> 8);
    pe += QByteArray(18 + 240, '\0');
    return pe;
}

static bool isGone(pid_t pid) { return ::kill(pid, 0) == -1 && errno == ESRCH; }

static LaunchPlan shellPlan(const QString &script)
{
    LaunchPlan plan;
    plan.program = plan.executable = QStringLiteral("/bin/sh");
    plan.arguments = {QStringLiteral("-c"), script};
    return plan;
}

class TestShellAndWaitLogic : public QObject
{
    Q_OBJECT

private slots:
    void splitArguments_data();
    void splitArguments();
    void splitCommandLine();
    void plan();
    void programFileBytes();
    void unreadableFilesAreRefused();
    void startErrors();
    void spawnReportsExecErrors();
    void waitReturnsAtEndAndReaps_data() { methods(); }
    void waitReturnsAtEndAndReaps();
    void waitIsIdle_data() { methods(); }
    void waitIsIdle();
    void destroyedWaitLeavesChildRunning_data() { methods(); }
    void destroyedWaitLeavesChildRunning();
    void abandonEndsWait();
    void windowsProgramsThroughLauncher();
    void machineTheWineCannotRun();
    void rootDriveAndThirtyTwoBitWine();
    void processStatAndNames();
    void childListWithAndWithoutChildren();
    void leftoverWaitIsIdleAndReaps();

private:
    void methods()
    {
        QTest::addColumn<ChildWait::Method>("method");
        QTest::newRow("pidfd") << ChildWait::Method::Auto;
        QTest::newRow("thread") << ChildWait::Method::Thread;
    }
};

void TestShellAndWaitLogic::splitArguments_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("blanks and tabs") << " /S \t /q  x " << QStringList{"/S", "/q", "x"};
    QTest::newRow("nothing") << "   " << QStringList{};
    QTest::newRow("quotes group") << "/D=\"C:\\Program Files\\App\" next"
                                  << QStringList{"/D=C:\\Program Files\\App", "next"};
    QTest::newRow("quotes inside a word") << "a\"b c\"d" << QStringList{"ab cd"};
    QTest::newRow("empty pair") << "a \"\" b" << QStringList{"a", "", "b"};
    QTest::newRow("backslash quote is a quote") << "say \\\"hi\\\"" << QStringList{"say", "\"hi\""};
    QTest::newRow("backslashes stay") << "C:\\dir\\ x\\\\y" << QStringList{"C:\\dir\\", "x\\\\y"};
    QTest::newRow("two backslashes then quote") << "\\\\\"a b\"" << QStringList{"\\a b"};
    QTest::newRow("three backslashes then quote") << "\\\\\\\"a b" << QStringList{"\\\"a", "b"};
    QTest::newRow("unclosed quote runs to the end") << "\"a  b" << QStringList{"a  b"};
}

void TestShellAndWaitLogic::splitArguments()
{
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    QCOMPARE(ShellAndWaitLogic::splitArguments(text), expected);
}

void TestShellAndWaitLogic::splitCommandLine()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString dir = tmp.path();
    const QString setup = dir + "/my setup.sh";
    writeFile(setup, "exit 0\n", false);
    QVERIFY(QDir(dir).mkdir("tools"));
    const QString tool = dir + "/tools x.sh";
    writeFile(tool, "exit 0\n", false);

    // Unquoted path with blanks: the switch stays out of the file name.
    CommandLine c = ShellAndWaitLogic::splitCommandLine(setup + " /S /D=a b");
    QCOMPARE(c.program, setup);
    QCOMPARE(c.arguments, QStringList({"/S", "/D=a", "b"}));

    c = ShellAndWaitLogic::splitCommandLine("  \t" + setup + "   ");
    QCOMPARE(c.program, setup);
    QVERIFY(c.arguments.isEmpty());

    // Quotes in the arguments of an unquoted path.
    c = ShellAndWaitLogic::splitCommandLine(setup + " /D=\"a b\" \\\"q\\\" \"\"");
    QCOMPARE(c.program, setup);
    QCOMPARE(c.arguments, QStringList({"/D=a b", "\"q\"", ""}));

    // A folder of the same name is no program.
    c = ShellAndWaitLogic::splitCommandLine(tool + " -v");
    QCOMPARE(c.program, tool);
    QCOMPARE(c.arguments, QStringList{"-v"});

    // The shortest prefix that is a file wins.
    writeFile(dir + "/my", "exit 0\n", false);
    c = ShellAndWaitLogic::splitCommandLine(setup + " /S");
    QCOMPARE(c.program, dir + "/my");
    QCOMPARE(c.arguments, QStringList({"setup.sh", "/S"}));

    // Quoted: the quotes say where the program ends, whether or not it exists.
    c = ShellAndWaitLogic::splitCommandLine(" \"" + setup + "\" \"x y\" z");
    QCOMPARE(c.program, setup);
    QCOMPARE(c.arguments, QStringList({"x y", "z"}));
    c = ShellAndWaitLogic::splitCommandLine("\"" + dir + "/not here.exe\"/S");
    QCOMPARE(c.program, dir + "/not here.exe");
    QCOMPARE(c.arguments, QStringList{"/S"});
    c = ShellAndWaitLogic::splitCommandLine("\"" + setup);
    QCOMPARE(c.program, setup);

    // Nothing exists: the first word is the missing file.
    c = ShellAndWaitLogic::splitCommandLine(dir + "/gone/setup.exe /quiet \"a b\"");
    QCOMPARE(c.program, dir + "/gone/setup.exe");
    QCOMPARE(c.arguments, QStringList({"/quiet", "a b"}));

    c = ShellAndWaitLogic::splitCommandLine(" \t ");
    QVERIFY(c.program.isEmpty());
    QVERIFY(c.arguments.isEmpty());
}

void TestShellAndWaitLogic::plan()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString d = tmp.path();
    writeFile(d + "/tool", "#!/bin/sh\nexit 0\n", true);
    writeFile(d + "/plain.sh", "exit 0\n", false);
    writeFile(d + "/bare.sh", "exit 0\n", true);
    writeFile(d + "/bang.sh", "#!/bin/bash\nexit 0\n", true);
    writeFile(d + "/SETUP.EXE", "MZ", true);
    writeFile(d + "/Pack.Msi", "x", false);
    writeFile(d + "/run.bat", "@echo off\r\n", false);
    writeFile(d + "/notes.txt", "x", false);
    const QString wine = "/opt/wine/bin/wine";
    const QString z = "Z:" + QString(d).replace('/', '\\');
    const QStringList args{"/S", "a b"};
    auto planFor = [&](const QString &file, const QString &winePath) {
        return planLaunch(CommandLine{file, args, {}}, winePath);
    };

    LaunchPlan p = planFor(d + "/tool", QString());
    QVERIFY(p.ok());
    QVERIFY(p.description.isEmpty());
    QCOMPARE(p.executable, d + "/tool");
    QCOMPARE(p.arguments, args);

    p = planFor(d + "/plain.sh", QString());
    QCOMPARE(p.executable, QString("/bin/sh"));
    QCOMPARE(p.arguments, QStringList({d + "/plain.sh", "/S", "a b"}));
    // An executable script without "#!" cannot be exec'd; the shell reads it.
    QCOMPARE(planFor(d + "/bare.sh", QString()).executable, QString("/bin/sh"));
    QCOMPARE(planFor(d + "/bang.sh", QString()).executable, d + "/bang.sh");

    // Windows files go to Wine even when they carry the executable bit.
    p = planFor(d + "/SETUP.EXE", wine);
    QVERIFY(p.ok());
    QCOMPARE(p.executable, wine);
    QCOMPARE(p.arguments, QStringList({d + "/SETUP.EXE", "/S", "a b"}));
    p = planFor(d + "/Pack.Msi", wine);
    QCOMPARE(p.executable, wine);
    QCOMPARE(p.arguments, QStringList({"msiexec", "/i", z + "\\Pack.Msi", "/S", "a b"}));
    p = planFor(d + "/run.bat", wine);
    QCOMPARE(p.executable, wine);
    QCOMPARE(p.arguments, QStringList({"cmd", "/c", z + "\\run.bat", "/S", "a b"}));

    for (const char *name : {"/SETUP.EXE", "/Pack.Msi", "/run.bat"}) {
        p = planFor(d + name, QString());
        QCOMPARE(p.error, RunTimeError::InvalidCall);
        QVERIFY2(p.description.contains("Wine") && p.description.contains("not installed"), qPrintable(p.description));
        QVERIFY(p.description.contains(d + name));
        QVERIFY(p.executable.isEmpty());
    }

    p = planFor(d + "/notes.txt", wine);
    QCOMPARE(p.error, RunTimeError::PermissionDenied);
    QVERIFY(p.description.contains("Permission denied"));
    QVERIFY(p.description.contains(d + "/notes.txt"));
    QVERIFY(p.description.contains("not executable"));

    p = planFor(d + "/missing.exe", wine);
    QCOMPARE(p.error, RunTimeError::FileNotFound);
    QVERIFY(p.description.contains("File not found"));
    QVERIFY(p.description.contains(d + "/missing.exe"));

    QCOMPARE(planFor(d, wine).error, RunTimeError::FileNotFound);
    QCOMPARE(planLaunch(CommandLine{}, wine).error, RunTimeError::InvalidCall);
    QVERIFY(!planLaunch(CommandLine{}, wine).description.isEmpty());
}

void TestShellAndWaitLogic::programFileBytes()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QByteArray dir = tmp.path().toUtf8();
    // "my é.sh" with é as the Latin-1 byte, made as the bytes it is.
    const QByteArray latin1 = dir + "/my \xe9.sh";
    const int fd = ::open(latin1.constData(), O_WRONLY | O_CREAT, 0600);
    QVERIFY(fd >= 0);
    ::close(fd);

    // The kept bytes find it, even with a blank in the name.
    const QString kept = FileNameCodec::decodeFileName(latin1);
    CommandLine c = ShellAndWaitLogic::splitCommandLine(kept + " /S");
    QCOMPARE(c.program, kept);
    QCOMPARE(c.file, latin1);
    QCOMPARE(c.arguments, QStringList{"/S"});
    // So do its Windows-1252 bytes, from a list read as Windows-1252.
    const QString text = tmp.path() + QString::fromUtf8("/my é.sh");
    c = ShellAndWaitLogic::splitCommandLine(text + " /S");
    QCOMPARE(c.program, text);
    QCOMPARE(c.file, latin1);
    LaunchPlan p = planLaunch(c, QString());
    QVERIFY(p.ok());
    QCOMPARE(p.program, text);
    QCOMPARE(p.executable, QString("/bin/sh"));
    QCOMPARE(FileNameCodec::encodeFileName(p.arguments.value(0)), latin1);
    // A name that is in neither form: the first word, as its UTF-8 bytes.
    c = ShellAndWaitLogic::splitCommandLine(tmp.path() + QString::fromUtf8("/nö.exe /S"));
    QCOMPARE(c.file, QByteArray());
    QCOMPARE(planLaunch(c, QString()).error, RunTimeError::FileNotFound);

    // A relative name beginning with "-" is handed on as "./-...".
    const QString oldDir = QDir::currentPath();
    auto restore = qScopeGuard([&] { QDir::setCurrent(oldDir); });
    QVERIFY(QDir::setCurrent(tmp.path()));
    writeFile(tmp.path() + "/-x.sh", "exit 0\n", false);
    writeFile(tmp.path() + "/-y.exe", "MZ", false);
    p = planLaunch(ShellAndWaitLogic::splitCommandLine("-x.sh -s"), QString());
    QCOMPARE(p.arguments, QStringList({"./-x.sh", "-s"}));
    p = planLaunch(ShellAndWaitLogic::splitCommandLine("-y.exe"), "/usr/bin/wine");
    QCOMPARE(p.arguments, QStringList{"./-y.exe"});
}

void TestShellAndWaitLogic::unreadableFilesAreRefused()
{
    QTemporaryDir tmp;
    QVERIFY(QFile::setPermissions(tmp.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                                      | QFileDevice::ReadOther | QFileDevice::ExeOther));
    const QString script = tmp.path() + "/locked.sh";
    const QString setup = tmp.path() + "/locked.exe";
    writeFile(script, "exit 0\n", false);
    writeFile(setup, "MZ", false);
    for (const QString &f : {script, setup})
        QVERIFY(QFile::setPermissions(f, QFileDevice::WriteOwner));
    // Each as "<error> <description>", planned by a user who may not read them.
    const QByteArray got = runUnprivileged([&] {
        QByteArray out;
        for (const QString &f : {script, setup}) {
            const LaunchPlan p = planLaunch(CommandLine{f, {}, {}}, QStringLiteral("/usr/bin/wine"));
            out += QByteArray::number(p.error) + ' ' + p.description.toUtf8() + '\n';
        }
        return out;
    });
    if (got.isEmpty())
        QSKIP("this machine cannot give up root");
    const QList<QByteArray> lines = got.trimmed().split('\n');
    QCOMPARE(lines.size(), 2);
    for (const QByteArray &line : lines) {
        QVERIFY2(line.startsWith(QByteArray::number(RunTimeError::PermissionDenied) + " Permission denied: "),
                 line.constData());
        QVERIFY2(line.endsWith("cannot be read"), line.constData());
    }
    QVERIFY(lines[0].contains(script.toUtf8()));
    QVERIFY(lines[1].contains(setup.toUtf8()));
}

void TestShellAndWaitLogic::startErrors()
{
    LaunchPlan plan;
    plan.program = plan.executable = "/x/setup";
    const struct
    {
        int err;
        int number;
    } cases[] = {
            {ENOENT, RunTimeError::FileNotFound},      {EACCES, RunTimeError::PermissionDenied},
            {EPERM, RunTimeError::PermissionDenied},   {ENOEXEC, RunTimeError::PermissionDenied},
            {ENOMEM, RunTimeError::OutOfMemory},       {EIO, RunTimeError::PathFileAccess},
            {ECONNREFUSED, RunTimeError::InvalidCall},
    };
    for (const auto &c : cases) {
        const StartError e = startError(c.err, plan);
        QCOMPARE(e.number, c.number);
        QVERIFY2(e.description.contains("/x/setup"), qPrintable(e.description));
        QVERIFY2(e.description.contains(QString::fromLocal8Bit(strerror(c.err))), qPrintable(e.description));
    }
}

void TestShellAndWaitLogic::spawnReportsExecErrors()
{
    QTemporaryDir tmp;
    pid_t pid = 0;
    LaunchPlan plan;
    plan.program = plan.executable = tmp.path() + "/none";
    QCOMPARE(spawnPlan(plan, &pid), ENOENT);

    writeFile(tmp.path() + "/noexec", "#!/bin/sh\n", false);
    plan.program = plan.executable = tmp.path() + "/noexec";
    QCOMPARE(spawnPlan(plan, &pid), EACCES);

    writeFile(tmp.path() + "/badinterp", "#!/no/such/interpreter\n", true);
    plan.program = plan.executable = tmp.path() + "/badinterp";
    QCOMPARE(spawnPlan(plan, &pid), ENOENT);
    QVERIFY(startError(ENOENT, plan).description.contains("interpreter"));

    LaunchPlan refusedPlan;
    refusedPlan.error = RunTimeError::FileNotFound;
    QCOMPARE(spawnPlan(refusedPlan, &pid), EINVAL);
}

void TestShellAndWaitLogic::waitReturnsAtEndAndReaps()
{
    QFETCH(ChildWait::Method, method);
    pid_t pid = 0;
    QCOMPARE(spawnPlan(shellPlan("sleep 0.3; exit 3"), &pid), 0);
    // Its own session, so a terminal's Ctrl-C and hang-up do not reach it.
    QCOMPARE(::getsid(pid), pid);
    QVERIFY(::getsid(pid) != ::getsid(0));

    bool tickedWhileRunning = false;
    QTimer::singleShot(50, [&] { tickedWhileRunning = !isGone(pid); });
    QElapsedTimer clock;
    clock.start();
    ChildWait wait(pid, method);
    QCOMPARE(wait.usesPidfd(), method == ChildWait::Method::Auto);
    QVERIFY(wait.wait());
    QVERIFY(clock.elapsed() >= 250);
    QVERIFY(tickedWhileRunning);
    QVERIFY(wait.hasEnded());
    QCOMPARE(wait.exitCode(), 3);
    // Reaped: no zombie left behind.
    errno = 0;
    QCOMPARE(::waitpid(pid, nullptr, WNOHANG), pid_t(-1));
    QCOMPARE(errno, ECHILD);

    QCOMPARE(spawnPlan(shellPlan("kill -TERM $$"), &pid), 0);
    ChildWait killed(pid, method);
    QVERIFY(killed.wait());
    QCOMPARE(killed.exitCode(), 128 + SIGTERM);
}

void TestShellAndWaitLogic::waitIsIdle()
{
    QFETCH(ChildWait::Method, method);
    pid_t pid = 0;
    QCOMPARE(spawnPlan(shellPlan("sleep 0.6"), &pid), 0);
    const double before = cpuSeconds();
    ChildWait wait(pid, method);
    QVERIFY(wait.wait());
    const double used = cpuSeconds() - before;
    QVERIFY2(used < 0.1, qPrintable(QString("waiting used %1 s of processor time").arg(used)));
}

void TestShellAndWaitLogic::destroyedWaitLeavesChildRunning()
{
    QFETCH(ChildWait::Method, method);
    QTemporaryDir tmp;
    const QString mark = tmp.path() + "/mark";
    pid_t pid = 0;
    QCOMPARE(spawnPlan(shellPlan("sleep 0.4; echo ok > '" + mark + "'"), &pid), 0);
    {
        ChildWait wait(pid, method);
        QTimer::singleShot(50, [&] { wait.abandon(); });
        QVERIFY(!wait.wait());
        QVERIFY(!wait.hasEnded());
    }
    QVERIFY(!isGone(pid));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(mark), 5000);
    // Someone still reaps it.
    QTRY_VERIFY_WITH_TIMEOUT(isGone(pid), 5000);
}

void TestShellAndWaitLogic::abandonEndsWait()
{
    pid_t pid = 0;
    QCOMPARE(spawnPlan(shellPlan("sleep 0.2"), &pid), 0);
    ChildWait wait(pid);
    wait.abandon();
    QVERIFY(!wait.wait()); // abandoned before: does not wait at all
    QVERIFY(!isGone(pid));
}

void TestShellAndWaitLogic::windowsProgramsThroughLauncher()
{
    QTemporaryDir tmp;
    const QString d = tmp.path();
    writeFile(d + "/setup 64.exe", peFor(MachineAmd64), false);
    writeFile(d + "/Pack.msi", "x", false);
    writeFile(d + "/step.bat", "exit /b 3\r\n", false);
    WineSetup wine;
    wine.wine = "/usr/bin/wine";
    wine.launcher = "/opt/setupreel/system32/WineWait.exe";
    wine.prefix = d + "/prefix";
    wine.rootDrive = QLatin1Char('Y');
    const QString y = "Y:" + QString(d).replace('/', '\\');
    const QString temp = "C:\\windows\\temp\\";

    LaunchPlan p = planLaunch(CommandLine{d + "/setup 64.exe", {"/S", "a b"}, {}}, wine);
    QVERIFY(p.ok());
    QVERIFY(p.wine);
    QCOMPARE(p.executable, wine.wine);
    QCOMPARE(p.arguments.size(), 5);
    QCOMPARE(p.arguments.at(0), wine.launcher);
    QVERIFY2(p.arguments.at(1).startsWith(temp + "setupreel-"), qPrintable(p.arguments.at(1)));
    // The code file is the one the launcher is told, under the prefix's C: drive.
    QCOMPARE(p.codeFile, wine.prefix + "/drive_c/windows/temp/" + p.arguments.at(1).mid(temp.size()));
    QCOMPARE(p.arguments.mid(2), QStringList({y + "\\setup 64.exe", "/S", "a b"}));
    QCOMPARE(p.file, (d + "/setup 64.exe").toUtf8());
    QCOMPARE(p.installer.kind, InstallerKind::WindowsProgram);
    QCOMPARE(p.installer.machine, quint16(MachineAmd64));
    // Each call has a code file of its own.
    const LaunchPlan again = planLaunch(CommandLine{d + "/setup 64.exe", {}, {}}, wine);
    QVERIFY(again.codeFile != p.codeFile);

    p = planLaunch(CommandLine{d + "/Pack.msi", {"/qn"}, {}}, wine);
    QCOMPARE(p.arguments.mid(2), QStringList({"msiexec", "/i", y + "\\Pack.msi", "/qn"}));
    p = planLaunch(CommandLine{d + "/step.bat", {}, {}}, wine);
    QCOMPARE(p.arguments.mid(2), QStringList({"cmd", "/c", y + "\\step.bat"}));
    QCOMPARE(p.installer.kind, InstallerKind::BatchFile);

    // Without a launcher: Wine starts the file itself, and there is no code file.
    wine.launcher.clear();
    p = planLaunch(CommandLine{d + "/setup 64.exe", {"/S"}, {}}, wine);
    QCOMPARE(p.arguments, QStringList({d + "/setup 64.exe", "/S"}));
    QVERIFY(p.codeFile.isEmpty());

    // Native programs never go near Wine.
    writeFile(d + "/tool.sh", "exit 0\n", false);
    p = planLaunch(CommandLine{d + "/tool.sh", {}, {}}, wine);
    QVERIFY(!p.wine);
    QVERIFY(p.codeFile.isEmpty());
    QCOMPARE(p.installer.kind, InstallerKind::ShellScript);
}

void TestShellAndWaitLogic::machineTheWineCannotRun()
{
    QTemporaryDir tmp;
    const QString d = tmp.path();
    writeFile(d + "/setup32.exe", peFor(MachineI386), false);
    writeFile(d + "/arm.exe", peFor(MachineArm64), false);
    writeFile(d + "/setup64.exe", peFor(MachineAmd64), false);
    WineSetup wine;
    wine.wine = "/usr/bin/wine";
    wine.launcher = "/x/WineWait.exe";
    wine.prefix = d + "/prefix";
    wine.runsX86 = false;

    LaunchPlan p = planLaunch(CommandLine{d + "/setup32.exe", {"/S"}, {}}, wine);
    QCOMPARE(p.error, RunTimeError::MachineMismatch);
    QVERIFY(p.executable.isEmpty());
    QVERIFY(p.codeFile.isEmpty());
    QVERIFY2(p.description.contains(d + "/setup32.exe") && p.description.contains("32-bit")
                     && p.description.contains("apt-get install wine32:i386")
                     && p.description.contains("on other systems"),
             qPrintable(p.description));
    // What was refused is still known.
    QCOMPARE(p.installer.machine, quint16(MachineI386));
    QCOMPARE(p.file, (d + "/setup32.exe").toUtf8());

    p = planLaunch(CommandLine{d + "/arm.exe", {}, {}}, wine);
    QCOMPARE(p.error, RunTimeError::MachineMismatch);
    QVERIFY2(p.description.contains("ARM64"), qPrintable(p.description));
    QVERIFY(planLaunch(CommandLine{d + "/setup64.exe", {}, {}}, wine).ok());

    wine.runsX86 = true;
    QVERIFY(planLaunch(CommandLine{d + "/setup32.exe", {}, {}}, wine).ok());
    // The machine matters to Wine only: without Wine the older error stands.
    wine.wine.clear();
    QCOMPARE(planLaunch(CommandLine{d + "/setup32.exe", {}, {}}, wine).error, RunTimeError::InvalidCall);
}

void TestShellAndWaitLogic::rootDriveAndThirtyTwoBitWine()
{
    QTemporaryDir tmp;
    const QString d = tmp.path();
    // A prefix not made yet maps "/" as Z:.
    QCOMPARE(rootDriveOf(d + "/none"), QChar('Z'));
    QVERIFY(QDir().mkpath(d + "/pfx/dosdevices"));
    QVERIFY(QDir().mkpath(d + "/pfx/drive_c"));
    QVERIFY(QFile::link("../drive_c", d + "/pfx/dosdevices/c:"));
    QVERIFY(QFile::link("/home", d + "/pfx/dosdevices/z:"));
    QVERIFY(QFile::link("/", d + "/pfx/dosdevices/r:"));
    QCOMPARE(rootDriveOf(d + "/pfx"), QChar('R'));

    // Debian's wine32 brings the i386 loader; without it, 64-bit only.
    const QByteArray elf64 = QByteArray("\x7f") + "ELF\x02";
    const QByteArray elf32 = QByteArray("\x7f") + "ELF\x01";
    const QString root = d + "/root";
    QVERIFY(QDir().mkpath(root + "/usr/lib/wine"));
    writeFile(root + "/usr/lib/wine/wine64", elf64, true);
    QVERIFY(!wineRuns32Bit(d + "/no/wine", root));
    writeFile(root + "/usr/lib/wine/wine", elf32, true);
    QVERIFY(wineRuns32Bit(d + "/no/wine", root));
    QFile::remove(root + "/usr/lib/wine/wine");
    QVERIFY(QDir().mkpath(root + "/usr/lib/i386-linux-gnu/wine"));
    QVERIFY(wineRuns32Bit(d + "/no/wine", root));

    // A Wine of its own: a 32-bit loader beside it, or its i386 Unix libraries.
    const QString empty = d + "/empty";
    QVERIFY(QDir().mkpath(empty));
    QVERIFY(QDir().mkpath(d + "/opt/bin"));
    writeFile(d + "/opt/bin/wine", elf64, true);
    QVERIFY(!wineRuns32Bit(d + "/opt/bin/wine", empty));
    writeFile(d + "/opt/bin/wine", elf32, true);
    QVERIFY(wineRuns32Bit(d + "/opt/bin/wine", empty));
    writeFile(d + "/opt/bin/wine", elf64, true);
    QVERIFY(QDir().mkpath(d + "/opt/lib/wine/i386-unix"));
    QVERIFY(wineRuns32Bit(d + "/opt/bin/wine", empty));
}

void TestShellAndWaitLogic::processStatAndNames()
{
    // Names as Wine shows them (argv[0] a Windows path) and as Linux does.
    for (const char *name :
         {"services.exe", "EXPLORER.EXE", "winedevice.exe", "plugplay.exe", "rpcss.exe", "svchost.exe", "wineboot.exe",
          "winemenubuilder.exe", "conhost.exe", "wineserver", "wineserver64"})
        QVERIFY2(isWineServiceName(name), name);
    for (const char *name : {"setup.exe", "msiexec.exe", "second.exe", "wine64", "sh"})
        QVERIFY2(!isWineServiceName(name), name);
    // wineboot as ExitWindowsEx starts it for a reboot (forced or not) or a
    // user restarts by hand, against the prefix's first start, an update and
    // a shutdown.
    for (const QStringList &args : {QStringList{"--end-session"}, {"--kill"}, {"-e", "-f"}, {"-r"}, {}})
        QVERIFY2(isWineRestart(args), qPrintable(args.join(' ')));
    for (const QStringList &args :
         {QStringList{"--init"}, {"--end-session", "--shutdown"}, {"-ks"}, {"-u"}, {"--help"}})
        QVERIFY2(!isWineRestart(args), qPrintable(args.join(' ')));

    const quint64 ticksBefore = startTicksNow();
    pid_t pid = 0;
    QCOMPARE(spawnPlan(shellPlan("exec sleep 5"), &pid), 0);
    auto end = qScopeGuard([&] {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    });
    QTRY_COMPARE(processName(pid), QString("sleep"));
    ProcessStat st;
    QVERIFY(readProcessStat(pid, &st));
    QCOMPARE(st.pid, pid);
    QCOMPARE(st.ppid, ::getpid());
    QCOMPARE(st.session, pid); // a session of its own
    ProcessStat self;
    QVERIFY(readProcessStat(::getpid(), &self));
    QVERIFY(st.startTime >= self.startTime);
    // The clock taken before the start is the one the kernel counts in.
    QVERIFY2(st.startTime >= ticksBefore && st.startTime <= startTicksNow(),
             qPrintable(QString("%1 <= %2").arg(ticksBefore).arg(st.startTime)));
    bool listed = false;
    for (const ProcessStat &c : childrenOfThisProcess())
        listed = listed || c.pid == pid;
    QVERIFY(listed);
    QVERIFY(!isWineServiceProcess(pid));
}

void TestShellAndWaitLogic::childListWithAndWithoutChildren()
{
    // In a fresh process of its own: this test's earlier children may still run.
    const pid_t helper = ::fork();
    QVERIFY(helper >= 0);
    if (helper == 0) {
        if (!childrenOfThisProcess().isEmpty())
            ::_exit(1);
        pid_t pid = 0;
        if (spawnPlan(shellPlan("exec sleep 5"), &pid) != 0)
            ::_exit(10);
        const QList<ProcessStat> running = childrenOfThisProcess();
        if (running.size() != 1 || running.first().pid != pid)
            ::_exit(11);
        // Ended but not yet reaped: still a child, still listed.
        ::kill(pid, SIGKILL);
        ProcessStat st;
        for (int i = 0; i < 500 && !(readProcessStat(pid, &st) && st.state == 'Z'); ++i)
            ::usleep(10000);
        if (childrenOfThisProcess().size() != 1)
            ::_exit(12);
        ::waitpid(pid, nullptr, 0);
        ::_exit(childrenOfThisProcess().isEmpty() ? 0 : 13);
    }
    int status = 0;
    QCOMPARE(::waitpid(helper, &status, 0), helper);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
}

void TestShellAndWaitLogic::leftoverWaitIsIdleAndReaps()
{
    QVERIFY(becomeSubreaper());
    QTemporaryDir tmp;
    const QString pidFile = tmp.path() + "/pid";
    QSet<pid_t> before;
    for (const ProcessStat &c : childrenOfThisProcess())
        before.insert(c.pid);
    pid_t pid = 0;
    // Two generations left behind: the grandchild comes to us only when its parent ends.
    QCOMPARE(spawnPlan(shellPlan("sh -c 'sleep 0.8 & echo $! > \"" + pidFile + "\"; sleep 0.3' & exit 0"), &pid), 0);
    ProcessStat program;
    QVERIFY(readProcessStat(pid, &program));
    ChildWait wait(pid);
    QVERIFY(wait.wait());

    const double cpuBefore = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    LeftoverWait leftovers(before, program);
    QVERIFY(leftovers.find());
    QCOMPARE(leftovers.remaining().size(), 1);
    QVERIFY(leftovers.wait());
    QVERIFY2(clock.elapsed() >= 600, qPrintable(QString::number(clock.elapsed())));
    const double used = cpuSeconds() - cpuBefore;
    QVERIFY2(used < 0.1, qPrintable(QString("waiting used %1 s of processor time").arg(used)));
    QVERIFY(leftovers.remaining().isEmpty());
    QFile f(pidFile);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const pid_t last = pid_t(f.readAll().trimmed().toInt());
    QVERIFY(last > 0);
    QVERIFY(isGone(last)); // reaped, no zombie
    // Nothing of it is found a second time.
    LeftoverWait again(before, program);
    QVERIFY(!again.find());
}

QTEST_GUILESS_MAIN(TestShellAndWaitLogic)
#include "tst_shellandwait_logic.moc"
