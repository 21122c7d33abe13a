// The real program, started from a copy of the build's application folder in a
// virtual X server: the restart after writing the manifest, the check passing
// and "Next" into the main window with the list named on the command line
// loaded, and the error of a missing support file.
// Clicks come from outside through xdotool; the program reports where it stands
// into SETUPREEL_REPORT_FILE.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include "AppFolderCopy.h"
#include "SmallFileSystem.h"

#include <QtTest>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool processAlive(qint64 pid) { return pid > 0 && ::kill(pid_t(pid), 0) == 0; }
}

class TestStartupProgram : public QObject
{
    Q_OBJECT

    QTemporaryDir m_work;
    QProcess m_xserver;
    QString m_display, m_xauthority, m_keepRunning;
    QList<qint64> m_started; // program instances to end after each case

    QProcessEnvironment env(const QString &report) const
    {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.remove(QStringLiteral("QT_QPA_PLATFORM"));
        e.remove(QStringLiteral("SETUPREEL_SYSTEM_DIR"));
        e.insert(QStringLiteral("DISPLAY"), m_display);
        e.insert(QStringLiteral("XAUTHORITY"), m_xauthority);
        e.insert(QStringLiteral("SETUPREEL_REPORT_FILE"), report);
        e.insert(QStringLiteral("SETUPREEL_PAUSE_MS"), QStringLiteral("0"));
        return e;
    }

    // The program's output goes to a file: the restarted instance inherits it,
    // and a pipe would close under it when the first instance ends.
    void prepare(QProcess &program, const QString &report) const
    {
        program.setProcessEnvironment(env(report));
        program.setStandardInputFile(QProcess::nullDevice());
        program.setStandardOutputFile(report + QStringLiteral(".out"));
        program.setStandardErrorFile(report + QStringLiteral(".out"), QIODevice::Append);
    }

    QString xdotool(const QStringList &args, int *exitCode = nullptr)
    {
        QProcess p;
        p.setProcessEnvironment(env(QString()));
        p.start(QStringLiteral("xdotool"), args);
        p.waitForFinished(15000);
        if (exitCode)
            *exitCode = p.exitCode();
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }

