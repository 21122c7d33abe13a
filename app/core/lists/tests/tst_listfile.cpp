// SPDX-License-Identifier: GPL-3.0-or-later
// The list file on disk: layout, names, odd files, decoding, safe replacement.
#include "TestFiles.h"
#include "core/lists/ListFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ListFile;

Q_DECLARE_METATYPE(ListFile::LoadResult)

namespace {
struct stat statOf(const QString &path)
{
    struct stat st
    {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        st.st_ino = 0;
    return st;
}

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// The user nobody: another user for files, and a user without root's rights.
bool nobody(uid_t *uid, gid_t *gid)
{
    const passwd *pw = ::getpwnam("nobody");
    if (!pw)
        return false;
    *uid = pw->pw_uid;
    *gid = pw->pw_gid;
    return true;
}

struct ChildSave
{
    bool ran = false;
    bool ok = false;
    QString message;
};

// SaveListFile in a child process that has dropped root for nobody, so the
// file modes count; an optional file-size limit makes its writes fail.
ChildSave saveAsNobody(const QString &path, const QString &title, const QStringList &items,
                       rlim_t sizeLimit = RLIM_INFINITY)
{
    ChildSave result;
    uid_t uid;
    gid_t gid;
    int pipeFds[2];
    if (!nobody(&uid, &gid) || ::pipe(pipeFds) != 0)
        return result;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
            ::_exit(3);
        if (sizeLimit != RLIM_INFINITY) {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{sizeLimit, sizeLimit};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        const SaveResult r = SaveListFile(path, title, items);
        const QByteArray report = (r.ok ? "1" : "0") + r.message.toUtf8();
        const ssize_t written = ::write(pipeFds[1], report.constData(), size_t(report.size()));
        ::_exit(written == report.size() ? 0 : 4);
    }
    ::close(pipeFds[1]);
    QByteArray report;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
        report.append(buffer, n);
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.ran = WIFEXITED(status) && WEXITSTATUS(status) == 0 && !report.isEmpty();
    result.ok = report.startsWith('1');
    result.message = QString::fromUtf8(report.mid(1));
    return result;
}

} // namespace

class TstListFile : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString at(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void saveWritesLayoutAndReplaces();
    void listFileName_data();
    void listFileName();
    void oddFiles_data();
    void oddFiles();
    void namesAndUnreadableFiles();
    void decoding();
    void longLinesAndLongLastLine();
    void listItemAt();
    void roundTripIsByteForByte();
    void saveFailureNamesFileAndReason();
    void failedWriteLeavesOldFileIntact_data();
    void failedWriteLeavesOldFileIntact();
    void replaceKeepsOwnerGroupAndMode();
    void replaceLongNames();
    void linkStaysALink();
    void specialFilesAreNeitherReadNorReplaced();
    void folderWithoutNewFiles();
    void ownerKeptWhereAUserCannotGiveIt();
    void escapedBytesRoundTrip();
};

void TstListFile::saveWritesLayoutAndReplaces()
{
    const QString path = at("layout.SR");
    writeBytes(path, QByteArray(500, 'x')); // longer than the list: must not show through
    const SaveResult r =
            SaveListFile(path, QStringLiteral("Café tools"),
                         {QStringLiteral("C:\\Setup\\a.exe /S"), QString(), QStringLiteral("D:/b.msi /qn")});
    QVERIFY2(r.ok, qPrintable(r.message));
    QCOMPARE(readBytes(path), QByteArray(">Caf\xC3\xA9 tools\r\nC:\\Setup\\a.exe /S\r\n\r\nD:/b.msi /qn\r\n"));

    QVERIFY(SaveListFile(path, QStringLiteral("T"), {}).ok);
    QCOMPARE(readBytes(path), QByteArray(">T\r\n"));
    QCOMPARE(QDir(m_dir.path()).entryList({"layout*"}, QDir::Files), QStringList{"layout.SR"});
}

void TstListFile::listFileName_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no extension") << "/l/tools"
                                  << "/l/tools.SR";
    QTest::newRow("upper") << "/l/tools.SR"
                           << "/l/tools.SR";
    QTest::newRow("lower") << "/l/tools.sr"
                           << "/l/tools.sr.SR";
    QTest::newRow("mixed") << "/l/tools.Sr"
                           << "/l/tools.Sr.SR";
    QTest::newRow("SR without dot") << "/l/toolsSR"
                                    << "/l/toolsSR.SR";
    QTest::newRow("short") << "SR"
                           << "SR.SR";
}

