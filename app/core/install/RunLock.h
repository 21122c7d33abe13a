// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One install run at a time for a user and a Wine prefix: setups started side
// by side by two runs fight over the same installer service and files. A
// lock file held with flock(2) for the run's length; the system lets it go
// when the run ends, however it ends.
#include "core/io/FileIO.h"

#include <QString>

class RunLock
{
public:
    // folder: where the user's runs are kept, held open (-1: none); prefix:
    // the Wine prefix the setups run in.
    RunLock(int folder, const QString &prefix);

    // True when this run now holds the lock, or when no lock can be had at
    // all (no folder, or one that takes no file): the report says what is
    // wrong there, and a missing lock must not stop an installation.
    bool tryAcquire();

    // The Wine prefix setups run in: $WINEPREFIX, else ~/.wine.
    static QString winePrefix();

private:
    int m_folder = -1;
    QByteArray m_name;
    FileIO::Fd m_fd;
};