    // The visible windows of that title, exactly.
    QStringList windows(const QString &title)
    {
        const QString out = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                                     QLatin1Char('^') + QRegularExpression::escape(title) + QLatin1Char('$')});
        return out.isEmpty() ? QStringList() : out.split(QLatin1Char('\n'));
    }

    QString copyOfTheProgram(const QString &name)
    {
        const QString folder = m_work.filePath(name);
        if (!copyAppFolder(QStringLiteral(SETUPREEL_BUILD_APP_DIR), folder))
            return {};
        return folder;
    }

    static bool waitForLine(const QString &report, const QByteArray &line, int ms = 20000)
    {
        return QTest::qWaitFor([&] { return readAll(report).split('\n').contains(line); }, ms);
    }

    // Clicks at a point of the window's client area, in pixels.
    void clickAt(const QString &window, int x, int y)
    {
        xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(x),
                 QString::number(y), QStringLiteral("click"), QStringLiteral("1")});
    }

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).isEmpty()
            || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            QSKIP("needs xvfb-run and xdotool (packages xvfb, xdotool)");
        QVERIFY(m_work.isValid());
        const QString where = m_work.filePath(QStringLiteral("display"));
        m_keepRunning = m_work.filePath(QStringLiteral("keep-running"));
        QFile(m_keepRunning).open(QIODevice::WriteOnly);
        m_xserver.start(QStringLiteral("xvfb-run"),
                        {QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 1024x768x24"),
                         QStringLiteral("sh"), QStringLiteral("-c"),
                         QStringLiteral("printf '%s\\n%s\\n' \"$DISPLAY\" \"$XAUTHORITY\" > '%1.tmp' && mv '%1.tmp' '%1'; "
                                        "while [ -e '%2' ]; do sleep 0.2; done")
                             .arg(where, m_keepRunning)});
        QVERIFY(QTest::qWaitFor([&] { return QFile::exists(where); }, 20000));
        const QList<QByteArray> lines = readAll(where).split('\n');
        QVERIFY(lines.size() >= 2);
        m_display = QString::fromLocal8Bit(lines[0]);
        m_xauthority = QString::fromLocal8Bit(lines[1]);
        QVERIFY(!m_display.isEmpty());
    }

    void cleanup()
    {
        for (qint64 pid : m_started) {
            if (processAlive(pid))
                ::kill(pid_t(pid), SIGTERM);
        }
        for (qint64 pid : m_started) {
            if (!QTest::qWaitFor([pid] { return !processAlive(pid); }, 5000))
                qWarning("process %lld did not end after SIGTERM", pid);
        }
        m_started.clear();
    }

    void cleanupTestCase()
    {
        QFile::remove(m_keepRunning);
        m_xserver.waitForFinished(10000);
    }

    void firstStartRestartsThenTheCheckPassesAndNextOpensTheMainWindow()
    {
        const QString folder = copyOfTheProgram(QStringLiteral("first"));
        QVERIFY(!folder.isEmpty());
        const QString report = m_work.filePath(QStringLiteral("first.report"));
        const QString manifest = folder + QStringLiteral("/setupreel.exe.manifest");

        // A list named on the command line, by a relative name that is not
        // UTF-8; its one program logs that it ran.
        const QString log = m_work.filePath(QStringLiteral("first.log"));
        const QString setup = m_work.filePath(QStringLiteral("logs.sh"));
        QFile script(setup);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\necho ran >> '" + log.toUtf8() + "'\n");
        script.close();
        QVERIFY(script.setPermissions(script.permissions() | QFileDevice::ExeOwner));
        QVERIFY(QDir(m_work.path()).mkpath(QStringLiteral("lists")));
        const QByteArray listName = QFile::encodeName(m_work.path()) + "/lists/caf\xe9 list.SR";
        {
            const QByteArray bytes = ">Tools\r\n" + setup.toUtf8() + "\r\n";
            FILE *f = std::fopen(listName.constData(), "wb");
            QVERIFY(f);
            QCOMPARE(std::fwrite(bytes.constData(), 1, size_t(bytes.size()), f), size_t(bytes.size()));
            std::fclose(f);
        }

        // A shell puts the byte that is not UTF-8 into an argument (QProcess
        // cannot), then becomes the program.
        QProcess first;
        prepare(first, report);
        first.setWorkingDirectory(m_work.path());
        first.start(QStringLiteral("/bin/sh"),
                    {QStringLiteral("-c"), QStringLiteral("exec \"$0\" \"$(printf 'lists/caf\\351 list.SR')\" 'two words'"),
                     folder + QStringLiteral("/setupreel")});
        QVERIFY(first.waitForStarted());
        const qint64 firstPid = first.processId();
        // It writes the manifest, starts the new instance and ends before any window.
        QVERIFY(first.waitForFinished(20000));
        QCOMPARE(first.exitStatus(), QProcess::NormalExit);
        QCOMPARE(first.exitCode(), 0);
        const QByteArray written = readAll(manifest);
        QCOMPARE(written.count("\r\n"), 22);
        QVERIFY(written.contains("    name=\"setupreel.exe\"/>\r\n"));
        QVERIFY(written.contains("    version=\"1.0.0.0\"\r\n"));

        QVERIFY2(waitForLine(report, "Form4 ready"), readAll(report).constData());
        QCOMPARE(readAll(report).count("Form4 shown"), 1); // the first instance showed nothing
        QStringList found = windows(QStringLiteral("Searching Reguest Files"));
        QCOMPARE(found.size(), 1);
        const qint64 secondPid = xdotool({QStringLiteral("getwindowpid"), found[0]}).toLongLong();
        m_started << secondPid;
        QVERIFY(secondPid > 0 && secondPid != firstPid);
        QByteArray commandLine = folder.toLocal8Bit() + "/setupreel";
        commandLine.append('\0').append("lists/caf\xe9 list.SR").append('\0').append("two words").append('\0');
        QCOMPARE(readAll(QStringLiteral("/proc/%1/cmdline").arg(secondPid)), commandLine);

        // "Next" (4560, 3600, 1095, 375 twips): Form4 goes, the main window comes.
        clickAt(found[0], 340, 252);
        QVERIFY(QTest::qWaitFor([&] { return !windows(QStringLiteral("Setupreel")).isEmpty(); }, 10000));
        QVERIFY(windows(QStringLiteral("Searching Reguest Files")).isEmpty());
        QVERIFY(processAlive(secondPid));
        // The named list is loaded, as if chosen by Load: "Install" (6600, 2760,
        // 2250, 750 twips) starts its program.
        const QStringList main = windows(QStringLiteral("Setupreel"));
        QCOMPARE(main.size(), 1);
        clickAt(main[0], 515, 209);
        QVERIFY2(QTest::qWaitFor([&] { return readAll(log) == "ran\n"; }, 10000), readAll(report + ".out").constData());

        // The next start finds the manifest: no restart, this instance checks.
        const QString again = m_work.filePath(QStringLiteral("again.report"));
        QProcess next;
        prepare(next, again);
        next.start(folder + QStringLiteral("/setupreel"), {});
        QVERIFY(next.waitForStarted());
        m_started << next.processId();
        QVERIFY(waitForLine(again, "Form4 ready"));
        QCOMPARE(next.state(), QProcess::Running);
        QCOMPARE(readAll(manifest), written);
        ::kill(pid_t(next.processId()), SIGTERM);
        next.waitForFinished(5000);
    }

    // The application folder on a full file system: no manifest can be
    // written, so none stays behind and the program goes on without a restart.
    void aFullDiskStartsWithoutRestartOrManifest()
    {
        if (::geteuid() != 0)
            QSKIP("mounting a small tmpfs to fill up needs root");
        const QString mountPoint = m_work.filePath(QStringLiteral("full-disk"));
        QVERIFY(QDir().mkpath(mountPoint));
        SmallFileSystem disk(mountPoint, QStringLiteral("64m"));
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.whyNot()));

        const QString folder = mountPoint + QStringLiteral("/app");
        QVERIFY(copyAppFolder(QStringLiteral(SETUPREEL_BUILD_APP_DIR), folder));
        QVERIFY(SmallFileSystem::fillUp(mountPoint + QStringLiteral("/filler"), 4096));
        const QStringList before = QDir(folder).entryList(QDir::Files | QDir::Hidden);

        const QString report = m_work.filePath(QStringLiteral("full-disk.report"));
        QProcess program;
        prepare(program, report);
        program.start(folder + QStringLiteral("/setupreel"), {QStringLiteral("one")});
        QVERIFY(program.waitForStarted());
        m_started << program.processId();
        QVERIFY2(waitForLine(report, "Form4 ready"), readAll(report).constData());
        QCOMPARE(program.state(), QProcess::Running); // this instance, not a restarted one
        const QStringList found = windows(QStringLiteral("Searching Reguest Files"));
        QCOMPARE(found.size(), 1);
        QCOMPARE(xdotool({QStringLiteral("getwindowpid"), found[0]}).toLongLong(), program.processId());
        QVERIFY(!QFile::exists(folder + QStringLiteral("/setupreel.exe.manifest")));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), before);
        ::kill(pid_t(program.processId()), SIGTERM);
        program.waitForFinished(5000);
    }

    void aMissingSupportFileShowsItsErrorAndOnlyExit_data()
    {
        QTest::addColumn<QString>("removed");
        QTest::addColumn<int>("error");
        QTest::newRow("picture") << QStringLiteral("Good.jpg") << 1;
        QTest::newRow("animation") << QStringLiteral("busy.gif") << 2;
        QTest::newRow("control") << QStringLiteral("system32/AnimatedGif.ocx") << 3;
        QTest::newRow("font") << QStringLiteral("Fonts/seguibk.ttf") << 4;
    }

    void aMissingSupportFileShowsItsErrorAndOnlyExit()
    {
        QFETCH(QString, removed);
        QFETCH(int, error);
        const QString folder = copyOfTheProgram(QStringLiteral("missing-%1").arg(error));
        QVERIFY(!folder.isEmpty());
        QVERIFY(QFile::remove(folder + QLatin1Char('/') + removed));
        {
            QFile manifest(folder + QStringLiteral("/setupreel.exe.manifest"));
            QVERIFY(manifest.open(QIODevice::WriteOnly)); // present: no restart
        }
        const QString report = m_work.filePath(QStringLiteral("missing-%1.report").arg(error));
        QProcess program;
        prepare(program, report);
        program.start(folder + QStringLiteral("/setupreel"), {});
        QVERIFY(program.waitForStarted());
        m_started << program.processId();
        QVERIFY2(waitForLine(report, "Form4 failed " + QByteArray::number(error)), readAll(report).constData());
        QVERIFY(!readAll(report).contains("Form4 ready"));

        // Where "Next" was, "Exit" now ends the program.
        QStringList found = windows(QStringLiteral("Searching Reguest Files"));
        QCOMPARE(found.size(), 1);
        clickAt(found[0], 340, 252);
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(windows(QStringLiteral("Setupreel")).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestStartupProgram)
#include "tst_startup_program.moc"
