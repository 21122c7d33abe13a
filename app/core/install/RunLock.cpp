// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/install/RunLock.h"

#include <QCryptographicHash>
#include <QDir>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>

RunLock::RunLock(int folder, const QString &prefix) : m_folder(folder)
{
    const QByteArray key =
            QCryptographicHash::hash(QDir::cleanPath(prefix).toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    m_name = "running-" + key + ".lock";
}

QString RunLock::winePrefix()
{
    const QString prefix = qEnvironmentVariable("WINEPREFIX");
    return prefix.isEmpty() ? QDir::homePath() + QLatin1String("/.wine") : prefix;
}

bool RunLock::tryAcquire()
{
    if (!m_fd.isOpen()) {
        if (m_folder < 0)
            return true;
        // Never inherited: a program a setup leaves running must not keep
        // every later run waiting.
        m_fd = FileIO::Fd(FileIO::retryOnSignal([&] {
            return ::openat(m_folder, m_name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
        }));
        if (!m_fd.isOpen())
            return true;
    }
    if (FileIO::retryOnSignal([&] { return ::flock(m_fd.get(), LOCK_EX | LOCK_NB); }) == 0)
        return true;
    return errno != EWOULDBLOCK;
}
