// SPDX-License-Identifier: GPL-3.0-or-later
// Every window of the program in the program's own font: each caption must
// show whole in its control, word-wrapped where the control wraps, and a
// message box must be wide enough for a window manager to show its title.
#include "ScriptedPrompts.h"
#include "WindowTestFixture.h"
#include "core/common/Folders.h"
#include "core/common/Globals.h"
#include "core/common/Seams.h"
#include "core/startup/SupportCheck.h"
#include "windows/adding/Additem.h"
#include "windows/adding/Form3.h"
#include "windows/adding/Form5.h"
#include "windows/editor/Dialog.h"
#include "windows/editor/Form1.h"
#include "windows/editor/Form6.h"
#include "windows/install/Dialog1.h"
#include "windows/install/Dialog2.h"
#include "windows/install/Form2.h"
#include "windows/startup/Form4.h"
#include "windows/startup/ProgramFont.h"
#include "windows/startup/frmAbout.h"
#include "windows/ui/Controls.h"
#include "windows/ui/Program.h"
#include "windows/ui/Windows.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QTimer>
#include <QtTest>

namespace {

QString withoutMnemonic(QString text)
{
    text.replace(QLatin1String("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    return text;
}

QString describe(const QWidget *w)
{
    const QString name =
            w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
    return name + QStringLiteral(" at ") + QString::number(w->x()) + QLatin1Char(',') + QString::number(w->y());
}

// Why a label's text does not show whole in it, or empty when it does.
QString labelMisfit(const QLabel *label)
{
    const QString text = label->text();
    const QFontMetrics metrics(label->font());
    const QRect room = label->contentsRect();
    if (label->wordWrap()) {
        // Every word must fit a line, and the wrapped lines the height.
        for (const QString &word : text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
            if (metrics.horizontalAdvance(word) > room.width())
                return QStringLiteral("the word \"%1\" needs %2 of %3 px")
                        .arg(word)
                        .arg(metrics.horizontalAdvance(word))
                        .arg(room.width());
        }
        const QRect needed = metrics.boundingRect(room, int(label->alignment()) | Qt::TextWordWrap, text);
        if (needed.height() > room.height())
            return QStringLiteral("wrapped it needs %1 of %2 px in height").arg(needed.height()).arg(room.height());
        return {};
    }
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (metrics.horizontalAdvance(line) > room.width())
            return QStringLiteral("\"%1\" needs %2 of %3 px")
                    .arg(line)
                    .arg(metrics.horizontalAdvance(line))
                    .arg(room.width());
    }
    const int height = lines.size() * metrics.lineSpacing() - metrics.leading();
    if (height > room.height())
        return QStringLiteral("%1 lines need %2 of %3 px in height").arg(lines.size()).arg(height).arg(room.height());
    return {};
}

// The text a button draws against the room its style leaves for it.
QString buttonMisfit(const QAbstractButton *button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    QStyle::SubElement contents = QStyle::SE_PushButtonContents;
    if (qobject_cast<const QRadioButton *>(button))
        contents = QStyle::SE_RadioButtonContents;
    else if (qobject_cast<const QCheckBox *>(button))
        contents = QStyle::SE_CheckBoxContents;
    QRect room = button->style()->subElementRect(contents, &option, button);
    if (!qobject_cast<const QPushButton *>(button) && !qobject_cast<const QRadioButton *>(button)
        && !qobject_cast<const QCheckBox *>(button))
        room = button->rect(); // a picture button without its picture writes its caption in its whole face
    const QFontMetrics metrics(button->font());
    const QString text = withoutMnemonic(button->text());
    if (metrics.horizontalAdvance(text) > room.width())
        return QStringLiteral("\"%1\" needs %2 of %3 px")
                .arg(text)
                .arg(metrics.horizontalAdvance(text))
                .arg(room.width());
    if (metrics.ascent() + metrics.descent() > room.height())
        return QStringLiteral("\"%1\" needs %2 of %3 px in height")
                .arg(text)
                .arg(metrics.ascent() + metrics.descent())
                .arg(room.height());
    return {};
}

// Every caption of a window that does not show whole.
QStringList misfits(const QWidget *window)
{
    QStringList found;
    for (const QLabel *label : window->findChildren<QLabel *>()) {
        if (label->text().isEmpty())
            continue; // a picture
        const QString why = labelMisfit(label);
        if (!why.isEmpty())
            found << describe(label) + QStringLiteral(": ") + why;
    }
    for (const QAbstractButton *button : window->findChildren<QAbstractButton *>()) {
        if (button->text().isEmpty())
            continue; // a click area
        if (const auto *picture = qobject_cast<const PictureButton *>(button); picture && !picture->picture().isNull())
            continue; // the caption is drawn in the picture
        const QString why = buttonMisfit(button);
        if (!why.isEmpty())
            found << describe(button) + QStringLiteral(": ") + why;
    }
    return found;
}

// What a window manager's title bar needs at least: the title in a bold font of
// 10 pt, an icon and three buttons of 20 px, and some padding.
int leastWidthForTitle(const QString &title)
{
    QFont font = QApplication::font();
    font.setBold(true);
    font.setPointSizeF(qMax(10.0, font.pointSizeF()));
    return QFontMetrics(font).horizontalAdvance(title) + 4 * 20 + 20;
}
}

class TestCaptions : public QObject
{
    Q_OBJECT

