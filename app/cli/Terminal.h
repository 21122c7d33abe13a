#pragma once
// Standard output and standard error of the terminal commands. Text goes out
// as the bytes it came from (file names that are not UTF-8 stay themselves);
// control characters from lists and file names never reach the terminal. On
// a terminal one status line (the progress bar) stays below the other lines;
// to a pipe or a file only plain lines are written.
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
    // bytes, every control character a "?".
    static QByteArray printable(const QString &text);

private:
    void clearStatus();
    void drawStatus();

    bool m_tty = false;
    QByteArray m_status;
    bool m_statusShown = false;
};
