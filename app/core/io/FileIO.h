// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one set of low-level file helpers: a descriptor owner, whole reads and
// writes that survive signals and short transfers, and the two ways a file is
// written whole (an atomic replace, and a new file that never overwrites).
// QtCore only; linked by the program and by the control libraries.
#include <QByteArray>
#include <QList>
#include <QString>

#include <cerrno>
#include <limits>
#include <sys/types.h>

namespace FileIO {

// The system's text for an errno value.
QString errorText(int error);

// Calls call() again while it fails with EINTR; returns its last result.
template<typename Call>
auto retryOnSignal(Call call) -> decltype(call())
{
    for (;;) {
        const auto result = call();
        if (!(result == -1 && errno == EINTR))
            return result;
    }
}

// Owns one descriptor; closing keeps errno of the step before.
class Fd
{
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    Fd(Fd &&other) noexcept : m_fd(other.release()) {}
    Fd &operator=(Fd &&other) noexcept;
    ~Fd() { reset(); }

    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    int release();
    void reset(int fd = -1);
    // Closes and says whether the close succeeded (a full disk may show only here).
    bool close();

private:
    int m_fd = -1;
};

// open(2), again after a signal.
Fd open(const QByteArray &path, int flags, mode_t mode = 0);

// Writes all of bytes at the descriptor's position, or from offset at when it
// is 0 or more. False, with errno set, when it could not (a full disk, a
// closed pipe).
bool writeAll(int fd, const char *data, size_t size, off_t at = -1);
inline bool writeAll(int fd, const QByteArray &bytes, off_t at = -1)
{
    return writeAll(fd, bytes.constData(), size_t(bytes.size()), at);
}

// Reads until size bytes are in or the file ends: at the position, or from
// offset at when it is 0 or more. The count read, or -1 with errno set.
qsizetype readUpTo(int fd, char *into, size_t size, off_t at = -1);

struct ReadResult
{
    bool ok = false;
    QByteArray data;
    QString error; // why not, when !ok
};

constexpr qint64 NoLimit = std::numeric_limits<qsizetype>::max() / 2;

// The rest of an open file, refused when it holds more than limit bytes.
ReadResult readAll(int fd, qint64 limit = NoLimit);
// A whole file by its name (opened read-only, without waiting on a fifo).
ReadResult readFile(const QByteArray &path, qint64 limit = NoLimit);

struct WriteResult
{
    // The step that failed: a caller may take another way after some.
    enum Step { None, Create, KeepOwner, Write, Rename };
    Step failedAt = None;
    int error = 0;
    bool oldLost = false; // written over itself, and the old bytes could not be put back
    bool ok() const { return failedAt == None; }
    QString reason() const { return errorText(error); }
};

// Replaces path by a file holding bytes, or leaves it as it was. The new file
// is written unnamed beside it (a named temporary where the file system has
// no unnamed files), takes an existing file's owner, group and mode, is on
// the disk before it is renamed over the old one, and its folder is synced
// after: a kill at any moment leaves the old file or the new one, whole. A
// symbolic link stays a link: the file it points to is replaced. The
// temporary is removed on any failure; one a killed writer left is removed by
// the next write in that folder.
WriteResult replaceFile(const QByteArray &path, const QByteArray &bytes);

// The same for name in an open folder (O_RDONLY | O_DIRECTORY), where a
// symbolic link at name is refused (ELOOP), never followed. With
// FolderSync::ByCaller the folder is not synced: the caller writes more files
// there and syncs it once for all (syncFolder), each sync being a wait on the
// disk.
enum class FolderSync { Now, ByCaller };
WriteResult replaceFileIn(int folder, const QByteArray &name, const QByteArray &bytes,
                          FolderSync sync = FolderSync::Now);
void syncFolder(int folder);

// replaceFile, and where that cannot be (a folder that takes no new file, an
// owner that cannot be kept) an existing regular file written over itself:
// room for the longer content is taken first, and on any failure the old
// bytes are put back (oldLost says when even that failed).
WriteResult replaceOrRewrite(const QByteArray &path, const QByteArray &bytes);

// Makes path, which must not exist yet, holding bytes; never overwrites. The
// file takes its name only once it is whole and on the disk, so a kill or a
// failure leaves nothing under that name.
WriteResult createNewFile(const QByteArray &path, const QByteArray &bytes);

// The names in an open folder, without "." and ".."; none when it cannot be read.
QList<QByteArray> namesIn(int folder);

// The folder part of a file name: "." for a bare name.
QByteArray folderOf(const QByteArray &file);

} // namespace FileIO
