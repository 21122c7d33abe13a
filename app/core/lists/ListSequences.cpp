// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/lists/ListSequences.h"

#include "CommonDialogControl.h"
#include "FileNameCodec.h"
#include "core/common/Globals.h"
#include "core/common/Prompts.h"
#include "core/lists/ListFile.h"

#include <sys/stat.h>

namespace ListSequences {

namespace {

QString listFilter() { return QStringLiteral("Setupreel [*.SR]|*.SR"); }

// Filter first, then the dialog; a control that is not there is a cancel.
bool chooseFile(Prompts &prompts, CommonDialogControl *cd, FileDialogMode mode)
{
    if (!cd)
        return false;
    cd->setFilter(listFilter());
    return prompts.showFileDialog(cd, mode);
}

// Anything of that name, a link to nothing included.
bool fileExists(const QString &path)
{
    struct stat st
    {};
    return ::lstat(FileNameCodec::encodeFileName(path).constData(), &st) == 0;
}

} // namespace

SaveOutcome saveList(EditorRows &editor, Prompts &prompts, CommonDialogControl *cd)
{
    const QStringList rows = editor.rows();
    const SaveOutcome outcome = [&] {
        if (rows.isEmpty()) {
            prompts.messageBox(QStringLiteral("There isn't any item in the list.\r"
                                              "First add an item,then save the list"),
                               QStringLiteral("Empty list !"), MsgIcon::Critical);
            return SaveOutcome::EmptyList;
        }

        const bool titled = Globals::ListHasTitle == 1;
        const QString title =
                titled ? rows.first()
                       : prompts.inputBox(QStringLiteral("You must enter a title for your list of programs"),
                                          QStringLiteral("Save List"));
        if (title.isEmpty())
            return SaveOutcome::NoTitle;

        // The control keeps its last FileName, so only the answer tells a cancel.
        if (!chooseFile(prompts, cd, FileDialogMode::Save))
            return SaveOutcome::Cancelled;
        cd->setFileName(ListFile::ListFileName(cd->fileName()));
        const QString path = cd->fileName();
        // The dialog saw the name as typed; this is the file that is written.
        if (fileExists(path)
            && !prompts.questionBox(path
                                            + QStringLiteral(" already exists.\r"
                                                             "Do you want to replace it?"),
                                    QStringLiteral("Save List"), MsgIcon::Exclamation))
            return SaveOutcome::Cancelled;

        const QStringList items = titled ? rows.mid(1) : rows;
        const ListFile::SaveResult saved = ListFile::SaveListFile(path, title, items);
        if (!saved.ok) {
            prompts.messageBox(saved.message, QStringLiteral("Save List"), MsgIcon::Critical);
            return SaveOutcome::WriteFailed;
        }
        editor.setRows(QStringList());
        return SaveOutcome::Saved;
    }();

    // A write the user did not abandon keeps the title row a title, so that
    // trying again saves the same list.
    if (outcome != SaveOutcome::WriteFailed)
        Globals::ListHasTitle = 0;
    return outcome;
}

EditLoadOutcome loadSavedList(EditorRows &rows, Prompts &prompts, CommonDialogControl *cd)
{
    if (!chooseFile(prompts, cd, FileDialogMode::Open))
        return EditLoadOutcome::Cancelled;
    // Before any check: a refused file leaves the editor empty.
    rows.setRows(QStringList());

    ListFile::EditLoad load = ListFile::LoadListForEditing(cd->fileName());
    switch (load.result) {
    case ListFile::LoadResult::RefusedName:
        prompts.messageBox(QStringLiteral("Incorrect file name or file format"), QStringLiteral("Load Saved List"),
                           MsgIcon::Critical);
        return EditLoadOutcome::RefusedName;
    case ListFile::LoadResult::RefusedContent:
    case ListFile::LoadResult::Unreadable:
        prompts.messageBox(QStringLiteral("Damaged file."), QStringLiteral("Load Saved List"), MsgIcon::Critical);
        return EditLoadOutcome::RefusedContent;
    case ListFile::LoadResult::Loaded: break;
    }

    Globals::ListHasTitle = 1;
    rows.setRows(load.rows);
    prompts.messageBox(QStringLiteral("First item in the list is title of your list."), QStringLiteral("Information"),
                       MsgIcon::Information);
    return EditLoadOutcome::Loaded;
}

InstallLoad loadForInstalling(Prompts &prompts, CommonDialogControl *cd)
{
    if (!chooseFile(prompts, cd, FileDialogMode::Open))
        return InstallLoad();
    return loadFileForInstalling(cd->fileName(), prompts);
}

InstallLoad loadFileForInstalling(const QString &path, Prompts &prompts)
{
    InstallLoad result;
    ListFile::InstallText load = ListFile::LoadListForInstalling(path);
    result.reason = load.reason;
    const QString title = QStringLiteral("File format");
    switch (load.result) {
    case ListFile::LoadResult::RefusedName:
        prompts.messageBox(QStringLiteral("It isn't currect file\r"
                                          "The format of input file must be <SR>"),
                           title, MsgIcon::Critical);
        result.outcome = InstallLoadOutcome::RefusedName;
        return result;
    case ListFile::LoadResult::RefusedContent:
        prompts.messageBox(QStringLiteral("It isn't currect file"), title, MsgIcon::Critical);
        result.outcome = InstallLoadOutcome::RefusedContent;
        return result;
    case ListFile::LoadResult::Unreadable:
        prompts.messageBox(QStringLiteral("The list file ") + path + QStringLiteral(" could not be read.\r")
                                   + load.error,
                           title, MsgIcon::Critical);
        result.outcome = InstallLoadOutcome::Unreadable;
        return result;
    case ListFile::LoadResult::Loaded: break;
    }

    result.loaded = true;
    result.outcome = InstallLoadOutcome::Loaded;
    result.title = std::move(load.title);
    result.text = std::move(load.text);
    result.lineCount = load.lineCount;
    return result;
}

} // namespace ListSequences