void TstListFile::listFileName()
{
    QFETCH(QString, chosen);
    QFETCH(QString, expected);
    QCOMPARE(ListFileName(chosen), expected);
}

void TstListFile::oddFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<LoadResult>("editResult");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<LoadResult>("installResult");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("lineCount");
    const auto L = LoadResult::Loaded, C = LoadResult::RefusedContent;

    QTest::newRow("plain") << QByteArray(">T\r\nA /S\r\nB\r\n") << L << QStringList{"T", "A /S", "B"} << L << "T" << 3;
    QTest::newRow("no final line end") << QByteArray(">T\r\nA\r\nB") << L << QStringList{"T", "A"} << L << "T" << 2;
    QTest::newRow("LF only") << QByteArray(">T\nA\nB\n") << L << QStringList{} << C << "" << 0;
    QTest::newRow("empty title") << QByteArray(">\r\nA\r\n") << L << QStringList{"", "A"} << L << "" << 2;
    QTest::newRow("title only") << QByteArray(">T\r\n") << L << QStringList{"T"} << L << "T" << 1;
    QTest::newRow("empty line between") << QByteArray(">T\r\nA\r\n\r\nB\r\n") << L << QStringList{"T", "A", "", "B"}
                                        << L << "T" << 4;
    QTest::newRow("CR at the very end") << QByteArray(">T\r\nA\r") << L << QStringList{"T", "A"} << L << "T" << 2;
    QTest::newRow("char after CR skipped") << QByteArray(">T\rXA\r\n") << L << QStringList{"T", "A"} << L << "T" << 2;
    QTest::newRow("wide char after CR") << QByteArray(">T\r\xF0\x9F\x98\x80"
                                                      "A\r\n")
                                        << L << QStringList{"T", "A"} << L << "T" << 2;
    QTest::newRow("marker only") << QByteArray(">") << L << QStringList{} << C << "" << 0;
    QTest::newRow("empty") << QByteArray() << C << QStringList{} << C << "" << 0;
    QTest::newRow("no marker") << QByteArray("T\r\nA\r\n") << C << QStringList{} << C << "" << 0;
    QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF>T\r\n") << C << QStringList{} << C << "" << 0;
}

void TstListFile::oddFiles()
{
    QFETCH(QByteArray, bytes);
    const QString path = at("odd.SR");
    writeBytes(path, bytes);

    const EditLoad edit = LoadListForEditing(path);
    QTEST(edit.result, "editResult");
    QTEST(edit.rows, "rows");

    const InstallText inst = LoadListForInstalling(path);
    QTEST(inst.result, "installResult");
    QTEST(inst.title, "title");
    QTEST(inst.lineCount, "lineCount");
    if (inst.result == LoadResult::Loaded) {
        QCOMPARE(inst.text, decodeListBytes(bytes));
        QCOMPARE(inst.lineCount - 1, qMax(0, int(edit.rows.size()) - 1));
    } else {
        QVERIFY(inst.text.isEmpty());
    }
}

void TstListFile::namesAndUnreadableFiles()
{
    const QByteArray good(">T\r\nA\r\n");
    for (const char *name : {"tools.sr", "tools.Sr", "tools.sR", "tools.SR.bak"}) {
        writeBytes(at(name), good);
        QCOMPARE(LoadListForEditing(at(name)).result, LoadResult::RefusedName);
        QCOMPARE(LoadListForInstalling(at(name)).result, LoadResult::RefusedName);
    }
    writeBytes(at("toolsSR"), good); // only the last two characters count
    QCOMPARE(LoadListForEditing(at("toolsSR")).result, LoadResult::Loaded);
    QCOMPARE(LoadListForInstalling(at("toolsSR")).result, LoadResult::Loaded);

    // Not readable: damaged for the editor, reported as such for installing.
    QVERIFY(QDir(m_dir.path()).mkdir("folder.SR"));
    for (const char *name : {"missing.SR", "folder.SR"}) {
        QCOMPARE(LoadListForEditing(at(name)).result, LoadResult::RefusedContent);
        const InstallText inst = LoadListForInstalling(at(name));
        QCOMPARE(inst.result, LoadResult::Unreadable);
        QVERIFY(!inst.error.isEmpty());
    }
}

