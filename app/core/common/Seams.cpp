// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/common/Seams.h"

#include "core/common/FileSystemObject.h"

#include <QCoreApplication>
#include <QProcess>
#include <QUrl>

#include <cstdio>
#include <unistd.h>

namespace {
constexpr int DefaultPauseMs = 5;

struct StandIns
{
    Prompts *prompts = nullptr;
    std::function<void()> endProgram;
    FileSystemObject *fileSystem = nullptr;
    QString appDir;
    std::function<bool(const QUrl &)> openAddress;
    std::function<bool(const QString &)> startProgram;
    std::optional<int> pauseMs;
};

StandIns &standIns()
{
    static StandIns s;
    return s;
}
}

namespace Seams {

void restore() { standIns() = StandIns(); }

Prompts *prompts() { return standIns().prompts; }
void setPrompts(Prompts *prompts) { standIns().prompts = prompts; }

void endProgram()
{
    if (standIns().endProgram) {
        standIns().endProgram();
        return;
    }
    // At once: no closing event of any window runs, and nothing kills the
    // installer that may still be running.
    std::fflush(nullptr);
    ::_exit(0);
}

void setEndProgram(std::function<void()> handler) { standIns().endProgram = std::move(handler); }

FileSystemObject &fileSystem()
{
    static FileSystemObject real;
    return standIns().fileSystem ? *standIns().fileSystem : real;
}

void setFileSystem(FileSystemObject *fso) { standIns().fileSystem = fso; }

QString appDir()
{
    if (!standIns().appDir.isEmpty())
        return standIns().appDir;
    return QCoreApplication::applicationDirPath();
}

void setAppDir(const QString &dir) { standIns().appDir = dir; }

const std::function<bool(const QUrl &)> &openAddress() { return standIns().openAddress; }
void setOpenAddress(std::function<bool(const QUrl &)> open) { standIns().openAddress = std::move(open); }

bool startProgram(const QString &path)
{
    if (standIns().startProgram)
        return standIns().startProgram(path);
    // The path is the program itself: nothing in it is read by a shell.
    return QProcess::startDetached(path, {});
}

void setStartProgram(std::function<bool(const QString &)> start) { standIns().startProgram = std::move(start); }

int pauseMs()
{
    if (standIns().pauseMs)
        return *standIns().pauseMs;
    bool ok = false;
    const int fromEnv = qEnvironmentVariableIntValue("SETUPREEL_PAUSE_MS", &ok);
    return ok && fromEnv >= 0 ? fromEnv : DefaultPauseMs;
}

void setPauseMs(std::optional<int> ms) { standIns().pauseMs = ms; }

}
