#include "ui/WidgetPrompts.h"

#include "ui/Controls.h"
#include "ui/Program.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QMetaObject>

namespace {
QWidget *activeParent()
{
    QWidget *w = QApplication::activeWindow();
    return (w && w->isVisible()) ? w : nullptr;
}
QString titleOr(const QString &title) { return title.isEmpty() ? Program::title() : title; }
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
    return box.exec() == QMessageBox::Yes;
}

QString WidgetPrompts::inputBox(const QString &prompt, const QString &title, const QString &defaultText)
{
    bool ok = false;
    const QString text = QInputDialog::getText(activeParent(), titleOr(title), displayText(prompt),
                                               QLineEdit::Normal, defaultText, &ok);
    return ok ? text : QString();
}

bool WidgetPrompts::showFileDialog(QObject *dialog, FileDialogMode mode)
{
    if (!dialog)
        return false;
    bool chosen = false;
    const char *method = mode == FileDialogMode::Save ? "ShowSave" : "ShowOpen";
    QMetaObject::invokeMethod(dialog, method, Qt::DirectConnection, Q_RETURN_ARG(bool, chosen));
    return chosen;
}
