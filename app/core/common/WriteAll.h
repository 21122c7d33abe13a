#pragma once
// Writes the whole of bytes to a descriptor, again after a signal or a short
// write: at the descriptor's position, or from offset at when it is 0 or more.
// False, with errno set, when it could not (a full disk, a closed pipe).
#include <QByteArray>

#include <cerrno>
#include <sys/types.h>
#include <unistd.h>

inline bool writeAll(int fd, const QByteArray &bytes, off_t at = -1)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const char *from = bytes.constData() + done;
        const size_t left = size_t(bytes.size() - done);
        const ssize_t n = at < 0 ? ::write(fd, from, left) : ::pwrite(fd, from, left, at + off_t(done));
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
