// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/adding/BrowseLogic.h"

#include "FileNameCodec.h"
#include "PatternMatch.h"

#include <QDir>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {
// The parts of a pattern, each prepared once for a whole folder. Names are
// matched by their bytes, with the search control's own matcher, so a name
// that is not valid UTF-8 is matched like any other.
class Matcher
{
public:
    explicit Matcher(const QString &pattern)
    {
        for (const QString &part : pattern.split(QLatin1Char(';'))) {
            const QString trimmed = part.trimmed();
            if (trimmed.isEmpty())
                continue;
            m_full.emplace_back(trimmed);
            // "name.*" also takes "name": an empty extension is still an extension.
            if (trimmed.endsWith(QLatin1String(".*")))
                m_bare.emplace_back(trimmed.chopped(2));
        }
    }

    bool matches(const QString &fileName) const
    {
        if (m_full.empty())
            return true;
        const QByteArray name = FileNameCodec::encodeFileName(fileName);
        for (const PatternMatch &part : m_full) {
            if (part.matches(name.constData(), size_t(name.size())))
                return true;
        }
        if (name.contains('.'))
            return false;
        for (const PatternMatch &part : m_bare) {
            if (part.matches(name.constData(), size_t(name.size())))
                return true;
        }
        return false;
    }

private:
    std::vector<PatternMatch> m_full;
    std::vector<PatternMatch> m_bare;
};

// The visible entries of a folder of one kind, links followed, sorted by name
// without regard to case. Read as bytes: a name that is not valid UTF-8 comes
// back in the form that gives its bytes again, so it can still be opened.
QStringList visibleEntries(const QString &folder, mode_t kind)
{
    QStringList names;
    DIR *dir = ::opendir(FileNameCodec::encodeFileName(folder).constData());
    if (!dir)
        return names;
    const int fd = ::dirfd(dir);
    while (const dirent *e = ::readdir(dir)) {
        if (e->d_name[0] == '.') // hidden, and "." and ".."
            continue;
        struct stat st;
        if (::fstatat(fd, e->d_name, &st, 0) == 0 && (st.st_mode & S_IFMT) == kind)
            names << FileNameCodec::decodeFileName(QByteArray(e->d_name));
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

bool isInside(const QString &path, const QString &root)
{
    if (path == root)
        return true;
    const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    return path.startsWith(prefix);
}
}

namespace Browsing {

bool matchesPattern(const QString &fileName, const QString &pattern) { return Matcher(pattern).matches(fileName); }

QStringList matchingFiles(const QString &folder, const QString &pattern)
{
    if (folder.isEmpty())
        return {};
    const Matcher matcher(pattern);
    QStringList result;
    for (const QString &name : visibleEntries(folder, S_IFREG)) {
        if (matcher.matches(name))
            result << name;
    }
    return result;
}

QString joinPath(const QString &folder, const QString &name) { return folder + QDir::separator() + name; }

QString cleanFolder(const QString &folder)
{
    if (folder.isEmpty())
        return folder;
    if (QDir::isAbsolutePath(folder))
        return QDir::cleanPath(folder);
    return QDir::cleanPath(currentFolder() + QLatin1Char('/') + folder);
}

QString currentFolder()
{
    QByteArray bytes(4096, '\0');
    while (!::getcwd(bytes.data(), size_t(bytes.size()))) {
        if (errno != ERANGE)
            return QDir::currentPath();
        bytes.resize(bytes.size() * 2);
    }
    return FileNameCodec::decodeFileName(QByteArray(bytes.constData()));
}

bool isFolder(const QString &path)
{
    struct stat st;
    return !path.isEmpty() && ::stat(FileNameCodec::encodeFileName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

QString driveOf(const QString &path, const QStringList &roots)
{
    const QString clean = cleanFolder(path);
    QString best;
    for (const QString &root : roots) {
        const QString r = cleanFolder(root);
        if (isInside(clean, r) && r.size() > best.size())
            best = r;
    }
    return best;
}

QString currentFolderOf(const QString &root, const QStringList &roots, const QString &currentPath)
{
    QString r = cleanFolder(root);
    QString current = cleanFolder(currentPath);
    if (!current.isEmpty() && driveOf(current, roots) == r)
        return current;
    return r;
}

QList<FolderEntry> folderEntries(const QString &folder, const QString &driveRoot)
{
    const QString current = cleanFolder(folder);
    if (current.isEmpty())
        return {};
    QString root = cleanFolder(driveRoot);
    if (root.isEmpty() || !isInside(current, root))
        root = QDir::rootPath();

    QList<FolderEntry> entries;
    FolderEntry top;
    top.path = root;
    top.name = QDir::toNativeSeparators(root);
    top.open = true;
    entries << top;

    const QString below = current.mid(root.size());
    QString path = root;
    for (const QString &name : below.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        path = path.endsWith(QLatin1Char('/')) ? path + name : path + QLatin1Char('/') + name;
        FolderEntry open;
        open.path = path;
        open.name = name;
        open.depth = entries.size();
        open.open = true;
        entries << open;
    }

    const int depth = entries.size();
    for (const QString &name : visibleEntries(current, S_IFDIR)) {
        FolderEntry sub;
        sub.path = current.endsWith(QLatin1Char('/')) ? current + name : current + QLatin1Char('/') + name;
        sub.name = name;
        sub.depth = depth;
        entries << sub;
    }
    return entries;
}

}
