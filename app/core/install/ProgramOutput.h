// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where a setup's standard output and error go: a log file beside the run's
// report. A file, not a pipe: a pipe closes when Setupreel ends (or its
// terminal goes), and a process the setup left running would then die of
// SIGPIPE on its next write; a file takes what it writes for as long as it
// runs. The run reads the file as it grows to show the output as it comes.
#include "core/io/FileIO.h"

#include <QByteArray>
#include <QString>

class ProgramOutput
{
public:
    // Makes the log file name in the folder held open as folder (never over
    // an existing file or a link), known to people as path; false when it
    // could not be made, and the setup then writes where Setupreel does. An
    // empty log the last program left under that name is taken as it is: a
    // program that writes nothing costs no file made or renamed.
    bool open(int folder, const QByteArray &name, const QString &path);
    bool isOpen() const { return m_write.isOpen(); }
    // The descriptor the setup gets as its standard output and error.
    int fd() const { return m_write.get(); }
    QString path() const { return m_path; }

    // What the setup wrote since the last call.
    QByteArray takeNew();

    // Done with it; whether a log is kept. An empty one is kept open for the
    // next program when reuse is true, else removed.
    bool close(bool reuse = false);
    // A log kept by close() takes the name given (path() becomes path)
    // unless that is taken.
    void keepAs(const QByteArray &name, const QString &path);
    // Removes an empty log kept for a next program.
    void discard();

private:
    QString m_path;
    int m_folder = -1;
    QByteArray m_name;
    FileIO::Fd m_write, m_read;
    off_t m_readAt = 0;
    bool m_spare = false; // empty, kept for the next program
};
