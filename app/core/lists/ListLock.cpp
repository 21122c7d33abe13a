// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/lists/ListLock.h"

#include "FileNameCodec.h"
#include "core/io/FileIO.h"
#include "core/lists/ListFile.h"
#include "core/lists/ProgramLocator.h"

#include <QCryptographicHash>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

const QByteArray Header = QByteArrayLiteral("# setupreel-lock/1 list-sha256=");
constexpr qsizetype HashLength = 64;
constexpr qsizetype Chunk = 1 << 20;
// A lock names at most one file for each line a list can hold.
constexpr qint64 MaxLockBytes = qint64(256) * 1024 * 1024;
const QChar CR(QLatin1Char('\r'));

bool isHash(QByteArrayView text)
{
    if (text.size() != HashLength)
        return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    return true;
}

QByteArray nameIn(const QByteArray &folder, const QByteArray &file)
{
    const QByteArray below = folder.endsWith('/') ? folder : folder + '/';
    return !folder.isEmpty() && file.startsWith(below) ? file.mid(below.size()) : file;
}

// A lock line as sha256sum writes it: a name holding a backslash or a line
// end is escaped, and the line then begins with a backslash.
QByteArray lockLine(const QByteArray &hash, const QByteArray &name)
{
    if (!name.contains('\\') && !name.contains('\n') && !name.contains('\r'))
        return hash + "  " + name + '\n';
    QByteArray escaped = name;
    escaped.replace("\\", "\\\\").replace("\n", "\\n").replace("\r", "\\r");
    return '\\' + hash + "  " + escaped + '\n';
}

// The name of a lock line written escaped; empty for an escape sha256sum does not write.
QByteArray unescaped(QByteArrayView name)
{
    QByteArray out;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name[i] != '\\') {
            out += name[i];
            continue;
        }
        const char next = ++i < name.size() ? name[i] : '\0';
        if (next == '\\')
            out += '\\';
        else if (next == 'n')
            out += '\n';
        else if (next == 'r')
            out += '\r';
        else
            return QByteArray();
    }
    return out;
}

QString shownName(const QByteArray &file) { return FileNameCodec::decodeFileName(file); }

} // namespace

QString ListLock::integrityId(Integrity integrity)
{
    switch (integrity) {
    case Integrity::Unlocked: return QStringLiteral("unlocked");
    case Integrity::Verified: return QStringLiteral("verified");
    case Integrity::Mismatch: return QStringLiteral("mismatch");
    }
    return QString();
}

QString ListLock::lockFileOf(const QString &listFile) { return listFile + QLatin1String(".lock"); }

