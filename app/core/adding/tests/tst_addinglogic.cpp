// SPDX-License-Identifier: GPL-3.0-or-later
// The adding windows' logic without a window: file sizes as shown, patterns,
// drives and the folder list's rows, and the real file-system object.
#include "FileNameCodec.h"
#include "core/adding/BrowseLogic.h"
#include "core/adding/FileInfoText.h"
#include "core/common/FileSystemObject.h"
#include "core/common/Seams.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

class TestAddingLogic : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString makeFile(const QString &relative, qint64 bytes = 0)
    {
        const QString path = m_dir.filePath(relative);
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        f.resize(bytes);
        return path;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void shownSize_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("empty file") << qint64(0) << "0  KB";
        QTest::newRow("one byte") << qint64(1) << "0.00098  KB";
        QTest::newRow("512 bytes") << qint64(512) << "0.5  KB";
        QTest::newRow("1 KiB") << qint64(1024) << "1  KB";
        QTest::newRow("1536 KiB") << qint64(1536 * 1024) << "1.5  MB";
        QTest::newRow("3 MiB") << qint64(3 * 1048576) << "3  MB";
        QTest::newRow("rounds up to 1 MB") << qint64(1048571) << "1  MB";
        QTest::newRow("stays below 1 MB") << qint64(1048570) << "1023.99414  KB";
        QTest::newRow("one byte short of 1 MiB") << qint64(1048575) << "1  MB";
        // Exact ties: 0.015625 and 0.046875 go to the even fifth digit.
        QTest::newRow("KB tie down") << qint64(16) << "0.01562  KB";
        QTest::newRow("KB tie up") << qint64(48) << "0.04688  KB";
        QTest::newRow("MB tie down") << qint64(1048576 + 16384) << "1.01562  MB";
        QTest::newRow("MB tie up") << qint64(1048576 + 16384 + 32768) << "1.04688  MB";
        QTest::newRow("just above a tie") << qint64(1048576 + 16385) << "1.01563  MB";
        QTest::newRow("5 TiB") << (qint64(5) << 40) << "5242880  MB";
        QTest::newRow("huge") << qint64(0x7fffffffffffffffLL) << "8796093022208  MB";
    }

    void shownSize()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, shown);
        QCOMPARE(FileInfoText::shownSize(bytes, QStringLiteral(".")), shown);
    }

    void captionLines()
    {
        QCOMPARE(FileInfoText::caption(QStringLiteral("setup.exe"), qint64(3 * 1048576), QStringLiteral(".")),
                 QStringLiteral("File name :\rsetup.exe\rSize : 3  MB"));
        QCOMPARE(FileInfoText::caption(QStringLiteral("a.msi"), qint64(512), QStringLiteral(",")),
                 QStringLiteral("File name :\ra.msi\rSize : 0,5  KB"));
        QCOMPARE(FileInfoText::shownSize(1048570, QStringLiteral(",")), QStringLiteral("1023,99414  KB"));
        // A file that vanished (or cannot be read) still gets its line.
        QCOMPARE(FileInfoText::caption(QStringLiteral("gone.exe"), std::nullopt, QStringLiteral(".")),
                 QStringLiteral("File name :\rgone.exe\rSize : unknown"));
        QVERIFY(FileInfoText::caption(QStringLiteral("x"), qint64(1536 * 1024))
                        .endsWith(QStringLiteral("1") + QLocale::system().decimalPoint() + QStringLiteral("5  MB")));
    }

    void patterns_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("matches");
        const QString setups = QStringLiteral("*.EXE;*.MSI;*.BAT");
        QTest::newRow("exe lower case") << "setup.exe" << setups << true;
        QTest::newRow("msi") << "Tool.MSI" << setups << true;
        QTest::newRow("bat mixed case") << "run.Bat" << setups << true;
        QTest::newRow("txt is none of them") << "readme.txt" << setups << false;
        QTest::newRow("extension must end the name") << "setup.exe.txt"
                                                     << "*.EXE" << false;
        QTest::newRow("txt") << "notes.TXT"
                             << "*.txt" << true;
        QTest::newRow("blanks around parts") << "x.msi"
                                             << " *.exe ; *.msi " << true;
        QTest::newRow("*.* takes names without dot") << "README"
                                                     << "*.*" << true;
        QTest::newRow("*.* takes several dots") << "a.b.c"
                                                << "*.*" << true;
        QTest::newRow("name.* takes the bare name") << "setup"
                                                    << "setup.*" << true;
        QTest::newRow("name.* is still a name") << "setupx"
                                                << "setup.*" << false;
        QTest::newRow("question mark is one letter") << "a.exe"
                                                     << "?.exe" << true;
        QTest::newRow("question mark is not two") << "ab.exe"
                                                  << "?.exe" << false;
        QTest::newRow("brackets are letters") << "set[1].exe"
                                              << "set[1].exe" << true;
        QTest::newRow("brackets are no class") << "set1.exe"
                                               << "set[1].exe" << false;
        QTest::newRow("dot is a dot") << "setupxexe"
                                      << "setup.exe" << false;
        QTest::newRow("empty pattern takes all") << "anything"
                                                 << "" << true;
        QTest::newRow("only separators take all") << "anything"
                                                  << ";" << true;
        const QString latin1 = FileNameCodec::decodeFileName("r\xe9sum\xe9.EXE");
        QTest::newRow("a name that is not UTF-8") << latin1 << setups << true;
        QTest::newRow("its bytes are one letter each") << latin1 << "r?sum?.*" << true;
        QTest::newRow("and not two") << latin1 << "r??sum?.*" << false;
    }

    void patterns()
    {
        QFETCH(QString, name);
        QFETCH(QString, pattern);
        QFETCH(bool, matches);
        QCOMPARE(Browsing::matchesPattern(name, pattern), matches);
    }

    void filesOfAFolder()
    {
        const QString folder = m_dir.filePath(QStringLiteral("files"));
        for (const char *name : {"setup.exe", "Tool.MSI", "run.bat", "readme.txt", "NOTES.TXT", ".hidden.exe"})
            makeFile(QStringLiteral("files/") + QLatin1String(name));
        QDir().mkpath(folder + QStringLiteral("/folder.exe")); // a folder is no file

        QCOMPARE(Browsing::matchingFiles(folder, QStringLiteral("*.EXE;*.MSI;*.BAT")),
                 QStringList({"run.bat", "setup.exe", "Tool.MSI"}));
        QCOMPARE(Browsing::matchingFiles(folder, QStringLiteral("*.TXT")), QStringList({"NOTES.TXT", "readme.txt"}));
        QCOMPARE(Browsing::matchingFiles(folder, QStringLiteral("*.*")),
                 QStringList({"NOTES.TXT", "readme.txt", "run.bat", "setup.exe", "Tool.MSI"}));
        QCOMPARE(Browsing::matchingFiles(folder, QStringLiteral("*.MSI")), QStringList({"Tool.MSI"}));
        QCOMPARE(Browsing::matchingFiles(folder + QStringLiteral("/missing"), QStringLiteral("*.*")), QStringList());
        QCOMPARE(Browsing::matchingFiles(QString(), QStringLiteral("*.*")), QStringList());
    }

    void joiningAndDrives()
    {
        QCOMPARE(Browsing::joinPath(QStringLiteral("/work/Setups"), QStringLiteral("setup.exe")),
                 QStringLiteral("/work/Setups/setup.exe"));
        QCOMPARE(Browsing::joinPath(QStringLiteral("/"), QStringLiteral("setup.exe")), QStringLiteral("//setup.exe"));

        const QStringList roots{"/", "/home", "/media/usb"};
        QCOMPARE(Browsing::driveOf(QStringLiteral("/home/u/x"), roots), QStringLiteral("/home"));
        QCOMPARE(Browsing::driveOf(QStringLiteral("/homework"), roots), QStringLiteral("/"));
        QCOMPARE(Browsing::driveOf(QStringLiteral("/media/usb"), roots), QStringLiteral("/media/usb"));
        QCOMPARE(Browsing::driveOf(QStringLiteral("/media/usb/"), roots), QStringLiteral("/media/usb"));
        QCOMPARE(Browsing::driveOf(QStringLiteral("/tmp"), QStringList{"/home"}), QString());

        const QString cwd = QStringLiteral("/home/u");
        QCOMPARE(Browsing::currentFolderOf(QStringLiteral("/home"), roots, cwd), QStringLiteral("/home/u"));
        QCOMPARE(Browsing::currentFolderOf(QStringLiteral("/"), roots, cwd), QStringLiteral("/"));
        QCOMPARE(Browsing::currentFolderOf(QStringLiteral("/media/usb"), roots, cwd), QStringLiteral("/media/usb"));
    }

    void folderListRows()
    {
        const QString root = m_dir.filePath(QStringLiteral("drive"));
        for (const char *sub : {"Setups/beta", "Setups/Alpha", "Setups/.git", "Other"})
            QDir().mkpath(root + QLatin1Char('/') + QLatin1String(sub));
        makeFile(QStringLiteral("drive/Setups/file.exe"));

        const QList<Browsing::FolderEntry> rows = Browsing::folderEntries(root + QStringLiteral("/Setups"), root);
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows[0].path, root);
        QCOMPARE(rows[0].name, QDir::toNativeSeparators(root));
        QVERIFY(rows[0].open && rows[1].open && !rows[2].open && !rows[3].open);
        QCOMPARE(rows[1].name, QStringLiteral("Setups"));
        QCOMPARE(rows[1].depth, 1);
        QCOMPARE(rows[2].name, QStringLiteral("Alpha"));
        QCOMPARE(rows[2].path, root + QStringLiteral("/Setups/Alpha"));
        QCOMPARE(rows[3].name, QStringLiteral("beta"));
        QCOMPARE(rows[3].depth, 2);

        const QList<Browsing::FolderEntry> atRoot = Browsing::folderEntries(root + QStringLiteral("/"), root);
        QCOMPARE(atRoot.size(), 3);
        QCOMPARE(atRoot[1].name, QStringLiteral("Other"));
        QCOMPARE(atRoot[2].path, root + QStringLiteral("/Setups"));

        // A folder off the given drive is shown from the top of the tree.
        const QList<Browsing::FolderEntry> off = Browsing::folderEntries(root, QStringLiteral("/nowhere"));
        QCOMPARE(off.first().path, QStringLiteral("/"));
        QCOMPARE(off[off.size() - 3].path, root);

        const QList<Browsing::FolderEntry> top = Browsing::folderEntries(QStringLiteral("/"), QStringLiteral("/"));
        QCOMPARE(top.first().name, QStringLiteral("/"));
        QVERIFY(top.size() > 1);
        QVERIFY2(!top[1].path.startsWith(QStringLiteral("//")), qPrintable(top[1].path));
    }

    void realFileSystemObject()
    {
        const FileSystemObject &fso = FileSystemObject::instance();
        const QStringList roots = fso.driveRoots();
        QVERIFY(!roots.isEmpty());
        QCOMPARE(roots.first(), QStringLiteral("/"));
        QStringList rest = roots.mid(1);
        QStringList sorted = rest;
        std::sort(sorted.begin(), sorted.end());
        QCOMPARE(rest, sorted);
        for (const QString &root : roots) {
            QVERIFY2(!root.startsWith(QStringLiteral("/proc")) && !root.startsWith(QStringLiteral("/sys")),
                     qPrintable(root));
            QVERIFY2(QFileInfo(root).isDir(), qPrintable(root));
        }
        QStringList unique = roots;
        QCOMPARE(unique.removeDuplicates(), 0);

        QVERIFY(fso.isDriveReady(QStringLiteral("/")));
        QVERIFY(!fso.isDriveReady(QString()));
        QVERIFY(!fso.isDriveReady(QStringLiteral("/no/such/volume")));
        // A plain folder is not a drive of its own (a mount point without its medium).
        const QString plain = m_dir.filePath(QStringLiteral("plain"));
        QDir().mkpath(plain);
        QVERIFY(!roots.contains(plain));
        QVERIFY(!fso.isDriveReady(plain));

        QCOMPARE(fso.fileSize(makeFile(QStringLiteral("sized.bin"), 1234)), std::optional<qint64>(1234));
        QCOMPARE(fso.fileSize(makeFile(QStringLiteral("empty.bin"))), std::optional<qint64>(0));
        QCOMPARE(fso.fileSize(plain), std::optional<qint64>());
        const QByteArray latin1 = QFile::encodeName(m_dir.filePath(QStringLiteral("caf"))) + "\xe9.exe";
        const int fd = ::open(latin1.constData(), O_WRONLY | O_CREAT, 0644);
        QVERIFY(fd >= 0 && ::ftruncate(fd, 77) == 0);
        ::close(fd);
        QCOMPARE(fso.fileSize(FileNameCodec::decodeFileName(latin1)), std::optional<qint64>(77));
        QVERIFY(::unlink(latin1.constData()) == 0);
        QCOMPARE(fso.fileSize(m_dir.filePath(QStringLiteral("missing.bin"))), std::optional<qint64>());
    }

    void replaceableInstance()
    {
        struct Fake : FileSystemObject
        {
            QStringList driveRoots() const override { return {QStringLiteral("/fake")}; }
        } fake;
        Seams::setFileSystem(&fake);
        QCOMPARE(FileSystemObject::instance().driveRoots(), QStringList{"/fake"});
        Seams::setFileSystem(nullptr);
        QCOMPARE(FileSystemObject::instance().driveRoots().first(), QStringLiteral("/"));
    }
};

QTEST_GUILESS_MAIN(TestAddingLogic)
#include "tst_addinglogic.moc"