void TstListFile::decoding()
{
    // Windows-1252 as the original platform wrote it, UTF-8 as written here.
    QCOMPARE(decodeListBytes(">Caf\xE9 \x80\r\n"), QStringLiteral(">Café €\r\n"));
    QCOMPARE(decodeListBytes(">Caf\xC3\xA9 \xE2\x82\xAC\r\n"), QStringLiteral(">Café €\r\n"));
    // Not valid UTF-8, but with a valid multi-byte sequence: written on a
    // UTF-8 system, so the odd bytes are names that are not UTF-8 and are
    // kept as escapes. Without one, the text is Windows-1252.
    const QChar escE9(char16_t(0xDCE9));
    QCOMPARE(decodeListBytes(">\xC3\xA9\xE9"), QStringLiteral(">é") + escE9);
    QCOMPARE(decodeListBytes(">\xE2\x82\xAC \x80\xFF\r\n"),
             QStringLiteral(">€ ") + QChar(char16_t(0xDC80)) + QChar(char16_t(0xDCFF)) + "\r\n");
    QCOMPARE(decodeListBytes(">T\r\n\xC3"), QStringLiteral(">T\r\nÃ"));
    QCOMPARE(decodeListBytes(">\xC3\xC3\xE9\xA9\xE9"), QStringLiteral(">ÃÃé©é")); // no pair is valid
    QCOMPARE(decodeListBytes("\xEF\xBB\xBF>T\xE9\r\n"), QString(QChar(0xFEFF)) + ">T" + escE9 + "\r\n");
    QCOMPARE(decodeListBytes("\x8A\x99\x9F\x91\x81\x8D\xA0\xFF"),
             QString::fromUtf16(u"\u0160\u2122\u0178\u2018\u0081\u008D\u00A0\u00FF"));
    QCOMPARE(decodeListBytes(QByteArray("a\0b", 3)), QString::fromUtf16(u"a\0b", 3));

    const QString path = at("cp1252.SR");
    writeBytes(path, ">Programme \x80\r\nC:\\Caf\xE9\\setup.exe /S\r\n");
    QCOMPARE(LoadListForEditing(path).rows,
             (QStringList{QStringLiteral("Programme €"), QStringLiteral("C:\\Café\\setup.exe /S")}));
    QCOMPARE(LoadListForInstalling(path).title, QStringLiteral("Programme €"));
}

void TstListFile::longLinesAndLongLastLine()
{
    // A line that ends is read whole whatever its length; of a last line
    // without a line end (no load reads it) only as much as a line can hold
    // is kept, and never cut within a character: the list stays UTF-8.
    const QByteArray head = ">Caf\xC3\xA9\r\n";
    const QByteArray longLine(3 * 1024 * 1024 + 5, 'L');
    QByteArray tail = "x";
    for (int i = 0; i < 100000; ++i)
        tail += "\xC3\xA9";
    const QByteArray file = head + longLine + "\r\nB\r\n" + tail;
    const QString path = at("long.SR");
    writeBytes(path, file);

    QCOMPARE(LoadListForEditing(path).rows, QStringList({QStringLiteral("Café"), QString::fromLatin1(longLine), "B"}));
    const InstallText inst = LoadListForInstalling(path);
    QCOMPARE(inst.lineCount, 3);
    const qsizetype kept = MaxLineCharacters * 3 - 1; // the cut falls within an é: one byte less
    QCOMPARE(inst.text, QString::fromUtf8(head + longLine + "\r\nB\r\n" + tail.left(kept)));

    // What a lock holds the list to is every byte of it.
    QString error;
    QByteArray sha256;
    QCOMPARE(readListBytes(path, &error, &sha256).size(), file.size() - tail.size() + kept);
    QCOMPARE(sha256, QCryptographicHash::hash(file, QCryptographicHash::Sha256));
    QVERIFY(error.isEmpty());
}

