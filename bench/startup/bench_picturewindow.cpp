// SPDX-License-Identifier: GPL-3.0-or-later
// The smallest Qt program that shows one picture window: the reference for the
// start-up window, of the same size and placed the same way, showing the same
// picture and, unless --picture-only, a text and a button where the start-up
// window has its label and "Next". Arguments: [--picture-only] the picture's path.
#include "windows/ui/Twips.h"

#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QStringList args = QApplication::arguments().mid(1);
    const bool pictureOnly = args.removeAll(QStringLiteral("--picture-only")) > 0;
    QLabel window;
    window.setWindowTitle(QStringLiteral("Picture window"));
    window.setPixmap(QPixmap(args.value(0)));
    window.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    window.setFixedSize(twSize(6000, 4500));
    if (!pictureOnly) {
        auto *text = new QLabel(QStringLiteral("Searching for request files.\nPlease wait ...."), &window);
        text->setGeometry(twRect(720, 2280, 3255, 855));
        text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        auto *button = new QPushButton(QStringLiteral("Next"), &window);
        button->setGeometry(twRect(4560, 3600, 1095, 375));
        button->setEnabled(false);
    }
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - window.rect().center());
    window.show();
    return app.exec();
}
