#pragma once
// Standard output and standard error of the terminal commands. Text goes out
// as the bytes it came from (file names that are not UTF-8 stay themselves);
// control characters from lists and file names never reach the terminal. On
// a terminal one status line (the progress bar) stays below the other lines;
// to a pipe or a file only plain lines are written.
#include "core/common/Prompts.h"

#include <QByteArray>
#include <QString>

class Terminal
{
public:
    Terminal();

    bool isTerminal() const { return m_tty; }

    // A whole line to standard output, above the status line.
    void line(const QString &text);
    // A whole line to standard error, above the status line.
    void errorLine(const QString &text);
    // Several lines at once (to standard output), as one write.
    void lines(const QString &text, bool toError = false);

    // The status line below the others; only on a terminal. Empty removes it.
    void setStatus(const QString &text);

    // The bytes of a text as they are written: file names back to their own
    // bytes, every control character (C0, DEL and C1) a "?". One character
    // for one, so columns laid out before stay in line.
    static QByteArray printable(const QString &text);

private:
    void clearStatus();
    void drawStatus();

    bool m_tty = false;
    QByteArray m_status;
    bool m_statusShown = false;
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
