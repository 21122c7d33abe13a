// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/lists/ProgramLocator.h"

#include "CommandLine.h"
#include "FileNameCodec.h"
#include "LaunchPlan.h"

#include <QDir>
#include <QList>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ProgramLocator {

namespace {

using namespace ShellAndWaitLogic;

bool isBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }
bool isSeparator(QChar c) { return c == QLatin1Char('\\') || c == QLatin1Char('/'); }

bool isFolder(const QByteArray &path)
{
    struct stat st;
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// One way the line could name its program: where the path stands in the line
// and where the text begins that follows it, which is handed on unchanged.
struct Candidate
{
    qsizetype from = 0, to = 0; // the path
    qsizetype rest = 0;
};

// The prefixes the run-and-wait control would take as the program, shortest
// first: the quoted path of a quoted line, else each prefix ending at a blank.
QList<Candidate> candidatesOf(const QString &line)
{
    QList<Candidate> found;
    qsizetype start = 0;
    while (start < line.size() && isBlank(line.at(start)))
        ++start;
    if (start == line.size())
        return found;
    if (line.at(start) == QLatin1Char('"')) {
        const qsizetype close = line.indexOf(QLatin1Char('"'), start + 1);
        if (close < 0)
            found << Candidate{start + 1, line.size(), line.size()};
        else
            found << Candidate{start + 1, close, close + 1};
        return found;
    }
    for (qsizetype end = start; end <= line.size(); ++end) {
        if (end < line.size() && !isBlank(line.at(end)))
            continue;
        if (end > start && !isBlank(line.at(end - 1)))
            found << Candidate{start, end, end};
    }
    return found;
}

QStringList componentsOf(QStringView path)
{
    QStringList parts;
    QString part;
    for (const QChar c : path) {
        if (isSeparator(c)) {
            if (!part.isEmpty())
                parts << part;
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.isEmpty())
        parts << part;
    return parts;
}

// A name on disk names the list's component when they differ in case only.
// A name that is not UTF-8 may be the Windows-1252 spelling the list was
// written with.
bool sameName(const QByteArray &entry, const QString &component)
{
    const QString name = FileNameCodec::decodeFileName(entry);
    if (name.compare(component, Qt::CaseInsensitive) == 0)
        return true;
    return FileNameCodec::hasEscapedBytes(name)
           && FileNameCodec::decodeCp1252(entry).compare(component, Qt::CaseInsensitive) == 0;
}

// The names of folder that name component: its exact spellings first, then
// the others in name order.
QList<QByteArray> spellingsIn(const QByteArray &folder, const QString &component)
{
    QList<QByteArray> exact{FileNameCodec::encodeFileName(component)};
    QByteArray cp1252;
    if (FileNameCodec::encodeCp1252(component, &cp1252) && cp1252 != exact.first())
        exact << cp1252;

    QList<QByteArray> others;
    if (DIR *dir = ::opendir(folder.constData())) {
        while (const dirent *e = ::readdir(dir)) {
            const QByteArray name(e->d_name);
            if (name == "." || name == ".." || exact.contains(name))
                continue;
            if (sameName(name, component))
                others << name;
        }
        ::closedir(dir);
    }
    std::sort(others.begin(), others.end());
    return exact + others;
}

// The regular file that parts[i..] name below folder, each part matched
// without regard to case; empty when there is none. ".." is never followed,
// so nothing outside folder is found.
QByteArray findBelow(const QByteArray &folder, const QStringList &parts, qsizetype i)
{
    while (i < parts.size() && parts.at(i) == QLatin1String("."))
        ++i;
    if (i == parts.size() || parts.at(i) == QLatin1String(".."))
        return QByteArray();
    const bool last = i + 1 == parts.size();
    const QByteArray base = folder.endsWith('/') ? folder : folder + '/';
    for (const QByteArray &name : spellingsIn(folder, parts.at(i))) {
        QByteArray path = base + name;
        if (last) {
            if (isRegularFile(path))
                return path;
        } else if (isFolder(path)) {
            QByteArray found = findBelow(path, parts, i + 1);
            if (!found.isEmpty())
                return found;
        }
    }
    return QByteArray();
}

enum class PathKind { Relative, WindowsDrive, WindowsRooted, Unix };

PathKind kindOf(const QString &path)
{
    if (path.size() >= 3 && path.at(0).unicode() < 0x80 && path.at(0).isLetter() && path.at(1) == QLatin1Char(':')
        && isSeparator(path.at(2)))
        return PathKind::WindowsDrive;
    if (path.startsWith(QLatin1Char('\\')))
        return PathKind::WindowsRooted; // \Setups\... or \\server\share\...
    if (path.startsWith(QLatin1Char('/')))
        return PathKind::Unix;
    return PathKind::Relative;
}

// The folder Wine maps drive letter to, or empty.
QByteArray wineDrive(QChar letter)
{
    const QByteArray drive =
            FileNameCodec::encodeFileName(winePrefix()) + "/dosdevices/" + char(letter.toLower().unicode()) + ':';
    return isFolder(drive) ? drive : QByteArray();
}

// The tail rule: E:\Setups\Office\setup.exe, its list once at E:\Setups and
// now in listFolder, is Office\setup.exe below it; then each shorter tail.
QByteArray findByTail(const QByteArray &listFolder, const QString &folderName, const QStringList &parts)
{
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i + 1 < parts.size() && parts.at(i).compare(folderName, Qt::CaseInsensitive) == 0) {
            QByteArray found = findBelow(listFolder, parts, i + 1);
            if (!found.isEmpty())
                return found;
        }
        QByteArray found = findBelow(listFolder, parts, i);
        if (!found.isEmpty())
            return found;
    }
    return QByteArray();
}

