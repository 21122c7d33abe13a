#include "core/install/JsonText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

void JsonText::indent(int level)
{
    if (!m_compact)
        m_out.append(qsizetype(4) * level, ' ');
}

void JsonText::beginObject()
{
    m_out += m_compact ? "{" : "{\n";
    ++m_level;
    m_first = true;
}

void JsonText::endObject()
{
    --m_level;
    if (!m_compact) {
        m_out += '\n';
        indent(m_level);
    }
    m_out += '}';
    m_first = false;
}

void JsonText::key(const char *name)
{
    if (!m_first)
        m_out += m_compact ? "," : ",\n";
    m_first = false;
    indent(m_level);
    m_out += '"';
    m_out += name;
    m_out += m_compact ? "\":" : "\": ";
}

void JsonText::beginArray()
{
    m_out += m_compact ? "[" : "[\n";
    ++m_level;
    m_first = true;
}

void JsonText::element()
{
    if (!m_first)
        m_out += m_compact ? "," : ",\n";
    m_first = false;
    indent(m_level);
}

void JsonText::endArray()
{
    --m_level;
    if (!m_compact) {
        if (!m_first)
            m_out += '\n';
        indent(m_level);
    }
    m_out += ']';
    m_first = false;
}

void JsonText::appendString(QByteArray &out, const QString &text)
{
    // Plain ASCII, the common case, goes as it is; anything else as Qt
    // escapes it (a lone surrogate of a file name that is not UTF-8 too).
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u >= 0x7f || u == '"' || u == '\\') {
            const QByteArray doc = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
            out += QByteArrayView(doc).sliced(1, doc.size() - 2);
            return;
        }
    }
    const qsizetype at = out.size();
    out.resize(at + text.size() + 2);
    char *d = out.data() + at;
    *d++ = '"';
    for (const QChar c : text)
        *d++ = char(c.unicode());
    *d = '"';
}

void JsonText::string(const QString &text) { appendString(m_out, text); }

void JsonText::stringOrNull(const QString &text)
{
    if (text.isEmpty())
        null();
    else
        string(text);
}

void JsonText::number(qint64 n) { m_out += QByteArray::number(n); }

void JsonText::boolean(bool b) { m_out += b ? "true" : "false"; }

void JsonText::null() { m_out += "null"; }

void JsonText::strings(const QStringList &list)
{
    if (list.isEmpty()) {
        m_out += m_compact ? "[" : "[\n";
        indent(m_level);
        m_out += ']';
        return;
    }
    m_out += m_compact ? "[" : "[\n";
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (i)
            m_out += m_compact ? "," : ",\n";
        indent(m_level + 1);
        string(list.at(i));
    }
    if (!m_compact) {
        m_out += '\n';
        indent(m_level);
    }
    m_out += ']';
}

void JsonText::value(const QJsonValue &v)
{
    // Written inside an array by QJsonDocument, then taken out of it.
    QByteArray doc = QJsonDocument(QJsonArray{v}).toJson(m_compact ? QJsonDocument::Compact : QJsonDocument::Indented);
    if (m_compact) {
        m_out += QByteArrayView(doc).sliced(1, doc.size() - 2);
        return;
    }
    // "[\n    <value>\n]\n": the value one level in, its lines moved to this one.
    doc = doc.sliced(6, doc.size() - 9);
    doc.replace("\n    ", "\n");
    if (m_level > 0)
        doc.replace("\n", "\n" + QByteArray(qsizetype(4) * m_level, ' '));
    m_out += doc;
}