void TstListFile::listItemAt()
{
    const QString text = QStringLiteral(">T\r\nA /S\r\n\r\nB\r\nlast");
    QCOMPARE(ListItemAt(text, 1), QStringLiteral("A /S"));
    QCOMPARE(ListItemAt(text, 2), QString());
    QCOMPARE(ListItemAt(text, 3), QStringLiteral("B"));
    for (int k : {0, -1, 4, 5})
        QVERIFY2(ListItemAt(text, k).isEmpty(), qPrintable(QString::number(k)));
    QCOMPARE(ListItemAt(QStringLiteral(">T\r\nX\r\r\nY\r\n"), 2), QString()); // CR right after CR
}

void TstListFile::roundTripIsByteForByte()
{
    const QString title = QStringLiteral("Büro – set «2»");
    QStringList items;
    for (int i = 0; i < 300; ++i)
        items << QStringLiteral("C:\\Program Files\\Vendor %1\\setup_ü%1.exe /S /D=\"C:\\x y\"").arg(i);
    items << QString() << QStringLiteral("  lead and trail  ") << QStringLiteral("a\nb")
          << QStringLiteral("wide \U0001F600 char") << QStringLiteral("D:/unix/style.sh --quiet");

    const QString first = at("trip1.SR"), second = at("trip2.SR");
    QVERIFY(SaveListFile(first, title, items).ok);
    const EditLoad edit = LoadListForEditing(first);
    QCOMPARE(edit.result, LoadResult::Loaded);
    QCOMPARE(edit.rows, QStringList{title} + items);
    QVERIFY(SaveListFile(second, edit.rows.first(), edit.rows.mid(1)).ok);
    QCOMPARE(readBytes(second), readBytes(first));

    const InstallText inst = LoadListForInstalling(first);
    QCOMPARE(inst.title, title);
    QCOMPARE(inst.lineCount, int(items.size()) + 1);
    for (int k = 1; k < inst.lineCount; ++k)
        QCOMPARE(ListItemAt(inst.text, k), items.at(k - 1));
}

void TstListFile::saveFailureNamesFileAndReason()
{
    writeBytes(at("plain"), "not a folder");
    const QString path = at("plain/list.SR");
    const SaveResult r = SaveListFile(path, QStringLiteral("T"), {QStringLiteral("A")});
    QVERIFY(!r.ok);
    QVERIFY(!r.reason.isEmpty());
    QCOMPARE(r.message, QStringLiteral("The list could not be saved to ") + path + ".\r" + r.reason);
    QCOMPARE(readBytes(at("plain")), QByteArray("not a folder"));

    const QString proc = QStringLiteral("/proc/setupreel-list.SR");
    QVERIFY(!SaveListFile(proc, QStringLiteral("T"), {}).ok);
    QVERIFY(!QFile::exists(proc));

    // A carriage return inside a line would split it: refused, nothing written.
    const QString existing = at("kept.SR");
    writeBytes(existing, ">Old\r\nX\r\n");
    for (const auto &[t, items] : {std::pair{QStringLiteral("A\rB"), QStringList{}},
                                   std::pair{QStringLiteral("T"), QStringList{"ok", "x\ry"}}}) {
        const SaveResult bad = SaveListFile(existing, t, items);
        QVERIFY(!bad.ok);
        QVERIFY(bad.message.startsWith("The list could not be saved to " + existing + ".\r"));
        QCOMPARE(readBytes(existing), QByteArray(">Old\r\nX\r\n"));
    }
    QVERIFY(SaveListFile(existing, "T", {"ok", "x\ry"}).reason.contains("Item 2"));
}

