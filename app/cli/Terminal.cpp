#include "cli/Terminal.h"

#include "FileNameCodec.h"
#include "core/io/FileIO.h"

#include <QStringList>

#include <cerrno>
#include <unistd.h>

// What cannot be written (a pipe its reader closed) is not wanted: writes are
// not checked.
Terminal::Terminal() : m_tty(::isatty(STDOUT_FILENO) == 1) {}

QByteArray Terminal::printable(const QString &text)
{
    // Filtered as characters, not as bytes: a C1 control (U+009B starts an
    // escape sequence too) is two bytes in UTF-8.
    QString shown = text;
    for (QChar &c : shown) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F))
            c = QLatin1Char('?');
    }
    return FileNameCodec::encodeFileName(shown);
}

void Terminal::clearStatus()
{
    if (m_statusShown)
        FileIO::writeAll(STDOUT_FILENO, QByteArrayLiteral("\r\033[K"));
    m_statusShown = false;
}

void Terminal::drawStatus()
{
    if (!m_tty || m_status.isEmpty())
        return;
    FileIO::writeAll(STDOUT_FILENO, m_statusShown ? QByteArrayLiteral("\r\033[K") + m_status : m_status);
    m_statusShown = true;
}

void Terminal::line(const QString &text) { lines(text, false); }

void Terminal::errorLine(const QString &text) { lines(text, true); }

void Terminal::lines(const QString &text, bool toError)
{
    QByteArray out;
    const QStringList parts = text.split(QLatin1Char('\n'));
    for (const QString &part : parts)
        out += printable(part) + '\n';
    clearStatus();
    FileIO::writeAll(toError ? STDERR_FILENO : STDOUT_FILENO, out);
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

void TerminalPrompts::messageBox(const QString &text, const QString &title, MsgIcon)
{
    // A box's lines are joined by carriage returns.
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QString name = title.isEmpty() ? QStringLiteral("Setupreel") : title;
    m_terminal.errorLine(name + (m_layout == TitleLayout::OwnLine ? QStringLiteral("\n") : QStringLiteral(": "))
                         + shown);
}

bool TerminalPrompts::questionBox(const QString &text, const QString &title, MsgIcon icon)
{
    messageBox(text, title, icon);
    return false;
}
