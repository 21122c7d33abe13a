// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/editor/Form6.h"

#include "core/editor/EditorLogic.h"
#include "windows/editor/Form1.h"
#include "windows/ui/Navigation.h"
#include "windows/ui/Program.h"
#include "windows/ui/Twips.h"
#include "windows/ui/Windows.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

namespace {
// A one-line caption wider than its place in the program's font grows to the
// left, up to the given edge, so it ends where it was meant to end.
void growLeftToFit(VbLabel *label, int leftmost)
{
    const int needed = QFontMetrics(label->font()).horizontalAdvance(label->text()) + 2;
    if (needed <= label->width())
        return;
    const QRect place = label->geometry();
    const int left = qMax(leftmost, place.right() + 1 - needed);
    label->setGeometry(left, place.y(), place.right() + 1 - left, place.height());
}
}

Form6::Form6()
{
    setWindowTitle(QStringLiteral("Form6"));
    centreOnScreen(this, 4695, 855);
    Shape1 = new Shape(this);
    Shape1->setGeometry(twRect(0, 0, 4695, 855));
    Label1 = new VbLabel(this);
    Label1->setWordWrap(false);
    Label1->setCaption(QStringLiteral("Send the selected line to line :"));
    Label1->setGeometry(twRect(720, 300, 2295, 255));
    Text3 = new QLineEdit(this);
    Text3->setFont(Program::windowFont(8.25));
    Text3->setGeometry(twRect(3000, 240, 1215, 330));
    Text3->installEventFilter(this);
    Label2 = new VbLabel(this);
    Label2->setWordWrap(false);
    Label2->setCaption(QStringLiteral("Press \"Enter\" to send"));
    Label2->setGeometry(twRect(2820, 600, 1575, 255));
    Command1 = new QPushButton(QStringLiteral("Cancel"), this);
    Command1->setGeometry(twRect(840, 600, 735, 255));
    // The prompt keeps its end at the text box, the hint clear of Cancel.
    growLeftToFit(Label1, tw(120));
    growLeftToFit(Label2, Command1->geometry().right() + 1 + tw(120));
    connect(Command1, &QPushButton::clicked, this, &Form6::Command1_Click);
}

void Form6::Form_Load() { setBackground(appPicture(QStringLiteral("\\Dialog1.jpg"))); }

void Form6::showEvent(QShowEvent *event)
{
    PictureWindow::showEvent(event);
    Windows::setEnabled<Form1>(false);
    Text3->setFocus();
}

void Form6::Text3_KeyPress(int key)
{
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return;
    const double target = EditorLogic::readTargetLine(Text3->text());
    if (target > 0) {
        // A positive target is sent, and the box emptied, even when the move
        // itself changes nothing (no row selected, beyond the list's limit).
        if (Form1 *editor = Windows::find<Form1>())
            editor->sendSelectedRowToLine(target);
        Text3->clear();
    }
    Navigation::returnToEditor(this);
}

void Form6::Command1_Click() { Navigation::returnToEditor(this); }

PictureWindow::FrameClose Form6::queryUnload()
{
    Command1_Click();
    return FrameClose::Hide;
}

bool Form6::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Text3 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Text3_KeyPress(key);
            return true;
        }
    }
    return PictureWindow::eventFilter(watched, event);
}
