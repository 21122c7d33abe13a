// SPDX-License-Identifier: GPL-3.0-or-later
// The list editor's refresh with 32,767 rows (target: at most 20 µs when
// nothing changed; it runs once after each change its lines mirror), showing
// and clicking a list whose rows are a million characters long against the
// same list of short rows (only what fits is drawn, so the length of a row
// must not count). The editor's processor use while it sits idle is measured
// on the real program (bench_waitcpu).
#include "BenchSupport.h"
#include "core/common/Seams.h"
#include "windows/editor/Form1.h"
#include "windows/install/Form2.h"
#include "windows/ui/Program.h"
#include "windows/ui/Windows.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPushButton>

#include <cstdio>

namespace {
void click(QWidget *target, const QPoint &at)
{
    const QPointF local(at), global(target->mapToGlobal(at));
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QApplication::sendEvent(target, &release);
}

// Fills the list, draws it, and clicks every row three times, drawing after
// each click. Milliseconds.
double showAndClick(VbListBox *list, const QStringList &rows)
{
    QElapsedTimer t;
    t.start();
    list->setRows(rows);
    QWidget *viewport = list->viewport();
    viewport->repaint();
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < list->count(); ++i) {
            QListWidgetItem *item = list->item(i);
            list->scrollToItem(item);
            click(viewport, list->visualItemRect(item).center());
            viewport->repaint();
        }
    }
    QApplication::processEvents();
    const double ms = t.nsecsElapsed() / 1e6;
    list->Clear();
    return ms;
}

// Rows that differ in their first characters, padded to the given length.
QStringList rowsOf(int count, int length)
{
    QStringList rows;
    for (int i = 0; i < count; ++i) {
        QString row = QStringLiteral("/srv/setups/program %1/setup.sh /S ").arg(i);
        if (row.size() < length)
            row += QString(length - row.size(), QLatin1Char('x'));
        rows << row;
    }
    return rows;
}
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    Seams::setAppDir(QStringLiteral(SETUPREEL_BUILD_APP_DIR));
    Program::applyWindowFont();

    Form2 *main = Windows::show<Form2>();
    main->Image2->click(); // Point
    Form1 *editor = Windows::find<Form1>();
    QStringList rows;
    for (int i = 0; i < 32767; ++i)
        rows << QStringLiteral("/srv/setups/program %1/setup.sh /S").arg(i);
    // The list as a user finds it: by its name.
    auto *list = editor->findChild<VbListBox *>(QStringLiteral("ListB"));
    editor->setRows(rows);
    list->setListIndex(100);
    QApplication::processEvents();

    // The tick itself, nothing having changed since the last one.
    editor->Timer1_Timer();
    const int ticks = 200000;
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < ticks; ++i)
        editor->Timer1_Timer();
    const double perTickUs = t.nsecsElapsed() / 1e3 / ticks;

    // A reference in the same run: reading the list's count and selection alone.
    volatile int sink = 0;
    t.restart();
    for (int i = 0; i < ticks; ++i)
        sink += list->ListCount() + list->ListIndex();
    const double referenceUs = t.nsecsElapsed() / 1e3 / ticks;

    printResult(QStringLiteral("Editor's refresh tick, 32,767 rows, nothing changed"),
                QStringLiteral("reading count and selection: %1 µs").arg(referenceUs, 0, 'f', 3),
                QStringLiteral("%1 µs").arg(perTickUs, 0, 'f', 3), QStringLiteral("≤ 20 µs"), perTickUs <= 20);

    // Long rows against short rows, the same number of each, in the same run:
    // rows that end inside the box, rows just wider than it, and huge rows.
    const QStringList savedRows = editor->rows();
    const QStringList shortRows = rowsOf(20, 60), wideRows = rowsOf(20, 1000), longRows = rowsOf(20, 1000000);
    showAndClick(list, shortRows); // warm-up
    double shortMs = 1e300, wideMs = 1e300, longMs = 1e300;
    for (int i = 0; i < 5; ++i) {
        shortMs = qMin(shortMs, showAndClick(list, shortRows));
        wideMs = qMin(wideMs, showAndClick(list, wideRows));
        longMs = qMin(longMs, showAndClick(list, longRows));
    }
    const QString longRowsShown = QStringLiteral("Show and click 20 rows of 1,000,000 characters");
    printRatio(longRowsShown, QStringLiteral("the same with rows of 60 characters"), longMs, shortMs, 3.0);
    printRatio(longRowsShown, QStringLiteral("rows of 1,000 characters, wider than the box too"), longMs, wideMs, 1.5);
    editor->setRows(savedRows);

    Seams::setEndProgram([] {});
    Windows::unloadAll();
    return 0;
}