    WindowTestFixture m_windows;
    ScriptedPrompts *m_prompts = nullptr; // m_windows' while a test runs

    template<class W>
    W *open()
    {
        W *w = Windows::show<W>();
        QTest::qWait(30); // a tick of the editor's refresh and the start-up driver
        return w;
    }

    static void expectWhole(const QWidget *window)
    {
        const QStringList found = misfits(window);
        QVERIFY2(found.isEmpty(),
                 qPrintable(window->windowTitle() + QStringLiteral(": ") + found.join(QStringLiteral("; "))));
        QVERIFY2(window->width() >= leastWidthForTitle(window->windowTitle()),
                 qPrintable(QStringLiteral("the title \"%1\" needs %2 of %3 px")
                                    .arg(window->windowTitle())
                                    .arg(leastWidthForTitle(window->windowTitle()))
                                    .arg(window->width())));
    }

    // Shows a real box through the program's own prompts and measures it while it waits.
    template<class Box>
    static QSize measureBox(const std::function<void()> &show, QString *title)
    {
        QSize size;
        QTimer::singleShot(0, [&] {
            QWidget *box = nullptr;
            if (!QTest::qWaitFor(
                        [&] { return (box = qobject_cast<Box *>(QApplication::activeModalWidget())) != nullptr; },
                        5000))
                return;
            QTest::qWait(10);
            size = box->size();
            *title = box->windowTitle();
            QTest::keyClick(box, Qt::Key_Escape);
        });
        show();
        return size;
    }

private slots:
    void initTestCase()
    {
        // As the program does at start: its font stands in for Segoe UI.
        Seams::setAppDir(QStringLiteral(SETUPREEL_BUILD_APP_DIR));
        const QString family = registerProgramFont();
        Seams::setAppDir(QString());
        QVERIFY2(!family.isEmpty(), "the build's Fonts/seguibk.ttf");
        Program::applyWindowFont(family);
    }

    void init() { m_prompts = m_windows.setUp(); }

    void cleanup()
    {
        m_windows.tearDown();
        m_prompts = nullptr;
    }

    void startUpWindowInEachOfItsTexts()
    {
        Form4 *w = open<Form4>();
        expectWhole(w);
        QVERIFY(QTest::qWaitFor([&] { return w->Command1->isEnabled(); }, 10000));
        QCOMPARE(w->Label1->caption(), SupportCheck::successText());
        expectWhole(w);
        for (int stage = 1; stage <= 4; ++stage) {
            w->Label1->setCaption(SupportCheck::failureText(stage));
            expectWhole(w);
        }
    }

    void mainWindowAndItsHelp()
    {
        expectWhole(open<Form2>());
        expectWhole(open<Dialog1>());
        expectWhole(open<Dialog2>());
    }

