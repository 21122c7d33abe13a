// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/io/FileIO.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QRandomGenerator>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace FileIO {

QString errorText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

Fd &Fd::operator=(Fd &&other) noexcept
{
    if (this != &other)
        reset(other.release());
    return *this;
}

int Fd::release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

void Fd::reset(int fd)
{
    if (m_fd >= 0) {
        const int saved = errno;
        ::close(m_fd);
        errno = saved;
    }
    m_fd = fd;
}

bool Fd::close()
{
    // Not retried: after EINTR the descriptor is already gone on Linux.
    return m_fd < 0 || ::close(release()) == 0;
}

Fd open(const QByteArray &path, int flags, mode_t mode)
{
    return Fd(retryOnSignal([&] { return ::open(path.constData(), flags, mode); }));
}

bool writeAll(int fd, const char *data, size_t size, off_t at)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = retryOnSignal([&] {
            return at < 0 ? ::write(fd, data + done, size - done)
                          : ::pwrite(fd, data + done, size - done, at + off_t(done));
        });
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

qsizetype readUpTo(int fd, char *into, size_t size, off_t at)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = retryOnSignal([&] {
            return at < 0 ? ::read(fd, into + done, size - done)
                          : ::pread(fd, into + done, size - done, at + off_t(done));
        });
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += size_t(n);
    }
    return qsizetype(done);
}

ReadResult readAll(int fd, qint64 limit)
{
    ReadResult r;
    struct stat st
    {};
    const qint64 expected = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? qint64(st.st_size) : 0;
    const QString tooLarge = QStringLiteral("It is larger than %1 bytes.").arg(limit);
    if (expected > limit) {
        r.error = tooLarge;
        return r;
    }
    // One byte more than expected sees the end at once; files under /proc say 0.
    QByteArray data;
    data.resize(qsizetype(qMin(expected, limit) + 1));
    qsizetype have = 0;
    for (;;) {
        if (have == data.size()) {
            if (have > limit) {
                r.error = tooLarge;
                return r;
            }
            data.resize(qsizetype(qMin(qint64(data.size()) * 2 + 4096, limit + 1)));
        }
        const qsizetype n = readUpTo(fd, data.data() + have, size_t(data.size() - have));
        if (n < 0) {
            r.error = errorText(errno);
            return r;
        }
        have += n;
        if (have < data.size())
            break; // the end
    }
    data.truncate(have);
    r.data = std::move(data);
    r.ok = true;
    return r;
}

ReadResult readFile(const QByteArray &path, qint64 limit)
{
    const Fd file = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (!file.isOpen()) {
        ReadResult r;
        r.error = errorText(errno);
        return r;
    }
    return readAll(file.get(), limit);
}

QByteArray folderOf(const QByteArray &file)
{
    const qsizetype slash = file.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    if (slash == 0)
        return QByteArrayLiteral("/");
    return file.left(slash);
}

