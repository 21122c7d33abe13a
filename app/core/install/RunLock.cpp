#include "core/install/RunLock.h"

#include "FileNameCodec.h"

#include <QCryptographicHash>
#include <QDir>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>

RunLock::RunLock(const QString &folder, const QString &prefix)
{
    const QByteArray key =
            QCryptographicHash::hash(QDir::cleanPath(prefix).toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    m_folder = folder;
    m_path = folder + QLatin1String("/running-") + QString::fromLatin1(key) + QLatin1String(".lock");
}

QString RunLock::winePrefix()
{
    const QString prefix = qEnvironmentVariable("WINEPREFIX");
    return prefix.isEmpty() ? QDir::homePath() + QLatin1String("/.wine") : prefix;
}

bool RunLock::tryAcquire()
{
    if (!m_fd.isOpen()) {
        QDir().mkpath(m_folder);
        // Never inherited: a program a setup leaves running must not keep
        // every later run waiting.
        m_fd = FileIO::open(FileNameCodec::encodeFileName(m_path), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (!m_fd.isOpen())
            return true;
    }
    if (FileIO::retryOnSignal([&] { return ::flock(m_fd.get(), LOCK_EX | LOCK_NB); }) == 0)
        return true;
    return errno != EWOULDBLOCK;
}
