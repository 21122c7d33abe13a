// SPDX-License-Identifier: GPL-3.0-or-later
// The item popup menu as its window meets it: the real PopupMenu.ocx, created
// by class name and called through its interface.
#include "ControlTesting.h"
#include "PopupMenuControl.h"

#include <QAction>
#include <QCursor>
#include <QJsonArray>
#include <QJsonObject>
#include <QMenu>
#include <QPluginLoader>
#include <QPointer>
#include <QSharedPointer>
#include <QWidget>
#include <QtTest>

struct MenuEntry
{
    QString caption;
    QString key;
};

// The list editor's entries.
static const QList<MenuEntry> editorEntries()
{
    return {
            {"> Add new item", "ADD"},
            {"-", "Line0"},
            {"> Send selected item to other line    ", "SIL"},
            {"-", "Line1"},
            {"> Change selected item      ", "CRI"},
            {"-", "Line2"},
            {"> Remove selected item", "REM"},
            {"-", "Line3"},
            {"> Clear current list                  ", "CLE"},
    };
}

static PopupMenuControl *typed(QObject *control) { return qobject_cast<PopupMenuControl *>(control); }

static void addItem(QObject *control, const QString &caption, const QString &key)
{
    typed(control)->AddItem(caption, key);
}

static int count(QObject *control) { return typed(control)->Count(); }
static QString caption(QObject *control, int i) { return typed(control)->Caption(i); }
static QString key(QObject *control, int i) { return typed(control)->Key(i); }
static QMenu *menuOf(QObject *control) { return qobject_cast<QMenu *>(typed(control)->menu()); }

// The keys the control hands its owner, in order.
static QSharedPointer<QStringList> chosenKeys(QObject *control, QObject *context)
{
    auto keys = QSharedPointer<QStringList>::create();
    typed(control)->onItemSelected(context, [keys](const QString &k) { keys->append(k); });
    return keys;
}

class TestPopupMenuControl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void factoryCreatesByClassName();
    void entriesKeepOrderCaptionsAndKeys();
    void triggeringAnEntryHandsItsKey();
    void captionsShowAsGiven();
    void popupDoesNotBlockAndShowsAtPointer();
    void clickInShownMenuChooses();
    void menuGoesWithItsOwner();

private:
    QObject *newControl(QWidget *owner) { return m_factory->create("PopupMenuLib.PopupMenu", owner); }
    void addEditorEntries(QObject *control)
    {
        for (const MenuEntry &e : editorEntries())
            addItem(control, e.caption, e.key);
    }

    QPluginLoader m_loader;
    ControlFactory *m_factory = nullptr;
    QWidget *m_owner = nullptr;
    QObject *m_control = nullptr;
};

void TestPopupMenuControl::initTestCase()
{
    const QString why = loadControlLibrary(m_loader, QStringLiteral(SETUPREEL_BUILD_SYSTEM_DIR "/PopupMenu.ocx"),
                                           QStringLiteral("PopupMenuLib.PopupMenu"), &m_factory);
    QVERIFY2(why.isEmpty(), qPrintable(why));
}

void TestPopupMenuControl::init()
{
    m_owner = new QWidget;
    m_owner->resize(300, 200);
    m_control = newControl(m_owner);
    QVERIFY(typed(m_control)); // the instance is the interface the window calls
}

void TestPopupMenuControl::cleanup()
{
    delete m_owner;
    m_owner = nullptr;
    m_control = nullptr;
}

void TestPopupMenuControl::factoryCreatesByClassName()
{
    QCOMPARE(m_control->parent(), m_owner);
    QVERIFY(!m_control->isWidgetType()); // only its menu ever shows
    QObject *other = m_factory->create("popupmenulib.POPUPMENU", m_owner);
    QVERIFY(other);
    QVERIFY(other != m_control);
    QCOMPARE(m_factory->create("PopupMenuLib.PopupMenuX", m_owner), nullptr);
    QCOMPARE(m_factory->create("AnimatedGif.AniGif", m_owner), nullptr);
    QCOMPARE(m_factory->create(QString(), m_owner), nullptr);
}

void TestPopupMenuControl::entriesKeepOrderCaptionsAndKeys()
{
    QCOMPARE(count(m_control), 0);
    addEditorEntries(m_control);
    const QList<MenuEntry> entries = editorEntries();
    QCOMPARE(count(m_control), entries.size());
    QMenu *menu = menuOf(m_control);
    QVERIFY(menu);
    const QList<QAction *> actions = menu->actions();
    QCOMPARE(actions.size(), entries.size());
    for (int i = 0; i < entries.size(); ++i) {
        QCOMPARE(caption(m_control, i), entries.at(i).caption);
        QCOMPARE(key(m_control, i), entries.at(i).key);
        const bool separator = entries.at(i).caption == "-";
        QCOMPARE(actions.at(i)->isSeparator(), separator);
        if (!separator)
            QCOMPARE(actions.at(i)->text(), entries.at(i).caption); // trailing blanks too
    }
    QCOMPARE(caption(m_control, 2).size(), QString("> Send selected item to other line").size() + 4);
    QCOMPARE(caption(m_control, 8).size(), QString("> Clear current list").size() + 18);

    // Past either end: empty, no crash.
    QCOMPARE(caption(m_control, -1), QString());
    QCOMPARE(key(m_control, 9), QString());
}