namespace {

WriteResult failed(WriteResult::Step step, int error)
{
    WriteResult r;
    r.failedAt = step;
    r.error = error;
    return r;
}

// Temporaries are named by the process that writes them, so a later save can
// tell one left by a killed writer from one another writer is about to rename.
constexpr char TempPrefix[] = ".sr-";

QByteArray tempName()
{
    return TempPrefix + QByteArray::number(::getpid()) + '-'
           + QByteArray::number(QRandomGenerator::global()->generate(), 36);
}

bool leftBehind(const QByteArray &name, const struct stat &st)
{
    const QByteArray rest = name.mid(qsizetype(sizeof TempPrefix) - 1);
    const qsizetype dash = rest.indexOf('-');
    if (dash < 0) // named as earlier versions did, for the whole write
        return st.st_ctime + 3600 < ::time(nullptr);
    bool isNumber = false;
    const int pid = rest.left(dash).toInt(&isNumber);
    return isNumber && pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH;
}

// A folder as this process last left it, written in: while it is so, no one
// else can have left a temporary there since, and the folder, which a run
// writes again and again and whose reading costs more the more runs it keeps,
// is not read again.
class OwnWrites
{
public:
    static bool unchangedSince(int folder)
    {
        struct stat st
        {};
        if (::fstat(folder, &st) != 0)
            return false;
        const std::lock_guard<std::mutex> lock(mutex());
        const auto found = marks().constFind(idOf(st));
        return found != marks().constEnd() && *found == timeOf(st);
    }
    static void mark(int folder)
    {
        struct stat st
        {};
        if (::fstat(folder, &st) != 0)
            return;
        const std::lock_guard<std::mutex> lock(mutex());
        marks().insert(idOf(st), timeOf(st));
    }

private:
    using Id = QPair<quint64, quint64>;
    using Time = QPair<qint64, qint64>;
    static Id idOf(const struct stat &st) { return {quint64(st.st_dev), quint64(st.st_ino)}; }
    static Time timeOf(const struct stat &st) { return {qint64(st.st_mtim.tv_sec), qint64(st.st_mtim.tv_nsec)}; }
    static std::mutex &mutex()
    {
        static std::mutex m;
        return m;
    }
    static QHash<Id, Time> &marks()
    {
        static QHash<Id, Time> m;
        return m;
    }
};

void clearLeftovers(int folder)
{
    if (OwnWrites::unchangedSince(folder))
        return;
    for (const QByteArray &name : namesIn(folder)) {
        struct stat st
        {};
        if (!name.startsWith(TempPrefix) || ::fstatat(folder, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        // Only this user's own files: root never clears another user's.
        if (S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && leftBehind(name, st))
            ::unlinkat(folder, name.constData(), 0);
    }
}

// An unnamed file in folder: a kill while it is written leaves nothing. Not
// open, with errno EOPNOTSUPP, where the file system has none.
Fd openUnnamed(int folder)
{
    Fd file(retryOnSignal([&] { return ::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666); }));
    // Kernels without O_TMPFILE see a folder opened for writing.
    if (!file.isOpen() && (errno == EISDIR || errno == EINVAL))
        errno = EOPNOTSUPP;
    return file;
}

// Gives an unnamed file the name name in folder (never over an existing one).
bool linkUnnamed(const Fd &file, int folder, const QByteArray &name)
{
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(file.get());
    if (::linkat(AT_FDCWD, self.constData(), folder, name.constData(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    // Without /proc, where the kernel allows it.
    return errno == ENOENT && ::linkat(file.get(), "", folder, name.constData(), AT_EMPTY_PATH) == 0;
}

// A named temporary in folder, for file systems without unnamed files.
Fd openNamed(int folder, QByteArray *name)
{
    Fd file;
    for (int attempt = 0; attempt < 64 && !file.isOpen(); ++attempt) {
        *name = tempName();
        file.reset(retryOnSignal([&] {
            return ::openat(folder, name->constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        }));
        if (!file.isOpen() && errno != EEXIST)
            break;
    }
    return file;
}

// Moves temp over name, or only where nothing is named name yet.
bool moveInto(int folder, const QByteArray &temp, const QByteArray &name, bool overwrite)
{
    if (overwrite)
        return ::renameat(folder, temp.constData(), folder, name.constData()) == 0;
    if (::renameat2(folder, temp.constData(), folder, name.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    if (::linkat(folder, temp.constData(), folder, name.constData(), 0) != 0)
        return false;
    ::unlinkat(folder, temp.constData(), 0);
    return true;
}

enum class Existing { Replace, Follow, Refuse };

// Writes bytes to name in folder through a temporary: on the disk before it
// takes the name, so a kill or a failure leaves the old file (or none) whole.
WriteResult writeInto(int folder, const QByteArray &name, const QByteArray &bytes, Existing existing,
                      FolderSync sync = FolderSync::Now)
{
    if (name.isEmpty())
        return failed(WriteResult::Create, ENOENT);
    struct stat old
    {};
    bool exists = false;
    const bool overwrite = existing != Existing::Refuse;
    if (::fstatat(folder, name.constData(), &old, existing == Existing::Follow ? 0 : AT_SYMLINK_NOFOLLOW) == 0) {
        exists = true;
        if (!overwrite)
            return failed(WriteResult::Create, EEXIST);
        if (S_ISLNK(old.st_mode))
            return failed(WriteResult::Create, ELOOP);
        if (S_ISDIR(old.st_mode))
            return failed(WriteResult::Create, EISDIR);
    } else if (errno != ENOENT) {
        return failed(WriteResult::Create, errno);
    }
    clearLeftovers(folder);

    QByteArray temp;
    Fd file = openUnnamed(folder);
    const bool unnamed = file.isOpen();
    if (!unnamed && errno == EOPNOTSUPP)
        file = openNamed(folder, &temp);
    if (!file.isOpen())
        return failed(WriteResult::Create, errno);
    auto fail = [&](WriteResult::Step step, int error) {
        file.reset();
        if (!temp.isEmpty())
            ::unlinkat(folder, temp.constData(), 0);
        return failed(step, error);
    };
    if (exists) {
        struct stat now
        {};
        if (::fstat(file.get(), &now) != 0)
            return fail(WriteResult::Create, errno);
        if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid) && ::fchown(file.get(), old.st_uid, old.st_gid) != 0)
            return fail(WriteResult::KeepOwner, errno);
        // After fchown, which drops the set-id bits.
        if (::fchmod(file.get(), old.st_mode & 07777) != 0)
            return fail(WriteResult::KeepOwner, errno);
    }
    // A full disk may show at any of these.
    if (!writeAll(file.get(), bytes) || ::fsync(file.get()) != 0)
        return fail(WriteResult::Write, errno);
    if (unnamed) {
        // A new file takes its name at once; a replacement is named only for
        // the moment before the rename.
        if (!overwrite) {
            if (!linkUnnamed(file, folder, name))
                return fail(WriteResult::Create, errno);
            if (!file.close()) {
                const int error = errno;
                ::unlinkat(folder, name.constData(), 0);
                return failed(WriteResult::Write, error);
            }
            ::fsync(folder);
            OwnWrites::mark(folder);
            return {};
        }
        bool linked = false;
        for (int attempt = 0; attempt < 64 && !linked; ++attempt) {
            temp = tempName();
            linked = linkUnnamed(file, folder, temp);
            if (!linked && errno != EEXIST)
                break;
        }
        if (!linked) {
            const int error = errno;
            temp.clear();
            return fail(WriteResult::Create, error);
        }
    }
    if (!file.close())
        return fail(WriteResult::Write, errno);
    if (!moveInto(folder, temp, name, overwrite))
        return fail(errno == EEXIST ? WriteResult::Create : WriteResult::Rename, errno);
    // A new name survives a power cut only with its folder on the disk too.
    // The content is in place by then, so a folder that cannot be synced is no
    // failure.
    if (sync == FolderSync::Now)
        ::fsync(folder);
    OwnWrites::mark(folder);
    return {};
}

// The folder of path opened, and the name in it.
Fd openFolderOf(const QByteArray &path, QByteArray *name)
{
    const qsizetype slash = path.lastIndexOf('/');
    *name = path.mid(slash + 1);
    return open(folderOf(path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

} // namespace

QList<QByteArray> namesIn(int folder)
{
    QList<QByteArray> names;
    // A description of its own, so that reading it moves no one else's position.
    const int own = retryOnSignal([&] { return ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (own < 0)
        return names;
    DIR *dir = ::fdopendir(own);
    if (!dir) {
        ::close(own);
        return names;
    }
    while (const struct dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names << name;
    }
    ::closedir(dir);
    return names;
}

WriteResult replaceFile(const QByteArray &path, const QByteArray &bytes)
{
    if (path.isEmpty())
        return failed(WriteResult::Create, ENOENT);
    QByteArray target = path;
    struct stat old
    {};
    if (::lstat(target.constData(), &old) == 0) {
        if (S_ISLNK(old.st_mode)) {
            char *resolved = ::realpath(target.constData(), nullptr);
            if (resolved) {
                target = QByteArray(resolved);
                std::free(resolved);
            } else if (errno == ENOENT) {
                // A dangling link: the file it names is made.
                char link[4096];
                const ssize_t n = ::readlink(path.constData(), link, sizeof link);
                if (n <= 0 || size_t(n) >= sizeof link)
                    return failed(WriteResult::Create, n < 0 ? errno : ENAMETOOLONG);
                const QByteArray to(link, qsizetype(n));
                target = to.startsWith('/') ? to : folderOf(path) + '/' + to;
            } else {
                return failed(WriteResult::Create, errno);
            }
        }
    } else if (errno != ENOENT) {
        return failed(WriteResult::Create, errno);
    }
    QByteArray name;
    const Fd folder = openFolderOf(target, &name);
    if (!folder.isOpen())
        return failed(WriteResult::Create, errno);
    return writeInto(folder.get(), name, bytes, Existing::Follow);
}

WriteResult replaceFileIn(int folder, const QByteArray &name, const QByteArray &bytes, FolderSync sync)
{
    return writeInto(folder, name, bytes, Existing::Replace, sync);
}

void syncFolder(int folder) { ::fsync(folder); }

WriteResult createNewFile(const QByteArray &path, const QByteArray &bytes)
{
    if (path.isEmpty())
        return failed(WriteResult::Create, ENOENT);
    QByteArray name;
    const Fd folder = openFolderOf(path, &name);
    if (!folder.isOpen())
        return failed(WriteResult::Create, errno);
    return writeInto(folder.get(), name, bytes, Existing::Refuse);
}

namespace {
// The file written over itself; see replaceOrRewrite.
WriteResult rewriteInPlace(const QByteArray &path, const QByteArray &bytes)
{
    WriteResult r;
    const auto failed = [&r](int error) {
        r.failedAt = WriteResult::Write;
        r.error = error;
        return r;
    };
    const Fd file = FileIO::open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY);
    struct stat st
    {};
    if (!file.isOpen() || ::fstat(file.get(), &st) != 0)
        return failed(errno);
    if (!S_ISREG(st.st_mode))
        return failed(EINVAL);
    QByteArray old;
    old.resize(qsizetype(st.st_size));
    const qsizetype have = readUpTo(file.get(), old.data(), size_t(old.size()), 0);
    if (have < 0)
        return failed(errno);
    old.truncate(have);

    int error = 0;
    if (bytes.size() > old.size()) {
        error = ::posix_fallocate(file.get(), 0, off_t(bytes.size()));
        if (error == EOPNOTSUPP || error == EINVAL)
            error = 0; // the write below finds out
    }
    if (error == 0
        && (!writeAll(file.get(), bytes, 0) || ::ftruncate(file.get(), off_t(bytes.size())) != 0
            || ::fsync(file.get()) != 0))
        error = errno;
    if (error == 0)
        return r;
    r.oldLost = !(::ftruncate(file.get(), off_t(old.size())) == 0 && writeAll(file.get(), old, 0)
                  && ::fsync(file.get()) == 0);
    return failed(error);
}
} // namespace

WriteResult replaceOrRewrite(const QByteArray &path, const QByteArray &bytes)
{
    struct stat st
    {};
    const bool exists = ::stat(path.constData(), &st) == 0;
    const WriteResult r = replaceFile(path, bytes);
    const bool noNewFile = (r.failedAt == WriteResult::Create
                            && (r.error == EACCES || r.error == EPERM || r.error == ENOSPC || r.error == EDQUOT))
                           || (r.failedAt == WriteResult::KeepOwner && r.error == EPERM);
    if (!noNewFile || !exists || !S_ISREG(st.st_mode))
        return r;
    return rewriteInPlace(path, bytes);
}

} // namespace FileIO
