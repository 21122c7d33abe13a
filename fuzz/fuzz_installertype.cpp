// SPDX-License-Identifier: GPL-3.0-or-later
// Telling a setup file's kind from its bytes: whatever the bytes, a file on
// disk is told as the same bytes in memory are (also when it is larger than
// what is read at first), the name changes nothing but batch files and shell
// scripts, and only a Windows program has a machine.
#include "FuzzSupport.h"
#include "InstallerType.h"

#include <QFile>

#include <cstdint>
#include <cstdlib>

using namespace ShellAndWaitLogic;

namespace {

// The kind of a file of the bytes and then zeros up to size (a hole: quick).
InstallerInfo fromFile(const QByteArray &bytes, qint64 size)
{
    const QString path = scratchFolder("installertype") + QStringLiteral("/setup.exe");
    QFile f(path);
    check(f.open(QIODevice::WriteOnly | QIODevice::Truncate), "scratch file opens");
    check(f.write(bytes) == bytes.size() && f.resize(size), "scratch file written");
    f.close();
    return inspectInstaller(QFile::encodeName(path));
}

bool isProgram(InstallerKind kind)
{
    return isWindowsKind(kind) && kind != InstallerKind::WindowsInstaller && kind != InstallerKind::BatchFile;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    const InstallerInfo exe = inspectInstallerBytes(bytes, QStringLiteral("setup.exe"));
    check(exe.error.isEmpty(), "bytes in memory are always readable");
    check(isProgram(exe.kind) || exe.machine == MachineNone, "only a Windows program has a machine");
    check(!installerKindId(exe.kind).isEmpty() && !installerKindName(exe.kind).isEmpty(), "every kind has names");

    // Batch files and shell scripts are known by their names; a kind the bytes
    // tell stays, and a file that is no program, package or ELF file is one.
    const InstallerKind bat = inspectInstallerBytes(bytes, QStringLiteral("SETUP.CMD")).kind;
    const InstallerKind sh = inspectInstallerBytes(bytes, QStringLiteral("install.sh")).kind;
    if (exe.kind != InstallerKind::Unknown && exe.kind != InstallerKind::ShellScript) {
        check(bat == exe.kind && sh == exe.kind, "the name changes no kind the bytes tell");
    } else {
        check(bat == InstallerKind::Unknown || bat == InstallerKind::BatchFile, "a batch file's name");
        check(sh == InstallerKind::Unknown || sh == InstallerKind::ShellScript, "a shell script's name");
        check(exe.kind != InstallerKind::ShellScript || sh == InstallerKind::ShellScript, "a script stays one");
    }
    const char first = bytes.isEmpty() ? '\0' : bytes.at(0);
    if (first != 'M' && first != '\xD0' && first != '\x7F')
        check(bat == InstallerKind::BatchFile && sh == InstallerKind::ShellScript, "a text file is known by its name");

    const InstallerInfo file = fromFile(bytes, bytes.size());
    check(file.error.isEmpty() && file.kind == exe.kind && file.machine == exe.machine, "a file as its bytes");

    // Past the first read: a zero tail as large as the first read makes the
    // file's headers and sections come from reads at their offsets.
    const QByteArray padded = bytes + QByteArray(64 * 1024, '\0');
    const InstallerInfo paddedFile = fromFile(bytes, padded.size());
    const InstallerInfo paddedBytes = inspectInstallerBytes(padded, QStringLiteral("setup.exe"));
    check(paddedFile.kind == paddedBytes.kind && paddedFile.machine == paddedBytes.machine,
          "a large file as its bytes");
    return 0;
}
