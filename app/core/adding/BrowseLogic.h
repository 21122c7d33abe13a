// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the drive, folder and file lists of the adding windows show, without a
// window: drives are mounted volumes, a drive's root is its mount point.
#include <QList>
#include <QString>
#include <QStringList>

namespace Browsing {

// Several wildcard patterns separated by ";" (such as "*.EXE;*.MSI;*.BAT"),
// matched without regard to case; "*" and "?" are the only wildcards, and a
// pattern ending in ".*" also takes names without an extension, so "*.*" is
// every file. A pattern without any part takes every file.
bool matchesPattern(const QString &fileName, const QString &pattern);

// The files (not folders) of a folder that match the pattern, sorted by name
// without regard to case. Hidden files are left out, as the platform's file
// lists leave them out; names that are not valid UTF-8 are not.
QStringList matchingFiles(const QString &folder, const QString &pattern);

// A folder and a name joined with the native separator; a folder that already
// ends in one (the root) gets a second.
QString joinPath(const QString &folder, const QString &name);

// The drive (out of roots) that holds the path: the longest root it lies in.
// Empty when it lies in none.
QString driveOf(const QString &path, const QStringList &roots);

// The current folder of a drive: the program's current folder when that lies on
// the drive, else the drive's root.
QString currentFolderOf(const QString &root, const QStringList &roots, const QString &currentPath);

// One row of a folder list: the open folders from the drive's root down to the
// current folder, then the current folder's subfolders one level deeper.
struct FolderEntry
{
    QString path;
    QString name; // the root shows its whole path
    int depth = 0;
    bool open = false;
};

QList<FolderEntry> folderEntries(const QString &folder, const QString &driveRoot);

// A folder path in the form the folder list reports it: absolute, clean,
// without a trailing separator except for the root.
QString cleanFolder(const QString &folder);

// Paths here are texts in the form of FileNameCodec: a name that is not valid
// UTF-8 keeps its bytes. QDir and QFileInfo would lose them.
QString currentFolder(); // the program's current folder
bool isFolder(const QString &path);

}
