// The list file on disk: layout, names, odd files, decoding, safe replacement.
#include "lists/ListFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

using namespace ListFile;

Q_DECLARE_METATYPE(ListFile::LoadResult)

namespace {
QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
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
    void listItemAt();
    void roundTripIsByteForByte();
    void saveFailureNamesFileAndReason();
    void failedWriteLeavesOldFileIntact_data();
    void failedWriteLeavesOldFileIntact();
};

void TstListFile::saveWritesLayoutAndReplaces()
{
    const QString path = at("layout.SR");
    writeBytes(path, QByteArray(500, 'x')); // longer than the list: must not show through
    const SaveResult r = SaveListFile(path, QStringLiteral("Café tools"),
                                      {QStringLiteral("C:\\Setup\\a.exe /S"), QString(),
                                       QStringLiteral("D:/b.msi /qn")});
    QVERIFY2(r.ok, qPrintable(r.message));
    QCOMPARE(readBytes(path),
             QByteArray(">Caf\xC3\xA9 tools\r\nC:\\Setup\\a.exe /S\r\n\r\nD:/b.msi /qn\r\n"));

    QVERIFY(SaveListFile(path, QStringLiteral("T"), {}).ok);
    QCOMPARE(readBytes(path), QByteArray(">T\r\n"));
    QCOMPARE(QDir(m_dir.path()).entryList({"layout*"}, QDir::Files), QStringList{"layout.SR"});
}

void TstListFile::listFileName_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no extension") << "/l/tools" << "/l/tools.SR";
    QTest::newRow("upper") << "/l/tools.SR" << "/l/tools.SR";
    QTest::newRow("lower") << "/l/tools.sr" << "/l/tools.sr.SR";
    QTest::newRow("mixed") << "/l/tools.Sr" << "/l/tools.Sr.SR";
    QTest::newRow("SR without dot") << "/l/toolsSR" << "/l/toolsSR.SR";
    QTest::newRow("short") << "SR" << "SR.SR";
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

    QTest::newRow("plain") << QByteArray(">T\r\nA /S\r\nB\r\n") << L
                           << QStringList{"T", "A /S", "B"} << L << "T" << 3;
    QTest::newRow("no final line end") << QByteArray(">T\r\nA\r\nB") << L
                                       << QStringList{"T", "A"} << L << "T" << 2;
    QTest::newRow("LF only") << QByteArray(">T\nA\nB\n") << L << QStringList{} << C << "" << 0;
    QTest::newRow("empty title") << QByteArray(">\r\nA\r\n") << L << QStringList{"", "A"}
                                 << L << "" << 2;
    QTest::newRow("title only") << QByteArray(">T\r\n") << L << QStringList{"T"} << L << "T" << 1;
    QTest::newRow("empty line between") << QByteArray(">T\r\nA\r\n\r\nB\r\n") << L
                                        << QStringList{"T", "A", "", "B"} << L << "T" << 4;
    QTest::newRow("CR at the very end") << QByteArray(">T\r\nA\r") << L << QStringList{"T", "A"}
                                        << L << "T" << 2;
    QTest::newRow("char after CR skipped") << QByteArray(">T\rXA\r\n") << L
                                           << QStringList{"T", "A"} << L << "T" << 2;
    QTest::newRow("wide char after CR") << QByteArray(">T\r\xF0\x9F\x98\x80" "A\r\n") << L
                                        << QStringList{"T", "A"} << L << "T" << 2;
    QTest::newRow("marker only") << QByteArray(">") << L << QStringList{} << C << "" << 0;
    QTest::newRow("empty") << QByteArray() << C << QStringList{} << C << "" << 0;
    QTest::newRow("no marker") << QByteArray("T\r\nA\r\n") << C << QStringList{} << C << "" << 0;
    QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF>T\r\n") << C << QStringList{}
                                     << C << "" << 0;
}

void TstListFile::oddFiles()
{
    QFETCH(QByteArray, bytes);
    const QString path = at("odd.SR");
    writeBytes(path, bytes);

    const EditLoad edit = LoadListForEditing(path);
    QTEST(edit.result, "editResult");
    QTEST(edit.rows, "rows");

    const InstallLoad inst = LoadListForInstalling(path);
    QTEST(inst.result, "installResult");
    QTEST(inst.title, "title");
    QTEST(inst.lineCount, "lineCount");
    if (inst.result == LoadResult::Loaded) {
        QCOMPARE(inst.text, DecodeListBytes(bytes));
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
        const InstallLoad inst = LoadListForInstalling(at(name));
        QCOMPARE(inst.result, LoadResult::Unreadable);
        QVERIFY(!inst.error.isEmpty());
    }
}

void TstListFile::decoding()
{
    // Windows-1252 as the original platform wrote it, UTF-8 as written here.
    QCOMPARE(DecodeListBytes(">Caf\xE9 \x80\r\n"), QStringLiteral(">Café €\r\n"));
    QCOMPARE(DecodeListBytes(">Caf\xC3\xA9 \xE2\x82\xAC\r\n"), QStringLiteral(">Café €\r\n"));
    // Not valid UTF-8, but with a valid multi-byte sequence: written on a
    // UTF-8 system, so the odd bytes are names that are not UTF-8 and are
    // kept as escapes. Without one, the text is Windows-1252.
    const QChar escE9(char16_t(0xDCE9));
    QCOMPARE(DecodeListBytes(">\xC3\xA9\xE9"), QStringLiteral(">é") + escE9);
    QCOMPARE(DecodeListBytes(">\xE2\x82\xAC \x80\xFF\r\n"),
             QStringLiteral(">€ ") + QChar(char16_t(0xDC80)) + QChar(char16_t(0xDCFF)) + "\r\n");
    QCOMPARE(DecodeListBytes(">T\r\n\xC3"), QStringLiteral(">T\r\nÃ"));
    QCOMPARE(DecodeListBytes(">\xC3\xC3\xE9\xA9\xE9"), QStringLiteral(">ÃÃé©é")); // no pair is valid
    QCOMPARE(DecodeListBytes("\xEF\xBB\xBF>T\xE9\r\n"), QString(QChar(0xFEFF)) + ">T" + escE9 + "\r\n");
    QCOMPARE(DecodeListBytes("\x8A\x99\x9F\x91\x81\x8D\xA0\xFF"),
             QString::fromUtf16(u"\u0160\u2122\u0178\u2018\u0081\u008D\u00A0\u00FF"));
    QCOMPARE(DecodeListBytes(QByteArray("a\0b", 3)), QString::fromUtf16(u"a\0b", 3));

    const QString path = at("cp1252.SR");
    writeBytes(path, ">Programme \x80\r\nC:\\Caf\xE9\\setup.exe /S\r\n");
    QCOMPARE(LoadListForEditing(path).rows,
             (QStringList{QStringLiteral("Programme €"), QStringLiteral("C:\\Café\\setup.exe /S")}));
    QCOMPARE(LoadListForInstalling(path).title, QStringLiteral("Programme €"));
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

    const InstallLoad inst = LoadListForInstalling(first);
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

QTEST_APPLESS_MAIN(TstListFile)
#include "tst_listfile.moc"