QByteArray currentFolder()
{
    QByteArray buffer(4096, '\0');
    while (!::getcwd(buffer.data(), size_t(buffer.size()))) {
        if (errno != ERANGE)
            return QByteArray();
        buffer.resize(buffer.size() * 2);
    }
    return QByteArray(buffer.constData());
}

QByteArray absolute(const QByteArray &path)
{
    if (path.startsWith('/'))
        return path;
    const QByteArray here = currentFolder();
    return here.isEmpty() ? path : here + '/' + path;
}

} // namespace

QByteArray listFolderOf(const QString &listFile)
{
    if (listFile.isEmpty())
        return QByteArray();
    const QString path =
            QDir::cleanPath(FileNameCodec::decodeFileName(absolute(FileNameCodec::encodeFileName(listFile))));
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return FileNameCodec::encodeFileName(slash <= 0 ? QStringLiteral("/") : path.left(slash));
}

namespace {

// The found file as a command line the control splits back into that very
// file and the line's own arguments; empty when no such line can be written.
QString commandLineFor(const QByteArray &file, const QString &rest)
{
    const QString name = FileNameCodec::decodeFileName(file);
    for (const QString &line : {QLatin1Char('"') + name + QLatin1Char('"') + rest, name + rest}) {
        const CommandLine split = splitCommandLine(line);
        if (programFile(split) == file && split.arguments == splitArguments(rest))
            return line;
    }
    return QString();
}

// Why a line whose file was found nowhere starts nothing; empty when the
// control may be left to say so (an absolute path means the same anywhere).
QString refusalFor(const QString &program, const QString &listFolder)
{
    const PathKind kind = kindOf(program);
    if (kind == PathKind::Unix)
        return QString();
    if (componentsOf(program).contains(QLatin1String("..")))
        return QStringLiteral("File not found: %1 (\"..\" never leads out of the list's folder, %2)")
                .arg(program, listFolder);
    if (kind == PathKind::Relative)
        return QStringLiteral("File not found: %1 (looked for in the list's folder only, %2)").arg(program, listFolder);
    return QStringLiteral("File not found: %1 (looked for through Wine's drives and in the list's folder, %2)")
            .arg(program, listFolder);
}

} // namespace

Location locate(const QString &line, const QString &listFile)
{
    Location where;
    where.commandLine = line;
    const CommandLine written = splitCommandLine(line);
    const QList<Candidate> candidates = candidatesOf(line);
    const auto pathOf = [&line](const Candidate &c) { return line.mid(c.from, c.to - c.from); };
    const QByteArray listFolder = listFolderOf(listFile);
    // A relative line names a file below the list's folder, wherever the
    // command was started: the current folder is never looked in.
    if (!written.file.isEmpty() && (listFolder.isEmpty() || kindOf(written.program) == PathKind::Unix)) {
        where.asWritten = true;
        where.file = absolute(written.file);
        for (const Candidate &c : candidates) {
            if (c.to - c.from == written.program.size()) {
                where.arguments = line.mid(c.rest);
                break;
            }
        }
        return where;
    }
    if (!candidates.isEmpty())
        where.arguments = line.mid(candidates.first().rest);

    const QString folderName = FileNameCodec::decodeFileName(listFolder.mid(listFolder.lastIndexOf('/') + 1));
    // Whether file, found for c, can be started as the control takes lines.
    const auto take = [&](const QByteArray &file, const Candidate &c) {
        if (file.isEmpty())
            return false;
        const QString rest = line.mid(c.rest);
        const QString command = commandLineFor(file, rest);
        if (command.isEmpty())
            return false;
        where.commandLine = command;
        where.file = file;
        where.arguments = rest;
        return true;
    };
    for (const Candidate &c : candidates) {
        const QString path = pathOf(c);
        const PathKind kind = kindOf(path);
        if (kind == PathKind::Relative) {
            if (!listFolder.isEmpty() && take(findBelow(listFolder, componentsOf(path), 0), c))
                return where;
            continue;
        }
        if (kind == PathKind::Unix)
            continue;
        QStringList parts = componentsOf(QStringView(path).mid(kind == PathKind::WindowsDrive ? 2 : 0));
        if (kind == PathKind::WindowsDrive) {
            const QByteArray drive = wineDrive(path.at(0));
            if (!drive.isEmpty() && take(findBelow(drive, parts, 0), c))
                return where;
        } else if (path.startsWith(QLatin1String("\\\\"))) {
            parts = parts.mid(2); // \\server\share
        }
        if (!listFolder.isEmpty() && take(findByTail(listFolder, folderName, parts), c))
            return where;
    }
    if (!listFolder.isEmpty() && !candidates.isEmpty())
        where.refusal = refusalFor(written.program.isEmpty() ? pathOf(candidates.first()) : written.program,
                                   FileNameCodec::decodeFileName(listFolder));
    return where;
}

} // namespace ProgramLocator
