// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program-wide file-system object: whether a drive is ready and how large a
// file is. Created on first use and kept for the run; tests put another in
// through Seams::setFileSystem.
#include <QString>
#include <QStringList>

#include <optional>

class FileSystemObject
{
public:
    virtual ~FileSystemObject() = default;

    // Here a drive is a mounted volume and its root is its mount point.
    virtual QStringList driveRoots() const;
    virtual bool isDriveReady(const QString &root) const;
    // Size in bytes, or nothing when the file cannot be read.
    virtual std::optional<qint64> fileSize(const QString &path) const;

    static FileSystemObject &instance();
};
