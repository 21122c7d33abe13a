// FindFiles into the real list widget on a generated tree (2,000 folders,
// 40,000 files, a few thousand matches) against `find DIR -iname PATTERN` on the
// same tree in the same run. Prints the ratio (target: at most 1.5).
#include "ControlFactory.h"
#include "ui/Controls.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMetaClassInfo>
#include <QPluginLoader>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {
double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString root = dir.path() + QStringLiteral("/tree");
    int files = 0, matches = 0;
    for (int a = 0; a < 40; ++a) {
        for (int b = 0; b < 50; ++b) {
            const QString folder = QStringLiteral("%1/d%2/s%3").arg(root).arg(a).arg(b);
            QDir().mkpath(folder);
            for (int f = 0; f < 20; ++f) {
                const bool setup = (f % 7) == 0;
                QFile file(folder + (setup ? QStringLiteral("/Setup%1.EXE").arg(f) : QStringLiteral("/data%1.dat").arg(f)));
                file.open(QIODevice::WriteOnly);
                ++files;
                matches += setup;
            }
        }
    }
    std::printf("tree: 2040 folders, %d files, %d matching *.exe\n", files, matches);

    QPluginLoader loader(QStringLiteral(SETUPREEL_BUILD_SYSTEM_DIR "/Quarrydex.ocx"));
    auto *factory = qobject_cast<ControlFactory *>(loader.instance());
    if (!factory) {
        std::fprintf(stderr, "cannot load Quarrydex.ocx: %s\n", qPrintable(loader.errorString()));
        return 1;
    }
    QWidget window;
    QObject *box = factory->create(QStringLiteral("Quarrylib.QuarryBox"), &window);
    auto *list = new VbListBox(&window);
    auto *label = new VbLabel(&window);
    window.show();
    const QByteArray method =
        box->metaObject()->classInfo(box->metaObject()->indexOfClassInfo("DispId_0x60030000")).value();

    QList<double> ours, finds;
    int found = 0;
    for (int round = 0; round < 5; ++round) {
        list->Clear();
        QString path = root, pattern = QStringLiteral("*.exe");
        qint16 count = 0;
        QVariant total;
        QElapsedTimer t;
        t.start();
        QMetaObject::invokeMethod(box, method.constData(), Qt::DirectConnection, Q_RETURN_ARG(QVariant, total),
                                  Q_ARG(QString &, path), Q_ARG(QString &, pattern), Q_ARG(qint16 &, count),
                                  Q_ARG(QObject *, list), Q_ARG(QObject *, label));
        ours << t.nsecsElapsed() / 1e6;
        found = list->ListCount();

        QProcess find;
        find.setStandardOutputFile(dir.path() + QStringLiteral("/find.out"));
        t.restart();
        find.start(QStringLiteral("find"), {root, QStringLiteral("-iname"), QStringLiteral("*.exe")});
        find.waitForFinished(-1);
        finds << t.nsecsElapsed() / 1e6;
    }
    const double a = median(ours), b = median(finds);
    std::printf("FindFiles into the list: %8.2f ms (%d rows)\n", a, found);
    std::printf("find -iname           : %8.2f ms\n", b);
    std::printf("ratio                 : %.2f  (target: at most 1.50)\n", a / b);
    return 0;
}