void TstListFile::failedWriteLeavesOldFileIntact_data()
{
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("count");
    // A list shorter than the device's write buffer once came out cut off and
    // reported as saved; a longer one fails in the write itself.
    QTest::newRow("short list") << 100 << 60;
    QTest::newRow("long list") << 4096 << 2000;
}

void TstListFile::failedWriteLeavesOldFileIntact()
{
    QFETCH(int, limit);
    QFETCH(int, count);
    // Tests run as root, where permissions do not stop a write; a file-size
    // limit does, half-way through the new file.
    QTemporaryDir dir;
    const QString path = dir.filePath("tools.SR");
    const QByteArray old(">Old list\r\nC:\\a.exe /S\r\n");
    writeBytes(path, old);

    QStringList items;
    for (int i = 0; i < count; ++i)
        items << QStringLiteral("C:\\Program Files\\Vendor\\setup%1.exe /S /v/qn").arg(i);

    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = rlim_t(limit);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    const SaveResult r = SaveListFile(path, QStringLiteral("New list"), items);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(!r.ok);
    QVERIFY(!r.reason.isEmpty());
    QVERIFY(r.message.contains(path));
    QCOMPARE(readBytes(path), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"tools.SR"});

    QVERIFY(SaveListFile(path, QStringLiteral("New list"), items).ok); // without the limit
    QCOMPARE(LoadListForEditing(path).rows.size(), items.size() + 1);
}

void TstListFile::replaceKeepsOwnerGroupAndMode()
{
    if (::geteuid() != 0)
        QSKIP("needs root, to give a file to another user");
    uid_t uid;
    gid_t gid;
    QVERIFY(nobody(&uid, &gid));
    QTemporaryDir dir;
    const QString others = dir.filePath("others.SR");
    const QString readOnly = dir.filePath("readonly.SR");
    writeBytes(others, ">Theirs\r\n");
    writeBytes(readOnly, ">Locked\r\n");
    QCOMPARE(::chown(QFile::encodeName(others).constData(), uid, gid), 0);
    QCOMPARE(::chmod(QFile::encodeName(others).constData(), 0640), 0);
    QCOMPARE(::chmod(QFile::encodeName(readOnly).constData(), 0444), 0);

    for (const QString &path : {others, readOnly}) {
        const struct stat before = statOf(path);
        const SaveResult r = SaveListFile(path, QStringLiteral("Mine"), {QStringLiteral("a.exe")});
        QVERIFY2(r.ok, qPrintable(r.message));
        QCOMPARE(readBytes(path), QByteArray(">Mine\r\na.exe\r\n"));
        const struct stat after = statOf(path);
        QCOMPARE(after.st_uid, before.st_uid);
        QCOMPARE(after.st_gid, before.st_gid);
        QCOMPARE(after.st_mode, before.st_mode);
    }
    QCOMPARE(statOf(others).st_uid, uid);
    QCOMPARE(entriesOf(dir.path()), (QStringList{"others.SR", "readonly.SR"}));

    // A new list is made as any new file is: the umask decides its mode.
    const mode_t mask = ::umask(022);
    const QString fresh = dir.filePath("fresh.SR");
    QVERIFY(SaveListFile(fresh, QStringLiteral("T"), {}).ok);
    ::umask(mask);
    QCOMPARE(statOf(fresh).st_mode & 07777, mode_t(0644));
}

void TstListFile::replaceLongNames()
{
    // The longest names a folder takes: replacing such a list once failed for
    // the length of its temporary's name.
    QTemporaryDir dir;
    for (int length = 249; length <= 255; ++length) {
        const QString name = QString(length - 3, u'n') + QStringLiteral(".SR");
        const QString path = dir.filePath(name);
        writeBytes(path, ">Old\r\n");
        const SaveResult r = SaveListFile(path, QStringLiteral("New %1").arg(length), {});
        QVERIFY2(r.ok, qPrintable(r.message));
        QCOMPARE(readBytes(path), QStringLiteral(">New %1\r\n").arg(length).toUtf8());
    }
    QCOMPARE(entriesOf(dir.path()).size(), 7);
    const SaveResult tooLong = SaveListFile(dir.filePath(QString(253, u'n') + ".SR"), "T", {});
    QVERIFY(!tooLong.ok);
    QCOMPARE(tooLong.reason, QStringLiteral("File name too long"));
    QCOMPARE(entriesOf(dir.path()).size(), 7);
}

