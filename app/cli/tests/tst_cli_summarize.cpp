// SPDX-License-Identifier: GPL-3.0-or-later
// setupreel --summarize over the reports of three machines, made by the built
// program's real runs, each in its own UTS namespace with its own host name
// and state folder, then gathered as a controller fetches them.
#include "SetupreelRun.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

class TestCliSummarize : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_reports;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    bool write(const QString &name, const QByteArray &bytes, bool executable = false)
    {
        QFile f(path(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return false;
        f.close();
        return !executable || f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
    }

    // Runs each command line on a machine named host, with its own state
    // folder, and copies its runs folder to reports/<host>/runs as a fetch does.
    void runOn(const QString &host, const QStringList &commands, const QString &copyOnly = QString())
    {
        const QString state = path(QStringLiteral("state-") + host);
        QProcessEnvironment env = SetupreelRun::noDisplay();
        env.insert(QStringLiteral("XDG_STATE_HOME"), state);
        env.insert(QStringLiteral("SETUPREEL"), SetupreelRun::program());
        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(m_dir.path());
        p.start(QStringLiteral("unshare"),
                {QStringLiteral("--uts"), QStringLiteral("sh"), QStringLiteral("-c"),
                 QStringLiteral("hostname %1 && %2").arg(host, commands.join(QLatin1String("; ")))});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        const QDir runs(state + QStringLiteral("/setupreel/runs"));
        QStringList reports = runs.entryList({QStringLiteral("run-*.json")}, QDir::Files, QDir::Name);
        QCOMPARE(reports.size(), commands.size());
        if (!copyOnly.isEmpty())
            reports = {reports.at(copyOnly.toInt())};
        QVERIFY(QDir().mkpath(m_reports + u'/' + host + QStringLiteral("/runs")));
        for (const QString &name : reports)
            QVERIFY(QFile::copy(runs.filePath(name), m_reports + u'/' + host + QStringLiteral("/runs/") + name));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        if (QProcess::execute(QStringLiteral("unshare"), {QStringLiteral("--uts"), QStringLiteral("true")}) != 0)
            QSKIP("unshare --uts needs root here");
        m_reports = path(QStringLiteral("reports"));
        QVERIFY(write(QStringLiteral("good.sh"), "#!/bin/sh\nexit 0\n", true));
        QVERIFY(write(QStringLiteral("bad.sh"), "#!/bin/sh\nexit 5\n", true));
        QVERIFY(write(QStringLiteral("later.sh"), "#!/bin/sh\nexit 0\n", true));
        QVERIFY(write(QStringLiteral("lab.SR"),
                      ">Lab <script>alert(1)</script> & tools\x1b[31m\r\ngood.sh\r\nbad.sh\r\nlater.sh\r\n"));
        QVERIFY(write(QStringLiteral("ok.SR"), ">Office\r\ngood.sh\r\nlater.sh\r\n"));
        const QString install = QStringLiteral("\"$SETUPREEL\" --install %1 >/dev/null");
        const QString again = install + QStringLiteral(" --skip-done");
        // lab-a: a failing line, run again with --skip-done.
        runOn(QStringLiteral("lab-a"), {install.arg(QStringLiteral("lab.SR")), again.arg(QStringLiteral("lab.SR"))});
        // lab-b: only the later run that skipped every line was kept.
        runOn(QStringLiteral("lab-b"), {install.arg(QStringLiteral("ok.SR")), again.arg(QStringLiteral("ok.SR"))},
              QStringLiteral("1"));
        runOn(QStringLiteral("lab-c"), {install.arg(QStringLiteral("ok.SR")), again.arg(QStringLiteral("ok.SR"))});
    }

    // A name that is not UTF-8 is more than QDir::removeRecursively takes.
    void cleanupTestCase() { QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), m_dir.path()}); }

    // The table takes each line's newest outcome of a run that started it,
    // reads folders whose names are not UTF-8, follows no link, and names
    // the files it could not read without failing the rest.
    void tableAndTotals()
    {
        const QString labC = m_reports + QStringLiteral("/lab-c");
        QVERIFY(::rename(QFile::encodeName(labC + QStringLiteral("/runs")).constData(),
                         (QFile::encodeName(labC) + "/r\xe9sultats").constData())
                == 0);
        // Another program's JSON, and a report cut off in the middle.
        QFile check(labC + QStringLiteral("/check.json"));
        QVERIFY(check.open(QIODevice::WriteOnly));
        QProcess p;
        p.setWorkingDirectory(m_dir.path());
        p.setProcessEnvironment(SetupreelRun::noDisplay());
        p.start(SetupreelRun::program(),
                {QStringLiteral("--check"), QStringLiteral("ok.SR"), QStringLiteral("--json")});
        QVERIFY(p.waitForFinished(30000));
        QVERIFY(check.write(p.readAllStandardOutput()) > 0);
        check.close();
        const QString someReport =
                QDir(m_reports + QStringLiteral("/lab-b/runs")).entryInfoList(QDir::Files).first().filePath();
        QFile whole(someReport);
        QVERIFY(whole.open(QIODevice::ReadOnly));
        QByteArray report = whole.readAll();
        QVERIFY(write(QStringLiteral("reports/lab-b/cut.json"), report.left(300)));
        // A link out of the tree, to a machine that is not in it.
        QVERIFY(QDir().mkpath(path(QStringLiteral("elsewhere/runs"))));
        QVERIFY(report.contains("\"lab-b\""));
        QVERIFY(write(QStringLiteral("elsewhere/runs/run-x.json"), report.replace("\"lab-b\"", "\"outsider\"")));
        QVERIFY(QFile::link(path(QStringLiteral("elsewhere")), m_reports + QStringLiteral("/lab-b/linked")));

        const SetupreelRun::Result r = SetupreelRun::run({QStringLiteral("--summarize"), m_reports});
        QCOMPARE(r.status, 1);
        const QString out = QString::fromUtf8(r.out);
        const QString err = QString::fromUtf8(r.err);
        QVERIFY2(err.contains(QStringLiteral("lab-b/cut.json: not JSON")), qPrintable(err));
        QVERIFY2(!err.contains(QLatin1String("check.json")), qPrintable(err));
        QVERIFY2(!out.contains(QLatin1String("outsider")), qPrintable(out));

        const auto row = [&](const QString &host, const QString &list, int number, const QString &line,
                             const QString &outcome) {
            const QRegularExpression re(QStringLiteral("^%1 +%2 +%3 +%4 +%5(?: +(\\S.*))?$")
                                                .arg(host, QRegularExpression::escape(list))
                                                .arg(number)
                                                .arg(line, QRegularExpression::escape(outcome)),
                                        QRegularExpression::MultilineOption);
            const QRegularExpressionMatch m = re.match(out);
            return m.hasMatch() ? m.captured(1) : QStringLiteral("(no row)");
        };
        // The title's escape sequence cannot colour the terminal.
        const QString lab = QStringLiteral("Lab <script>alert(1)</script> & tools?[31m (lab.SR)");
        const QRegularExpression ranAt(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d +\\d+\\.\\d s$"));
        // Skipped by the second run: the first run's success, with its time.
        QVERIFY2(ranAt.match(row("lab-a", lab, 1, "good.sh", "succeeded")).hasMatch(), qPrintable(out));
        QVERIFY2(ranAt.match(row("lab-a", lab, 2, "bad.sh", "failed (exit code 5)")).hasMatch(), qPrintable(out));
        QVERIFY2(ranAt.match(row("lab-a", lab, 3, "later.sh", "succeeded")).hasMatch(), qPrintable(out));
        // No kept run started them: skipped, no time.
        QCOMPARE(row("lab-b", "Office (ok.SR)", 1, "good.sh", "skipped"), QString());
        QCOMPARE(row("lab-b", "Office (ok.SR)", 2, "later.sh", "skipped"), QString());
        QVERIFY2(ranAt.match(row("lab-c", "Office (ok.SR)", 2, "later.sh", "succeeded")).hasMatch(), qPrintable(out));
        QVERIFY2(out.endsWith(QStringLiteral("\n3 machine(s), 3 list(s), 7 program line(s): 1 failed, 2 skipped, "
                                             "4 succeeded.\nNot all succeeded on: lab-a.\n")),
                 qPrintable(out));

        // Without the failing machine; then folders with no report, or none.
        QCOMPARE(SetupreelRun::run({QStringLiteral("--summarize"), m_reports + QStringLiteral("/lab-b"), labC}).status,
                 0);
        const SetupreelRun::Result none =
                SetupreelRun::run({QStringLiteral("--summarize"), path(QStringLiteral("nothing"))});
        QCOMPARE(none.status, 2);
        QVERIFY2(none.err.contains("the folder cannot be read: No such file or directory"), none.err.constData());
        QVERIFY(QDir().mkpath(path(QStringLiteral("empty"))));
        QCOMPARE(SetupreelRun::run({QStringLiteral("--summarize"), path(QStringLiteral("empty"))}).status, 2);
        QCOMPARE(SetupreelRun::run({QStringLiteral("--summarize")}).status, 2);
    }

    // The page: every text from a report escaped, control characters shown
    // as "?"; a page that cannot be written is told.
    void page()
    {
        const QString page = path(QStringLiteral("page.html"));
        const SetupreelRun::Result r =
                SetupreelRun::run({QStringLiteral("--summarize"), m_reports, QStringLiteral("--html"), page});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.out.endsWith("\nPage: " + QFile::encodeName(page) + '\n'), r.out.constData());
        QFile f(page);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray html = f.readAll();
        QVERIFY(html.contains("Lab &lt;script&gt;alert(1)&lt;/script&gt; &amp; tools?[31m"));
        QVERIFY(!html.contains("<script"));
        QVERIFY(!html.contains('\x1b'));

        const SetupreelRun::Result noFolder =
                SetupreelRun::run({QStringLiteral("--summarize"), m_reports, QStringLiteral("--html"),
                                   path(QStringLiteral("no/page.html"))});
        QCOMPARE(noFolder.status, 2);
        QVERIFY2(noFolder.err.contains("the page " + QFile::encodeName(path(QStringLiteral("no/page.html")))
                                       + " could not be written: No such file or directory"),
                 noFolder.err.constData());
    }
};

QTEST_GUILESS_MAIN(TestCliSummarize)
#include "tst_cli_summarize.moc"
