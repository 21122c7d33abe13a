// SPDX-License-Identifier: GPL-3.0-or-later
// The reference for the idle list editor: the smallest Qt program that plays
// one animated picture, looping, its frames kept as the editor's control keeps
// them. Argument: the picture's path.
#include <QApplication>
#include <QLabel>
#include <QMovie>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QLabel window;
    window.setWindowTitle(QStringLiteral("Animated picture"));
    QMovie movie(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString());
    movie.setCacheMode(QMovie::CacheAll);
    window.setMovie(&movie);
    window.resize(200, 100);
    window.show();
    movie.start();
    return app.exec();
}
