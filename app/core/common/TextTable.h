// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace TextTable {

// The rows for a terminal, each column as wide as its widest cell and two
// blanks apart; a row's empty last cells add no blanks. Every row ends in a
// line feed.
QString columns(const QList<QStringList> &cells);

} // namespace TextTable
