// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Standard output and standard error of the terminal commands. Text goes out
// as the bytes it came from (file names that are not UTF-8 stay themselves);
// control characters from lists and file names never reach the terminal. On
// a terminal one status line (the progress bar) stays below the other lines;
// to a pipe, a file or a terminal of TERM=dumb only plain lines are written.
#include "core/common/Prompts.h"

#include <QByteArray>
#include <QString>

class Terminal
{
public:
    Terminal();

    // Standard output is a terminal that takes a status line: not TERM=dumb.
    bool isTerminal() const { return m_tty; }

    // A whole line to standard output, above the status line.
    void line(const QString &text);
    // A whole line to standard error, above the status line.
    void errorLine(const QString &text);
    // Several lines at once (to standard output), as one write.
    void lines(const QString &text, bool toError = false);

    // The status line below the others; only on a terminal. Empty removes it.
    // Cut to the terminal's width, so it never wraps.
    void setStatus(const QString &text);
    // The status line as a progress bar, value of max, with note behind it;
    // the bar shrinks and the note is cut to fit the terminal's width as it is
    // at this draw. A max of 0 or less removes it.
    void setProgress(int value, int max, const QString &note = QString());

    // A running program's output, written above the status line as it comes.
    // Its last line is held until its line end arrives, so it never shares a
    // line with the bar or with a line of this program.
    void programOutput(const QByteArray &bytes);
    // The program has ended: a held last line is written, with a line end.
    void endProgramOutput();

    // The bytes of a text as they are written: file names back to their own
    // bytes, every control character (C0, DEL and C1) a "?". One character
    // for one, so columns laid out before stay in line.
    static QByteArray printable(const QString &text);

private:
    void clearStatus();
    void drawStatus();
    // What takes the shown status line off the screen, and puts the cursor
    // where it began.
    QByteArray statusEraser() const;
    int width() const;
    // Writes unless that stream is gone; a stream whose reader went away (a
    // closed pipe) takes nothing more, and the program is not killed for it.
    void write(int fd, const QByteArray &bytes);

    bool m_tty = false;
    bool m_outGone = false, m_errGone = false;
    bool m_holdPipeSignal = true;
    QString m_statusText;
    int m_statusColumns = 0; // of the status line as drawn
    bool m_statusShown = false;
    QByteArray m_heldOutput; // a program's last line, not ended yet
};

// The message boxes as lines on standard error. Nobody is there to answer, so
// questions get No and input boxes and file dialogs nothing.
class TerminalPrompts final : public Prompts
{
public:
    // Where a box's title goes: on a line of its own above the text (--install),
    // or before the text's first line, followed by ": " (--check).
    enum class TitleLayout { OwnLine, BeforeText };

    TerminalPrompts(Terminal &terminal, TitleLayout layout) : m_terminal(terminal), m_layout(layout) {}

    void messageBox(const QString &text, const QString &title, MsgIcon icon) override;
    bool questionBox(const QString &text, const QString &title, MsgIcon icon) override;
    QString inputBox(const QString &, const QString &, const QString &) override { return QString(); }
    bool showFileDialog(CommonDialogControl *, FileDialogMode) override { return false; }

private:
    Terminal &m_terminal;
    TitleLayout m_layout;
};
