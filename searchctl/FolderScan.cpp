// SPDX-License-Identifier: GPL-3.0-or-later
#include "FolderScan.h"

#include "PatternMatch.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace FolderScan {
namespace {
inline unsigned char lower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

bool byName(const std::string &a, const std::string &b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = lower(a[i]), y = lower(b[i]);
        if (x != y)
            return x < y;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

bool endsWithSys(const char *name)
{
    const size_t n = std::strlen(name);
    return n >= 4 && std::memcmp(name + n - 4, ".sys", 4) == 0; // case matters
}

enum Kind { Folder, AFile, Skip, Gone, Unreadable };

// The entry's own attributes decide (as lstat reads them); a link is looked
// through only to tell a link to a folder. A link that cannot be followed (it
// loops, passes through a file, points to nothing or where this user may not
// go) is still an entry of this folder like any other file.
Kind kindOf(int dirFd, const dirent *e)
{
    unsigned char type = e->d_type;
    struct stat st;
    if (type == DT_UNKNOWN) {
        if (::fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return errno == ENOENT ? Gone : Unreadable;
        type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_REG;
    }
    if (type == DT_DIR)
        return Folder;
    if (type != DT_LNK)
        return AFile;
    return ::fstatat(dirFd, e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode) ? Skip : AFile;
}
}

int errorNumber(int err, QString *description)
{
    int number = RunTimeError::PathFileAccess;
    switch (err) {
    case ENOENT:
    case ENOTDIR:
    case EACCES:
    case EPERM: number = RunTimeError::FileNotFound; break;
    case ENAMETOOLONG:
    case EILSEQ: number = RunTimeError::BadFileName; break;
    case EMFILE:
    case ENFILE: number = RunTimeError::TooManyFiles; break;
    case ENOMEM: number = RunTimeError::OutOfMemory; break;
    default: break;
    }
    if (description)
        *description = QString::fromLocal8Bit(std::strerror(err));
    return number;
}

Level read(const QByteArray &folder, const PatternMatch &match)
{
    Level level;
    DIR *dir = ::opendir(folder.constData());
    if (!dir) {
        level.error = errorNumber(errno, &level.description);
        return level;
    }
    const int fd = ::dirfd(dir);
    std::vector<std::string> files;
    while (const dirent *e = ::readdir(dir)) {
        const char *n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        const Kind kind = kindOf(fd, e);
        if (kind == Gone) // removed since the folder was read
            continue;
        if (kind == Unreadable) {
            const int err = errno;
            if (endsWithSys(n)) {
                // Passed over as a subfolder; the file list still names it.
                if (match.matches(n, std::strlen(n)))
                    files.emplace_back(n);
                continue;
            }
            level.error = errorNumber(err, &level.description);
            break;
        }
        if (kind == Folder) {
            if (level.folders.size() >= 32767) {
                level.error = RunTimeError::Overflow;
                level.description = QStringLiteral("Overflow");
                break;
            }
            level.folders.emplace_back(n);
        } else if (kind == AFile && match.matches(n, std::strlen(n))) {
            files.emplace_back(n);
        }
    }
    if (level.error) {
        level.folders.clear();
        ::closedir(dir);
        return level;
    }
    std::sort(level.folders.begin(), level.folders.end(), byName);
    std::sort(files.begin(), files.end(), byName);
    level.files.reserve(files.size());
    for (std::string &name : files) {
        struct stat st;
        const double size = ::fstatat(fd, name.c_str(), &st, 0) == 0 ? double(st.st_size) : 0.0;
        level.files.push_back({std::move(name), size});
    }
    ::closedir(dir);
    return level;
}

} // namespace FolderScan
