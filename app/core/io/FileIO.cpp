#include "core/io/FileIO.h"

#include <QRandomGenerator>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
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

// A new name survives a power cut only with its folder on the disk too. The
// content is in place by then, so a folder that cannot be synced is no failure.
void syncFolderOf(const QByteArray &file)
{
    const Fd folder = open(folderOf(file), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder.isOpen())
        ::fsync(folder.get());
}

// Written, on the disk and closed: a full disk may show at any of the three.
bool writeSyncClose(Fd &file, const QByteArray &bytes)
{
    return writeAll(file.get(), bytes) && ::fsync(file.get()) == 0 && file.close();
}

} // namespace

WriteResult replaceFile(const QByteArray &path, const QByteArray &bytes)
{
    if (path.isEmpty())
        return failed(WriteResult::Create, ENOENT);
    QByteArray target = path;
    struct stat old
    {};
    bool exists = false;
    if (::lstat(target.constData(), &old) == 0) {
        if (S_ISLNK(old.st_mode)) {
            char *resolved = ::realpath(target.constData(), nullptr);
            if (resolved) {
                target = QByteArray(resolved);
                std::free(resolved);
                exists = ::stat(target.constData(), &old) == 0;
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
        } else {
            exists = true;
        }
    } else if (errno != ENOENT) {
        return failed(WriteResult::Create, errno);
    }
    if (exists && S_ISDIR(old.st_mode))
        return failed(WriteResult::Create, EISDIR);

    // A short name, so that it fits wherever the target's own name fits.
    const QByteArray folder = folderOf(target);
    QByteArray temp;
    Fd file;
    for (int attempt = 0; attempt < 64 && !file.isOpen(); ++attempt) {
        temp = folder + "/.sr-" + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        file = open(temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (!file.isOpen() && errno != EEXIST)
            break;
    }
    if (!file.isOpen())
        return failed(WriteResult::Create, errno);
    auto fail = [&](WriteResult::Step step) {
        const int error = errno;
        file.reset();
        ::unlink(temp.constData());
        return failed(step, error);
    };
    if (exists) {
        struct stat now
        {};
        if (::fstat(file.get(), &now) != 0)
            return fail(WriteResult::Create);
        if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid) && ::fchown(file.get(), old.st_uid, old.st_gid) != 0)
            return fail(WriteResult::KeepOwner);
        // After fchown, which drops the set-id bits.
        if (::fchmod(file.get(), old.st_mode & 07777) != 0)
            return fail(WriteResult::KeepOwner);
    }
    if (!writeSyncClose(file, bytes))
        return fail(WriteResult::Write);
    if (::rename(temp.constData(), target.constData()) != 0)
        return fail(WriteResult::Rename);
    syncFolderOf(target);
    return {};
}

WriteResult createNewFile(const QByteArray &path, const QByteArray &bytes)
{
    if (path.isEmpty())
        return failed(WriteResult::Create, ENOENT);
    Fd file = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
    if (!file.isOpen())
        return failed(WriteResult::Create, errno);
    if (!writeSyncClose(file, bytes)) {
        const int error = errno;
        file.reset();
        ::unlink(path.constData());
        return failed(WriteResult::Write, error);
    }
    syncFolderOf(path);
    return {};
}

} // namespace FileIO
