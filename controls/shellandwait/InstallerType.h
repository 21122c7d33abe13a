// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What kind of setup program a file is, read from its bytes only; a setup
// file is never started to learn what it is. The kind picks the table that
// turns an exit code into an outcome, and the silent switch to suggest.
#include <QByteArray>
#include <QString>

namespace ShellAndWaitLogic {

enum class InstallerKind {
    Unknown,          // unreadable, or nothing known
    WindowsInstaller, // .msi package
    Nsis,
    InnoSetup,
    WixBurn,
    InstallShield,
    SevenZipSfx,
    WindowsProgram, // any other PE program
    BatchFile,
    ShellScript,
    NativeProgram, // ELF
};

enum PeMachine : quint16 {
    MachineNone = 0,
    MachineI386 = 0x014C,
    MachineAmd64 = 0x8664,
    MachineArm64 = 0xAA64,
};

struct InstallerInfo
{
    InstallerKind kind = InstallerKind::Unknown;
    quint16 machine = MachineNone; // PE files only
    QString error;                 // why the file could not be read
    bool shebang = false;          // it begins with "#!"
};

// path: the file's bytes as the file system names it.
InstallerInfo inspectInstaller(const QByteArray &path);

// The same for bytes already read (the whole file, or its beginning when the
// file is larger) and the file's name, which only batch files and shell
// scripts are known by.
InstallerInfo inspectInstallerBytes(const QByteArray &bytes, const QString &fileName);

// Stable names for reports and --json: "msi", "nsis", "inno", "burn",
// "installshield", "7zip-sfx", "windows", "batch", "shell", "native", "unknown".
QString installerKindId(InstallerKind kind);
// Readable names: "Windows Installer package", "NSIS", …
QString installerKindName(InstallerKind kind);
// "x86", "x86-64", "ARM64", "0x1c4" for another, empty for none.
QString machineName(quint16 machine);
// The switch that installs the kind silently, empty when none is known.
QString silentSwitch(InstallerKind kind);
bool isWindowsKind(InstallerKind kind);

} // namespace ShellAndWaitLogic
