// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What every window reaches of the running program: its title, its dialogs
// and the way to end it. Tests replace the last two through Seams.
#include <QFont>
#include <QString>

class Prompts;

namespace Program {
QString title(); // "Setupreel"

// The dialogs a test put in, else the real ones.
Prompts &prompts();

// Ends the whole program at once: no further event of any window runs. A
// running installer is left alone.
void end();

// A list named on the command line: the main window loads it when Next first
// shows it. take returns it once, then empty.
void setListToOpen(const QString &path);
QString takeListToOpen();

// The program's font for its windows: Segoe UI 9.75 pt, and where the system
// has none, the given family (the font the program registers at start).
void applyWindowFont(const QString &fallbackFamily = QString());

// The program's icon for every window, in each size that the application
// folder's icons/<n>/ holds. A size whose file is missing or unreadable is left
// out; with none at all the windows keep the system's icon.
void applyWindowIcon();

// The windows' font at a size the layouts give for Segoe UI; a stand-in font
// gets the same smaller scale as the windows' own size, so a control meant
// smaller than its window stays smaller.
QFont windowFont(double segoePointSize);
}
