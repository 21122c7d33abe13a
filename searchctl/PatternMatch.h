// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Wildcard matching as the directory enumeration does it: '*' any run, '?' one
// character, letters without regard to case, the whole pattern one expression.
#include <QByteArray>
#include <QString>

class PatternMatch
{
public:
    explicit PatternMatch(const QString &pattern);
    // name: the entry's name as the file system holds it (bytes, UTF-8 or not).
    bool matches(const char *name, size_t length) const;

private:
    bool m_all = false;
    bool m_ascii = true;
    bool m_suffix = false; // m_ascii, and a "*" before text without wildcards ("*.exe")
    QByteArray m_folded;   // ASCII-folded pattern when m_ascii
    QString m_pattern;     // case-folded pattern otherwise
};