    void editorAndItsWindows()
    {
        Form2 *main = open<Form2>();
        QTest::mouseClick(main->Image2, Qt::LeftButton); // Point
        Form1 *editor = Windows::find<Form1>();
        QVERIFY(editor);
        QTest::qWait(30);
        expectWhole(editor);
        editor->setRows({QStringLiteral("a"), QStringLiteral("b")});
        QTest::qWait(30);
        expectWhole(editor);
        expectWhole(open<Form6>());
        expectWhole(open<Dialog>());
        expectWhole(open<Additem>());
        expectWhole(open<Form5>());
        expectWhole(open<Form3>());
    }

    // The send-to-line window as its users saw it: both texts whole, the box's
    // font smaller than the window's.
    void sendToLineShowsItsTextsWhole()
    {
        Form6 *w = open<Form6>();
        QVERIFY(labelMisfit(w->Label1).isEmpty());
        QVERIFY(labelMisfit(w->Label2).isEmpty());
        QVERIFY(!w->Label1->geometry().intersects(w->Text3->geometry().adjusted(1, 0, 0, 0)));
        QVERIFY(!w->Label2->geometry().intersects(w->Command1->geometry()));
        QVERIFY(w->rect().contains(w->Label1->geometry()) && w->rect().contains(w->Label2->geometry()));
        QVERIFY(QFontInfo(w->Text3->font()).pointSizeF() < QFontInfo(w->Label1->font()).pointSizeF());
    }

    // The version line is the about box's small print.
    void aboutBoxVersionIsSmallerThanTitleAndDescription()
    {
        frmAbout *w = open<frmAbout>();
        expectWhole(w);
        const QFontInfo version(w->lblVersion->font());
        QVERIFY(version.pointSizeF() < QFontInfo(w->lblTitle->font()).pointSizeF());
        QVERIFY(version.pointSizeF() < QFontInfo(w->lblDescription->font()).pointSizeF());
        QVERIFY(QFontMetrics(w->lblVersion->font()).height() < QFontMetrics(w->lblDescription->font()).height());
    }

    // Short texts made narrow boxes whose titles the window manager cut
    // ("File...mat", "Une...rror").
    void messageBoxesAreWideEnoughForTheirTitles_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        for (const char *title : {"File format", "Unexpected Error", "Error", "Load Saved List", "Information",
                                  "Empty list !", "Save List", "Installing", "Add item", "Open"})
            QTest::newRow(title) << QString::fromLatin1(title) << QStringLiteral("Ok.");
        QTest::newRow("the program's title") << QString() << QStringLiteral("x");
    }

    void messageBoxesAreWideEnoughForTheirTitles()
    {
        QFETCH(QString, title);
        QFETCH(QString, text);
        Seams::setPrompts(nullptr); // the real dialogs
        QString shown;
        const QSize size =
                measureBox<QMessageBox>([&] { Program::prompts().messageBox(text, title, MsgIcon::Critical); }, &shown);
        QCOMPARE(shown, title.isEmpty() ? Program::title() : title);
        QVERIFY2(size.width() >= leastWidthForTitle(shown),
                 qPrintable(QStringLiteral("%1 of %2 px").arg(size.width()).arg(leastWidthForTitle(shown))));

        const QSize question = measureBox<QMessageBox>(
                [&] { Program::prompts().questionBox(text, title, MsgIcon::Exclamation); }, &shown);
        QVERIFY2(question.width() >= leastWidthForTitle(shown),
                 qPrintable(QStringLiteral("%1 of %2 px").arg(question.width()).arg(leastWidthForTitle(shown))));

        const QSize input = measureBox<QInputDialog>(
                [&] { Program::prompts().inputBox(QStringLiteral("?"), title, QString()); }, &shown);
        QVERIFY2(input.width() >= leastWidthForTitle(shown),
                 qPrintable(QStringLiteral("%1 of %2 px").arg(input.width()).arg(leastWidthForTitle(shown))));
    }
};

QTEST_MAIN(TestCaptions)
#include "tst_captions.moc"
