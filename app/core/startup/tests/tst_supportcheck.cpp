// SPDX-License-Identifier: GPL-3.0-or-later
// The four stages of the support-file check against a scripted list: what each
// search finds is given per folder and pattern; bar, label and buttons are recorded.
#include "ControlContract.h"
#include "ControlFactory.h"
#include "FolderSearchControl.h"
#include "core/startup/SupportCheck.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QPluginLoader>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace {
struct FakeDisplay : CheckDisplay
{
    QHash<QString, QStringList> found; // "folder|pattern" -> names the search lists
    QStringList list;
    QStringList searches;
    QStringList bar; // "max N", "value N"
    QString status;
    bool nextEnabled = false, nextVisible = true, exitVisible = false;
    int pauses = 0;

    void search(const QString &folder, const QString &pattern, qint16 &total) override
    {
        searches << folder + QLatin1Char('|') + pattern;
        for (const QString &name : found.value(folder + QLatin1Char('|') + pattern)) {
            list << name;
            ++total;
        }
    }
    QStringList listedNames() const override { return list; }
    void clearList() override { list.clear(); }
    void setProgressMax(int max) override { bar << QStringLiteral("max %1").arg(max); }
    void setProgressValue(int value) override { bar << QStringLiteral("value %1").arg(value); }
    void setStatusText(const QString &text) override { status = text; }
    void setNextEnabled(bool e) override { nextEnabled = e; }
    void setNextVisible(bool v) override { nextVisible = v; }
    void setExitVisible(bool v) override { exitVisible = v; }
    void pause() override { ++pauses; }
};

// The searches done by the real Quarrydex.ocx, as the start-up window does them.
class ControlDisplay : public QObject, public FakeDisplay, public SearchListBox, public SearchMessageSink
{
    Q_OBJECT
    Q_INTERFACES(SearchListBox)
public:
    QObject *box = nullptr;
    QStringList boxes; // the control's "Unexpected Error" boxes

    void AddItem(const QString &name) override { list << name; }
    void messageBox(const QString &text, const QString &title) override { boxes << title + ": " + text; }

    void search(const QString &folder, const QString &pattern, qint16 &total) override
    {
        searches << folder + QLatin1Char('|') + pattern;
        QString path = folder;
        QString searchStr = pattern;
        QVERIFY(callFindFiles(box, DispId::FindFiles2, path, searchStr, total, this, nullptr));
    }
};

const QString App = QStringLiteral("/opt/app");
const QString Sys = QStringLiteral("/opt/app/system32");

QStringList steps(int max, bool reset)
{
    QStringList s{QStringLiteral("max %1").arg(max)};
    for (int i = 1; i <= max; ++i)
        s << QStringLiteral("value %1").arg(i);
    if (reset)
        s << QStringLiteral("value 0");
    return s;
}

// What the folders of a complete installation list, with extras around.
void fillComplete(FakeDisplay &d)
{
    const QStringList names = SupportCheck::requiredNames();
    d.found[App + QStringLiteral("/|*.jpg")] = names.mid(0, 6) + QStringList{QStringLiteral("extra.jpg")};
    d.found[App + QStringLiteral("/|*.gif")] = QStringList{QStringLiteral("other.gif")} + names.mid(6, 8);
    d.found[Sys + QStringLiteral("/|*.ocx")] = names.mid(14, 6);
    d.found[QStringLiteral("/opt/app/Fonts/|*.ttf")] = {QStringLiteral("seguibk.ttf"), QStringLiteral("x.ttf")};
}

// The driver's ticks until it has nothing more to start.
void drive(SupportCheck &check)
{
    for (int guard = 0; guard < 10; ++guard) {
        const int stage = check.stageToStart();
        if (stage == 0)
            return;
        check.runStage(stage);
    }
    QFAIL("the driver kept starting stages");
}
}

