// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/common/TextTable.h"

namespace TextTable {

QString columns(const QList<QStringList> &cells)
{
    if (cells.isEmpty())
        return QString();
    QList<qsizetype> widths(cells.first().size(), 0);
    for (const QStringList &row : cells)
        for (qsizetype c = 0; c < row.size(); ++c)
            widths[c] = qMax(widths.at(c), row.at(c).size());
    QString out;
    for (const QStringList &row : cells) {
        qsizetype last = row.size() - 1;
        while (last > 0 && row.at(last).isEmpty())
            --last;
        for (qsizetype c = 0; c <= last; ++c)
            out += c < last ? row.at(c).leftJustified(widths.at(c) + 2) : row.at(c);
        out += u'\n';
    }
    return out;
}

} // namespace TextTable
