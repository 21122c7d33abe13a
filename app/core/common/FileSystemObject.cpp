// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/common/FileSystemObject.h"

#include "FileNameCodec.h"
#include "core/common/Seams.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStorageInfo>

#include <algorithm>
#include <sys/stat.h>

namespace {

// Kernel and service file systems: nothing a user keeps setup files on.
bool isPseudoFileSystem(const QByteArray &type)
{
    static const QSet<QByteArray> pseudo{"proc",     "sysfs",      "devpts",     "devtmpfs", "mqueue",
                                         "debugfs",  "tracefs",    "securityfs", "pstore",   "bpf",
                                         "configfs", "fusectl",    "hugetlbfs",  "autofs",   "binfmt_misc",
                                         "nsfs",     "rpc_pipefs", "efivarfs",   "selinuxfs"};
    return type.startsWith("cgroup") || pseudo.contains(type);
}

bool isInsideKernelTree(const QString &root)
{
    for (const char *tree : {"/proc/", "/sys/", "/dev/"}) {
        if (root.startsWith(QLatin1String(tree)))
            return true;
    }
    return false;
}
}

QStringList FileSystemObject::driveRoots() const
{
    QStringList roots;
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || isPseudoFileSystem(volume.fileSystemType()))
            continue;
        const QString root = QDir::cleanPath(volume.rootPath());
        // Containers bind single files (such as /etc/hosts); only folders are drives.
        if (root.isEmpty() || isInsideKernelTree(root) || !QFileInfo(root).isDir())
            continue;
        if (!roots.contains(root))
            roots << root;
    }
    std::sort(roots.begin(), roots.end(), [](const QString &a, const QString &b) {
        if (a == QLatin1String("/") || b == QLatin1String("/"))
            return a == QLatin1String("/") && b != QLatin1String("/");
        return a < b;
    });
    return roots;
}

bool FileSystemObject::isDriveReady(const QString &root) const
{
    if (root.isEmpty())
        return false;
    const QStorageInfo volume(root);
    // An empty mount point of a removable medium belongs to the volume above it:
    // that is a drive without its medium, not a ready one.
    return volume.isValid() && volume.isReady() && QDir::cleanPath(volume.rootPath()) == QDir::cleanPath(root);
}

std::optional<qint64> FileSystemObject::fileSize(const QString &path) const
{
    // By its bytes: QFileInfo cannot open a name that is not valid UTF-8.
    struct stat st;
    if (path.isEmpty() || ::stat(FileNameCodec::encodeFileName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return qint64(st.st_size);
}

FileSystemObject &FileSystemObject::instance() { return Seams::fileSystem(); }
