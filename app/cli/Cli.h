// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The terminal commands: --install, --inspect, --check, --help, --version.
// They run with QtCore only, before any window or display exists.

namespace Cli {

// Whether argv asks for a terminal command rather than the windows. Decided
// from argv alone, before any application object exists: Qt's own options
// (-platform, -style, ...) and a list path alone go to the windows; any other
// argument starting with a dash is answered by the terminal as a mistake.
bool isCommand(int argc, char *argv[]);

// Runs the command and returns the program's exit status.
int run(int argc, char *argv[]);

// The exit statuses of --install; --inspect and --check use 0 and 2 alike.
enum Status {
    AllSucceeded = 0,
    SomeNotSucceeded = 1,
    Refused = 2,       // the list, the command line or the run-and-wait control
    RestartNeeded = 3, // every program succeeded, a restart finishes the work
    // Every program succeeded (a restart may be needed: the terminal says),
    // but the kept report or the --report copy could not be written.
    ReportNotWritten = 4,
    Interrupted = 128, // plus the signal: 130 Ctrl-C, 143 SIGTERM, 129 SIGHUP
};

} // namespace Cli
