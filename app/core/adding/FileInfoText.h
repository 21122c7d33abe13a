// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The file information of the add-item dialog: a file's name and its size in
// KB or MB, rounded to five places with ties to even.
#include <QString>

#include <optional>

namespace FileInfoText {

// "0.5  KB", "1.5  MB": the size of a file of the given bytes with its unit.
// decimalPoint is the user's decimal separator.
QString shownSize(qint64 bytes, const QString &decimalPoint);

// "File name :" CR name CR "Size : " size and unit; a size that could not be
// read shows as "unknown".
QString caption(const QString &fileName, std::optional<qint64> bytes, const QString &decimalPoint);
QString caption(const QString &fileName, std::optional<qint64> bytes); // the user's separator

}
