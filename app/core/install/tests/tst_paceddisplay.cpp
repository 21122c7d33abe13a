// SPDX-License-Identifier: GPL-3.0-or-later
// The window's news during a run, paced to the screen: bursts are cut to the
// last value of each frame, nothing is lost at the end, and the order of the
// other changes holds.
#include "core/install/PacedDisplay.h"

#include <QElapsedTimer>
#include <QtTest>

namespace {
// Every call in one list, in the order the window would get them.
struct CallLog : InstallDisplay
{
    QStringList calls;
    QElapsedTimer clock;
    QList<qint64> fileShownAt;

    void setButtonsEnabled(bool e) override { calls << QStringLiteral("buttons:%1").arg(e); }
    void setCancelVisible(bool v) override { calls << QStringLiteral("cancel:%1").arg(v); }
    void setModeText(const QString &t) override { calls << QStringLiteral("mode:") + t; }
    void setRemainderText(const QString &t) override { calls << QStringLiteral("remainder:") + t; }
    void setCurrentFileText(const QString &t) override
    {
        calls << QStringLiteral("file:") + t;
        fileShownAt << (clock.isValid() ? clock.elapsed() : 0);
    }
    void setProgressVisible(bool v) override { calls << QStringLiteral("bar:%1").arg(v); }
    void setProgressMax(int m) override { calls << QStringLiteral("max:%1").arg(m); }
    void setProgressValue(int v) override { calls << QStringLiteral("value:%1").arg(v); }

    int count(const QString &prefix) const
    {
        int n = 0;
        for (const QString &c : calls)
            n += c.startsWith(prefix);
        return n;
    }
};
}

class TestPacedDisplay : public QObject
{
    Q_OBJECT
private slots:
    void burstsShowTheLastValueOfEachFrame()
    {
        CallLog log;
        PacedDisplay paced(log);
        paced.setCurrentFileText(QStringLiteral("first"));
        QVERIFY(log.calls.isEmpty()); // at the next turn of the event loop
        QCoreApplication::processEvents();
        QCOMPARE(log.calls, QStringList{QStringLiteral("file:first")});

        QElapsedTimer t;
        t.start();
        for (int i = 1; i <= 2000; ++i) {
            paced.setRemainderText(QString::number(2000 - i));
            paced.setCurrentFileText(QStringLiteral("p%1").arg(i));
            paced.setProgressValue(i);
        }
        const qint64 burstMs = t.elapsed();
        // The last of the burst arrives within a frame, without any further call.
        QTRY_COMPARE_WITH_TIMEOUT(log.calls.last(), QStringLiteral("value:2000"), 5 * PacedDisplay::FrameMs + 1000);
        QVERIFY(log.calls.contains(QStringLiteral("file:p2000")));
        QVERIFY(log.calls.contains(QStringLiteral("remainder:0")));
        // At most one showing a frame (and the first, and the due one after the burst).
        const int frames = int(burstMs / PacedDisplay::FrameMs) + 2;
        QVERIFY2(log.count(QStringLiteral("file:")) <= frames + 1,
                 qPrintable(
                         QStringLiteral("%1 showings in %2 ms").arg(log.count(QStringLiteral("file:"))).arg(burstMs)));
    }

    void otherChangesShowWhatIsKeptFirst()
    {
        CallLog log;
        PacedDisplay paced(log);
        // What is set together is shown together, at the next turn of the loop.
        paced.setRemainderText(QStringLiteral("Remainder 2"));
        paced.setCurrentFileText(QStringLiteral("a"));
        paced.setProgressValue(1);
        QCoreApplication::processEvents();
        QCOMPARE(log.calls, (QStringList{QStringLiteral("remainder:Remainder 2"), QStringLiteral("file:a"),
                                         QStringLiteral("value:1")}));
        // Within the frame: kept, and shown before a rare change shows itself.
        paced.setRemainderText(QStringLiteral("Remainder 1"));
        paced.setCurrentFileText(QStringLiteral("b"));
        paced.setProgressValue(2);
        QCoreApplication::processEvents();
        paced.setModeText(QStringLiteral("finished"));
        QCOMPARE(log.calls.mid(3), (QStringList{QStringLiteral("remainder:Remainder 1"), QStringLiteral("file:b"),
                                                QStringLiteral("value:2"), QStringLiteral("mode:finished")}));
        // Nothing is shown twice after that.
        QTest::qWait(3 * PacedDisplay::FrameMs);
        QCOMPARE(log.calls.size(), 7);

        // The run's end: every rare change flushes, in the run's order.
        log.calls.clear();
        paced.setCurrentFileText(QStringLiteral("c"));
        paced.setRemainderText(QStringLiteral("Remainder 0"));
        paced.setCurrentFileText(QString());
        paced.setProgressVisible(false);
        QCOMPARE(log.calls, (QStringList{QStringLiteral("remainder:Remainder 0"), QStringLiteral("file:"),
                                         QStringLiteral("bar:0")}));
    }

    void aSlowProgramIsOnScreenWithinAFrame()
    {
        CallLog log;
        log.clock.start();
        PacedDisplay paced(log);
        paced.setCurrentFileText(QStringLiteral("quick"));
        QCoreApplication::processEvents();
        paced.setCurrentFileText(QStringLiteral("slow")); // kept: the frame is not over
        const qint64 keptAt = log.clock.elapsed();
        // The slow program's wait: the window's events flow.
        QTest::qWait(300);
        QCOMPARE(log.calls.last(), QStringLiteral("file:slow"));
        QVERIFY(log.fileShownAt.last() - keptAt <= PacedDisplay::FrameMs + 100);
    }
};

QTEST_GUILESS_MAIN(TestPacedDisplay)
#include "tst_paceddisplay.moc"
