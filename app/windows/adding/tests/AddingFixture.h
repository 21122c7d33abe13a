// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A small machine for the adding windows: drives A and C are folders of a
// temporary tree, drive B has no medium. The program's current folder is
// A/Setups.
#include "FileNameCodec.h"
#include "core/common/FileSystemObject.h"
#include "core/common/Seams.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QSet>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

class FakeDrives : public FileSystemObject
{
public:
    QStringList roots;
    QSet<QString> withoutMedium;

    QStringList driveRoots() const override { return roots; }
    bool isDriveReady(const QString &root) const override
    {
        return roots.contains(root) && !withoutMedium.contains(root) && QFileInfo(root).isDir();
    }
};

// Removes a tree by its bytes: QTemporaryDir cannot remove names that are not
// valid UTF-8.
inline void removeTree(const QString &root)
{
    ::nftw(
            QFile::encodeName(root).constData(),
            [](const char *path, const struct stat *, int type, FTW *) {
                return type == FTW_DP ? ::rmdir(path) : ::unlink(path);
            },
            16, FTW_DEPTH | FTW_PHYS);
}

class AddingTree
{
public:
    QTemporaryDir dir;
    QString A, B, C, Setups;

    AddingTree()
    {
        A = dir.filePath(QStringLiteral("A"));
        B = dir.filePath(QStringLiteral("B"));
        C = dir.filePath(QStringLiteral("C"));
        Setups = A + QStringLiteral("/Setups");
        file(Setups + QStringLiteral("/setup.exe"), 512);
        file(Setups + QStringLiteral("/Tool.MSI"), 1536 * 1024);
        file(Setups + QStringLiteral("/run.bat"), 1048570);
        file(Setups + QStringLiteral("/big.exe"), 3 * 1048576);
        file(Setups + QStringLiteral("/readme.txt"), 10);
        file(Setups + QStringLiteral("/NOTES.TXT"), 10);
        file(Setups + QStringLiteral("/.hidden.exe"), 10);
        file(Setups + QStringLiteral("/Sub/inner.exe"), 10);
        QDir().mkpath(A + QStringLiteral("/Other"));
        file(A + QStringLiteral("/root.exe"), 10);
        file(C + QStringLiteral("/c.msi"), 10);
        QDir().mkpath(B);
    }

    ~AddingTree() { removeTree(dir.path()); }

    static void file(const QString &path, qint64 bytes)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        f.resize(bytes);
    }

    // A folder and files whose names are Latin-1 bytes, as archives made on
    // Windows leave them: under/Caf\xe9 with r\xe9sum\xe9.exe (512 bytes) and the
    // subfolder Deeper\xff holding inner.exe. Gives the folder as the lists show it.
    static QString latin1Folder(const QString &under)
    {
        const QByteArray cafe = FileNameCodec::encodeFileName(under) + "/Caf\xe9";
        for (const QByteArray &folder : {cafe, cafe + "/Deeper\xff"}) {
            if (::mkdir(folder.constData(), 0755) != 0 && errno != EEXIST)
                qFatal("cannot make %s", folder.constData());
        }
        for (const QByteArray &file : {cafe + "/r\xe9sum\xe9.exe", cafe + "/Deeper\xff/inner.exe"}) {
            const int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0 || ::ftruncate(fd, 512) != 0)
                qFatal("cannot write %s", file.constData());
            ::close(fd);
        }
        return FileNameCodec::decodeFileName(cafe);
    }

    // Whether a row or path names an existing regular file, by its bytes.
    static bool namesAFile(const QString &path)
    {
        struct stat st;
        return ::stat(FileNameCodec::encodeFileName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
    }

    void install(FakeDrives &drives) const
    {
        drives.roots = {A, B, C};
        drives.withoutMedium = {B};
        Seams::setFileSystem(&drives);
    }
};

inline QStringList texts(const QListWidget *list)
{
    QStringList result;
    for (int i = 0; i < list->count(); ++i)
        result << list->item(i)->text();
    return result;
}

inline QTreeWidgetItem *folderItem(QTreeWidget *tree, const QString &name)
{
    const QList<QTreeWidgetItem *> found = tree->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

// A click and a double-click at an item, as the mouse gives them.
inline void clickAt(QAbstractItemView *view, const QRect &rect)
{
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
}

inline void doubleClickAt(QAbstractItemView *view, const QRect &rect)
{
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, rect.center());
}
