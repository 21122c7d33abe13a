// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/lists/ListFile.h"

#include "FileNameCodec.h"
#include "core/io/FileIO.h"

#include <QCryptographicHash>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace ListFile {

namespace {

constexpr QChar CR = u'\r';

// The position behind a line end: the carriage return and the one character
// after it, which is taken to be the line feed without looking. A character
// outside the 16-bit range is one character, not two halves.
qsizetype afterLineEnd(const QString &text, qsizetype cr)
{
    const qsizetype next = cr + 1;
    if (next + 1 < text.size() && text.at(next).isHighSurrogate() && text.at(next + 1).isLowSurrogate())
        return next + 2;
    return next + 1;
}

QString systemError(int error) { return FileIO::errorText(error); }

using FileIO::Fd;

// Files under /proc and /sys look regular but are made as they are read: one
// may block for good (kmsg) or never end.
bool onKernelFileSystem(int fd)
{
    struct statfs fs
    {};
    if (::fstatfs(fd, &fs) != 0)
        return false;
    constexpr long ProcMagic = 0x9fa0;
    constexpr long SysfsMagic = 0x62656572;
    return long(fs.f_type) == ProcMagic || long(fs.f_type) == SysfsMagic;
}

struct Bytes
{
    bool ok = false;
    QByteArray data; // what a load reads of the file (see readWhole)
    QString error;
    qint64 tooLarge = -1;  // the size of a file larger than a list can be
    bool lineFeed = false; // the file holds a line feed (in what was read)
};

// The longest a last line without a line end is kept: as long as any line
// can be, in UTF-8's widest characters.
constexpr qint64 MaxUnendedBytes = MaxLineCharacters * 3;
constexpr qsizetype Chunk = 1 << 20;

// Only the contents of a regular file are read: a fifo or a device named
// like a list would block the window or never end. Opened without waiting,
// so a fifo is seen for what it is before anything is read.
// Read in chunks, so what is held is what a list can hold, never the file:
// a file that does not begin with ">" is read no further than its first
// chunk, and of a last line without a line end (which no load reads) only
// its first MaxUnendedBytes are kept, cut between characters. Lines that do
// end are kept whatever their length. hash, when given, takes every byte
// read, also those not kept.
Bytes readWhole(const QString &path, QCryptographicHash *hash = nullptr)
{
    Bytes b;
    const Fd file = FileIO::open(FileNameCodec::encodeFileName(path), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (!file.isOpen()) {
        b.error = systemError(errno);
        return b;
    }
    struct stat st
    {};
    if (::fstat(file.get(), &st) != 0) {
        b.error = systemError(errno);
        return b;
    }
    if (!S_ISREG(st.st_mode) || onKernelFileSystem(file.get())) {
        b.error = S_ISDIR(st.st_mode) ? systemError(EISDIR) : QStringLiteral("It is not a regular file.");
        return b;
    }
    const auto tooLarge = [&b](qint64 size) {
        b.tooLarge = size;
        b.error = QStringLiteral("It is larger than any list can be.");
        b.data.clear();
        return b;
    };
    if (st.st_size > MaxListBytes)
        return tooLarge(st.st_size);

    QByteArray &kept = b.data;
    kept.reserve(qsizetype(qMin<qint64>(st.st_size, 16 * Chunk)));
    QByteArray chunk(Chunk, Qt::Uninitialized);
    qint64 offset = 0;    // bytes of the file read so far
    qint64 lineStart = 0; // where the line being read begins (in the file and in kept)
    qint64 dropFrom = -1; // from here on that line is not kept, while it has no end
    for (;;) {
        const qsizetype got = FileIO::readUpTo(file.get(), chunk.data(), size_t(chunk.size()));
        if (got < 0) {
            b.error = systemError(errno);
            kept.clear();
            return b;
        }
        if (got == 0)
            break;
        if (offset + got > MaxListBytes) // it grew since it was measured
            return tooLarge(offset + got);
        if (hash)
            hash->addData(QByteArrayView(chunk.constData(), got));
        if (!b.lineFeed)
            b.lineFeed = std::memchr(chunk.constData(), '\n', size_t(got)) != nullptr;
        if (offset == 0 && chunk.at(0) != '>') {
            // No list: its first bytes say what it is instead.
            kept = chunk.left(got);
            b.ok = true;
            return b;
        }
        qsizetype from = 0; // what of the chunk is taken as it is
        if (dropFrom >= 0) {
            const auto *cr = static_cast<const char *>(std::memchr(chunk.constData(), '\r', size_t(got)));
            if (!cr) {
                offset += got;
                continue;
            }
            // The long line ends after all: what was passed over is read again.
            const qint64 end = offset + (cr - chunk.constData());
            kept.resize(qsizetype(end));
            const qsizetype again =
                    FileIO::readUpTo(file.get(), kept.data() + dropFrom, size_t(end - dropFrom), off_t(dropFrom));
            if (again != end - dropFrom) {
                b.error = again < 0 ? systemError(errno) : QStringLiteral("The file changed while it was read.");
                kept.clear();
                return b;
            }
            from = cr - chunk.constData();
            dropFrom = -1;
        }
        kept.append(chunk.constData() + from, got - from);
        const void *lastCr = ::memrchr(chunk.constData() + from, '\r', size_t(got - from));
        if (lastCr)
            lineStart = offset + (static_cast<const char *>(lastCr) - chunk.constData()) + 1;
        offset += got;
        if (offset - lineStart > MaxUnendedBytes) {
            dropFrom = lineStart + MaxUnendedBytes;
            // Never within a UTF-8 sequence: a cut must not make UTF-8 text
            // read as another encoding.
            while (dropFrom > lineStart && (uchar(kept.at(dropFrom)) & 0xC0) == 0x80)
                --dropFrom;
            kept.truncate(qsizetype(dropFrom));
        }
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

// True when the bytes hold at least one valid UTF-8 sequence of two or more
// bytes: no Windows-1252 text looks like that by chance.
bool hasMultiByteUtf8(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (p[i] >= 0x80 && FileNameCodec::validSequenceLength(p + i, n - i) > 1)
            return true;
    }
    return false;
}

// Why bytes that do not begin with ">" or hold no carriage return are no
// list, in words; lineFeed: the file holds a line feed.
QString refusalOf(const QByteArray &bytes, bool lineFeed)
{
    if (bytes.isEmpty())
        return QStringLiteral("the file is empty");
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")
        || (bytes.size() > 1 && bytes.at(0) == '>' && bytes.at(1) == '\0'))
        return QStringLiteral("it is UTF-16 text; a list is 8-bit text (UTF-8 or Windows-1252)");
    if (bytes.startsWith("\xEF\xBB\xBF>"))
        return QStringLiteral("it begins with a byte-order mark before its \">\"");
    if (!bytes.startsWith('>'))
        return QStringLiteral("it does not begin with \">\": it is not a list");
    if (lineFeed)
        return QStringLiteral("its lines end in LF only; a list's lines end in CR LF");
    return QStringLiteral("it has no line end (CR LF): its title line never ends");
}

} // namespace

// How a list file's bytes are read:
// - valid UTF-8 (what this program writes) is read as UTF-8;
// - otherwise, bytes that hold at least one valid multi-byte UTF-8 sequence
//   were written on a UTF-8 system: the rows name files whose names are not
//   UTF-8, and each odd byte is kept as its escape (FileNameCodec), so the
//   row names that very file and saving writes the same bytes again;
// - anything else is Windows-1252 (lists written on the original platform).
// The initial byte-order mark is kept as a character, as the original reader
// saw it.
QString decodeListBytes(const QByteArray &bytes)
{
    // Stateless: a sequence cut off at the end counts as invalid.
    QStringDecoder utf8(QStringConverter::Utf8,
                        QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    if (hasMultiByteUtf8(bytes)) {
        if (bytes.startsWith("\xEF\xBB\xBF")) // the codec would drop the mark
            return QChar(0xFEFF) + FileNameCodec::decodeFileName(bytes.mid(3));
        return FileNameCodec::decodeFileName(bytes);
    }
    return FileNameCodec::decodeCp1252(bytes);
}

QByteArray encodeList(const QString &title, const QStringList &items)
{
    // Straight into one buffer: at most three bytes for each 16-bit unit, and
    // an escaped byte is one unit and one byte.
    qsizetype units = 1 + title.size() + 2;
    for (const QString &item : items)
        units += item.size() + 2;
    QByteArray bytes(units * 3, Qt::Uninitialized);
    QStringEncoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    char *out = bytes.data();
    auto line = [&](const QString &text) {
        if (FileNameCodec::hasEscapedBytes(text)) {
            const QByteArray raw = FileNameCodec::encodeFileName(text);
            std::memcpy(out, raw.constData(), size_t(raw.size()));
            out += raw.size();
        } else {
            out = utf8.appendToBuffer(out, text);
        }
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

    const QByteArray bytes = encodeList(title, items);
    if (countLineEnds(bytes) != items.size() + 1) {
        if (title.contains(CR))
            return fail(QStringLiteral("The title holds a carriage return."));
        for (qsizetype i = 0; i < items.size(); ++i) {
            if (items.at(i).contains(CR))
                return fail(QStringLiteral("Item %1 holds a carriage return.").arg(i + 1));
        }
    }

    QByteArray target = FileNameCodec::encodeFileName(path);
    if (target.isEmpty())
        return fail(systemError(ENOENT));
    struct stat old
    {};
    if (::lstat(target.constData(), &old) == 0) {
        if (S_ISLNK(old.st_mode)) {
            // A link to a list stays a link: the list it points at is replaced.
            char *resolved = ::realpath(target.constData(), nullptr);
            if (!resolved)
                return fail(systemError(errno));
            target = QByteArray(resolved);
            std::free(resolved);
            if (::stat(target.constData(), &old) != 0)
                return fail(systemError(errno));
        }
        // A folder, a device or a fifo is never replaced by a list.
        if (!S_ISREG(old.st_mode))
            return fail(S_ISDIR(old.st_mode) ? systemError(EISDIR) : QStringLiteral("It is not a regular file."));
    } else if (errno != ENOENT) {
        return fail(systemError(errno));
    }

    // A fresh file beside the old one, renamed over it once it is complete
    // and on the disk; in a folder that takes no new file, the list written
    // over itself, never left cut off.
    const FileIO::WriteResult written = FileIO::replaceOrRewrite(target, bytes);
    if (!written.ok())
        return fail(systemError(written.error)
                    + (written.oldLost ? QStringLiteral(" The old list could not be put back.") : QString()));
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
    const QString text = decodeListBytes(bytes);
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

InstallText LoadListForInstalling(const QString &path)
{
    InstallText load;
    if (!hasListName(path)) {
        load.result = LoadResult::RefusedName;
        load.reason = QStringLiteral("its name does not end in \"SR\"");
        return load;
    }
    Bytes bytes = readWhole(path);
    if (bytes.tooLarge >= 0) {
        load.result = LoadResult::RefusedContent;
        load.reason = QStringLiteral("it is %1 bytes, larger than any list can be (%2 bytes)")
                              .arg(bytes.tooLarge)
                              .arg(MaxListBytes);
        return load;
    }
    if (!bytes.ok) {
        load.result = LoadResult::Unreadable;
        load.error = bytes.error;
        return load;
    }
    // ">" and a carriage return are those bytes in every encoding a list is
    // read in: a file that is no list is refused without being decoded.
    const qsizetype lineEnds = countLineEnds(bytes.data);
    if (!bytes.data.startsWith('>') || lineEnds == 0) {
        load.result = LoadResult::RefusedContent;
        load.reason = refusalOf(bytes.data, bytes.lineFeed);
        return load;
    }
    QString text = decodeListBytes(bytes.data);
    const qsizetype firstCr = text.indexOf(CR);
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

QString listItemFrom(const QString &text, qsizetype from)
{
    const QString rest = QString::fromRawData(text.constData() + from, text.size() - from);
    const QString item = ListItemAt(rest, 1);
    return QString(item.constData(), item.size()); // a copy: rest is only borrowed
}

QByteArray readListBytes(const QString &path, QString *error, QByteArray *sha256)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    Bytes b = readWhole(path, sha256 ? &hash : nullptr);
    if (sha256)
        *sha256 = b.ok ? hash.result() : QByteArray();
    if (error)
        *error = b.error;
    return b.ok ? std::move(b.data) : QByteArray();
}

QString writeNewFile(const QString &path, const QString &listFile, const QByteArray &bytes)
{
    const QByteArray target = FileNameCodec::encodeFileName(path);
    if (target.isEmpty())
        return systemError(ENOENT);
    struct stat existing
    {
    }, list{};
    if (::lstat(target.constData(), &existing) == 0) {
        // Through a link, or a second name of the same file, it is the list itself.
        if (::stat(target.constData(), &existing) == 0
            && ::stat(FileNameCodec::encodeFileName(listFile).constData(), &list) == 0 && existing.st_dev == list.st_dev
            && existing.st_ino == list.st_ino)
            return QStringLiteral("It is the list being checked; it is never overwritten.");
        return QStringLiteral("The file already exists; it is never overwritten.");
    }
    if (errno != ENOENT)
        return systemError(errno);

    const FileIO::WriteResult written = FileIO::createNewFile(target, bytes);
    if (!written.ok())
        return written.reason();
    return QString();
}

} // namespace ListFile
