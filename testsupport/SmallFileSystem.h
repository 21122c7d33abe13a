// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A small tmpfs mounted for one test and taken away after it, for the tests
// of what happens on a full disk. Mounting needs root; the caller skips,
// saying why, when it is not mounted.
#include <QFile>
#include <QProcess>
#include <QString>

class SmallFileSystem
{
public:
    // size as mount takes it: "64k", "64m".
    SmallFileSystem(const QString &mountPoint, const QString &size) : m_at(mountPoint)
    {
        QProcess mount;
        mount.start(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                              QStringLiteral("size=") + size, QStringLiteral("tmpfs"), mountPoint});
        if (!mount.waitForFinished(10000))
            m_whyNot = QStringLiteral("mount did not end");
        else if (mount.exitCode() != 0)
            m_whyNot = QStringLiteral("this system refuses to mount a tmpfs: ")
                       + QString::fromLocal8Bit(mount.readAllStandardError());
        m_mounted = m_whyNot.isEmpty();
    }
    ~SmallFileSystem()
    {
        if (m_mounted)
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), m_at});
    }
    SmallFileSystem(const SmallFileSystem &) = delete;
    SmallFileSystem &operator=(const SmallFileSystem &) = delete;

    bool isMounted() const { return m_mounted; }
    QString whyNot() const { return m_whyNot; }

    // Writes blocks of blockSize bytes into path until no more fits.
    static bool fillUp(const QString &path, int blockSize)
    {
        QFile fill(path);
        if (!fill.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return false;
        const QByteArray block(blockSize, 'f');
        while (fill.write(block) == block.size()) {
        }
        return true;
    }

private:
    QString m_at;
    QString m_whyNot;
    bool m_mounted = false;
};
