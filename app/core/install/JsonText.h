// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// JSON written as text directly, byte for byte as QJsonDocument writes it
// (keys in the order given, which callers keep sorted as QJsonObject does):
// a report's program and a record's line are written for every program, and
// building a QJsonObject first costs many times the text. QtCore only.
#include <QByteArray>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <cstring>

class JsonText
{
public:
    // compact: one line; else indented as QJsonDocument::Indented, the object
    // beginning at nesting level (0: a document's root).
    explicit JsonText(bool compact, int level = 0) : m_compact(compact), m_level(level) {}

    void beginObject();
    void endObject();
    void key(const char *name);
    void beginArray();
    void element(); // before each element of an array
    void endArray();
    void string(const QString &text);
    void stringOrNull(const QString &text); // null when empty
    void number(qint64 n);
    void boolean(bool b);
    void null();
    void strings(const QStringList &list);
    void value(const QJsonValue &v); // any other value, as QJsonDocument writes it
    // Bytes already written as JSON (an object made by another JsonText).
    void raw(const QByteArray &json) { put(json.constData(), json.size()); }

    const QByteArray &text()
    {
        m_out.truncate(m_used);
        return m_out;
    }
    QByteArray take()
    {
        m_out.truncate(m_used);
        m_used = 0;
        return std::move(m_out);
    }

    // A string as QJsonDocument writes it, quotes included.
    static void appendString(QByteArray &out, const QString &text);
    // Indented JSON on one line: its line ends and indentation dropped (the
    // blank after each key's colon stays).
    static void appendOneLine(QByteArray &out, QByteArrayView indented);

private:
    // Written for every program and record line: the bytes go straight into
    // room made ahead, not through QByteArray's appending.
    char *room(qsizetype size);
    void put(const char *text, qsizetype size) { std::memcpy(room(size), text, size_t(size)), m_used += size; }
    void put(char c) { *room(1) = c, ++m_used; }
    void indent(int level);

    QByteArray m_out; // the text up to m_used, then room
    qsizetype m_used = 0;
    bool m_compact;
    int m_level;
    bool m_first = true;
};