void TestPopupMenuControl::triggeringAnEntryHandsItsKey()
{
    addEditorEntries(m_control);
    const auto chosen = chosenKeys(m_control, m_owner);
    QMenu *menu = menuOf(m_control);
    QStringList expected;
    for (int i = 0; i < menu->actions().size(); ++i) {
        QAction *a = menu->actions().at(i);
        if (a->isSeparator())
            continue;
        a->trigger();
        expected << editorEntries().at(i).key;
    }
    QCOMPARE(*chosen, expected);
    QCOMPARE(*chosen, QStringList({"ADD", "SIL", "CRI", "REM", "CLE"}));

    // Two entries with the same caption still hand their own keys.
    addItem(m_control, "> Add new item", "ADD2");
    chosen->clear();
    menu->actions().last()->trigger();
    QCOMPARE(*chosen, QStringList({"ADD2"}));
}

void TestPopupMenuControl::captionsShowAsGiven()
{
    addItem(m_control, "Save & go", "S");
    addItem(m_control, "--", "D");
    addItem(m_control, "", "E");
    QMenu *menu = menuOf(m_control);
    const QList<QAction *> actions = menu->actions();
    QCOMPARE(actions.size(), 3);
    // An "&" would otherwise become a shortcut mark and vanish from the line.
    QCOMPARE(actions.at(0)->text(), QString("Save && go"));
    QCOMPARE(caption(m_control, 0), QString("Save & go"));
    QVERIFY(!actions.at(1)->isSeparator()); // only "-" itself is a line
    QCOMPARE(actions.at(1)->text(), QString("--"));
    QCOMPARE(key(m_control, 2), QString("E"));
}

void TestPopupMenuControl::popupDoesNotBlockAndShowsAtPointer()
{
    m_owner->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_owner));
    QMenu *menu = menuOf(m_control);
    QCOMPARE(menu->parentWidget(), m_owner);

    // Nothing to show: no empty box appears.
    typed(m_control)->PopupAtCursor();
    QVERIFY(!menu->isVisible());

    addEditorEntries(m_control);
    QCursor::setPos(120, 90);
    typed(m_control)->PopupAtCursor();
    // Back here while the menu is still open: the call did not wait for a choice.
    QVERIFY(menu->isVisible());
    QCOMPARE(menu->geometry().topLeft(), QCursor::pos());
    menu->close();
    QTRY_VERIFY(!menu->isVisible());
}

void TestPopupMenuControl::clickInShownMenuChooses()
{
    addEditorEntries(m_control);
    m_owner->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_owner));
    const auto chosen = chosenKeys(m_control, m_owner);
    QMenu *menu = menuOf(m_control);
    QCursor::setPos(40, 40);
    typed(m_control)->PopupAtCursor();
    QVERIFY(QTest::qWaitForWindowExposed(menu));

    // A separator line is no choice.
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions().at(3)).center());
    QTest::qWait(50);
    QCOMPARE(chosen->size(), 0);

    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions().at(4)).center());
    QTRY_COMPARE(chosen->size(), 1);
    QCOMPARE(chosen->at(0), QString("CRI"));
    QTRY_VERIFY(!menu->isVisible());
}

void TestPopupMenuControl::menuGoesWithItsOwner()
{
    addEditorEntries(m_control);
    QPointer<QObject> control = m_control;
    QPointer<QMenu> menu = menuOf(m_control);
    QVERIFY(menu);
    m_owner->show();
    typed(m_control)->PopupAtCursor();
    delete m_owner; // closing the window while its menu is open
    m_owner = nullptr;
    QVERIFY(control.isNull());
    QVERIFY(menu.isNull());

    // A control removed on its own takes its menu with it; the window stays.
    m_owner = new QWidget;
    QObject *c = newControl(m_owner);
    addItem(c, "> Add new item", "ADD");
    menu = menuOf(c);
    QVERIFY(menu);
    delete c;
    QVERIFY(menu.isNull());

    // Without an owner it still works and cleans up.
    c = newControl(nullptr);
    QVERIFY(c);
    addItem(c, "x", "X");
    menu = menuOf(c);
    QVERIFY(menu);
    QCOMPARE(count(c), 1);
    delete c;
    QVERIFY(menu.isNull());
}

QTEST_MAIN(TestPopupMenuControl)
#include "tst_popupmenu_control.moc"
