// SPDX-License-Identifier: GPL-3.0-or-later
// What the built program leaves on disk when it is run as users run it: a
// state folder another user prepared, many runs at once, kills in the middle
// of a write, the demo's own files.
#include "SetupreelRun.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QProcessEnvironment withState(const QString &stateHome)
{
    QProcessEnvironment env = SetupreelRun::noDisplay();
    env.insert(QStringLiteral("XDG_STATE_HOME"), stateHome);
    return env;
}

void writeFile(const QString &path, const QByteArray &bytes, QFile::Permissions mode = {})
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(f.write(bytes), bytes.size());
    if (mode)
        QVERIFY(f.setPermissions(mode));
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

mode_t modeOf(const QString &path)
{
    struct stat st
    {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

QStringList entries(const QString &folder, const QString &pattern)
{
    return QDir(folder).entryList({pattern}, QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// Starts the program and kills it with SIGKILL after ms.
void killAfter(const QStringList &args, const QProcessEnvironment &env, int ms)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(SetupreelRun::program(), args);
    QVERIFY(p.waitForStarted());
    const auto pid = pid_t(p.processId());
    QTest::qWait(ms);
    // Not reaped while it counts as running: the id is still its own.
    if (p.state() == QProcess::Running)
        ::kill(pid, SIGKILL);
    QVERIFY(p.state() == QProcess::NotRunning || p.waitForFinished(30000));
}

} // namespace

class TestCliFiles : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString &relative) const { return m_dir.filePath(relative); }

    // A list of count copies of one shell setup that ends with code.
    QString makeList(const QString &name, int count, int code)
    {
        const QString setup = path(name + QStringLiteral(".sh"));
        writeFile(setup, QStringLiteral("#!/bin/sh\nexit %1\n").arg(code).toUtf8(),
                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QByteArray list = ">" + name.toUtf8() + "\r\n";
        for (int i = 0; i < count; ++i)
            list += QFile::encodeName(setup) + "\r\n";
        const QString file = path(name + QStringLiteral(".SR"));
        writeFile(file, list);
        return file;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // Run as root with a state folder another user could have prepared, the
    // run goes on without a kept report and says why; nothing is written
    // where a planted link points.
    void stateFolderOthersCouldPrepareIsRefused()
    {
        if (::geteuid() != 0)
            QSKIP("a folder of another user is made as root only");
        const QString list = makeList(QStringLiteral("one"), 1, 0);
        const QString elsewhere = path(QStringLiteral("elsewhere"));
        QVERIFY(QDir().mkpath(elsewhere));
        struct Planted
        {
            const char *name;
            uid_t owner;
            QFile::Permissions mode;
            bool runsIsLink;
            const char *said;
        };
        const QFile::Permissions own = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
        const QFile::Permissions open = own | QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
                                        | QFile::WriteOther | QFile::ExeOther;
        for (const Planted &p :
             {Planted{"another user's", 65534, own, true, "belongs to another user (uid 65534)"},
              Planted{"writable by all", 0, open, false, "others may write to the folder (mode 0777)"},
              Planted{"runs a link", 0, own, true, "it is a symbolic link, not a folder"}}) {
            const QString state = path(QStringLiteral("state-") + QString::fromLatin1(p.name));
            const QString folder = state + QStringLiteral("/setupreel");
            QVERIFY(QDir().mkpath(folder));
            if (p.runsIsLink)
                QVERIFY(QFile::link(elsewhere, folder + QStringLiteral("/runs")));
            QVERIFY(QFile::setPermissions(folder, p.mode));
            QCOMPARE(::lchown(QFile::encodeName(folder).constData(), p.owner, p.owner), 0);
            const SetupreelRun::Result r = SetupreelRun::run({QStringLiteral("--install"), list}, withState(state));
            QVERIFY2(r.out.contains("1 succeeded"), p.name);
            QVERIFY2(r.err.contains("The report of this run could not be written: ") && r.err.contains(p.said),
                     r.err.constData());
            QCOMPARE(QDir(elsewhere).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
        }

        // A folder of root's own: runs is made (or made again) for root only.
        const QString state = path(QStringLiteral("state-own"));
        QVERIFY(QDir().mkpath(state + QStringLiteral("/setupreel/runs")));
        QVERIFY(QFile::setPermissions(state + QStringLiteral("/setupreel/runs"),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                              | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
        const SetupreelRun::Result r = SetupreelRun::run({QStringLiteral("--install"), list}, withState(state));
        QVERIFY2(r.status == 0, r.err.constData());
        QCOMPARE(modeOf(state + QStringLiteral("/setupreel/runs")), mode_t(0700));
        QCOMPARE(entries(state + QStringLiteral("/setupreel/runs"), QStringLiteral("run-*.json")).size(), 1);
    }

    // Runs started together each keep a report of their own.
    void runsStartedTogetherKeepEveryReport()
    {
        const QString list = makeList(QStringLiteral("quick"), 1, 0);
        const QString state = path(QStringLiteral("state-together"));
        constexpr int Runs = 40;
        QList<QProcess *> runs;
        for (int i = 0; i < Runs; ++i) {
            runs << new QProcess(this);
            runs.last()->setProcessEnvironment(withState(state));
            runs.last()->start(SetupreelRun::program(), {QStringLiteral("--install"), list});
        }
        for (QProcess *p : std::as_const(runs)) {
            QVERIFY(p->waitForFinished(120000));
            QCOMPARE(p->exitCode(), 0);
            delete p;
        }
        const QString folder = state + QStringLiteral("/setupreel/runs");
        const QStringList reports = entries(folder, QStringLiteral("run-*.json"));
        QCOMPARE(reports.size(), Runs);
        for (const QString &name : reports)
            QVERIFY2(QJsonDocument::fromJson(readFile(folder + u'/' + name)).isObject(), qPrintable(name));
    }

    // SIGKILL at any moment leaves no half file under a final name and no
    // temporary that the next write does not clear; a retry works.
    void killsLeaveNoHalfFile()
    {
        // The kept report, rewritten after every failing program.
        const QString failing = makeList(QStringLiteral("failing"), 400, 1);
        const QString state = path(QStringLiteral("state-killed"));
        const QString runs = state + QStringLiteral("/setupreel/runs");
        QElapsedTimer whole;
        whole.start();
        QCOMPARE(SetupreelRun::run({QStringLiteral("--install"), failing}, withState(state)).status, 1);
        const int runMs = int(whole.elapsed());
        for (int i = 0; i < 20; ++i) {
            killAfter({QStringLiteral("--install"), failing}, withState(state),
                      QRandomGenerator::global()->bounded(runMs));
            for (const QString &name : entries(runs, QStringLiteral("run-*"))) {
                const QByteArray bytes = readFile(runs + u'/' + name);
                // Empty only as the name taken at the start.
                QVERIFY2(bytes.isEmpty() || !name.endsWith(QLatin1String(".json"))
                                 || QJsonDocument::fromJson(bytes).isObject(),
                         qPrintable(name));
            }
            // The record of what is done, rewritten with it, is whole too.
            for (const QString &name : entries(state + QStringLiteral("/setupreel/done"), QStringLiteral("*.json")))
                QVERIFY2(
                        QJsonDocument::fromJson(readFile(state + QStringLiteral("/setupreel/done/") + name)).isObject(),
                        qPrintable(name));
        }
        QCOMPARE(SetupreelRun::run({QStringLiteral("--install"), failing}, withState(state)).status, 1);
        QCOMPARE(entries(runs, QStringLiteral(".sr-*")), QStringList());
        QCOMPARE(entries(state + QStringLiteral("/setupreel/done"), QStringLiteral("*.json")).size(), 1);

        // A copy with suggested switches, killed before, while and after it is written.
        QByteArray big = ">Big\r\n";
        for (int i = 0; i < 20000; ++i)
            big += "missing-setup-program-with-a-long-name-" + QByteArray::number(i) + ".exe /S\r\n";
        writeFile(path(QStringLiteral("big.SR")), big);
        const QStringList check{QStringLiteral("--check"), path(QStringLiteral("big.SR")),
                                QStringLiteral("--write-suggested"), path(QStringLiteral("copy/big.SR"))};
        QVERIFY(QDir().mkpath(path(QStringLiteral("copy"))));
        whole.restart();
        SetupreelRun::run(check);
        const int checkMs = int(whole.elapsed());
        const QByteArray complete = readFile(path(QStringLiteral("copy/big.SR")));
        QVERIFY(complete.size() > big.size() / 2);
        for (int i = 0; i < 20; ++i) {
            QVERIFY(QFile::remove(path(QStringLiteral("copy/big.SR"))) || i > 0);
            killAfter(check, SetupreelRun::noDisplay(), QRandomGenerator::global()->bounded(checkMs + checkMs / 4));
            const QByteArray left = readFile(path(QStringLiteral("copy/big.SR")));
            QVERIFY(left == complete || left == "<unreadable>");
            QCOMPARE(entries(path(QStringLiteral("copy")), QStringLiteral(".sr-*")), QStringList());
        }
        QFile::remove(path(QStringLiteral("copy/big.SR")));
        SetupreelRun::run(check);
        QCOMPARE(readFile(path(QStringLiteral("copy/big.SR"))), complete);
    }

    // The demo keeps its "installation" in the user's state folder, and
    // never appends through a folder another user prepared.
    void demoWritesUnderTheStateFolder()
    {
        const QString state = path(QStringLiteral("state-demo"));
        const SetupreelRun::Result r = SetupreelRun::run(
                {QStringLiteral("--install"), QStringLiteral(SETUPREEL_BUILD_APP_DIR "/examples/Demo.SR")},
                withState(state));
        QVERIFY2(r.status == 0, r.err.constData());
        const QString demo = state + QStringLiteral("/setupreel/demo");
        QCOMPARE(readFile(demo + QStringLiteral("/installed.log")).count('\n'), 2);
        QCOMPARE(readFile(demo + QStringLiteral("/fonts/installed.log")).count('\n'), 1);
        QVERIFY(r.out.contains("[Office Fonts] installed into " + QFile::encodeName(demo) + "/fonts\n"));

        if (::geteuid() != 0)
            QSKIP("a folder of another user is made as root only");
        const QString planted = path(QStringLiteral("state-planted/setupreel/demo"));
        QVERIFY(QDir().mkpath(planted));
        const QString secret = path(QStringLiteral("root-only"));
        writeFile(secret, "root's\n", QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(QFile::link(secret, planted + QStringLiteral("/installed.log")));
        QCOMPARE(::chown(QFile::encodeName(planted).constData(), 65534, 65534), 0);
        QProcess setup;
        setup.setProcessEnvironment(withState(path(QStringLiteral("state-planted"))));
        setup.start(QStringLiteral(SETUPREEL_BUILD_APP_DIR "/examples/setups/office-fonts-setup.sh"),
                    {QStringLiteral("/S")});
        QVERIFY(setup.waitForFinished(30000));
        QCOMPARE(setup.exitCode(), 1);
        QCOMPARE(readFile(secret), QByteArray("root's\n"));
    }
};

QTEST_GUILESS_MAIN(TestCliFiles)
#include "tst_cli_files.moc"
