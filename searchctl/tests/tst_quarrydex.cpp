// SPDX-License-Identifier: GPL-3.0-or-later
// The search control through the real Quarrydex.ocx: created by class name,
// called by dispatch id, on folder trees made here.
#include "ControlContract.h"
#include "ControlFactory.h"
#include "ControlTesting.h"
#include "FileNameCodec.h"
#include "FolderSearchControl.h"
#include "PatternMatch.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QLibrary>
#include <QPluginLoader>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

#include <fcntl.h>
#include <ftw.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
// The host's list and label as any caller may hand them: reached by member
// name (the program's own list and label are reached through their interfaces).
class List : public QObject
{
    Q_OBJECT
public:
    QStringList rows;
    Q_INVOKABLE void AddItem(const QString &s) { rows << s; }
};
class Label : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Caption READ caption WRITE setCaption)
public:
    QString text;
    int writes = 0;
    QString caption() const { return text; }
    void setCaption(const QString &c)
    {
        text = c;
        ++writes;
    }
};
class Sink : public SearchMessageSink
{
public:
    QStringList boxes;
    const Label *label = nullptr; // what it showed as each box came up
    QStringList captions;
    void messageBox(const QString &text, const QString &title) override
    {
        boxes << title + ": " + text;
        if (label)
            captions << label->text;
    }
};

const char *const Ocx = SETUPREEL_BUILD_SYSTEM_DIR "/Quarrydex.ocx";
using DispId::FindFiles;
using DispId::FindFiles2;
}

class TestQuarrydex : public QObject
{
    Q_OBJECT
    QPluginLoader m_loader{QString::fromLatin1(Ocx)};
    ControlFactory *m_factory = nullptr;
    QObject *m_box = nullptr;
    Sink m_sink;
    QTemporaryDir m_dir;

    QString at(const QString &rel) const { return m_dir.filePath(rel); }
    QByteArray native(const QString &rel) const { return QFile::encodeName(at(rel)); }

