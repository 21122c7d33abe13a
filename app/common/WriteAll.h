#pragma once
// Writes the whole of bytes to a descriptor, again after a signal or a short
// write. False, with errno set, when it could not (a full disk, a closed pipe).
#include <QByteArray>

#include <cerrno>
#include <unistd.h>

inline bool writeAll(int fd, const QByteArray &bytes)
{
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}
