// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every place where a test puts its own stand-in for a part of the real
// program, in one place. Setting a seam to nothing (nullptr, an empty function
// or text, no value) puts the real one back; restore() puts back all of them.
//
// The dialogs and the opening of an address need the window system, so their
// real ones live with the windows: here is only what a test put in.
#include <QString>

#include <functional>
#include <optional>

class FileSystemObject;
class Prompts;
class QUrl;

namespace Seams {

// Puts every real one back.
void restore();

// The dialogs and message boxes: the test's, or nullptr for the real ones.
Prompts *prompts();
void setPrompts(Prompts *prompts); // not owned

// Ends the whole program at once: nothing else of the program runs after it.
void endProgram();
void setEndProgram(std::function<void()> handler);

// The program-wide file-system object.
FileSystemObject &fileSystem();
void setFileSystem(FileSystemObject *fso); // not owned

// The application folder: the running program's folder unless a test set one.
QString appDir();
void setAppDir(const QString &dir);

// Opening an address: the test's, or an empty function for the real one.
const std::function<bool(const QUrl &)> &openAddress();
void setOpenAddress(std::function<bool(const QUrl &)> open);

// Starts a program by its path without waiting for it: true when it started.
bool startProgram(const QString &path);
void setStartProgram(std::function<bool(const QString &)> start);

// The start-up window's pause before each step of its bar, in ms. The real one
// is SETUPREEL_PAUSE_MS when it holds a number of 0 or more, else 5.
int pauseMs();
void setPauseMs(std::optional<int> ms);

}