QString ListLock::sha256Of(const QByteArray &file, QString *error, const std::function<void()> &pace)
{
    const auto fail = [&](int code) {
        if (error)
            *error = FileIO::errorText(code);
        return QString();
    };
    // Never waits on a FIFO put where a setup was.
    const FileIO::Fd fd = FileIO::open(file, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st
    {};
    if (!fd.isOpen() || ::fstat(fd.get(), &st) != 0)
        return fail(errno);
    if (!S_ISREG(st.st_mode)) {
        if (error)
            *error = QStringLiteral("it is not a regular file");
        return QString();
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray buffer(Chunk, Qt::Uninitialized);
    for (;;) {
        const qsizetype got = FileIO::readUpTo(fd.get(), buffer.data(), size_t(buffer.size()));
        if (got < 0)
            return fail(errno);
        hash.addData(QByteArrayView(buffer).first(got));
        if (got < buffer.size())
            break;
        if (pace)
            pace();
    }
    if (error)
        error->clear();
    return QString::fromLatin1(hash.result().toHex());
}

QString ListLock::write(const QString &listFile, const QString &text, int lineCount, int *files)
{
    QString error;
    QByteArray listHash;
    const QByteArray bytes = ListFile::readListBytes(listFile, &error, &listHash);
    if (!error.isEmpty())
        return error;
    // The hash is of the very bytes whose lines are locked.
    if (ListFile::decodeListBytes(bytes) != text)
        return QStringLiteral("the list changed while it was locked");
    const QByteArray folder = ProgramLocator::listFolderOf(listFile);
    QByteArray out = Header + listHash.toHex() + '\n';
    QList<QByteArray> locked;
    qsizetype from = 0;
    for (int k = 1; k < lineCount; ++k) {
        const QString line = ListFile::listItemFrom(text, from);
        from = text.indexOf(CR, from) + 1;
        const ProgramLocator::Location where = ProgramLocator::locate(line, listFile);
        if (where.file.isEmpty())
            return QStringLiteral("the file of line %1 was not found: %2").arg(k).arg(line);
        const QByteArray name = nameIn(folder, where.file);
        if (locked.contains(name))
            continue;
        const QString hash = sha256Of(where.file, &error);
        if (hash.isEmpty())
            return QStringLiteral("the file of line %1 could not be read: %2: %3")
                    .arg(k)
                    .arg(shownName(where.file), error);
        out += lockLine(hash.toLatin1(), name);
        locked << name;
    }
    const QString lockFile = lockFileOf(listFile);
    const FileIO::WriteResult written = FileIO::replaceFile(FileNameCodec::encodeFileName(lockFile), out);
    if (!written.ok())
        return lockFile + QLatin1String(": ") + written.reason();
    if (files)
        *files = int(locked.size());
    return QString();
}

ListLock::ListLock(const QString &listFile) : m_listFile(listFile)
{
    if (listFile.isEmpty())
        return;
    m_lockFile = lockFileOf(listFile);
    m_folder = ProgramLocator::listFolderOf(listFile);
    const QByteArray path = FileNameCodec::encodeFileName(m_lockFile);
    struct stat st
    {};
    if (::stat(path.constData(), &st) != 0 && errno == ENOENT)
        return;
    m_exists = true;
    const FileIO::ReadResult read = FileIO::readFile(path, MaxLockBytes);
    if (!read.ok) {
        m_error = m_lockFile + QLatin1String(": ") + read.error;
        return;
    }
    const QList<QByteArray> lines = read.data.split('\n');
    const QByteArray &first = lines.constFirst();
    if (!first.startsWith(Header) || !isHash(QByteArrayView(first).sliced(Header.size()))) {
        m_error =
                m_lockFile + QLatin1String(": its first line is not \"") + QString::fromLatin1(Header) + "<SHA-256>\"";
        return;
    }
    m_listHash = first.sliced(Header.size()).toLower();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QByteArrayView line = lines.at(i);
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const bool escaped = line.startsWith('\\');
        if (escaped)
            line = line.sliced(1);
        const bool wellFormed = line.size() > HashLength + 2 && isHash(line.first(HashLength))
                                && (line.sliced(HashLength, 2) == "  " || line.sliced(HashLength, 2) == " *");
        const QByteArray name = !wellFormed ? QByteArray()
                                : escaped   ? unescaped(line.sliced(HashLength + 2))
                                            : line.sliced(HashLength + 2).toByteArray();
        if (name.isEmpty()) {
            m_error = m_lockFile + QStringLiteral(": line %1 is not a SHA-256 and a file name").arg(i + 1);
            return;
        }
        m_files.insert(name, line.first(HashLength).toByteArray().toLower());
    }
}

QString ListLock::listRefusal(const QString &title, const QStringList &programs) const
{
    if (!m_exists)
        return QString();
    if (!m_error.isEmpty())
        return QStringLiteral("The lock of this list could not be read: ") + m_error;
    QString error;
    QByteArray listHash;
    const QByteArray bytes = ListFile::readListBytes(m_listFile, &error, &listHash);
    if (!error.isEmpty())
        return QStringLiteral("The list could not be read to check its lock: ") + error;
    QString changed = QStringLiteral("The list changed since it was locked.");
    if (listHash.toHex() != m_listHash)
        return changed;
    // The lines loaded are the locked bytes' own (the list may have been
    // loaded before it changed and was locked again).
    const QString text = ListFile::decodeListBytes(bytes);
    const qsizetype firstCr = text.indexOf(CR);
    if (firstCr < 0 || text.mid(1, firstCr - 1) != title || text.count(CR) != programs.size() + 1)
        return changed;
    qsizetype from = 0;
    for (const QString &program : programs) {
        if (ListFile::listItemFrom(text, from) != program)
            return changed;
        from = text.indexOf(CR, from) + 1;
    }
    return QString();
}

ListLock::FileCheck ListLock::check(const QByteArray &file, const std::function<void()> &pace) const
{
    FileCheck checked;
    QString error;
    if (!file.isEmpty())
        checked.sha256 = sha256Of(file, &error, pace);
    if (!m_exists)
        return checked;
    checked.integrity = Integrity::Mismatch;
    if (file.isEmpty())
        return checked; // not found: the run says so as ever
    const auto found = m_files.constFind(nameIn(m_folder, file));
    if (found == m_files.constEnd()) {
        checked.refusal = QStringLiteral("The setup file is not one the list's lock names: %1").arg(shownName(file));
        return checked;
    }
    checked.expected = QString::fromLatin1(*found);
    if (checked.sha256.isEmpty())
        checked.refusal = QStringLiteral("The setup file could not be read to check it against the list's lock: %1: %2")
                                  .arg(shownName(file), error);
    else if (checked.sha256 != checked.expected)
        checked.refusal =
                QStringLiteral("The setup file differs from the list's lock: expected SHA-256 %1, found %2: %3")
                        .arg(checked.expected, checked.sha256, shownName(file));
    else
        checked.integrity = Integrity::Verified;
    return checked;
}

ListLock::FileCheck ListLock::lockStateOf(const QString &line) const
{
    return check(ProgramLocator::locate(line, m_listFile).file);
}
