// SPDX-License-Identifier: GPL-3.0-or-later
#include "PatternMatch.h"

#include "FileNameCodec.h"

namespace {
inline char fold(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }

template<typename Ch, typename Fold>
bool wildcard(const Ch *p, const Ch *pe, const Ch *s, const Ch *se, Fold f)
{
    const Ch *star = nullptr, *resume = nullptr;
    while (s < se) {
        if (p < pe && *p == Ch('*')) {
            star = ++p;
            resume = s;
        } else if (p < pe && (*p == Ch('?') || f(*p) == f(*s))) {
            ++p;
            ++s;
        } else if (star) {
            p = star;
            s = ++resume;
        } else {
            return false;
        }
    }
    while (p < pe && *p == Ch('*'))
        ++p;
    return p == pe;
}
}

PatternMatch::PatternMatch(const QString &pattern)
{
    // An empty pattern lists every file, as a folder path alone does.
    m_all = pattern.isEmpty() || pattern == QLatin1String("*") || pattern == QLatin1String("*.*");
    for (QChar c : pattern)
        if (c.unicode() >= 128)
            m_ascii = false;
    if (m_ascii) {
        m_folded = pattern.toLatin1();
        for (char &c : m_folded)
            c = fold(c);
        m_suffix = m_folded.startsWith('*') && !m_folded.mid(1).contains('*') && !m_folded.contains('?');
    } else {
        m_pattern = pattern.toCaseFolded();
    }
}

bool PatternMatch::matches(const char *name, size_t length) const
{
    if (m_all)
        return true;
    bool asciiName = true;
    for (size_t i = 0; i < length; ++i)
        if (static_cast<unsigned char>(name[i]) >= 128) {
            asciiName = false;
            break;
        }
    if (m_ascii && asciiName && m_suffix) {
        // The usual pattern: the name's end, compared without regard to case.
        const qsizetype n = m_folded.size() - 1;
        if (qsizetype(length) < n)
            return false;
        const char *tail = name + length - n;
        for (qsizetype i = 0; i < n; ++i)
            if (fold(tail[i]) != m_folded[i + 1])
                return false;
        return true;
    }
    if (m_ascii && asciiName)
        return wildcard(m_folded.constData(), m_folded.constData() + m_folded.size(), name, name + length, fold);
    // A byte that is not UTF-8 is one character of the name, as in its row.
    const QString folded =
            FileNameCodec::decodeFileName(QByteArray::fromRawData(name, qsizetype(length))).toCaseFolded();
    const QString pat = m_ascii ? QString::fromLatin1(m_folded) : m_pattern;
    return wildcard(pat.constData(), pat.constData() + pat.size(), folded.constData(),
                    folded.constData() + folded.size(), [](QChar c) { return c; });
}