class TestSupportCheck : public QObject
{
    Q_OBJECT

private slots:
    void allPresentFillsTheBarStageByStage()
    {
        FakeDisplay d;
        fillComplete(d);
        SupportCheck check(d, App, Sys);
        check.load();
        QCOMPARE(check.RequestFiles[1], QStringLiteral("Dialog1.jpg"));
        QCOMPARE(check.RequestFiles[21], QStringLiteral("seguibk.ttf"));
        QVERIFY(check.RequestFiles[0].isEmpty() && check.RequestFiles[22].isEmpty());
        QCOMPARE(d.status, QStringLiteral("Searching for request files.\rPlease wait ...."));
        QCOMPARE(d.bar, QStringList{QStringLiteral("max 6")});
        QVERIFY(d.searches.isEmpty()); // the window searches after its first paint
        check.searchImages();
        check.searchImages();
        QCOMPARE(d.searches, QStringList{App + QStringLiteral("/|*.jpg")});
        QCOMPARE(check.stageToStart(), 1);

        drive(check);

        QCOMPARE(d.searches, QStringList({App + QStringLiteral("/|*.jpg"), App + QStringLiteral("/|*.gif"),
                                          Sys + QStringLiteral("/|*.ocx"), QStringLiteral("/opt/app/Fonts/|*.ttf")}));
        // The third bar is full after five of the six controls; the last stays full.
        QCOMPARE(d.bar, steps(6, true) + steps(8, true) + steps(5, true) + steps(1, false));
        QCOMPARE(d.pauses, 20);
        QCOMPARE(check.outcome(), SupportCheck::Outcome::Ready);
        QCOMPARE(d.status, QStringLiteral("Loading successful.\rClick on the next button to skip."));
        QVERIFY(d.nextEnabled && d.nextVisible && !d.exitVisible);
        QCOMPARE(check.CheckStage, qint16(6));
        QCOMPARE(check.FoundCount, qint16(0));
        QCOMPARE(check.SearchTotal, qint16(7 + 9 + 6 + 2));
        QVERIFY(d.list.isEmpty());
        QCOMPARE(check.stageToStart(), 0);
    }

