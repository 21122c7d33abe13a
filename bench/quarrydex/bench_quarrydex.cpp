// SPDX-License-Identifier: GPL-3.0-or-later
// FindFiles of the real Quarrydex.ocx into a real list widget and label,
// against plain code doing the same job on the same tree in the same run:
//  - a tree of 2,041 folders and 40,000 files of which 6,000 match, against
//    `find DIR -iname PATTERN`;
//  - a tree of 1,041 folders and 20,000 files that all match, against
//    `find DIR -type f -printf '%s\n'`, which reads each file's size as the
//    control does (the one that shows the cost of each found file).
// Prints the medians and the ratios (targets: at most 1.5, and 1.05 where
// every file matches).
#include "BenchSupport.h"
#include "ControlContract.h"
#include "ControlFactory.h"

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

// A tree of 40 folders of `subfolders` folders of 20 files each; a file
// matches *.exe when every one does or every seventh. Matches, or -1.
int makeTree(const QString &root, int subfolders, bool everyFileMatches)
{
    int matches = 0;
    for (int a = 0; a < 40; ++a) {
        for (int b = 0; b < subfolders; ++b) {
            const QString folder = QStringLiteral("%1/d%2/s%3").arg(root).arg(a).arg(b);
            QDir().mkpath(folder);
            for (int f = 0; f < 20; ++f) {
                const bool setup = everyFileMatches || (f % 7) == 0;
                const QString name =
                        setup ? QStringLiteral("/Setup%1.EXE").arg(f) : QStringLiteral("/data%1.dat").arg(f);
                if (!writeFile(folder + name, QByteArray(f + 1, 'x')))
                    return -1;
                matches += setup;
            }
        }
    }
    return matches;
}

struct Search
{
    double ms = 0;
    int rows = 0;
    QString label;
};

}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString someRoot = dir.path() + QStringLiteral("/some"), allRoot = dir.path() + QStringLiteral("/all");
    const int someMatches = makeTree(someRoot, 50, false), allMatches = makeTree(allRoot, 25, true);
    if (someMatches < 0 || allMatches < 0) {
        std::fprintf(stderr, "cannot write the trees\n");
        return 1;
    }

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
    const QMetaMethod findFiles = dispatchMethod(box, DispId::FindFiles);

    const auto search = [&](const QString &root) {
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
        Search result{t.nsecsElapsed() / 1e6, list->count(), label->text()};
        app.processEvents(); // the list shows its rows, outside the timing
        return result;
    };

    // find's time from its start to its end, its output into a file.
    const auto find = [&](const QStringList &arguments) {
        QProcess process;
        process.setStandardOutputFile(dir.path() + QStringLiteral("/find.out"));
        QElapsedTimer t;
        t.start();
        process.start(QStringLiteral("find"), arguments);
        process.waitForFinished(-1);
        return t.nsecsElapsed() / 1e6;
    };
    const auto linesOf = [&](const QString &path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? int(f.readAll().count('\n')) : -1;
    };

    QList<double> someOurs, finds, allOurs, sizeFinds;
    Search some, all;
    int sized = 0;
    for (int round = 0; round < 15; ++round) {
        some = search(someRoot);
        someOurs << some.ms;
        finds << find({someRoot, QStringLiteral("-iname"), QStringLiteral("*.exe")});

        all = search(allRoot);
        allOurs << all.ms;
        sizeFinds << find({allRoot, QStringLiteral("-type"), QStringLiteral("f"), QStringLiteral("-printf"),
                           QStringLiteral("%s\n")});
        sized = linesOf(dir.path() + QStringLiteral("/find.out"));
    }
    std::printf("FindFiles *.exe into the list, median of 15 rounds\n");
    std::printf("  %d of 40,000 files match: %d rows, label \"%s\"\n", someMatches, some.rows, qPrintable(some.label));
    std::printf("  all %d files match: %d rows (find: %d sizes), label \"%s\"\n", allMatches, all.rows, sized,
                qPrintable(all.label));
    printRatio(QStringLiteral("Folder search, %1 of 40,000 files match").arg(number(someMatches)),
               QStringLiteral("find -iname on the same tree"), median(someOurs), median(finds), 1.5);
    printRatio(QStringLiteral("Folder search, all %1 files match").arg(number(allMatches)),
               QStringLiteral("find -type f -printf '%s\\n' on the same tree"), median(allOurs), median(sizeFinds),
               1.05);
    return some.rows == someMatches && all.rows == allMatches && sized == allMatches ? 0 : 1;
}

#include "bench_quarrydex.moc"
