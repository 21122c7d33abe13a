// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Text from a list, a setup or the system can carry control characters that
// forge lines or restyle a terminal; whoever shows it replaces them.
#include <QChar>

// A C0 control, DEL or a C1 control (U+009B starts an escape sequence too).
inline bool isControlCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || (u >= 0x7f && u < 0xa0);
}
