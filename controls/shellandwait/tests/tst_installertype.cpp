// SPDX-License-Identifier: GPL-3.0-or-later
// The kind of a setup file, read from its bytes: crafted files for every kind
// the distribution has no tool to build, real ones from makensis and wixl.
#include "CraftedSetups.h"
#include "InstallerType.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace ShellAndWaitLogic;

namespace {

using namespace CraftedSetups;
using Sec = CraftedSetups::Section;

QByteArray makePe(quint16 machine, const QList<Sec> &sections, const QByteArray &overlay = {})
{
    return pe(machine, sections, overlay);
}

QByteArray makeCompound(const QByteArray &clsid) { return compound(clsid); }

const QByteArray MsiClsid = msiClsid();
const QByteArray MspClsid("\x86\x10\x0C\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16);

QString findTool(const char *name) { return QStandardPaths::findExecutable(QString::fromLatin1(name)); }

} // namespace

class TestInstallerType : public QObject
{
    Q_OBJECT
private slots:
    void craftedKinds_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("machine");
        const Sec text{".text", QByteArray(600, '\x90')};
        QTest::newRow("plain x86-64 program")
                << makePe(MachineAmd64, {text}) << "a.exe" << int(InstallerKind::WindowsProgram) << int(MachineAmd64);
        QTest::newRow("ARM64 program") << makePe(MachineArm64, {text}) << "a.exe" << int(InstallerKind::WindowsProgram)
                                       << int(MachineArm64);
        QTest::newRow("NSIS in the overlay") << makePe(MachineI386, {text, {".ndata", {}}}, nsisFirstHeader())
                                             << "setup.exe" << int(InstallerKind::Nsis) << int(MachineI386);
        QTest::newRow("NSIS a step into the overlay")
                << makePe(MachineI386, {text}, QByteArray(1024, 'x') + nsisFirstHeader()) << "setup.exe"
                << int(InstallerKind::Nsis) << int(MachineI386);
        QTest::newRow("Inno loader table") << makePe(
                MachineI386, {text, {".rsrc", QByteArray(40, 'r') + QByteArray("rDlPtS02\x87\x65\x56\x78", 12)}})
                                           << "setup.exe" << int(InstallerKind::InnoSetup) << int(MachineI386);
        QByteArray oldInno = makePe(MachineI386, {text});
        oldInno.replace(0x30, 4, "Inno");
        QTest::newRow("Inno before 5.1.5")
                << oldInno << "setup.exe" << int(InstallerKind::InnoSetup) << int(MachineI386);
        QTest::newRow("WiX Burn") << makePe(MachineI386,
                                            {text, {".wixburn", QByteArray("\x00\x43\xF1\x00\x02\x00\x00\x00", 8)}})
                                  << "bundle.exe" << int(InstallerKind::WixBurn) << int(MachineI386);
        QTest::newRow("a .wixburn section without the magic")
                << makePe(MachineI386, {text, {".wixburn", QByteArray(8, '\x01')}}) << "bundle.exe"
                << int(InstallerKind::WindowsProgram) << int(MachineI386);
        QByteArray version;
        for (char c : QByteArray("InstallShield"))
            version += QByteArray(1, c) + QByteArray(1, '\0');
        QTest::newRow("InstallShield version information")
                << makePe(MachineI386, {text, {".rsrc", version}}) << "setup.exe" << int(InstallerKind::InstallShield)
                << int(MachineI386);
        QTest::newRow("InstallShield stream") << makePe(MachineI386, {text}, "ISSetupStream....") << "setup.exe"
                                              << int(InstallerKind::InstallShield) << int(MachineI386);
        QTest::newRow("7-Zip configuration") << makePe(MachineI386, {text}, ";!@Install@!UTF-8!\nTitle=\"x\"")
                                             << "sfx.exe" << int(InstallerKind::SevenZipSfx) << int(MachineI386);
        QTest::newRow("7-Zip archive") << makePe(MachineAmd64, {text}, QByteArray("7z\xBC\xAF\x27\x1C\x00\x04", 8))
                                       << "sfx.exe" << int(InstallerKind::SevenZipSfx) << int(MachineAmd64);
        QTest::newRow("Windows Installer package")
                << makeCompound(MsiClsid) << "p.msi" << int(InstallerKind::WindowsInstaller) << 0;
        QTest::newRow("a patch is no package") << makeCompound(MspClsid) << "p.msp" << int(InstallerKind::Unknown) << 0;
        QTest::newRow("compound file cut short")
                << makeCompound(MsiClsid).left(600) << "p.msi" << int(InstallerKind::Unknown) << 0;
        QTest::newRow("MZ without PE") << QByteArray("MZ") + QByteArray(100, '\0') << "x.exe"
                                       << int(InstallerKind::Unknown) << 0;
        QByteArray wild = makePe(MachineI386, {text});
        put32(wild, 0x3C, 0x7FFFFFF0);
        QTest::newRow("PE offset past the end") << wild << "x.exe" << int(InstallerKind::Unknown) << 0;
        QByteArray manySections = makePe(MachineI386, {text});
        put16(manySections, 0x80 + 6, 0xFFFF);
        QTest::newRow("section count past the table")
                << manySections << "x.exe" << int(InstallerKind::WindowsProgram) << int(MachineI386);
        QTest::newRow("batch file by name")
                << QByteArray("@echo off\r\n") << "INSTALL.CMD" << int(InstallerKind::BatchFile) << 0;
        QTest::newRow("script by its first line")
                << QByteArray("#!/bin/sh\nexit 0\n") << "setup" << int(InstallerKind::ShellScript) << 0;
        QTest::newRow("script by name") << QByteArray("exit 0\n") << "setup.sh" << int(InstallerKind::ShellScript) << 0;
        QTest::newRow("ELF") << QByteArray("\x7F"
                                           "ELF\x02\x01\x01",
                                           7)
                                        + QByteArray(60, '\0')
                             << "setup" << int(InstallerKind::NativeProgram) << 0;
        QTest::newRow("empty") << QByteArray() << "setup.exe" << int(InstallerKind::Unknown) << 0;
    }
    void craftedKinds()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, name);
        QFETCH(int, kind);
        QFETCH(int, machine);
        const InstallerInfo fromBytes = inspectInstallerBytes(bytes, name);
        QCOMPARE(int(fromBytes.kind), kind);
        QCOMPARE(int(fromBytes.machine), machine);

        // The same through the file, which reads the overlay on its own.
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        const InstallerInfo fromFile = inspectInstaller(QFile::encodeName(path));
        QVERIFY2(fromFile.error.isEmpty(), qPrintable(fromFile.error));
        QCOMPARE(int(fromFile.kind), kind);
        QCOMPARE(int(fromFile.machine), machine);
    }

    void overlayFarBehindTheHead()
    {
        // A setup whose image is larger than what is searched still shows its
        // overlay marker: the overlay is read where the sections end.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("big.exe"));
        const QByteArray bytes =
                makePe(MachineI386, {{".text", QByteArray(20 * 1024 * 1024, '\x90')}}, nsisFirstHeader());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        QCOMPARE(int(inspectInstaller(QFile::encodeName(path)).kind), int(InstallerKind::Nsis));
    }

    void unreadableThingsAreNotRead()
    {
        QTemporaryDir dir;
        const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("pipe.exe")));
        QVERIFY(::mkfifo(fifo.constData(), 0600) == 0);
        const InstallerInfo info = inspectInstaller(fifo); // would block if it read
        QCOMPARE(int(info.kind), int(InstallerKind::Unknown));
        QVERIFY(!info.error.isEmpty());
        const InstallerInfo missing = inspectInstaller(QFile::encodeName(dir.filePath(QStringLiteral("none.exe"))));
        QCOMPARE(int(missing.kind), int(InstallerKind::Unknown));
        QVERIFY(!missing.error.isEmpty());
        QCOMPARE(int(inspectInstaller("/bin/true").kind), int(InstallerKind::NativeProgram));
    }

    void realNsisInstaller()
    {
        const QString makensis = findTool("makensis");
        QVERIFY2(!makensis.isEmpty(), "makensis (package nsis) is needed for this test");
        QTemporaryDir dir;
        QFile script(dir.filePath(QStringLiteral("s.nsi")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("OutFile \"setup.exe\"\nSilentInstall silent\nSection\nSectionEnd\n");
        script.close();
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start(makensis, {QStringLiteral("-V1"), script.fileName()});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        const InstallerInfo info = inspectInstaller(QFile::encodeName(dir.filePath(QStringLiteral("setup.exe"))));
        QCOMPARE(int(info.kind), int(InstallerKind::Nsis));
        QCOMPARE(int(info.machine), int(MachineI386));
        QCOMPARE(silentSwitch(info.kind), QStringLiteral("/S"));
    }

    void realWindowsInstallerPackage()
    {
        const QString wixl = findTool("wixl");
        QVERIFY2(!wixl.isEmpty(), "wixl (package wixl) is needed for this test");
        QTemporaryDir dir;
        QFile payload(dir.filePath(QStringLiteral("readme.txt")));
        QVERIFY(payload.open(QIODevice::WriteOnly));
        payload.write("hello\n");
        payload.close();
        QFile wxs(dir.filePath(QStringLiteral("p.wxs")));
        QVERIFY(wxs.open(QIODevice::WriteOnly));
        wxs.write("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                  "<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">\n"
                  "  <Product Id=\"*\" Name=\"Probe\" Language=\"1033\" Version=\"1.0.0\" Manufacturer=\"Setupreel "
                  "tests\"\n"
                  "           UpgradeCode=\"11111111-2222-3333-4444-555555555555\">\n"
                  "    <Package InstallerVersion=\"200\" Compressed=\"yes\" />\n"
                  "    <Media Id=\"1\" Cabinet=\"p.cab\" EmbedCab=\"yes\" />\n"
                  "    <Directory Id=\"TARGETDIR\" Name=\"SourceDir\">\n"
                  "      <Directory Id=\"ProgramFilesFolder\">\n"
                  "        <Directory Id=\"INSTALLDIR\" Name=\"Probe\">\n"
                  "          <Component Id=\"C\" Guid=\"*\"><File Id=\"F\" Source=\"readme.txt\" /></Component>\n"
                  "        </Directory>\n"
                  "      </Directory>\n"
                  "    </Directory>\n"
                  "    <Feature Id=\"All\" Level=\"1\"><ComponentRef Id=\"C\" /></Feature>\n"
                  "  </Product>\n"
                  "</Wix>\n");
        wxs.close();
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start(wixl, {QStringLiteral("-o"), dir.filePath(QStringLiteral("p.msi")), wxs.fileName()});
        QVERIFY(p.waitForFinished(60000));
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
        const InstallerInfo info = inspectInstaller(QFile::encodeName(dir.filePath(QStringLiteral("p.msi"))));
        QCOMPARE(int(info.kind), int(InstallerKind::WindowsInstaller));
        QCOMPARE(silentSwitch(info.kind), QStringLiteral("/qn /norestart"));
    }
};

QTEST_GUILESS_MAIN(TestInstallerType)
#include "tst_installertype.moc"
