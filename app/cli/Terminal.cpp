// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Terminal.h"

#include "FileNameCodec.h"
#include "core/common/ControlCharacters.h"
#include "core/io/FileIO.h"

#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <pthread.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// A terminal that takes the cursor movements of a status line: not one that
// says it is dumb (an editor's shell buffer, a CI log), nor one that does not
// say at all.
bool takesStatusLine()
{
    if (::isatty(STDOUT_FILENO) != 1)
        return false;
    const QByteArray term = qgetenv("TERM");
    return !term.isEmpty() && term != "dumb";
}

// A program's line that never ends (dots for progress) is written once it
// is this long, so it is not held without end.
constexpr qsizetype HeldOutputLimit = 4096;

// What is widest first: the bar keeps this many cells before the note is cut.
constexpr int FullBar = 30;
constexpr int ShortestBar = 10;

// "[#####-----] 3/10  note" within width - 1 columns: a line that fills the
// last column makes some terminals wrap at the next character.
QString progressBar(int value, int max, const QString &note, int width)
{
    const int room = qMax(1, width - 1);
    const QString counter = QStringLiteral("%1/%2").arg(value).arg(max);
    const QString behind = note.isEmpty() ? QString() : QStringLiteral("  ") + note;
    const int around = 3 + int(counter.size()); // "[", "] " and the counter
    int cells = qMin(FullBar, room - around - int(behind.size()));
    if (cells < ShortestBar && !behind.isEmpty())
        cells = 0; // a note (a countdown) says more than the bar
    else if (cells < ShortestBar)
        cells = room - around;
    QString bar;
    if (cells >= 3) {
        const int filled = int(qint64(cells) * qBound(0, value, max) / max);
        bar = QLatin1Char('[') + QString(filled, QLatin1Char('#')) + QString(cells - filled, QLatin1Char('-'))
              + QStringLiteral("] ");
    }
    QString shown = bar + counter + behind;
    // Too long still: the note loses its middle, keeping how it begins and
    // the seconds at its end.
    if (shown.size() > room && !behind.isEmpty()) {
        const qsizetype keep = room - (bar.size() + counter.size()) - 1;
        if (keep >= 8)
            shown = bar + counter + behind.left(keep - keep / 2) + QChar(0x2026) + behind.right(keep / 2);
    }
    return shown.left(room);
}

} // namespace

Terminal::Terminal() : m_tty(takesStatusLine())
{
    // Ignored, as the commands have it, a closed pipe raises nothing to hold back.
    struct sigaction pipe
    {};
    m_holdPipeSignal = ::sigaction(SIGPIPE, nullptr, &pipe) != 0 || pipe.sa_handler != SIG_IGN;
}

int Terminal::width() const
{
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    bool ok = false;
    const int columns = qEnvironmentVariableIntValue("COLUMNS", &ok);
    return ok && columns > 0 ? columns : 80;
}

void Terminal::write(int fd, const QByteArray &bytes)
{
    bool &gone = fd == STDERR_FILENO ? m_errGone : m_outGone;
    if (gone || bytes.isEmpty())
        return;
    if (!m_holdPipeSignal) {
        if (!FileIO::writeAll(fd, bytes) && (errno == EPIPE || errno == EIO))
            gone = true;
        return;
    }
    // SIGPIPE held back for this write: a closed pipe is an EPIPE here, and
    // the signal it raised is taken away before it is let through again.
    sigset_t pipeSignal, before, pending;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipeSignal, &before);
    sigpending(&pending);
    const bool wasPending = sigismember(&pending, SIGPIPE) == 1;
    if (!FileIO::writeAll(fd, bytes) && (errno == EPIPE || errno == EIO)) {
        gone = true;
        sigpending(&pending);
        if (!wasPending && sigismember(&pending, SIGPIPE) == 1) {
            const timespec now{};
            ::sigtimedwait(&pipeSignal, nullptr, &now);
        }
    }
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

QByteArray Terminal::printable(const QString &text)
{
    // Filtered as characters, not as bytes: a C1 control is two bytes in UTF-8.
    if (std::none_of(text.cbegin(), text.cend(), isControlCharacter))
        return FileNameCodec::encodeFileName(text);
    QString shown = text;
    std::replace_if(shown.begin(), shown.end(), isControlCharacter, QLatin1Char('?'));
    return FileNameCodec::encodeFileName(shown);
}

QByteArray Terminal::statusEraser() const
{
    if (!m_statusShown)
        return QByteArray();
    // A terminal made narrower than the drawn line has wrapped it onto more
    // rows (terminals reflow their lines), the cursor on the last of them.
    const int columns = width();
    const int rowsAbove = m_statusColumns > columns ? (m_statusColumns - 1) / columns : 0;
    if (rowsAbove == 0)
        return QByteArrayLiteral("\r\033[K");
    return "\033[" + QByteArray::number(rowsAbove) + "A\r\033[J";
}

void Terminal::clearStatus()
{
    write(STDOUT_FILENO, statusEraser());
    m_statusShown = false;
}

void Terminal::drawStatus()
{
    if (!m_tty || m_statusText.isEmpty())
        return;
    // Cut to the width as it is now: a terminal made narrower since the last
    // draw gets a status line that fits it.
    const QString shown = m_statusText.left(qMax(1, width() - 1));
    const QByteArray eraser = statusEraser();
    write(STDOUT_FILENO, eraser + printable(shown));
    m_statusColumns = int(shown.size());
    m_statusShown = true;
}

void Terminal::line(const QString &text) { lines(text, false); }

void Terminal::errorLine(const QString &text) { lines(text, true); }

void Terminal::lines(const QString &text, bool toError)
{
    QByteArray out;
    if (!text.contains(QLatin1Char('\n'))) {
        out = printable(text) + '\n';
    } else {
        const QStringList parts = text.split(QLatin1Char('\n'));
        for (const QString &part : parts)
            out += printable(part) + '\n';
    }
    clearStatus();
    write(toError ? STDERR_FILENO : STDOUT_FILENO, out);
    drawStatus();
}

void Terminal::setStatus(const QString &text)
{
    if (!m_tty)
        return;
    m_statusText = text;
    if (m_statusText.isEmpty())
        clearStatus();
    else
        drawStatus();
}

void Terminal::setProgress(int value, int max, const QString &note)
{
    if (!m_tty)
        return;
    setStatus(max > 0 ? progressBar(value, max, note, width()) : QString());
}

void Terminal::programOutput(const QByteArray &bytes)
{
    m_heldOutput += bytes;
    qsizetype end = m_heldOutput.lastIndexOf('\n') + 1;
    if (end == 0 && m_heldOutput.size() < HeldOutputLimit)
        return;
    QByteArray out = m_heldOutput.left(end == 0 ? m_heldOutput.size() : end);
    m_heldOutput.remove(0, out.size());
    if (!out.endsWith('\n'))
        out += '\n';
    clearStatus();
    write(STDOUT_FILENO, out);
    drawStatus();
}

void Terminal::endProgramOutput()
{
    if (m_heldOutput.isEmpty())
        return;
    programOutput(QByteArrayLiteral("\n"));
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
