// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/ui/WidgetPrompts.h"

#include "CommonDialogControl.h"
#include "windows/ui/Controls.h"
#include "windows/ui/Program.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpacerItem>

namespace {
QWidget *activeParent()
{
    QWidget *w = QApplication::activeWindow();
    return (w && w->isVisible()) ? w : nullptr;
}
QString titleOr(const QString &title) { return title.isEmpty() ? Program::title() : title; }

// Window managers draw titles in their own font, commonly a bold one somewhat
// larger than a small window font.
constexpr double LeastTitlePointSize = 10.0;
// The frame's icon and its minimize, maximize and close buttons, with their
// spacing, take about this many title-bar heights.
constexpr int DecorationHeights = 5;
}

namespace {
// The boxes size themselves to their texts; a short text would leave a box
// whose title the window manager cuts ("File...mat"). Their layouts set their
// size, so a spacer as wide as the title needs is the least width they keep.
void keepTitleWhole(QDialog &box)
{
    auto *spacer = new QSpacerItem(WidgetPrompts::widthForTitle(box.windowTitle()), 0, QSizePolicy::Minimum,
                                   QSizePolicy::Minimum);
    if (auto *grid = qobject_cast<QGridLayout *>(box.layout()))
        grid->addItem(spacer, grid->rowCount(), 0, 1, grid->columnCount());
    else if (box.layout())
        box.layout()->addItem(spacer);
    else
        delete spacer;
}
}

namespace {
// A box taller than the screen it is on (the end of a run with twenty long
// entries on a small laptop screen) would put its last lines and OK off the
// screen: its text then scrolls, and the box keeps to the screen. Measured
// once shown, when the box has laid out and wrapped its text.
class ScreenFittedBox : public QMessageBox
{
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent *event) override
    {
        QMessageBox::showEvent(event);
        if (!m_fitted)
            fitToScreen();
        m_fitted = true;
    }

private:
    void fitToScreen()
    {
        auto *grid = qobject_cast<QGridLayout *>(layout());
        auto *label = findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
        if (!screen() || !grid || !label)
            return;
        grid->activate();
        // The window manager's frame and title bar take their share too.
        const int frame = 2 * QFontMetrics(QApplication::font()).height() + 16;
        const int room = screen()->availableGeometry().height() - frame;
        const int tall = height();
        if (tall <= room)
            return;
        const int labelHeight = label->height();
        auto *scroll = new QScrollArea(this);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll->setWidgetResizable(true);
        int row = 0, column = 0, rowSpan = 1, columnSpan = 1;
        grid->getItemPosition(grid->indexOf(label), &row, &column, &rowSpan, &columnSpan);
        grid->removeWidget(label);
        label->setMinimumWidth(label->width());
        scroll->setWidget(label);
        grid->addWidget(scroll, row, column, rowSpan, columnSpan);
        const int scrollBar = scroll->verticalScrollBar()->sizeHint().width();
        const int shown = qMax(label->fontMetrics().height() * 3, labelHeight - (tall - room));
        scroll->setFixedSize(label->width() + scrollBar, shown);
        scroll->show(); // added to a box already shown
        setFixedSize(width() + scrollBar, tall - labelHeight + shown);
    }

    bool m_fitted = false;
};
}

int WidgetPrompts::widthForTitle(const QString &title)
{
    QFont font = QApplication::font();
    font.setBold(true);
    font.setPointSizeF(qMax(font.pointSizeF(), LeastTitlePointSize));
    const QFontMetrics metrics(font);
    const int barHeight = metrics.height() + 8;
    return metrics.horizontalAdvance(title) + DecorationHeights * barHeight;
}

void WidgetPrompts::messageBox(const QString &text, const QString &title, MsgIcon icon)
{
    ScreenFittedBox box(activeParent());
    box.setWindowTitle(titleOr(title));
    box.setText(displayText(text));
    switch (icon) {
    case MsgIcon::Critical: box.setIcon(QMessageBox::Critical); break;
    case MsgIcon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MsgIcon::None: break;
    }
    box.setStandardButtons(QMessageBox::Ok);
    keepTitleWhole(box);
    box.exec();
}

bool WidgetPrompts::questionBox(const QString &text, const QString &title, MsgIcon icon)
{
    QMessageBox box(activeParent());
    box.setWindowTitle(titleOr(title));
    box.setText(displayText(text));
    box.setIcon(icon == MsgIcon::Critical      ? QMessageBox::Critical
                : icon == MsgIcon::Information ? QMessageBox::Information
                : icon == MsgIcon::None        ? QMessageBox::NoIcon
                                               : QMessageBox::Warning);
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    keepTitleWhole(box);
    return box.exec() == QMessageBox::Yes;
}

QString WidgetPrompts::inputBox(const QString &prompt, const QString &title, const QString &defaultText)
{
    QInputDialog box(activeParent());
    box.setWindowTitle(titleOr(title));
    box.setLabelText(displayText(prompt));
    box.setInputMode(QInputDialog::TextInput);
    box.setTextValue(defaultText);
    box.minimumSizeHint(); // the input box makes its layout when first measured
    keepTitleWhole(box);
    return box.exec() == QDialog::Accepted ? box.textValue() : QString();
}

bool WidgetPrompts::showFileDialog(CommonDialogControl *dialog, FileDialogMode mode)
{
    if (!dialog)
        return false;
    return mode == FileDialogMode::Save ? dialog->ShowSave() : dialog->ShowOpen();
}
