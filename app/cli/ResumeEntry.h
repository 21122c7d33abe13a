// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// --resume-after-reboot: after a run stopped for a restart of the computer,
// an entry that runs `setupreel --install LIST --resume` once after the
// restart: an autostart entry ($XDG_CONFIG_HOME/autostart) for a desktop
// session, else a systemd user unit ($XDG_CONFIG_HOME/systemd/user, enabled
// through a default.target.wants link). The resume removes it at its start.
#include <QString>
#include <QStringList>

namespace ResumeEntry {

// Resumes in a row after which no further entry is written.
constexpr int MaxResumes = 3;

// The entry's file for listFile: the autostart entry when desktop, else the unit.
QString pathFor(const QString &listFile, bool desktop);
// Whether a desktop session is there to run an autostart entry.
bool desktopSession();

// Removes the entries of listFile (both kinds); the first error, empty when none.
QString remove(const QString &listFile);

struct Written
{
    QString path;  // the entry written; empty when none was
    QString error; // why not
};
// Writes the entry resuming listFile (titled title) with these arguments
// after "--install LIST --resume --restart=stop --resume-after-reboot".
Written write(const QString &listFile, const QString &title, const QStringList &arguments);

} // namespace ResumeEntry
