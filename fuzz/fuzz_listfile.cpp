// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a list file: whatever the bytes, an accepted text gives as many
// program lines as its line count says, the editor's rows and the run's items
// agree line by line, and a list without carriage returns in its items comes
// back byte for byte from saving and loading.
#include "FuzzSupport.h"
#include "core/lists/ListFile.h"

#include <QFile>

#include <cstdint>
#include <cstdlib>

namespace {

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    check(f.open(QIODevice::WriteOnly | QIODevice::Truncate), "scratch file opens");
    check(f.write(bytes) == bytes.size(), "scratch file written");
}

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    check(f.open(QIODevice::ReadOnly), "saved file opens");
    return f.readAll();
}

void acceptedTextsCount(const QByteArray &bytes)
{
    const QString path = scratchFolder("listfile") + QStringLiteral("/in.SR");
    writeBytes(path, bytes);
    const ListFile::InstallText install = ListFile::LoadListForInstalling(path);
    const ListFile::EditLoad edit = ListFile::LoadListForEditing(path);
    if (install.result != ListFile::LoadResult::Loaded)
        return;
    check(edit.result == ListFile::LoadResult::Loaded, "the editor takes what the run takes");
    check(install.lineCount >= 1, "an accepted text has its title line");
    check(install.lineCount == install.text.count(u'\r'), "the count is the carriage returns");
    check(edit.rows.first() == install.title, "row 0 is the title");
    // Where a line end is more than CR LF, the two readers skip differently by
    // their own rules; a file this program wrote never has one.
    const QString &text = install.text;
    for (qsizetype cr = text.indexOf(u'\r'); cr >= 0; cr = text.indexOf(u'\r', cr + 1)) {
        if (cr + 1 >= text.size() || text.at(cr + 1) != u'\n')
            return;
    }
    check(edit.rows.size() == install.lineCount, "one row per counted line");
    for (int k = 1; k < install.lineCount; ++k)
        check(ListFile::ListItemAt(text, k) == edit.rows.at(k), "run item k is row k");
}

void listsRoundTrip(const QByteArray &bytes)
{
    // Title and items from the input: one per line feed, carriage returns out.
    QString text = QString::fromUtf8(bytes);
    text.remove(u'\r');
    QStringList lines = text.split(u'\n');
    const QString title = lines.takeFirst();
    const QString path = scratchFolder("listfile") + QStringLiteral("/round.SR");
    const ListFile::SaveResult saved = ListFile::SaveListFile(path, title, lines);
    check(saved.ok, "a list without carriage returns saves");
    const QByteArray first = readBytes(path);
    check(first == ListFile::encodeList(title, lines), "the file holds what encodeList gives");
    const ListFile::EditLoad edit = ListFile::LoadListForEditing(path);
    check(edit.result == ListFile::LoadResult::Loaded, "a saved list loads");
    check(edit.rows.size() == lines.size() + 1, "every item comes back");
    check(edit.rows.first() == title, "the title comes back");
    check(edit.rows.mid(1) == lines, "the items come back as they were");
    check(ListFile::SaveListFile(path, edit.rows.first(), edit.rows.mid(1)).ok, "saves again");
    check(readBytes(path) == first, "saving what was loaded writes the same bytes");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    acceptedTextsCount(bytes);
    listsRoundTrip(bytes);
    return 0;
}
