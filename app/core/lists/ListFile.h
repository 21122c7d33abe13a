// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The list file: ">" and the title on the first line, then one item per line,
// every line ended by CR LF. Plain strings in, plain strings out; no window here.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace ListFile {

enum class LoadResult {
    RefusedName,    // the name does not end in "SR"
    RefusedContent, // the text does not begin with ">" (or, for installing, has no line end)
    Unreadable,     // installing only: the chosen file could not be opened or read
    Loaded
};

struct SaveResult
{
    bool ok = false;
    QString reason;  // why the write failed, e.g. "Permission denied"
    QString message; // "The list could not be saved to <path>." CR reason
};

struct EditLoad
{
    LoadResult result = LoadResult::RefusedContent;
    QStringList rows; // row 0 the title, then the items
};

// The most bytes a list can take: its title and the 32,766 program lines one
// run installs (16-bit counters), each as long as the longest command line a
// program is started with (32,766 characters: Windows' limit, which Wine
// keeps), at most three bytes a character in UTF-8, and a line end each; and
// behind them a last line without a line end, which no load reads.
constexpr qint64 MaxListLines = 32767;
constexpr qint64 MaxLineCharacters = 32766;
constexpr qint64 MaxListBytes = 1 + (MaxListLines + 1) * (MaxLineCharacters * 3 + 2);

// A list file as read for installing: its text, or why it was refused.
struct InstallText
{
    LoadResult result = LoadResult::RefusedContent;
    QString text; // the whole text of the file
    QString title;
    int lineCount = 0; // carriage returns in text: programs + 1
    QString error;     // Unreadable: the reason
    // Refused: what is wrong with the file, in words ("its lines end in LF
    // only"), for where the refusal's own message does not say it.
    QString reason;
};

// Writes the list and puts it in place only once it is complete, so an
// existing list file is never left half-written; a replaced list keeps its
// owner, group and mode, and a link to a list stays a link. Nothing is written
// when the title or an item holds a carriage return (it would split the line
// and the list would read back differently), nor over anything but a regular
// file. Escaped bytes of names that are not UTF-8 are written as themselves.
SaveResult SaveListFile(const QString &path, const QString &title, const QStringList &items);

// The chosen name with ".SR" appended unless it already ends in exactly ".SR".
QString ListFileName(const QString &chosen);

// Only a name ending in exactly "SR" is taken. A file that cannot be read, and
// anything but a regular file, reads as an empty text and so is refused for
// its content.
EditLoad LoadListForEditing(const QString &path);

// As above, but a file that cannot be read is reported as Unreadable, and a
// text holding no carriage return at all is refused for its content: its title
// line never ends, so neither a title nor a count can be cut from it. A file
// larger than MaxListBytes is refused for its content before it is read, and
// every refusal is judged on the bytes, before they are decoded. Both loads
// hold only what a list can hold, whatever the file's size: of a last line
// without a line end, text keeps only the first MaxLineCharacters * 3 bytes.
InstallText LoadListForInstalling(const QString &path);

// Program line k (1 .. line count - 1) of a text LoadListForInstalling accepted;
// empty when k is out of range.
QString ListItemAt(const QString &text, int k);

// The program line that begins at from (just after a carriage return): cut by
// ListItemAt, so it is exactly the line the list shows; only the text from
// there on is looked at, which keeps a walk through a long list short.
QString listItemFrom(const QString &text, qsizetype from);

// The bytes of a list file as Load reads them (only a regular file; of a
// last line without a line end only as much as a line can hold, and of a
// file that does not begin with ">" only its beginning); empty and *error set
// when it could not be read. sha256: the hash of all of the file's bytes.
QByteArray readListBytes(const QString &path, QString *error, QByteArray *sha256 = nullptr);

// Writes bytes as a new file at path: never over an existing file or link,
// nor over listFile under another name; created exclusively, written whole
// and synced, and removed again when any step fails. Empty, or the reason.
QString writeNewFile(const QString &path, const QString &listFile, const QByteArray &bytes);

// The text of a list file's bytes: UTF-8 when they are valid UTF-8; bytes
// written on a UTF-8 system with names that are not, with those bytes kept as
// escapes; otherwise Windows-1252 (lists written on the original platform).
QString decodeListBytes(const QByteArray &bytes);

// The bytes SaveListFile writes.
QByteArray encodeList(const QString &title, const QStringList &items);

} // namespace ListFile
