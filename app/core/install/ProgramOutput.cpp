// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/install/ProgramOutput.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool ProgramOutput::open(int folder, const QByteArray &name, const QString &path)
{
    // The empty log the last program left, under the same name: taken as it is.
    if (m_spare && folder == m_folder && name == m_name) {
        m_spare = false;
        m_path = path;
        m_readAt = 0;
        return true;
    }
    discard();
    close();
    if (folder < 0)
        return false;
    // Appended to by the setup and by whatever it starts, each at the end.
    m_write = FileIO::Fd(FileIO::retryOnSignal([&] {
        return ::openat(folder, name.constData(),
                        O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600);
    }));
    if (!m_write.isOpen())
        return false;
    m_read = FileIO::Fd(FileIO::retryOnSignal(
            [&] { return ::openat(folder, name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY); }));
    m_folder = folder;
    m_name = name;
    m_path = path;
    m_readAt = 0;
    return true;
}

QByteArray ProgramOutput::takeNew()
{
    constexpr qsizetype MaxAtOnce = qsizetype(1024) * 1024;
    if (!m_read.isOpen())
        return {};
    QByteArray bytes;
    char buf[65536];
    for (;;) {
        const qsizetype n = FileIO::readUpTo(m_read.get(), buf, sizeof buf, m_readAt);
        if (n <= 0)
            break;
        bytes.append(buf, n);
        m_readAt += n;
        // A setup that writes without end is shown in pieces, between which
        // the run's other events get their turn.
        if (size_t(n) < sizeof buf || bytes.size() >= MaxAtOnce)
            break;
    }
    return bytes;
}

bool ProgramOutput::close(bool reuse)
{
    if (!m_write.isOpen() || m_spare)
        return false;
    struct stat st
    {};
    const bool empty = ::fstat(m_write.get(), &st) == 0 && st.st_size == 0;
    if (empty && reuse) {
        m_spare = true;
        return false;
    }
    if (empty)
        ::unlinkat(m_folder, m_name.constData(), 0);
    m_write.reset();
    m_read.reset();
    return !empty;
}

void ProgramOutput::keepAs(const QByteArray &name, const QString &path)
{
    // What is still running writes on: the file is the same.
    if (FileIO::retryOnSignal(
                [&] { return ::renameat2(m_folder, m_name.constData(), m_folder, name.constData(), RENAME_NOREPLACE); })
        == 0) {
        m_name = name;
        m_path = path;
    }
}

void ProgramOutput::discard()
{
    if (!m_spare)
        return;
    m_spare = false;
    close();
}
