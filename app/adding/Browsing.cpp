#include "adding/Browsing.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {
QRegularExpression wildcard(const QString &part)
{
    QString re;
    for (const QChar c : part) {
        if (c == QLatin1Char('*'))
            re += QLatin1String(".*");
        else if (c == QLatin1Char('?'))
            re += QLatin1Char('.');
        else
            re += QRegularExpression::escape(QString(c));
    }
    return QRegularExpression(QRegularExpression::anchoredPattern(re),
                              QRegularExpression::CaseInsensitiveOption);
}

// The parts of a pattern, each compiled once for a whole folder.
class Matcher
{
public:
    explicit Matcher(const QString &pattern)
    {
        for (const QString &part : pattern.split(QLatin1Char(';'))) {
            const QString trimmed = part.trimmed();
            if (trimmed.isEmpty())
                continue;
            m_full << wildcard(trimmed);
            // "name.*" also takes "name": an empty extension is still an extension.
            if (trimmed.endsWith(QLatin1String(".*")))
                m_bare << wildcard(trimmed.chopped(2));
        }
    }

    bool matches(const QString &fileName) const
    {
        if (m_full.isEmpty())
            return true;
        for (const QRegularExpression &re : m_full) {
            if (re.match(fileName).hasMatch())
                return true;
        }
        if (fileName.contains(QLatin1Char('.')))
            return false;
        for (const QRegularExpression &re : m_bare) {
            if (re.match(fileName).hasMatch())
                return true;
        }
        return false;
    }

private:
    QList<QRegularExpression> m_full;
    QList<QRegularExpression> m_bare;
};

bool isInside(const QString &path, const QString &root)
{
    if (path == root)
        return true;
    const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    return path.startsWith(prefix);
}
}

namespace Browsing {

bool matchesPattern(const QString &fileName, const QString &pattern)
{
    return Matcher(pattern).matches(fileName);
}

QStringList matchingFiles(const QString &folder, const QString &pattern)
{
    if (folder.isEmpty())
        return {};
    const Matcher matcher(pattern);
    QStringList result;
    for (const QString &name : QDir(folder).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase)) {
        if (matcher.matches(name))
            result << name;
    }
    return result;
}

QString joinPath(const QString &folder, const QString &name)
{
    return folder + QDir::separator() + name;
}

QString cleanFolder(const QString &folder)
{
    if (folder.isEmpty())
        return folder;
    return QDir::cleanPath(QDir(folder).absolutePath());
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
    const QString r = cleanFolder(root);
    const QString current = cleanFolder(currentPath);
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
    const QDir dir(current);
    for (const QString &name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase)) {
        FolderEntry sub;
        sub.path = current.endsWith(QLatin1Char('/')) ? current + name : current + QLatin1Char('/') + name;
        sub.name = name;
        sub.depth = depth;
        entries << sub;
    }
    return entries;
}

}
