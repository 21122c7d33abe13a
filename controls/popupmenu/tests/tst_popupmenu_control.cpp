// The item popup menu as its window meets it: the real PopupMenu.ocx, created
// by class name and called by member name.
#include "ControlTesting.h"

#include <QAction>
#include <QCursor>
#include <QJsonArray>
#include <QJsonObject>
#include <QMenu>
#include <QPluginLoader>
#include <QPointer>
#include <QSignalSpy>
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

static void addItem(QObject *control, const QString &caption, const QString &key)
{
    QVERIFY(QMetaObject::invokeMethod(control, "AddItem", Qt::DirectConnection, Q_ARG(QString, caption),
                                      Q_ARG(QString, key)));
}

static int count(QObject *control)
{
    int n = -1;
    QMetaObject::invokeMethod(control, "Count", Qt::DirectConnection, Q_RETURN_ARG(int, n));
    return n;
}

static QString text(QObject *control, const char *member, int i)
{
    QString s = "<not invoked>";
    QMetaObject::invokeMethod(control, member, Qt::DirectConnection, Q_RETURN_ARG(QString, s), Q_ARG(int, i));
    return s;
}

static QMenu *menuOf(QObject *control)
{
    QObject *m = nullptr;
    QMetaObject::invokeMethod(control, "menu", Qt::DirectConnection, Q_RETURN_ARG(QObject *, m));
    return qobject_cast<QMenu *>(m);
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
    QVERIFY(m_control);
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
        QCOMPARE(text(m_control, "Caption", i), entries.at(i).caption);
        QCOMPARE(text(m_control, "Key", i), entries.at(i).key);
        const bool separator = entries.at(i).caption == "-";
        QCOMPARE(actions.at(i)->isSeparator(), separator);
        if (!separator)
            QCOMPARE(actions.at(i)->text(), entries.at(i).caption); // trailing blanks too
    }
    QCOMPARE(text(m_control, "Caption", 2).size(), QString("> Send selected item to other line").size() + 4);
    QCOMPARE(text(m_control, "Caption", 8).size(), QString("> Clear current list").size() + 18);

    // Past either end: empty, no crash.
    QCOMPARE(text(m_control, "Caption", -1), QString());
    QCOMPARE(text(m_control, "Key", 9), QString());
}

void TestPopupMenuControl::triggeringAnEntryHandsItsKey()
{
    addEditorEntries(m_control);
    QSignalSpy spy(m_control, SIGNAL(ItemSelected(QString)));
    QVERIFY(spy.isValid());
    QMenu *menu = menuOf(m_control);
    QStringList expected;
    for (int i = 0; i < menu->actions().size(); ++i) {
        QAction *a = menu->actions().at(i);
        if (a->isSeparator())
            continue;
        a->trigger();
        expected << editorEntries().at(i).key;
    }
    QStringList got;
    for (const QList<QVariant> &args : spy)
        got << args.at(0).toString();
    QCOMPARE(got, expected);
    QCOMPARE(got, QStringList({"ADD", "SIL", "CRI", "REM", "CLE"}));

    // Two entries with the same caption still hand their own keys.
    addItem(m_control, "> Add new item", "ADD2");
    spy.clear();
    menu->actions().last()->trigger();
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QString("ADD2"));
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
    QCOMPARE(text(m_control, "Caption", 0), QString("Save & go"));
    QVERIFY(!actions.at(1)->isSeparator()); // only "-" itself is a line
    QCOMPARE(actions.at(1)->text(), QString("--"));
    QCOMPARE(text(m_control, "Key", 2), QString("E"));
}

void TestPopupMenuControl::popupDoesNotBlockAndShowsAtPointer()
{
    m_owner->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_owner));
    QMenu *menu = menuOf(m_control);
    QCOMPARE(menu->parentWidget(), m_owner);

    // Nothing to show: no empty box appears.
    QVERIFY(QMetaObject::invokeMethod(m_control, "PopupAtCursor", Qt::DirectConnection));
    QVERIFY(!menu->isVisible());

    addEditorEntries(m_control);
    QCursor::setPos(120, 90);
    QVERIFY(QMetaObject::invokeMethod(m_control, "PopupAtCursor", Qt::DirectConnection));
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
    QSignalSpy spy(m_control, SIGNAL(ItemSelected(QString)));
    QMenu *menu = menuOf(m_control);
    QCursor::setPos(40, 40);
    QMetaObject::invokeMethod(m_control, "PopupAtCursor", Qt::DirectConnection);
    QVERIFY(QTest::qWaitForWindowExposed(menu));

    // A separator line is no choice.
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions().at(3)).center());
    QTest::qWait(50);
    QCOMPARE(spy.size(), 0);

    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions().at(4)).center());
    QTRY_COMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QString("CRI"));
    QTRY_VERIFY(!menu->isVisible());
}

void TestPopupMenuControl::menuGoesWithItsOwner()
{
    addEditorEntries(m_control);
    QPointer<QObject> control = m_control;
    QPointer<QMenu> menu = menuOf(m_control);
    QVERIFY(menu);
    m_owner->show();
    QMetaObject::invokeMethod(m_control, "PopupAtCursor", Qt::DirectConnection);
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
