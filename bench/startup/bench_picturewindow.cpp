// The smallest Qt program that shows one picture window: the reference for the
// start-up window, of the same size and placed the same way, showing the same
// picture. Argument: the picture's path.
#include "windows/ui/Twips.h"

#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QScreen>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QLabel window;
    window.setWindowTitle(QStringLiteral("Picture window"));
    window.setPixmap(QPixmap(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString()));
    window.setFixedSize(twSize(6000, 4500));
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - window.rect().center());
    window.show();
    return app.exec();
}
