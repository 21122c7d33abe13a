// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The list editor's rules that need no window: the button rules, the refresh
// tick, the menu's choice, the send-to-line move and the switch for all rows.
#include <QString>
#include <QStringList>

namespace EditorLogic {

struct Buttons
{
    bool up = false;
    bool down = false;
};

// A selection change sets both buttons from the selected index.
Buttons afterSelectionChange(int selected, int rowCount);

// The refresh tick: it only ever disables the buttons, and it gives the lines
// under the list.
struct Tick
{
    Buttons buttons;
    QString hint;                // what a double click on a row does
    QString countText;           // how many programs the list holds
    bool clearFoundText = false; // an empty list: the search's "found" line goes
};
Tick refresh(Buttons current, int rowCount, int selected, qint16 listHasTitle);

// What the item menu does with a key.
enum class MenuAction { None, SendToLine, ChangeItem, ClearList, RemoveItem, AddItem };
MenuAction menuAction(const QString &key, qint16 itemClicked);

// The send-to-line window's reading of its text: a decimal number at the start
// (blanks skipped, optional sign and point), 0 when the text starts otherwise.
double readTargetLine(const QString &text);

// Moves the selected row to line `target` (lines count from 1), first extending
// the list with empty rows up to that line. Returns false, changing nothing, when
// no row is selected or the target is not a line the list can have: below 1 or
// past 32,767 rows. A fractional target counts as its whole part.
bool MoveRowToLine(QStringList &rows, int selected, double target);

constexpr int MaxRows = 32767;

// "Add a switch to all of item(s)": one space and the switch behind every
// program row; the title row never gets one.
void addSwitchToAll(QStringList &rows, const QString &switchText, qint16 listHasTitle);

}
