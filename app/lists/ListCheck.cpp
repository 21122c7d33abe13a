#include "lists/ListCheck.h"

#include "CommandLine.h"
#include "FileNameCodec.h"
#include "InstallerType.h"
#include "install/ProgramLocator.h"
#include "lists/ListFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ListCheck {

namespace {

using namespace ShellAndWaitLogic;

QString systemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// Program line 1 of the text from `from` on: the list's own ListItemAt on a
// borrowed view, so that a long list is cut in one pass.
QString itemAt(const QString &text, qsizetype from)
{
    const QString rest = QString::fromRawData(text.constData() + from, text.size() - from);
    const QString item = ListFile::ListItemAt(rest, 1);
    return QString(item.constData(), item.size());
}

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        done += n;
    }
    return true;
}

QByteArray folderOf(const QByteArray &file)
{
    const qsizetype slash = file.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : file.left(slash);
}

// A cell as the terminal gets it: a list's line or a file name may hold
// control characters (an escape sequence), which are never passed on.
QString shown(QString text)
{
    for (QChar &c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7F || (u >= 0x80 && u <= 0x9F))
            c = QLatin1Char('?');
    }
    return text;
}

} // namespace

QList<Row> check(const QString &text, int lineCount, const QString &listFile)
{
    QList<Row> rows;
    qsizetype from = 0;
    for (int k = 1; k < lineCount; ++k) {
        Row row;
        row.number = k;
        row.line = itemAt(text, from);
        from = text.indexOf(QLatin1Char('\r'), from) + 1;

        const ProgramLocator::Location where = ProgramLocator::locate(row.line, listFile);
        row.switchText = where.arguments.trimmed();
        row.file = where.file;
        if (!where.file.isEmpty()) {
            const InstallerKind kind = inspectInstaller(where.file).kind;
            row.type = installerKindName(kind);
            if (row.switchText.isEmpty())
                row.suggestion = silentSwitch(kind);
        }
        rows << row;
    }
    return rows;
}

QString table(const QList<Row> &rows)
{
    const QStringList heading{QStringLiteral("No."), QStringLiteral("Line"), QStringLiteral("Resolves to"),
                              QStringLiteral("Type"), QStringLiteral("Switch"), QStringLiteral("Suggested")};
    QList<QStringList> cells{heading};
    for (const Row &row : rows)
        cells << QStringList{QString::number(row.number), shown(row.line),
                             row.file.isEmpty() ? QStringLiteral("not found")
                                                : shown(FileNameCodec::decodeFileName(row.file)),
                             row.type, shown(row.switchText), row.suggestion};
    QList<qsizetype> widths(heading.size(), 0);
    for (const QStringList &line : cells)
        for (qsizetype c = 0; c < line.size(); ++c)
            widths[c] = qMax(widths.at(c), line.at(c).size());

    QString out;
    for (const QStringList &line : cells) {
        // Padded up to the last cell that says something; no blanks behind it.
        qsizetype last = line.size() - 1;
        while (last > 0 && line.at(last).isEmpty())
            --last;
        for (qsizetype c = 0; c <= last; ++c) {
            out += line.at(c);
            if (c < last)
                out += QString(widths.at(c) - line.at(c).size() + 2, QLatin1Char(' '));
        }
        out += QLatin1Char('\n');
    }
    return out;
}

QByteArray withSuggestions(const QByteArray &original, const QList<Row> &rows)
{
    QByteArray out;
    out.reserve(original.size() + rows.size() * 8);
    qsizetype from = 0;
    int lineEnds = 0; // carriage returns copied so far
    for (const Row &row : rows) {
        if (row.suggestion.isEmpty())
            continue;
        // Program line k ends at carriage return k + 1.
        while (lineEnds < row.number + 1) {
            const qsizetype cr = original.indexOf('\r', from);
            if (cr < 0)
                return QByteArray();
            out += QByteArrayView(original).sliced(from, cr - from);
            if (++lineEnds == row.number + 1)
                out += ' ' + FileNameCodec::encodeFileName(row.suggestion);
            out += '\r';
            from = cr + 1;
        }
    }
    out += QByteArrayView(original).sliced(from);
    return out;
}

QByteArray readFile(const QString &path, QString *error)
{
    const int fd = ::open(FileNameCodec::encodeFileName(path).constData(),
                          O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        *error = systemError(errno);
        return QByteArray();
    }
    QByteArray data;
    struct stat st{};
    const bool statted = ::fstat(fd, &st) == 0;
    if (!statted || !S_ISREG(st.st_mode)) {
        *error = statted ? QStringLiteral("It is not a regular file.") : systemError(errno);
        ::close(fd);
        return QByteArray();
    }
    data.resize(qsizetype(st.st_size) + 1);
    qsizetype have = 0;
    for (;;) {
        if (have == data.size())
            data.resize(data.size() * 2 + 4096);
        const ssize_t n = ::read(fd, data.data() + have, size_t(data.size() - have));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *error = systemError(errno);
            ::close(fd);
            return QByteArray();
        }
        if (n == 0)
            break;
        have += n;
    }
    ::close(fd);
    data.truncate(have);
    error->clear();
    return data;
}

QString writeNewFile(const QString &path, const QString &listFile, const QByteArray &bytes)
{
    const QByteArray target = FileNameCodec::encodeFileName(path);
    if (target.isEmpty())
        return systemError(ENOENT);
    struct stat existing{}, list{};
    if (::lstat(target.constData(), &existing) == 0) {
        // Through a link, or a second name of the same file, it is the list itself.
        if (::stat(target.constData(), &existing) == 0
            && ::stat(FileNameCodec::encodeFileName(listFile).constData(), &list) == 0
            && existing.st_dev == list.st_dev && existing.st_ino == list.st_ino)
            return QStringLiteral("It is the list being checked; it is never overwritten.");
        return QStringLiteral("The file already exists; it is never overwritten.");
    }
    if (errno != ENOENT)
        return systemError(errno);

    const int fd = ::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return systemError(errno);
    if (!writeAll(fd, bytes) || ::fsync(fd) != 0) {
        const int error = errno;
        ::close(fd);
        ::unlink(target.constData());
        return systemError(error);
    }
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(target.constData());
        return systemError(error);
    }
    // The new name itself survives a power cut too.
    const int folder = ::open(folderOf(target).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return QString();
}

} // namespace ListCheck
