// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The save sequence and the two load sequences of the program list, on the rows
// of the list editor's list box. The answers come through Prompts; `cd` is the
// window's common-dialog control. A missing control counts as a cancelled
// dialog.
#include <QString>
#include <QStringList>

class Prompts;
class CommonDialogControl;

namespace ListSequences {

// The rows of the editor's list box. The sequences change them at the step
// where they change, so every box shown stands over the rows as they are then.
class EditorRows
{
public:
    virtual ~EditorRows() = default;
    virtual QStringList rows() const = 0;
    virtual void setRows(const QStringList &rows) = 0;
};

// The rows of any list box that has rows() and setRows().
template<class ListBox>
class ListBoxRows final : public EditorRows
{
public:
    explicit ListBoxRows(ListBox *box) : m_box(box) {}
    QStringList rows() const override { return m_box->rows(); }
    void setRows(const QStringList &rows) override { m_box->setRows(rows); }

private:
    ListBox *m_box;
};

enum class SaveOutcome {
    EmptyList,  // no rows: "Empty list !"
    NoTitle,    // the title was empty or the input box cancelled
    Cancelled,  // the save dialog was cancelled, or replacing the file declined
    Saved,      // written; the rows are cleared
    WriteFailed // not written; the failure was shown, the rows are kept
};

// "Save list". When the file to be written (the name after ListFileName)
// exists, the user is asked before it is replaced. ListHasTitle is 0
// afterwards on every path but a failed write, where it is kept so that a
// retry writes the same list again.
SaveOutcome saveList(EditorRows &rows, Prompts &prompts, CommonDialogControl *cd);

enum class EditLoadOutcome { Cancelled, RefusedName, RefusedContent, Loaded };

// "Load saved list". The rows are cleared as soon as a file is chosen;
// ListHasTitle becomes 1 only when the file passes the checks.
EditLoadOutcome loadSavedList(EditorRows &rows, Prompts &prompts, CommonDialogControl *cd);

enum class InstallLoadOutcome { Cancelled, RefusedName, RefusedContent, Unreadable, Loaded };

struct InstallLoad
{
    bool loaded = false;
    InstallLoadOutcome outcome = InstallLoadOutcome::Cancelled;
    QString title;
    QString text;
    int lineCount = 0; // carriage returns in text: programs + 1
    // Refused: what is wrong with the file, in words; the message shown does
    // not say it (the window's texts stay as they are).
    QString reason;
};

// The main window's Load up to the choice of the file: dialog, checks and the
// refusal messages. It leaves LoadedListText and LoadedLineCount alone: the
// window stores text and count itself when `loaded` is true, so a refused or
// unreadable file keeps the earlier list loaded.
InstallLoad loadForInstalling(Prompts &prompts, CommonDialogControl *cd);

// The same checks and refusal messages for a file already chosen (a list
// named on the command line).
InstallLoad loadFileForInstalling(const QString &path, Prompts &prompts);

} // namespace ListSequences
