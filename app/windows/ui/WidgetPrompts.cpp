#include "windows/ui/WidgetPrompts.h"

#include "CommonDialogControl.h"
#include "windows/ui/Controls.h"
#include "windows/ui/Program.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QInputDialog>
#include <QMessageBox>
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
    QMessageBox box(activeParent());
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
