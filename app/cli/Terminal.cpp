#include "cli/Terminal.h"

#include "FileNameCodec.h"
#include "common/WriteAll.h"

#include <QStringList>

#include <cerrno>
#include <unistd.h>

// What cannot be written (a pipe its reader closed) is not wanted: writes are
// not checked.
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