void TstListFile::linkStaysALink()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("lists"));
    const QString real = dir.filePath("lists/real.SR");
    const QString link = dir.filePath("link.SR");
    writeBytes(real, ">Old\r\n");
    QVERIFY(QFile::link("lists/real.SR", link));
    QVERIFY(SaveListFile(link, QStringLiteral("Through"), {QStringLiteral("x")}).ok);
    QCOMPARE(QFileInfo(link).symLinkTarget(), QFileInfo(real).absoluteFilePath());
    QCOMPARE(readBytes(real), QByteArray(">Through\r\nx\r\n"));
    QCOMPARE(entriesOf(dir.filePath("lists")), QStringList{"real.SR"});

    // A link to nothing names no list to replace.
    QVERIFY(QFile::link("nowhere.SR", dir.filePath("dangling.SR")));
    QVERIFY(!SaveListFile(dir.filePath("dangling.SR"), QStringLiteral("T"), {}).ok);
    QVERIFY(!QFile::exists(dir.filePath("nowhere.SR")));
}

void TstListFile::specialFilesAreNeitherReadNorReplaced()
{
    // Reading a fifo, a device or a kernel file would block or never end: a
    // hang here ends the test.
    ::alarm(60);
    QTemporaryDir dir;
    const QString fifo = dir.filePath("pipe.SR");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    const QString zero = dir.filePath("zero.SR");
    const QString kmsg = dir.filePath("kmsg.SR");
    QVERIFY(QFile::link("/dev/zero", zero));
    QVERIFY(QFile::link("/proc/kmsg", kmsg));
    for (const QString &path : {fifo, zero, kmsg}) {
        QCOMPARE(LoadListForEditing(path).result, LoadResult::RefusedContent);
        const InstallText inst = LoadListForInstalling(path);
        QCOMPARE(inst.result, LoadResult::Unreadable);
        QVERIFY(!inst.error.isEmpty());
    }
    for (const QString &path : {fifo, zero}) {
        const SaveResult r = SaveListFile(path, QStringLiteral("T"), {});
        QVERIFY(!r.ok);
        QCOMPARE(r.reason, QStringLiteral("It is not a regular file."));
    }
    QVERIFY(QFileInfo(fifo).exists() && !QFileInfo(fifo).isFile());
    QCOMPARE(QFileInfo(zero).symLinkTarget(), QStringLiteral("/dev/zero"));
    QVERIFY(!SaveListFile(dir.path(), QStringLiteral("T"), {}).ok); // a folder
    ::alarm(0);
}

void TstListFile::folderWithoutNewFiles()
{
    if (::geteuid() != 0)
        QSKIP("needs root, to set up files for the user nobody");
    uid_t uid;
    gid_t gid;
    QVERIFY(nobody(&uid, &gid));
    // A folder only root may add to, holding a list nobody may write.
    QTemporaryDir dir;
    QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    const QString path = dir.filePath("shared.SR");
    const QByteArray old(">Old list\r\nC:\\a.exe /S\r\nC:\\b.exe\r\nC:\\c.exe\r\n");
    writeBytes(path, old);
    QCOMPARE(::chown(QFile::encodeName(path).constData(), uid, gid), 0);
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0600), 0);
    const ino_t inode = statOf(path).st_ino;

    // Longer and shorter than the old list: both written over it.
    for (const QStringList &items : {QStringList{"C:\\new.exe /S", "D:\\more.msi", "E:\\x.bat"}, QStringList{}}) {
        const ChildSave r = saveAsNobody(path, QStringLiteral("New"), items);
        QVERIFY(r.ran);
        QVERIFY2(r.ok, qPrintable(r.message));
        QCOMPARE(readBytes(path), encodeList(QStringLiteral("New"), items));
        QCOMPARE(statOf(path).st_ino, inode);
        QCOMPARE(statOf(path).st_uid, uid);
        QCOMPARE(statOf(path).st_mode & 07777, mode_t(0600));
    }

    // A write that fails half-way puts the old bytes back.
    writeBytes(path, old);
    QStringList many;
    for (int i = 0; i < 200; ++i)
        many << QStringLiteral("C:\\Vendor\\setup%1.exe /S").arg(i);
    const ChildSave cut = saveAsNobody(path, QStringLiteral("New"), many, rlim_t(old.size() + 100));
    QVERIFY(cut.ran);
    QVERIFY(!cut.ok);
    QVERIFY2(cut.message.startsWith("The list could not be saved to " + path + ".\r"), qPrintable(cut.message));
    QVERIFY2(!cut.message.contains("put back"), qPrintable(cut.message));
    QCOMPARE(readBytes(path), old);
    QCOMPARE(entriesOf(dir.path()), QStringList{"shared.SR"});

    // Neither the folder nor the file may be written: nothing changes.
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0444), 0);
    const ChildSave denied = saveAsNobody(path, QStringLiteral("New"), many);
    QVERIFY(denied.ran);
    QVERIFY(!denied.ok);
    QVERIFY2(denied.message.endsWith("Permission denied"), qPrintable(denied.message));
    QCOMPARE(readBytes(path), old);
}

