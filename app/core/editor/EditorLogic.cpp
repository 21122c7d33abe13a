// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/editor/EditorLogic.h"

#include <cmath>

namespace EditorLogic {

Buttons afterSelectionChange(int selected, int rowCount) { return {selected != 0, selected != rowCount - 1}; }

Tick refresh(Buttons current, int rowCount, int selected, qint16 listHasTitle)
{
    Tick tick;
    tick.buttons = current;
    if (listHasTitle == 1 && selected == 0) {
        tick.buttons = {};
    } else if (listHasTitle == 1 && selected == 1) {
        tick.buttons.up = false;
    }
    if (rowCount == 0) {
        tick.buttons = {};
        tick.clearFoundText = true;
        return tick;
    }
    tick.countText = QStringLiteral("File(s) in the list : ") + QString::number(rowCount - listHasTitle);
    tick.hint = QStringLiteral("Double click on the item to change switch or remove item.");
    return tick;
}

MenuAction menuAction(const QString &key, qint16 itemClicked)
{
    if (key == QLatin1String("SIL") && itemClicked == 1)
        return MenuAction::SendToLine;
    if (key == QLatin1String("CRI") && itemClicked == 1)
        return MenuAction::ChangeItem;
    if (key == QLatin1String("CLE"))
        return MenuAction::ClearList;
    if (key == QLatin1String("REM") && itemClicked == 1)
        return MenuAction::RemoveItem;
    if (key == QLatin1String("ADD"))
        return MenuAction::AddItem;
    return MenuAction::None;
}

double readTargetLine(const QString &text)
{
    int i = 0;
    const int n = text.size();
    while (i < n && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;
    const int start = i;
    if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        ++i;
    bool digits = false, point = false;
    while (i < n) {
        const QChar c = text[i];
        if (c.isDigit() && c.unicode() < 128) {
            digits = true;
        } else if (c == QLatin1Char('.') && !point) {
            point = true;
        } else {
            break;
        }
        ++i;
    }
    if (!digits)
        return 0;
    return text.mid(start, i - start).toDouble();
}

bool MoveRowToLine(QStringList &rows, int selected, double target)
{
    if (selected < 0 || selected >= rows.size() || !(target >= 1) || target > MaxRows)
        return false;
    const int t = int(std::floor(target));
    const int s = selected;
    while (rows.size() < t)
        rows.append(QString());
    rows.append(QString()); // the spare place the shift uses
    const int count = rows.size();
    int d, source;
    if (t < s + 1) {
        d = t - 1;
        source = s + 1;
    } else {
        d = t;
        source = s;
    }
    for (int i = count - 1; i >= d + 1; --i)
        rows[i] = rows[i - 1];
    rows[d] = rows[source];
    rows.removeAt(source);
    return true;
}

void addSwitchToAll(QStringList &rows, const QString &switchText, qint16 listHasTitle)
{
    for (int i = listHasTitle == 1 ? 1 : 0; i < rows.size(); ++i)
        rows[i] += QLatin1Char(' ') + switchText;
}

}
