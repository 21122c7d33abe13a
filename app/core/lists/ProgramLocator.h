// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Lists travel: a list written on one machine names its setup files where they
// were there (E:\Setups\Office\setup.exe), and is loaded on another from a
// stick or a share. A program line whose file does not exist as written is
// looked for, in this order:
//   1. a relative path: below the list file's folder, and only there (never
//      in the current folder, and ".." never leads out of it);
//   2. a Windows path: through Wine's drive mapping ($WINEPREFIX/dosdevices);
//   3. a Windows path: by its tail below the list file's folder.
// Names are matched without regard to case, as the original platform does.
// The list's own line is never changed; only what is started is.
#include <QByteArray>
#include <QString>

namespace ProgramLocator {

struct Location
{
    // What to start: the line itself when its program exists as written or
    // was found nowhere, else the found file (quoted as the run-and-wait
    // control splits lines) followed by the line's arguments unchanged.
    QString commandLine;
    QByteArray file;        // the program file's bytes, absolute; empty: not found
    bool asWritten = false; // the line names an existing file as it stands
    // The line's text behind its program (its switch), as the line holds it;
    // when nothing was found, behind the first word.
    QString arguments;
    // Why nothing may be started for this line (a file-not-found text); empty
    // when commandLine may be handed to the run-and-wait control. Set for a
    // line whose program is not an absolute path when its file was not found
    // below the list's folder: the control would look in the current folder.
    QString refusal;
};

// line: a program line exactly as the list holds it. listFile: the list's
// path (a relative one is taken from the current folder); empty when unknown,
// then only Wine's drive mapping is tried and a relative line stays as it is.
Location locate(const QString &line, const QString &listFile);

// The folder lines are looked for below: the list file's, absolute and
// without "." or ".." steps; empty when listFile is.
QByteArray listFolderOf(const QString &listFile);

} // namespace ProgramLocator
