// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/install/HelpWindow.h"

#include "windows/ui/Navigation.h"
#include "windows/ui/Twips.h"

#include <QFontMetrics>
#include <QPushButton>

namespace {
constexpr int LineLeft = 240;
constexpr int LineWidth = 5415;
}

HelpWindow::HelpWindow(int okLeft, int okTop)
{
    setWindowTitle(QStringLiteral("Help"));

    Shape1 = new Shape(this);
    Image1 = new QLabel(this);
    Image1->setGeometry(twRect(240, 0, 1350, 1350));
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setGeometry(twRect(okLeft, okTop, 1215, 375));
}

VbLabel *HelpWindow::addLine(const QString &text, int top, int nextTop, int maxRight)
{
    auto *lbl = new VbLabel(this);
    lbl->setCaption(text);
    const QFontMetrics metrics(lbl->font());
    const int left = tw(LineLeft);
    // Room down to the next line, less the thin line; at least one line of text.
    const int room = qMax(tw(nextTop) - tw(top) - 2, metrics.height());
    int width = maxRight ? tw(maxRight) - left : tw(LineWidth);
    if (!maxRight) {
        // Wider until the text fits its room; on one line it always does.
        const int oneLine = metrics.horizontalAdvance(lbl->text()) + 4;
        while (width < oneLine && lbl->heightForWidth(width) > room)
            width += 4;
    }
    lbl->setGeometry(left, tw(top), width, room);
    m_labels << lbl;
    return lbl;
}

void HelpWindow::finishLayout(int widthTwips, int heightTwips)
{
    int width = tw(widthTwips);
    for (const VbLabel *lbl : m_labels)
        width = qMax(width, lbl->geometry().right() + 1 + tw(LineLeft));
    centreOnScreen(this, width * TwipsPerPixel, heightTwips);
    Shape1->setGeometry(rect());

    for (int i = 1; i < m_labels.size(); ++i) {
        auto *line = new QWidget(this);
        line->setAttribute(Qt::WA_TransparentForMouseEvents);
        line->setAutoFillBackground(true);
        QPalette pal = line->palette();
        pal.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
        line->setPalette(pal);
        const int left = tw(LineLeft);
        line->setGeometry(left, m_labels[i]->y() - 2, width - 2 * left, 1);
        line->stackUnder(m_labels.first());
        Lines << line;
    }
}

void HelpWindow::Form_Load()
{
    const QPixmap background = appPicture(QStringLiteral("\\Dialog1.jpg"));
    setBackground(background);
    if (!background.isNull()) {
        // Where the window is wider than its picture, the picture's own colour.
        QPalette pal = palette();
        pal.setColor(QPalette::Window,
                     background.toImage().pixelColor(background.width() / 2, background.height() / 2));
        setPalette(pal);
        setAutoFillBackground(true);
    }
    Image1->setPixmap(appPicture(QStringLiteral("\\Help and Support.jpg")));
}

void HelpWindow::Form_Unload()
{
    Navigation::enableMainWindow(true);
    Navigation::enableEditor(true);
}
