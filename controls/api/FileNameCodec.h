// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// File names are bytes here, not text. A name that is valid UTF-8 is its text;
// each byte that is not part of a valid UTF-8 sequence (Latin-1 names left by
// archives made on Windows) is kept as the lone surrogate U+DC00 + byte, so the
// name shows, goes into a row or a list file and comes back as the same bytes.
// The program and every control library use these, never QFile::encodeName,
// for a name that came from the file system or a list.
#include <QByteArray>
#include <QString>
#include <QStringDecoder>

namespace FileNameCodec {

inline bool isEscapedByte(char16_t u) { return u >= 0xDC80 && u <= 0xDCFF; }

// The length of the valid UTF-8 sequence at p (at most n bytes), or 0.
inline int validSequenceLength(const uchar *p, qsizetype n)
{
    const uchar b = p[0];
    if (b < 0x80)
        return 1;
    int len;
    char32_t min;
    char32_t cp;
    if (b >= 0xC2 && b <= 0xDF) {
        len = 2;
        min = 0x80;
        cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3;
        min = 0x800;
        cp = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        len = 4;
        min = 0x10000;
        cp = b & 0x07;
    } else {
        return 0;
    }
    if (n < len)
        return 0;
    for (int i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

inline QString decodeFileName(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    text.clear();
    text.reserve(bytes.size());
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const int len = validSequenceLength(p + i, n - i);
        if (len == 0) {
            text.append(QChar(char16_t(0xDC00 + p[i])));
            ++i;
        } else {
            text.append(QString::fromUtf8(reinterpret_cast<const char *>(p + i), len));
            i += len;
        }
    }
    return text;
}

inline bool hasEscapedBytes(const QString &name)
{
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t u = name.at(i).unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        if (isEscapedByte(u))
            return true;
    }
    return false;
}

// The bytes of a name: escaped bytes go back as themselves, everything else as
// UTF-8. A lone surrogate that no decoding made becomes U+FFFD.
inline QByteArray encodeFileName(const QString &name)
{
    if (!hasEscapedBytes(name))
        return name.toUtf8();
    QByteArray bytes;
    bytes.reserve(name.size() * 3);
    qsizetype runStart = 0;
    auto flush = [&](qsizetype end) {
        if (end > runStart)
            bytes.append(QStringView(name).mid(runStart, end - runStart).toUtf8());
    };
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t u = name.at(i).unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        if (isEscapedByte(u)) {
            flush(i);
            bytes.append(char(u - 0xDC00));
            runStart = i + 1;
        }
    }
    flush(name.size());
    return bytes;
}

// Windows-1252 where it differs from Latin-1. The five unassigned bytes map to
// the C1 controls of the same value, as the platform's own conversion does.
constexpr char16_t Cp1252High[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

inline QString decodeCp1252(const QByteArray &bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char c : bytes) {
        const uchar b = uchar(c);
        *out++ = (b >= 0x80 && b <= 0x9F) ? QChar(Cp1252High[b - 0x80]) : QChar(b);
    }
    return text;
}

// The Windows-1252 bytes of a text, for a name written on the original
// platform; false when a character has no such byte.
inline bool encodeCp1252(const QString &text, QByteArray *bytes)
{
    bytes->clear();
    bytes->reserve(text.size());
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            bytes->append(char(u));
            continue;
        }
        if (isEscapedByte(u)) {
            bytes->append(char(u - 0xDC00));
            continue;
        }
        int found = -1;
        for (int k = 0; k < 32; ++k) {
            if (Cp1252High[k] == u) {
                found = k;
                break;
            }
        }
        if (found < 0)
            return false;
        bytes->append(char(0x80 + found));
    }
    return true;
}

} // namespace FileNameCodec