    void aMissingFileStopsTheCheckAtItsStage_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("missing");
        QTest::addColumn<int>("stage");
        QTest::addColumn<qint16>("checkStage");
        QTest::addColumn<int>("searches");
        QTest::newRow("a picture") << QStringLiteral("/opt/app/|*.jpg") << QStringLiteral("Good.jpg") << 1 << qint16(0)
                                   << 1;
        QTest::newRow("an animation") << QStringLiteral("/opt/app/|*.gif") << QStringLiteral("busy.gif") << 2
                                      << qint16(2) << 2;
        QTest::newRow("a control") << QStringLiteral("/opt/app/system32/|*.ocx") << QStringLiteral("PopupMenu.ocx") << 3
                                   << qint16(4) << 3;
        QTest::newRow("the font") << QStringLiteral("/opt/app/Fonts/|*.ttf") << QStringLiteral("seguibk.ttf") << 4
                                  << qint16(6) << 4;
    }

    void aMissingFileStopsTheCheckAtItsStage()
    {
        QFETCH(QString, key);
        QFETCH(QString, missing);
        QFETCH(int, stage);
        QFETCH(qint16, checkStage);
        QFETCH(int, searches);
        FakeDisplay d;
        fillComplete(d);
        QVERIFY(d.found[key].removeAll(missing) == 1);
        SupportCheck check(d, App, Sys);
        check.load();
        drive(check);

        QCOMPARE(check.outcome(), SupportCheck::Outcome::Failed);
        QCOMPARE(check.failedStage(), stage);
        QCOMPARE(d.status,
                 QStringLiteral("Some files doesn't exist.\rPlease reinstall.\rError number : %1").arg(stage));
        QVERIFY(!d.nextVisible && !d.nextEnabled && d.exitVisible);
        QCOMPARE(check.CheckStage, checkStage);
        QCOMPARE(d.searches.size(), searches); // nothing after the failed stage
        QCOMPARE(check.stageToStart(), 0);
        const QStringList before = d.bar;
        for (int s = 1; s <= 4; ++s)
            check.runStage(s); // neither the failed stage nor a later one runs again
        QCOMPARE(d.searches.size(), searches);
        QCOMPARE(d.bar, before);
        if (stage == 3) // five of six found: the bar is full, and still a failure
            QCOMPARE(d.bar.mid(d.bar.size() - 6), steps(5, false));
    }

    void namesMatchWholeAndWithoutCaseAndCountOnce()
    {
        FakeDisplay d;
        fillComplete(d);
        QStringList jpg = SupportCheck::requiredNames().mid(0, 5);
        jpg << QStringLiteral("good.JPG") << QStringLiteral("GOOD.jpg") << QStringLiteral("Good.jpg")
            << QStringLiteral("Dialog1.jpg"); // several copies of two names
        d.found[App + QStringLiteral("/|*.jpg")] = jpg;
        SupportCheck check(d, App, Sys);
        check.load();
        check.runStage(1);
        QCOMPARE(check.outcome(), SupportCheck::Outcome::Checking);
        QCOMPARE(check.CheckStage, qint16(1));
        QCOMPARE(d.bar, steps(6, true));

        // A longer or shorter name is another name.
        FakeDisplay e;
        fillComplete(e);
        e.found[App + QStringLiteral("/|*.jpg")] = SupportCheck::requiredNames().mid(0, 5)
                                                   << QStringLiteral("Good.jpg.bak") << QStringLiteral("ood.jpg");
        SupportCheck other(e, App, Sys);
        other.load();
        other.runStage(1);
        QCOMPARE(other.failedStage(), 1);
    }

    void theDriverStartsEachStageOnceInOrder()
    {
        FakeDisplay d;
        fillComplete(d);
        SupportCheck check(d, App, Sys);
        check.load();
        check.runStage(2); // out of order: nothing
        QVERIFY(d.bar.size() == 1 && d.searches.isEmpty());
        QCOMPARE(check.stageToStart(), 1);
        check.runStage(1);
        QCOMPARE(check.stageToStart(), 2);
        check.runStage(1); // once only
        QCOMPARE(check.CheckStage, qint16(1));
        check.runStage(2);
        QCOMPARE(check.CheckStage, qint16(3));
        QCOMPARE(check.stageToStart(), 3);
    }

    void aLinkThatLoopsInTheApplicationFolder()
    {
        // A link that can never be followed is an entry like any other: the
        // support files beside it and in the folders below are all found.
        QPluginLoader loader(QStringLiteral(SETUPREEL_BUILD_SYSTEM_DIR "/Quarrydex.ocx"));
        auto *factory = qobject_cast<ControlFactory *>(loader.instance());
        QVERIFY2(factory, qPrintable(loader.errorString()));
        QTemporaryDir root;
        const QString app = root.filePath(QStringLiteral("app"));
        const QString sys = app + QStringLiteral("/system32");
        const QStringList names = SupportCheck::requiredNames();
        auto place = [](const QString &folder, const QStringList &files) {
            QDir().mkpath(folder);
            for (const QString &f : files) {
                QFile file(folder + QLatin1Char('/') + f);
                if (!file.open(QIODevice::WriteOnly))
                    return false;
            }
            return true;
        };
        QVERIFY(place(app, names.mid(0, 14)));
        QVERIFY(place(sys, names.mid(14, 6)));
        QVERIFY(place(app + QStringLiteral("/Fonts"), names.mid(20, 1)));
        for (const char *link : {"/loop", "/self.jpg", "/system32/self.ocx", "/Fonts/loop.ttf"}) {
            const QByteArray at = QFile::encodeName(app) + link;
            QCOMPARE(::symlink(at.constData(), at.constData()), 0);
        }

        ControlDisplay d;
        d.box = factory->create(QStringLiteral("Quarrylib.QuarryBox"), nullptr);
        QVERIFY(d.box);
        auto *search = qobject_cast<FolderSearchControl *>(d.box);
        QVERIFY(search);
        search->setMessageSink(&d);
        SupportCheck check(d, app, sys);
        check.load();
        drive(check);
        delete d.box;

        QVERIFY2(d.boxes.isEmpty(), qPrintable(d.boxes.join('\n')));
        QCOMPARE(d.status, SupportCheck::successText());
        QCOMPARE(check.outcome(), SupportCheck::Outcome::Ready);
        QVERIFY(d.nextEnabled && !d.exitVisible);
        // Each link is listed where its name matches, as a file would be.
        QCOMPARE(check.SearchTotal, qint16(7 + 8 + 7 + 2));
    }
};

QTEST_MAIN(TestSupportCheck)
#include "tst_supportcheck.moc"