    void touch(const QString &rel, int bytes = 1)
    {
        QDir().mkpath(QFileInfo(at(rel)).absolutePath());
        QFile f(at(rel));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(bytes, 'x'));
    }

    // As the host calls: the method named for the dispatch id, all by reference.
    QVariant call(int dispId, QString &path, const QString &pattern, qint16 &count, QObject *list,
                  QObject *label = nullptr)
    {
        QString pat = pattern;
        QVariant result;
        if (!callFindFiles(m_box, dispId, path, pat, count, list, label, &result))
            QTest::qFail("call by dispatch id failed", __FILE__, __LINE__);
        if (pat != pattern)
            QTest::qFail("the pattern was changed", __FILE__, __LINE__);
        return result;
    }

    QStringList bare(const QString &rel, const QString &pattern)
    {
        QString path = at(rel);
        qint16 count = 0;
        List list;
        call(FindFiles2, path, pattern, count, &list);
        return list.rows;
    }

    // The rows of a bare search as one text, and the number of boxes shown.
    QByteArray bareAndBoxes(const QString &rel, const QString &pattern)
    {
        return bare(rel, pattern).join('\n').toUtf8() + '|' + QByteArray::number(m_sink.boxes.size());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_factory = qobject_cast<ControlFactory *>(m_loader.instance());
        QVERIFY2(m_factory, qPrintable(m_loader.errorString()));
        const QJsonObject meta = m_loader.metaData().value(PluginMeta::Root).toObject();
        QCOMPARE(meta.value(PluginMeta::Classes).toArray(), QJsonArray({"Quarrylib.QuarryBox"}));
        QCOMPARE(meta.value(PluginMeta::ProductName).toString(), QStringLiteral("Quarrylib"));
        QCOMPARE(meta.value(PluginMeta::InternalName).toString(), QStringLiteral("Quarrydex"));
        QCOMPARE(meta.value(PluginMeta::OriginalFilename).toString(), QStringLiteral("Quarrydex.ocx"));
        QCOMPARE(meta.value(PluginMeta::FileVersion).toString(), QStringLiteral("1.00"));
        QCOMPARE(meta.value(PluginMeta::ProductVersion).toString(), QStringLiteral("1.00"));
        QCOMPARE(meta.value(PluginMeta::NumericVersion).toString(), QStringLiteral("1.0.0.0"));
        QVERIFY(meta.value(PluginMeta::OLESelfRegister).toBool());

        QVERIFY(!m_factory->create(QStringLiteral("Quarrylib.Other"), nullptr));
        m_box = m_factory->create(QStringLiteral("Quarrylib.QuarryBox"), nullptr);
        auto *face = qobject_cast<QWidget *>(m_box);
        QVERIFY(face);
        QCOMPARE(face->size(), QSize(50, 50));
        QVERIFY(face->children().isEmpty());
        auto *search = qobject_cast<FolderSearchControl *>(m_box);
        QVERIFY(search);
        QCOMPARE(search->widget(), face);
        search->setMessageSink(&m_sink);
        QCOMPARE(dispatchMethod(m_box, FindFiles).name(), QByteArray("FindFiles"));
        QCOMPARE(dispatchMethod(m_box, FindFiles2).name(), QByteArray("FindFiles2"));
        QVERIFY(!dispatchMethod(m_box, DispId::FindFiles2 + 1).isValid());
        // A caller whose control is missing or publishes no such id calls nothing.
        QString path = m_dir.path(), pattern = QStringLiteral("*");
        qint16 count = 0;
        QObject plain;
        QVERIFY(!callFindFiles(nullptr, FindFiles2, path, pattern, count, &plain, nullptr));
        QVERIFY(!callFindFiles(&plain, FindFiles2, path, pattern, count, &plain, nullptr));
        QVERIFY(!callFindFiles(m_box, DispId::FindFiles2 + 1, path, pattern, count, &plain, nullptr));
        QCOMPARE(path, m_dir.path());
    }

    void init()
    {
        m_sink.boxes.clear();
        m_sink.captions.clear();
    }

    void orderCounterCaptionAndTotal()
    {
        touch("Setups/a.exe", 10);
        touch("Setups/B.exe", 5);
        touch("Setups/notes.txt", 100);
        touch("Setups/tool.exe/e.exe", 1); // a folder that matches is searched, not listed
        touch("Setups/x/b.EXE", 20);
        touch("Setups/x/y/c.exe", 3);
        const QString base = at("Setups");
        QString path = base;
        qint16 count = 5;
        List list;
        Label label;
        const QVariant total = call(FindFiles, path, "*.exe", count, &list, &label);
        QCOMPARE(path, base + "/"); // the caller sees the added separator
        // Own files first, then each subfolder's subtree complete before the next.
        QCOMPARE(list.rows, QStringList({base + "/a.exe", base + "/B.exe", base + "/tool.exe/e.exe", base + "/x/b.EXE",
                                         base + "/x/y/c.exe"}));
        QCOMPARE(count, qint16(10));
        QCOMPARE(label.text, QStringLiteral("10  Item(s) found."));
        // Nothing can be painted while the search runs: only the last count
        // could ever be seen, and it is written once.
        QCOMPARE(label.writes, 1);
        QCOMPARE(total.typeId(), QMetaType::Double);
        QCOMPARE(total.toDouble(), 39.0);

        QString again = base + "/";
        List names;
        call(FindFiles2, again, "*.EXE", count, &names);
        QCOMPARE(again, base + "/"); // already ending in the separator: unchanged
        QCOMPARE(names.rows, QStringList({"a.exe", "B.exe", "e.exe", "b.EXE", "c.exe"}));
        QCOMPARE(count, qint16(15));
        QVERIFY(m_sink.boxes.isEmpty());
    }

    void hiddenSpecialEntriesAndLinks()
    {
        touch("T/.hidden.sh");
        touch("T/.cache/in-hidden.sh");
        touch("T/real/r.sh");
        QCOMPARE(::mkfifo(native("T/pipe.sh"), 0644), 0);
        const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        QVERIFY(size_t(native("T/sock.sh").size()) < sizeof addr.sun_path);
        std::strcpy(addr.sun_path, native("T/sock.sh").constData());
        QCOMPARE(::bind(s, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
        ::close(s);
        QCOMPARE(::symlink(native("T").constData(), native("T/real/loop")), 0); // points back up
        QCOMPARE(::symlink("real", native("T/dirlink.sh")), 0);                 // a folder by its target
        QCOMPARE(::symlink("real/r.sh", native("T/alias.sh")), 0);
        QCOMPARE(::symlink("nowhere", native("T/gone.sh")), 0);
        // Hidden entries are found and searched, pipes and sockets count as
        // files, a link to a file (or to nothing) is a file, a link to a folder
        // is neither listed nor searched.
        QCOMPARE(bare("T", "*.sh"),
                 QStringList({".hidden.sh", "alias.sh", "gone.sh", "pipe.sh", "sock.sh", "in-hidden.sh", "r.sh"}));
        QVERIFY(m_sink.boxes.isEmpty());
    }

    void entryEndingInSysIsPassedOver()
    {
        // A link to itself: it cannot be followed, but the entry's own
        // attributes are there, whatever its name's case.
        touch("S/a.exe");
        touch("S/sub/b.exe");
        QCOMPARE(::symlink("pagefile.sys", native("S/pagefile.sys")), 0);
        QCOMPARE(bare("S", "*.exe"), QStringList({"a.exe", "b.exe"}));
        QCOMPARE(bare("S", "*.sys"), QStringList({"pagefile.sys"}));
        QVERIFY(m_sink.boxes.isEmpty());

        touch("R/top.exe");
        touch("R/1/a.exe");
        touch("R/1/sub/b.exe");
        touch("R/2/c.exe");
        QCOMPARE(::symlink("PAGEFILE.SYS", native("R/1/PAGEFILE.SYS")), 0);
        QCOMPARE(bare("R", "*.exe"), QStringList({"top.exe", "a.exe", "b.exe", "c.exe"}));
        QCOMPARE(bare("R", "*.SYS"), QStringList({"PAGEFILE.SYS"}));
        QVERIFY(m_sink.boxes.isEmpty());
    }

    void patterns()
    {
        touch("P/Setup;1.exe");
        touch("P/setup.msi");
        touch("P/readme");
        touch("P/sub/x");
        QCOMPARE(bare("P", "*.exe;*.msi"), QStringList()); // one expression: ';' is an ordinary character
        QCOMPARE(bare("P", "SETUP;?.*"), QStringList({"Setup;1.exe"}));
        QCOMPARE(bare("P", ""), QStringList({"readme", "setup.msi", "Setup;1.exe", "x"})); // every file
        QCOMPARE(bare("P", "*.*"), bare("P", ""));
        QCOMPARE(bare("P", "?"), QStringList({"x"}));
        QCOMPARE(bare("P", "s*t*.M?I"), QStringList({"setup.msi"}));

        QVERIFY(PatternMatch("s*p.?XE").matches("setup.exe", 9));
        QVERIFY(!PatternMatch("*.ex").matches("a.exe", 5));
        QVERIFY(PatternMatch("*.EXE").matches("Setup.exe", 9));
        QVERIFY(!PatternMatch("*.exe").matches("exe", 3));
        QVERIFY(!PatternMatch("*.exe").matches("a.exe.txt", 9));
        QVERIFY(PatternMatch("a*b*c").matches("aXbYbc", 6));
        QVERIFY(!PatternMatch("a*b*c").matches("aXbYbcd", 7));
        QVERIFY(!PatternMatch("a?c").matches("ac", 2));
        QVERIFY(PatternMatch("*é*").matches("CAFÉ.exe", std::strlen("CAFÉ.exe")));
        QVERIFY(!PatternMatch("*é*").matches("CAFE.exe", 8));
    }

    void missingFolderFileAsFolderAndNothingFound()
    {
        touch("N/plain.txt");
        for (const char *rel : {"does/not/exist", "N/plain.txt", "N"}) {
            QString path = at(rel);
            qint16 count = 7;
            List list;
            Label label;
            label.text = "before";
            const QVariant total = call(FindFiles, path, "*.exe", count, &list, &label);
            QVERIFY2(!total.isValid(), rel); // empty: nothing found
            QCOMPARE(count, qint16(7));
            QCOMPARE(label.writes, 0);
            QVERIFY(list.rows.isEmpty());
        }
        QVERIFY(m_sink.boxes.isEmpty());
    }

    void unreadableFolderEndsItsLevelSilently()
    {
        touch("U/locked/a.exe");
        touch("U/locked/deep/z.exe");
        touch("U/open/b.exe");
        touch("U/top.exe");
        QCOMPARE(::chmod(native("U/locked"), 0), 0);
        QCOMPARE(::chmod(QFile::encodeName(m_dir.path()), 0755), 0);
        const QByteArray got = runUnprivileged([this] { return bareAndBoxes("U", "*.exe"); });
        ::chmod(native("U/locked"), 0755);
        if (got.isEmpty())
            QSKIP("cannot give up root here");
        QCOMPARE(got, QByteArray("top.exe\nb.exe|0"));
    }

    void linksThatCannotBeFollowedAreEntries()
    {
        // A link's own attributes are always there to read: whatever its target,
        // it is an entry of its folder, listed when its name matches and never
        // searched, and the rest of the folder is searched as always.
        touch("L/a.exe", 4);
        touch("L/file.txt");
        touch("L/mid/b.exe", 2);
        touch("L/sub/deep/c.exe", 1);
        QCOMPARE(::symlink("self.exe", native("L/self.exe")), 0);       // loops
        QCOMPARE(::symlink("file.txt/x", native("L/through.exe")), 0);  // through a file
        QCOMPARE(::symlink("nowhere", native("L/gone.exe")), 0);        // to nothing
        QCOMPARE(::symlink("ring2.exe", native("L/mid/ring1.exe")), 0); // two that loop
        QCOMPARE(::symlink("ring1.exe", native("L/mid/ring2.exe")), 0);
        QCOMPARE(::symlink("spin", native("L/sub/spin")), 0); // named like a folder
        QCOMPARE(::symlink("../file.txt/y", native("L/sub/deep/past")), 0);

        const QString base = at("L");
        QString path = base;
        qint16 count = 0;
        List list;
        Label label;
        const QVariant total = call(FindFiles, path, "*.exe", count, &list, &label);
        QCOMPARE(list.rows, QStringList({base + "/a.exe", base + "/gone.exe", base + "/self.exe", base + "/through.exe",
                                         base + "/mid/b.exe", base + "/mid/ring1.exe", base + "/mid/ring2.exe",
                                         base + "/sub/deep/c.exe"}));
        QCOMPARE(count, qint16(8));
        QCOMPARE(label.text, QStringLiteral("8  Item(s) found."));
        QCOMPARE(total.toDouble(), 7.0); // a link that leads nowhere has no size
        QCOMPARE(bare("L/sub", ""), QStringList({"spin", "c.exe", "past"}));
        QVERIFY2(m_sink.boxes.isEmpty(), qPrintable(m_sink.boxes.join('\n')));

        // Links into a folder this user may not enter, beside the folder itself.
        touch("M/top.exe");
        touch("M/private/x.exe");
        touch("M/private/inner/y.exe");
        touch("M/next/n.exe");
        QCOMPARE(::symlink("private/x.exe", native("M/denied.exe")), 0);
        QCOMPARE(::symlink("private/inner", native("M/denied-folder.exe")), 0);
        QCOMPARE(::chmod(native("M/private"), 0), 0);
        QCOMPARE(::chmod(QFile::encodeName(m_dir.path()), 0755), 0);
        const QByteArray got = runUnprivileged([this] { return bareAndBoxes("M", "*.exe"); });
        ::chmod(native("M/private"), 0755);
        if (got.isEmpty())
            QSKIP("cannot give up root here");
        QCOMPARE(got, QByteArray("denied-folder.exe\ndenied.exe\ntop.exe\nn.exe|0"));
    }

    void namesThatAreNotUtf8()
    {
        // Latin-1 names, as archives made on Windows leave them.
        const QByteArray root = native("E");
        const QByteArray cafe = root + "/caf\xe9";
        for (const QByteArray &folder : {root, cafe, cafe + "/sub\xff"})
            QCOMPARE(::mkdir(folder.constData(), 0755), 0);
        auto write = [](const QByteArray &file, int bytes) {
            const int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const bool ok = fd >= 0 && ::write(fd, QByteArray(bytes, 'x').constData(), size_t(bytes)) == bytes;
            ::close(fd);
            return ok;
        };
        QVERIFY(write(root + "/ok.exe", 1));
        QVERIFY(write(cafe + "/r\xe9sum\xe9.exe", 10));
        QVERIFY(write(cafe + "/sub\xff/deep.EXE", 100));
        QVERIFY(write(cafe + "/skip.txt", 1));

        QString path = at("E");
        qint16 count = 0;
        List list;
        Label label;
        const QVariant total = call(FindFiles, path, "*.exe", count, &list, &label);
        using FileNameCodec::decodeFileName;
        QCOMPARE(list.rows, QStringList({decodeFileName(root + "/ok.exe"), decodeFileName(cafe + "/r\xe9sum\xe9.exe"),
                                         decodeFileName(cafe + "/sub\xff/deep.EXE")}));
        QCOMPARE(total.toDouble(), 111.0);
        // Every row names the very file found.
        for (const QString &row : list.rows) {
            struct stat st;
            QVERIFY2(::stat(FileNameCodec::encodeFileName(row).constData(), &st) == 0 && S_ISREG(st.st_mode),
                     qPrintable(row));
        }
        QCOMPARE(bare("E", "*.EXE"), QStringList({"ok.exe", decodeFileName("r\xe9sum\xe9.exe"), "deep.EXE"}));
        // A byte that is not UTF-8 is one character for "?".
        QCOMPARE(bare("E", "r?sum?.exe"), QStringList({decodeFileName("r\xe9sum\xe9.exe")}));

        // A folder handed in as a row shows it: escaped bytes and all.
        QString fromRow = decodeFileName(cafe);
        list.rows.clear();
        call(FindFiles, fromRow, "*.exe", count, &list, &label);
        QCOMPARE(fromRow, decodeFileName(cafe) + '/');
        QCOMPARE(list.rows,
                 QStringList({decodeFileName(cafe + "/r\xe9sum\xe9.exe"), decodeFileName(cafe + "/sub\xff/deep.EXE")}));
        QVERIFY(m_sink.boxes.isEmpty());
    }

    void overflowIsReportedOnceAndTheSearchStops()
    {
        for (const char *f : {"O/1.exe", "O/a/2.exe", "O/a/3.exe", "O/b/4.exe", "O/c/5.exe"})
            touch(f, 2);
        QString path = at("O");
        qint16 count = 32765;
        List list;
        Label label;
        m_sink.label = &label; // a box lets the windows paint: the count is there first
        const QVariant total = call(FindFiles, path, "*.exe", count, &list, &label);
        m_sink.label = nullptr;
        QCOMPARE(list.rows, QStringList({at("O/1.exe"), at("O/a/2.exe")})); // the rows found so far stay
        QCOMPARE(count, qint16(32767));
        QCOMPARE(m_sink.captions, QStringList({"32767  Item(s) found."}));
        QCOMPARE(label.text, QStringLiteral("32767  Item(s) found."));
        QCOMPARE(total.toDouble(), 6.0); // the overflowing file was sized before it was counted
        QCOMPARE(m_sink.boxes, QStringList({"Unexpected Error: Error: 6 - Overflow"}));

        // A search entering at the limit stops at its first file; the next one starts afresh.
        m_sink.boxes.clear();
        QCOMPARE(bare("O", "*.exe").size(), 5);
        QVERIFY(m_sink.boxes.isEmpty());
        path = at("O/a");
        count = 32767;
        list.rows.clear();
        call(FindFiles2, path, "*.exe", count, &list);
        QVERIFY(list.rows.isEmpty());
        QCOMPARE(count, qint16(32767));
        QCOMPARE(m_sink.boxes.size(), 1);
    }

    void hostObjectsWithoutTheMembers()
    {
        for (const char *f : {"H/1.exe", "H/a/2.exe", "H/b/3.exe"})
            touch(f);
        QString path = at("H");
        qint16 count = 0;
        QObject noList;
        call(FindFiles2, path, "*.exe", count, &noList);
        QCOMPARE(m_sink.boxes,
                 QStringList({"Unexpected Error: Error: 438 - Object doesn't support this property or method"}));
        QCOMPARE(count, qint16(0));
        m_sink.boxes.clear();
        List list;
        call(FindFiles, path, "*.exe", count, &list, nullptr);
        QCOMPARE(m_sink.boxes,
                 QStringList({"Unexpected Error: Error: 91 - Object variable or With block variable not set"}));
        QVERIFY(list.rows.isEmpty());
    }

    void registrationExports()
    {
        QTemporaryDir system;
        qputenv("SETUPREEL_SYSTEM_DIR", QFile::encodeName(system.path()));
        QFile reg(system.filePath("controls.reg"));
        QVERIFY(reg.open(QIODevice::WriteOnly));
        reg.write("Other.Thing=/x/Other.ocx\n");
        reg.close();
        auto registry = [&] {
            QFile f(system.filePath("controls.reg"));
            return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QStringLiteral("<none>");
        };

        QLibrary lib(QString::fromLatin1(Ocx));
        QVERIFY2(lib.load(), qPrintable(lib.errorString()));
        using Plain = long (*)();
        using Get = long (*)(const char *, void **);
        auto reg_ = reinterpret_cast<Plain>(lib.resolve("DllRegisterServer"));
        auto unreg = reinterpret_cast<Plain>(lib.resolve("DllUnregisterServer"));
        auto get = reinterpret_cast<Get>(lib.resolve("DllGetClassObject"));
        auto canUnload = reinterpret_cast<Plain>(lib.resolve("DllCanUnloadNow"));
        QVERIFY(reg_ && unreg && get && canUnload);

        const QString ours = "Quarrylib.QuarryBox=" + QFileInfo(QString::fromLatin1(Ocx)).absoluteFilePath() + "\n";
        QCOMPARE(reg_(), 0L);
        QCOMPARE(reg_(), 0L); // once only, other entries kept
        QCOMPARE(registry(), "Other.Thing=/x/Other.ocx\n" + ours);

        void *factory = nullptr;
        QCOMPARE(get("Quarrylib.QuarryBox", &factory), 0L);
        QCOMPARE(factory, static_cast<void *>(m_factory));
        QVERIFY(get("Other.Class", &factory) != 0);
        QVERIFY(!factory);
        QVERIFY(get("Quarrylib.QuarryBox", nullptr) != 0);

        QCOMPARE(canUnload(), 1L); // an instance is alive
        delete m_box;
        QCOMPARE(canUnload(), 0L);
        m_box = m_factory->create(QStringLiteral("Quarrylib.QuarryBox"), nullptr);
        qobject_cast<FolderSearchControl *>(m_box)->setMessageSink(&m_sink);
        QCOMPARE(canUnload(), 1L);

        QCOMPARE(unreg(), 0L);
        QCOMPARE(registry(), QStringLiteral("Other.Thing=/x/Other.ocx\n"));
        QVERIFY(QFile::remove(system.filePath("controls.reg")));
        QCOMPARE(reg_(), 0L);
        QCOMPARE(registry(), ours);
        QCOMPARE(unreg(), 0L);
        QCOMPARE(registry(), QStringLiteral("<none>")); // nothing left: no file left
        qunsetenv("SETUPREEL_SYSTEM_DIR");
    }

    void cleanupTestCase()
    {
        delete m_box;
        // By bytes: QTemporaryDir cannot remove names that are not valid UTF-8.
        ::nftw(
                QFile::encodeName(m_dir.path()).constData(),
                [](const char *path, const struct stat *, int type, FTW *) {
                    return type == FTW_DP ? ::rmdir(path) : ::unlink(path);
                },
                16, FTW_DEPTH | FTW_PHYS);
    }
};

QTEST_MAIN(TestQuarrydex)
#include "tst_quarrydex.moc"
