#include "lists/ListFile.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cstring>

namespace ListFile {

namespace {

constexpr QChar CR = u'\r';

// Windows-1252 where it differs from Latin-1. The five unassigned bytes map to
// the C1 controls of the same value, as the platform's own conversion does.
constexpr char16_t Cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString decodeCp1252(const QByteArray &bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char c : bytes) {
        const uchar b = uchar(c);
        *out++ = (b >= 0x80 && b <= 0x9F) ? QChar(Cp1252High[b - 0x80]) : QChar(b);
    }
    return text;
}

// The position behind a line end: the carriage return and the one character
// after it, which is taken to be the line feed without looking. A character
// outside the 16-bit range is one character, not two halves.
qsizetype afterLineEnd(const QString &text, qsizetype cr)
{
    const qsizetype next = cr + 1;
    if (next + 1 < text.size() && text.at(next).isHighSurrogate()
        && text.at(next + 1).isLowSurrogate())
        return next + 2;
    return next + 1;
}

struct Bytes
{
    bool ok = false;
    QByteArray data;
    QString error;
};

Bytes readWhole(const QString &path)
{
    Bytes b;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        b.error = file.errorString();
        return b;
    }
    b.data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        b.error = file.errorString();
        b.data.clear();
        return b;
    }
    b.ok = true;
    return b;
}

// The byte 0x0D is a carriage return in UTF-8 and in Windows-1252 alike, and
// memchr is far quicker than a pass over the decoded text.
qsizetype countLineEnds(const QByteArray &bytes)
{
    qsizetype n = 0;
    const char *p = bytes.constData();
    const char *const end = p + bytes.size();
    while ((p = static_cast<const char *>(std::memchr(p, '\r', size_t(end - p))))) {
        ++n;
        ++p;
    }
    return n;
}

bool hasListName(const QString &path) { return path.endsWith(QLatin1String("SR")); }

} // namespace

QString DecodeListBytes(const QByteArray &bytes)
{
    // Stateless: a sequence cut off at the end counts as invalid. The initial
    // byte-order mark is kept as a character, as the original reader saw it.
    QStringDecoder utf8(QStringConverter::Utf8,
                        QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return decodeCp1252(bytes);
}

QByteArray EncodeList(const QString &title, const QStringList &items)
{
    // Straight into one buffer: at most three bytes for each 16-bit unit.
    qsizetype units = 1 + title.size() + 2;
    for (const QString &item : items)
        units += item.size() + 2;
    QByteArray bytes(units * 3, Qt::Uninitialized);
    QStringEncoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    char *out = bytes.data();
    auto line = [&](const QString &text) {
        out = utf8.appendToBuffer(out, text);
        *out++ = '\r';
        *out++ = '\n';
    };
    *out++ = '>';
    line(title);
    for (const QString &item : items)
        line(item);
    bytes.truncate(out - bytes.constData());
    return bytes;
}

SaveResult SaveListFile(const QString &path, const QString &title, const QStringList &items)
{
    SaveResult r;
    auto fail = [&](const QString &reason) {
        r.ok = false;
        r.reason = reason;
        r.message = QStringLiteral("The list could not be saved to ") + path + u'.' + CR + reason;
        return r;
    };

    const QByteArray bytes = EncodeList(title, items);
    if (countLineEnds(bytes) != items.size() + 1) {
        if (title.contains(CR))
            return fail(QStringLiteral("The title holds a carriage return."));
        for (qsizetype i = 0; i < items.size(); ++i) {
            if (items.at(i).contains(CR))
                return fail(QStringLiteral("Item %1 holds a carriage return.").arg(i + 1));
        }
    }

    // QSaveFile writes beside the target and renames over it on commit; on any
    // failure the old file stays as it was and the partial one is removed.
    // Unbuffered, because a buffered flush at commit can drop a short write
    // unreported and put a cut-off file in place of the old one.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(file.errorString());
    qint64 written = 0;
    while (written < bytes.size()) { // a short write is retried, so its cause is reported
        const qint64 n = file.write(bytes.constData() + written, bytes.size() - written);
        if (n <= 0)
            break;
        written += n;
    }
    if (written != bytes.size() || file.error() != QFileDevice::NoError) {
        const QString reason = file.error() != QFileDevice::NoError
            ? file.errorString()
            : QStringLiteral("The file could not be written completely.");
        file.cancelWriting();
        return fail(reason);
    }
    if (!file.commit())
        return fail(file.errorString());
    r.ok = true;
    return r;
}

QString ListFileName(const QString &chosen)
{
    if (chosen.endsWith(QLatin1String(".SR")))
        return chosen;
    return chosen + QLatin1String(".SR");
}

EditLoad LoadListForEditing(const QString &path)
{
    EditLoad load;
    if (!hasListName(path)) {
        load.result = LoadResult::RefusedName;
        return load;
    }
    // An unreadable file is an empty text here, and so a damaged one.
    const QByteArray bytes = readWhole(path).data;
    const QString text = DecodeListBytes(bytes);
    if (!text.startsWith(u'>')) {
        load.result = LoadResult::RefusedContent;
        return load;
    }
    load.result = LoadResult::Loaded;
    load.rows.reserve(countLineEnds(bytes));
    qsizetype start = 1;
    for (;;) {
        const qsizetype cr = text.indexOf(CR, start);
        if (cr < 0)
            break;
        load.rows.append(text.mid(start, cr - start));
        start = afterLineEnd(text, cr);
    }
    return load;
}

InstallLoad LoadListForInstalling(const QString &path)
{
    InstallLoad load;
    if (!hasListName(path)) {
        load.result = LoadResult::RefusedName;
        return load;
    }
    Bytes bytes = readWhole(path);
    if (!bytes.ok) {
        load.result = LoadResult::Unreadable;
        load.error = bytes.error;
        return load;
    }
    const qsizetype lineEnds = countLineEnds(bytes.data);
    QString text = DecodeListBytes(bytes.data);
    const qsizetype firstCr = text.indexOf(CR);
    if (!text.startsWith(u'>') || firstCr < 0) {
        load.result = LoadResult::RefusedContent;
        return load;
    }
    load.result = LoadResult::Loaded;
    load.title = text.mid(1, firstCr - 1);
    load.lineCount = int(lineEnds);
    load.text = std::move(text);
    return load;
}

QString ListItemAt(const QString &text, int k)
{
    if (k < 1)
        return QString();
    qsizetype cr = -1;
    for (int j = 0; j < k; ++j) {
        cr = text.indexOf(CR, cr + 1);
        if (cr < 0)
            return QString();
    }
    const qsizetype start = afterLineEnd(text, cr);
    const qsizetype end = text.indexOf(CR, cr + 1);
    if (end < 0 || end < start)
        return QString();
    return text.mid(start, end - start);
}

} // namespace ListFile
