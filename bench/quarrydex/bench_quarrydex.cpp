// FindFiles of the real Quarrydex.ocx into a real list widget and label, on a
// generated tree (2,041 folders, 40,000 files, 6,000 matches), against
// `find DIR -iname PATTERN` on the same tree in the same run. Prints both
// medians and the ratio (target: at most 1.5).
#include "BenchSupport.h"
#include "ControlFactory.h"
#include "QuarryDispatch.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPluginLoader>
#include <QProcess>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

namespace {
class BenchList : public QListWidget
{
    Q_OBJECT
public:
    using QListWidget::QListWidget;
    Q_INVOKABLE void AddItem(const QString &item) { addItem(item); }
};

class BenchLabel : public QLabel
{
    Q_OBJECT
    Q_PROPERTY(QString Caption READ text WRITE setText)
public:
    using QLabel::QLabel;
};

}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString root = dir.path() + QStringLiteral("/tree");
    int folders = 1, files = 0, matches = 0;
    for (int a = 0; a < 40; ++a) {
        ++folders;
        for (int b = 0; b < 50; ++b) {
            const QString folder = QStringLiteral("%1/d%2/s%3").arg(root).arg(a).arg(b);
            QDir().mkpath(folder);
            ++folders;
            for (int f = 0; f < 20; ++f) {
                const bool setup = (f % 7) == 0;
                QFile file(folder + (setup ? QStringLiteral("/Setup%1.EXE").arg(f) : QStringLiteral("/data%1.dat").arg(f)));
                if (!file.open(QIODevice::WriteOnly))
                    return 1;
                file.write("x");
                ++files;
                matches += setup;
            }
        }
    }
    std::printf("tree: %d folders, %d files, %d matching *.exe\n", folders, files, matches);

    QPluginLoader loader(QStringLiteral(SETUPREEL_BUILD_SYSTEM_DIR "/Quarrydex.ocx"));
    auto *factory = qobject_cast<ControlFactory *>(loader.instance());
    if (!factory) {
        std::fprintf(stderr, "cannot load Quarrydex.ocx: %s\n", qPrintable(loader.errorString()));
        return 1;
    }
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *list = new BenchList(&window);
    auto *label = new BenchLabel(&window);
    layout->addWidget(list);
    layout->addWidget(label);
    QObject *box = factory->create(QStringLiteral("Quarrylib.QuarryBox"), &window);
    static_cast<QWidget *>(box)->hide();
    window.show();
    app.processEvents();
    const QMetaMethod findFiles = quarryMethod(box, 0x60030000);

    QList<double> ours, finds;
    int found = 0;
    for (int round = 0; round < 7; ++round) {
        list->clear();
        app.processEvents();
        QString path = root, pattern = QStringLiteral("*.exe");
        qint16 count = 0;
        QVariant total;
        QElapsedTimer t;
        t.start();
        findFiles.invoke(box, Qt::DirectConnection, Q_RETURN_ARG(QVariant, total), Q_ARG(QString &, path),
                         Q_ARG(QString &, pattern), Q_ARG(qint16 &, count), Q_ARG(QObject *, list),
                         Q_ARG(QObject *, label));
        ours << t.nsecsElapsed() / 1e6;
        found = list->count();
        app.processEvents(); // the list shows its rows, outside the timing

        QProcess find;
        find.setStandardOutputFile(dir.path() + QStringLiteral("/find.out"));
        t.restart();
        find.start(QStringLiteral("find"), {root, QStringLiteral("-iname"), QStringLiteral("*.exe")});
        find.waitForFinished(-1);
        finds << t.nsecsElapsed() / 1e6;
    }
    const double a = median(ours), b = median(finds);
    std::printf("FindFiles into the list: %8.2f ms (%d rows, label \"%s\")\n", a, found,
                qPrintable(label->text()));
    std::printf("find -iname           : %8.2f ms\n", b);
    std::printf("ratio                 : %.2f  (target: at most 1.50)\n", a / b);
    return found == matches ? 0 : 1;
}

#include "bench_quarrydex.moc"
