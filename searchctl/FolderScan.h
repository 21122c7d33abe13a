// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One level of the folder search, read whole before anything is reported, so
// no enumeration stays open while deeper levels are searched.
#include "ControlContract.h"

#include <QByteArray>
#include <QString>

#include <string>
#include <vector>

class PatternMatch;

namespace FolderScan {

struct File
{
    std::string name;
    double size = 0; // the true size, also past 2 GiB
};

struct Level
{
    std::vector<std::string> folders; // subfolders to search, in order
    std::vector<File> files;          // matching files, in order
    int error = 0;                    // 0, or the error number that ends the level
    QString description;
};

// folder ends in "/"; names are the file system's bytes, whatever their
// encoding. Entries come in name order (letters without regard to case) so
// every file system gives the same results. Folders are real folders only: a
// link to a folder is neither searched nor listed, so a link pointing back up
// cannot make a search endless. Everything else that matches is a file:
// regular files, pipes, sockets, devices and links to anything but a folder,
// also links that cannot be followed (to nothing, looping, through a file, or
// where this user may not go). An entry whose own attributes cannot be read
// ends the level, unless its name ends in ".sys".
Level read(const QByteArray &folder, const PatternMatch &match);

// The error number and description for a failing call's errno. FileNotFound
// and BadFileName end a level silently: a folder that is missing or may not
// be read is one of them.
int errorNumber(int err, QString *description);
inline bool isSilent(int number) { return number == RunTimeError::BadFileName || number == RunTimeError::FileNotFound; }

} // namespace FolderScan
