// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/adding/FileInfoText.h"

#include <QLocale>

namespace {
constexpr qint64 Scale = 100000; // five decimal places

// bytes / 2^shift rounded to five places, ties to even, as a count of
// hundred-thousandths. Exact integer arithmetic: a binary fraction has an exact
// decimal value, so ties are real ties and are never blurred by floating point.
qint64 roundedScaled(qint64 bytes, int shift)
{
    const qint64 unit = qint64(1) << shift;
    const qint64 whole = bytes >> shift;
    const qint64 part = bytes & (unit - 1);
    qint64 scaled = whole * Scale + (part * Scale >> shift);
    const qint64 remainder = (part * Scale) & (unit - 1);
    if (2 * remainder > unit || (2 * remainder == unit && (scaled & 1)))
        ++scaled;
    return scaled;
}

// General decimal form: no trailing zeros, no separator for whole numbers.
QString decimalText(qint64 scaled, const QString &decimalPoint)
{
    QString text = QString::number(scaled / Scale);
    QString fraction = QString::number(scaled % Scale).rightJustified(5, QLatin1Char('0'));
    while (fraction.endsWith(QLatin1Char('0')))
        fraction.chop(1);
    if (!fraction.isEmpty())
        text += decimalPoint + fraction;
    return text;
}
}

namespace FileInfoText {

QString shownSize(qint64 bytes, const QString &decimalPoint)
{
    const qint64 megabytes = roundedScaled(bytes, 20);
    if (megabytes < Scale)
        return decimalText(roundedScaled(bytes, 10), decimalPoint) + QLatin1String("  KB");
    return decimalText(megabytes, decimalPoint) + QLatin1String("  MB");
}

QString caption(const QString &fileName, std::optional<qint64> bytes, const QString &decimalPoint)
{
    const QString size = (bytes && *bytes >= 0) ? shownSize(*bytes, decimalPoint) : QStringLiteral("unknown");
    return QLatin1String("File name :") + QLatin1Char('\r') + fileName + QLatin1Char('\r') + QLatin1String("Size : ")
           + size;
}

QString caption(const QString &fileName, std::optional<qint64> bytes)
{
    return caption(fileName, bytes, QLocale::system().decimalPoint());
}

}
