// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the visual-style manifest that the program writes beside itself at
// its first start, so an installed copy finds it there: it never has to write
// into a folder its users may not write to, and never restarts.
// Usage: setupreel_write_manifest FOLDER PROGRAM-NAME
#include "core/startup/WinXpStyle.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FOLDER PROGRAM-NAME\n", argv[0]);
        return 2;
    }
    // The program's own routine with its own version and description, told
    // where to write and that nothing is to be restarted: the very bytes of a
    // first start.
    WinXpStyle::rememberArguments(1, argv);
    WinXpStyle::Environment env = WinXpStyle::defaultEnvironment();
    env.appDir = QFile::decodeName(argv[1]);
    env.programName = QFile::decodeName(argv[2]);
    env.programFile.clear();
    env.startNewInstance = nullptr;
    env.endNow = nullptr;

    // Only a missing manifest is written, as at a first start.
    const QString path = WinXpStyle::manifestPath(env.appDir, env.programName);
    QFile::remove(path);
    bool restartAfterWrite = false;
    bool forceRewrite = false;
    WinXpStyle::EnsureStyleManifest(restartAfterWrite, forceRewrite, env);
    if (!QFileInfo(path).isFile()) {
        std::fprintf(stderr, "%s: could not write %s\n", argv[0], qPrintable(path));
        return 1;
    }
    return 0;
}