void TstListFile::ownerKeptWhereAUserCannotGiveIt()
{
    if (::geteuid() != 0)
        QSKIP("needs root, to set up files for the user nobody");
    uid_t uid;
    gid_t gid;
    QVERIFY(nobody(&uid, &gid));
    // nobody's folder holds root's list that anyone may write: a new file
    // would be nobody's, so the list is written over itself and stays root's.
    QTemporaryDir dir;
    QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    const QString folder = dir.filePath("nobodys");
    QVERIFY(QDir(dir.path()).mkdir("nobodys"));
    QCOMPARE(::chown(QFile::encodeName(folder).constData(), uid, gid), 0);
    const QString path = folder + "/roots.SR";
    writeBytes(path, ">Root's\r\n");
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0666), 0);

    const ChildSave r = saveAsNobody(path, QStringLiteral("Edited"), {QStringLiteral("a.exe")});
    QVERIFY(r.ran);
    QVERIFY2(r.ok, qPrintable(r.message));
    QCOMPARE(readBytes(path), QByteArray(">Edited\r\na.exe\r\n"));
    QCOMPARE(statOf(path).st_uid, uid_t(0));
    QCOMPARE(statOf(path).st_mode & 07777, mode_t(0666));
    QCOMPARE(entriesOf(folder), QStringList{"roots.SR"});
}

void TstListFile::escapedBytesRoundTrip()
{
    // A list written on a UTF-8 system naming files whose names are Latin-1
    // bytes: the rows keep those bytes, and saving writes them back.
    QTemporaryDir dir;
    const QByteArray bytes(">Caf\xC3\xA9 tools\r\n/srv/caf\xE9/setup.sh /S\r\n/srv/\xC3\xA9t\xE9.exe\r\n");
    const QString first = dir.filePath("first.SR"), second = dir.filePath("second.SR");
    writeBytes(first, bytes);
    const EditLoad edit = LoadListForEditing(first);
    QCOMPARE(edit.result, LoadResult::Loaded);
    QCOMPARE(edit.rows.size(), 3);
    QCOMPARE(edit.rows.at(0), QStringLiteral("Café tools"));
    QCOMPARE(edit.rows.at(1), QStringLiteral("/srv/caf") + QChar(char16_t(0xDCE9)) + "/setup.sh /S");
    QVERIFY(SaveListFile(second, edit.rows.first(), edit.rows.mid(1)).ok);
    QCOMPARE(readBytes(second), bytes);

    const InstallText inst = LoadListForInstalling(first);
    QCOMPARE(ListItemAt(inst.text, 1), edit.rows.at(1));
    QCOMPARE(ListItemAt(inst.text, 2), edit.rows.at(2));
}

QTEST_APPLESS_MAIN(TstListFile)
#include "tst_listfile.moc"
