// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/install/JsonText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <cstring>

char *JsonText::room(qsizetype size)
{
    if (m_used + size > m_out.size())
        m_out.resize(qMax(m_out.size() * 2, m_used + size + 1024));
    return m_out.data() + m_used;
}

void JsonText::indent(int level)
{
    static const char spaces[] = "                                                                ";
    if (!m_compact)
        put(spaces, qMin<qsizetype>(qsizetype(4) * level, sizeof spaces - 1));
}

void JsonText::beginObject()
{
    m_compact ? put('{') : put("{\n", 2);
    ++m_level;
    m_first = true;
}

void JsonText::endObject()
{
    --m_level;
    if (!m_compact) {
        put('\n');
        indent(m_level);
    }
    put('}');
    m_first = false;
}

void JsonText::key(const char *name)
{
    if (!m_first)
        m_compact ? put(",", 1) : put(",\n", 2);
    m_first = false;
    indent(m_level);
    put("\"", 1);
    put(name, qsizetype(std::strlen(name)));
    m_compact ? put("\":", 2) : put("\": ", 3);
}

void JsonText::beginArray()
{
    m_compact ? put('[') : put("[\n", 2);
    ++m_level;
    m_first = true;
}

void JsonText::element()
{
    if (!m_first)
        m_compact ? put(',') : put(",\n", 2);
    m_first = false;
    indent(m_level);
}

void JsonText::endArray()
{
    --m_level;
    if (!m_compact) {
        if (!m_first)
            put('\n');
        indent(m_level);
    }
    put(']');
    m_first = false;
}

namespace {
// Written into a JSON string as it is: plain ASCII, the common case. Anything
// else goes as Qt escapes it (a lone surrogate of a file name that is not
// UTF-8 too).
bool plain(QChar c)
{
    const char16_t u = c.unicode();
    return u >= 0x20 && u < 0x7f && u != '"' && u != '\\';
}

void appendEscaped(QByteArray &out, const QString &text)
{
    const QByteArray doc = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    out += QByteArrayView(doc).sliced(1, doc.size() - 2);
}
} // namespace

void JsonText::appendString(QByteArray &out, const QString &text)
{
    if (!std::all_of(text.cbegin(), text.cend(), plain)) {
        appendEscaped(out, text);
        return;
    }
    const qsizetype at = out.size();
    out.resize(at + text.size() + 2);
    char *d = out.data() + at;
    *d++ = '"';
    for (const QChar c : text)
        *d++ = char(c.unicode());
    *d = '"';
}

void JsonText::appendOneLine(QByteArray &out, QByteArrayView indented)
{
    // A line end is never part of a string (strings hold it as \n): each one
    // and the indentation after it go, all else is kept as it is.
    const char *p = indented.data();
    const char *const end = p + indented.size();
    while (p < end) {
        const char *nl = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
        const char *stop = nl ? nl : end;
        out.append(p, stop - p);
        if (!nl)
            break;
        p = nl + 1;
        while (p < end && *p == ' ')
            ++p;
    }
}

void JsonText::string(const QString &text)
{
    // Copied as it is checked; anything but plain ASCII goes the slow way.
    const qsizetype size = text.size();
    char *d = room(size + 2);
    *d++ = '"';
    for (const QChar c : text) {
        if (!plain(c)) {
            QByteArray escaped;
            appendEscaped(escaped, text);
            put(escaped.constData(), escaped.size());
            return;
        }
        *d++ = char(c.unicode());
    }
    *d = '"';
    m_used += size + 2;
}

void JsonText::stringOrNull(const QString &text)
{
    if (text.isEmpty())
        null();
    else
        string(text);
}

void JsonText::number(qint64 n)
{
    char digits[24];
    const int size = std::snprintf(digits, sizeof digits, "%lld", static_cast<long long>(n));
    put(digits, size);
}

void JsonText::boolean(bool b) { b ? put("true", 4) : put("false", 5); }

void JsonText::null() { put("null", 4); }

void JsonText::strings(const QStringList &list)
{
    if (list.isEmpty()) {
        m_compact ? put('[') : put("[\n", 2);
        indent(m_level);
        put(']');
        return;
    }
    m_compact ? put('[') : put("[\n", 2);
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (i)
            m_compact ? put(',') : put(",\n", 2);
        indent(m_level + 1);
        string(list.at(i));
    }
    if (!m_compact) {
        put('\n');
        indent(m_level);
    }
    put(']');
}

void JsonText::value(const QJsonValue &v)
{
    // Written inside an array by QJsonDocument, then taken out of it.
    QByteArray doc = QJsonDocument(QJsonArray{v}).toJson(m_compact ? QJsonDocument::Compact : QJsonDocument::Indented);
    if (m_compact) {
        put(doc.constData() + 1, doc.size() - 2);
        return;
    }
    // "[\n    <value>\n]\n": the value one level in, its lines moved to this one.
    doc = doc.sliced(6, doc.size() - 9);
    doc.replace("\n    ", "\n");
    if (m_level > 0)
        doc.replace("\n", "\n" + QByteArray(qsizetype(4) * m_level, ' '));
    put(doc.constData(), doc.size());
}
