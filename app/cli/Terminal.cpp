#include "cli/Terminal.h"

#include "FileNameCodec.h"

#include <QStringList>

#include <cerrno>
#include <unistd.h>

namespace {
void writeAll(int fd, const QByteArray &bytes)
{
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // a closed pipe: the rest is not wanted
        p += n;
        left -= n;
    }
}
}

Terminal::Terminal() : m_tty(::isatty(STDOUT_FILENO) == 1) {}

QByteArray Terminal::printable(const QString &text)
{
    QByteArray bytes = FileNameCodec::encodeFileName(text);
    for (char &c : bytes) {
        const uchar u = uchar(c);
        if (u < 0x20 || u == 0x7F)
            c = '?';
    }
    return bytes;
}

void Terminal::clearStatus()
{
    if (m_statusShown)
        writeAll(STDOUT_FILENO, QByteArrayLiteral("\r\033[K"));
    m_statusShown = false;
}

void Terminal::drawStatus()
{
    if (!m_tty || m_status.isEmpty())
        return;
    writeAll(STDOUT_FILENO, m_statusShown ? QByteArrayLiteral("\r\033[K") + m_status : m_status);
    m_statusShown = true;
}

void Terminal::line(const QString &text)
{
    lines(text, false);
}

void Terminal::errorLine(const QString &text)
{
    lines(text, true);
}

void Terminal::lines(const QString &text, bool toError)
{
    QByteArray out;
    const QStringList parts = text.split(QLatin1Char('\n'));
    for (const QString &part : parts)
        out += printable(part) + '\n';
    clearStatus();
    writeAll(toError ? STDERR_FILENO : STDOUT_FILENO, out);
    drawStatus();
}

void Terminal::setStatus(const QString &text)
{
    if (!m_tty)
        return;
    m_status = printable(text);
    if (m_status.isEmpty())
        clearStatus();
    else
        drawStatus();
}
