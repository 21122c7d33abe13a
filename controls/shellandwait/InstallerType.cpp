// SPDX-License-Identifier: GPL-3.0-or-later
#include "InstallerType.h"

#include "core/io/FileIO.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ShellAndWaitLogic {

namespace {

// How much of a program's image is searched for resource markers (Inno's
// loader table, InstallShield's version information); setup stubs are small,
// the payload lies in the overlay behind them.
constexpr qint64 ImageScanLimit = 16 * 1024 * 1024;
// How much of the overlay is read: every marker sits at or near its start.
constexpr qint64 OverlayScanLimit = 64 * 1024;
// What is read of every file at first: the headers, the section table and
// small scripts; the rest only where the headers point.
constexpr qint64 HeadBytes = 64 * 1024;

quint16 u16(const QByteArray &b, qint64 off)
{
    if (off < 0 || off + 2 > b.size())
        return 0;
    const auto *p = reinterpret_cast<const uchar *>(b.constData() + off);
    return quint16(p[0] | (p[1] << 8));
}

quint32 u32(const QByteArray &b, qint64 off)
{
    if (off < 0 || off + 4 > b.size())
        return 0;
    const auto *p = reinterpret_cast<const uchar *>(b.constData() + off);
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

bool hasAt(const QByteArray &b, qint64 off, QByteArrayView what)
{
    return off >= 0 && off + what.size() <= b.size() && QByteArrayView(b).sliced(off, what.size()) == what;
}

// Reads len bytes at off of the file (or fewer at its end).
using ReadAt = QByteArray (*)(void *context, qint64 off, qint64 len);

struct Source
{
    QByteArray head; // the file's first bytes
    qint64 size = 0; // the whole file's size
    ReadAt read = nullptr;
    void *context = nullptr;

    QByteArray at(qint64 off, qint64 len) const
    {
        if (off >= 0 && off + len <= head.size())
            return head.mid(off, len);
        if (!read || off >= size)
            return head.mid(off, len);
        return read(context, off, len);
    }
};

struct PeSection
{
    QByteArray name;
    quint32 rawSize = 0;
    quint32 rawOffset = 0;
};

bool isCompoundFile(const QByteArray &b) { return hasAt(b, 0, QByteArrayView("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)); }

InstallerKind compoundKind(const Source &src)
{
    const quint16 shift = u16(src.head, 0x1E);
    if (shift < 7 || shift > 16)
        return InstallerKind::Unknown;
    const quint32 dirSector = u32(src.head, 0x30);
    const qint64 rootEntry = (qint64(dirSector) + 1) << shift;
    const QByteArray clsid = src.at(rootEntry + 0x50, 16);
    // {000C1084-0000-0000-C000-000000000046}: a Windows Installer package.
    static const QByteArray msi("\x84\x10\x0C\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16);
    return clsid == msi ? InstallerKind::WindowsInstaller : InstallerKind::Unknown;
}

// glibc's memmem: far quicker than a search byte by byte over a whole image.
bool contains(const QByteArray &haystack, QByteArrayView needle)
{
    return ::memmem(haystack.constData(), size_t(haystack.size()), needle.data(), size_t(needle.size())) != nullptr;
}

bool nsisHeaderAt(const QByteArray &b, qint64 off)
{
    return hasAt(b, off + 4,
                 QByteArrayView("\xEF\xBE\xAD\xDE"
                                "NullsoftInst",
                                16))
           || hasAt(b, off + 4,
                    QByteArrayView("\xED\xBE\xAD\xDE"
                                   "NullSoftInst",
                                   16))
           || hasAt(b, off + 4, QByteArrayView("nsisinstall"));
}

bool nsisInSteps(const QByteArray &b)
{
    for (qint64 off = 0; off + 20 <= b.size(); off += 512) {
        if (nsisHeaderAt(b, off))
            return true;
    }
    return false;
}

QByteArray utf16(const char *ascii)
{
    QByteArray out;
    for (const char *p = ascii; *p; ++p) {
        out.append(*p);
        out.append('\0');
    }
    return out;
}

InstallerKind peKind(const Source &src, quint16 *machine)
{
    const QByteArray &b = src.head;
    const quint32 pe = u32(b, 0x3C);
    if (!hasAt(b, pe, QByteArrayView("PE\0\0", 4)))
        return InstallerKind::Unknown;
    *machine = u16(b, pe + 4);
    const quint16 sectionCount = u16(b, pe + 6);
    const quint16 optionalSize = u16(b, pe + 20);
    const qint64 table = qint64(pe) + 24 + optionalSize;
    QList<PeSection> sections;
    qint64 imageEnd = 0;
    const int readable = qMin<int>(sectionCount, 96);
    const QByteArray headers = src.at(0, table + qint64(readable) * 40);
    for (int i = 0; i < readable; ++i) {
        const qint64 s = table + qint64(i) * 40;
        if (s + 40 > headers.size())
            break;
        PeSection sec;
        sec.name = headers.mid(s, 8);
        const qsizetype nul = sec.name.indexOf('\0');
        if (nul >= 0)
            sec.name.truncate(nul);
        sec.rawSize = u32(headers, s + 16);
        sec.rawOffset = u32(headers, s + 20);
        if (sec.rawSize)
            imageEnd = qMax(imageEnd, qint64(sec.rawOffset) + sec.rawSize);
        sections.append(sec);
    }

    for (const PeSection &sec : sections) {
        // The Burn engine's own section; its data begins with the magic 0x00F14300.
        if (sec.name == ".wixburn" && u32(src.at(sec.rawOffset, 4), 0) == 0x00F14300)
            return InstallerKind::WixBurn;
    }

    // The image as far as its sections go; the payload behind it is no part
    // of it, and searching it is what made a large setup slow to tell.
    const QByteArray image = imageEnd > 0 ? src.at(0, qMin(imageEnd, ImageScanLimit)) : b;
    // The overlay's beginning: the markers sit there in every real setup.
    const QByteArray overlay = imageEnd > 0 && imageEnd < src.size ? src.at(imageEnd, OverlayScanLimit) : QByteArray();
    // What a few bytes tell first, then the searches.
    if (overlay.startsWith(";!@Install@!UTF-8!") || overlay.startsWith(QByteArrayView("7z\xBC\xAF\x27\x1C", 6)))
        return InstallerKind::SevenZipSfx;
    if (hasAt(image, 0x30, "Inno"))
        return InstallerKind::InnoSetup;
    if (nsisInSteps(overlay) || nsisInSteps(image))
        return InstallerKind::Nsis;
    if (contains(image, QByteArrayView("rDlPtS02\x87\x65\x56\x78", 12))
        || contains(image, QByteArrayView("rDlPtS\xCD\xE6\xD7\x7B\x0B\x2A", 12))
        || contains(image, QByteArrayView("nS5W7dT\x83\xAA\x1B\x0F\x6A", 12))
        || contains(image, "Inno Setup Setup Data (") || contains(overlay, "Inno Setup Setup Data ("))
        return InstallerKind::InnoSetup;
    static const QByteArray installShieldUtf16 = utf16("InstallShield");
    if (contains(image, installShieldUtf16) || contains(image, "InstallShield") || contains(overlay, "ISSetupStream")
        || contains(overlay, "ISc("))
        return InstallerKind::InstallShield;
    return InstallerKind::WindowsProgram;
}

InstallerInfo classify(const Source &src, const QString &fileName)
{
    InstallerInfo info;
    const QByteArray &b = src.head;
    info.shebang = b.startsWith("#!");
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (hasAt(b, 0, "MZ")) {
        info.kind = peKind(src, &info.machine);
        if (info.kind == InstallerKind::Unknown)
            info.machine = MachineNone;
        return info;
    }
    if (isCompoundFile(b)) {
        info.kind = compoundKind(src);
        return info;
    }
    if (hasAt(b, 0,
              QByteArrayView("\x7F"
                             "ELF",
                             4))) {
        info.kind = InstallerKind::NativeProgram;
        return info;
    }
    if (suffix == QLatin1String("bat") || suffix == QLatin1String("cmd")) {
        info.kind = InstallerKind::BatchFile;
        return info;
    }
    if (hasAt(b, 0, "#!") || suffix == QLatin1String("sh"))
        info.kind = InstallerKind::ShellScript;
    return info;
}

QByteArray readFd(void *context, qint64 off, qint64 len)
{
    const int fd = *static_cast<int *>(context);
    QByteArray out(len, Qt::Uninitialized);
    const qsizetype got = FileIO::readUpTo(fd, out.data(), size_t(len), off_t(off));
    out.truncate(qMax<qsizetype>(got, 0));
    return out;
}

} // namespace

InstallerInfo inspectInstallerBytes(const QByteArray &bytes, const QString &fileName)
{
    Source src;
    src.head = bytes;
    src.size = bytes.size();
    return classify(src, fileName);
}

InstallerInfo inspectInstaller(const QByteArray &path)
{
    const QString name = QString::fromUtf8(path);
    const FileIO::Fd file = FileIO::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    InstallerInfo info;
    if (!file.isOpen()) {
        info.error = FileIO::errorText(errno);
        return info;
    }
    int fd = file.get();
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        // A fifo or a device is never read: it could block or never end.
        info.error = QStringLiteral("Not a regular file");
        return info;
    }
    Source src;
    src.size = st.st_size;
    src.context = &fd;
    src.read = readFd;
    src.head = readFd(&fd, 0, qMin<qint64>(st.st_size, HeadBytes));
    info = classify(src, name);
    return info;
}

QString installerKindId(InstallerKind kind)
{
    switch (kind) {
    case InstallerKind::WindowsInstaller: return QStringLiteral("msi");
    case InstallerKind::Nsis: return QStringLiteral("nsis");
    case InstallerKind::InnoSetup: return QStringLiteral("inno");
    case InstallerKind::WixBurn: return QStringLiteral("burn");
    case InstallerKind::InstallShield: return QStringLiteral("installshield");
    case InstallerKind::SevenZipSfx: return QStringLiteral("7zip-sfx");
    case InstallerKind::WindowsProgram: return QStringLiteral("windows");
    case InstallerKind::BatchFile: return QStringLiteral("batch");
    case InstallerKind::ShellScript: return QStringLiteral("shell");
    case InstallerKind::NativeProgram: return QStringLiteral("native");
    case InstallerKind::Unknown: break;
    }
    return QStringLiteral("unknown");
}

QString installerKindName(InstallerKind kind)
{
    switch (kind) {
    case InstallerKind::WindowsInstaller: return QStringLiteral("Windows Installer package");
    case InstallerKind::Nsis: return QStringLiteral("NSIS installer");
    case InstallerKind::InnoSetup: return QStringLiteral("Inno Setup installer");
    case InstallerKind::WixBurn: return QStringLiteral("WiX Burn bundle");
    case InstallerKind::InstallShield: return QStringLiteral("InstallShield installer");
    case InstallerKind::SevenZipSfx: return QStringLiteral("7-Zip self-extractor");
    case InstallerKind::WindowsProgram: return QStringLiteral("Windows program");
    case InstallerKind::BatchFile: return QStringLiteral("Batch file");
    case InstallerKind::ShellScript: return QStringLiteral("Shell script");
    case InstallerKind::NativeProgram: return QStringLiteral("Native program");
    case InstallerKind::Unknown: break;
    }
    return QStringLiteral("Unknown");
}

QString machineName(quint16 machine)
{
    switch (machine) {
    case MachineNone: return QString();
    case MachineI386: return QStringLiteral("x86");
    case MachineAmd64: return QStringLiteral("x86-64");
    case MachineArm64: return QStringLiteral("ARM64");
    default: break;
    }
    return QStringLiteral("0x%1").arg(machine, 0, 16);
}

QString silentSwitch(InstallerKind kind)
{
    switch (kind) {
    case InstallerKind::WindowsInstaller: return QStringLiteral("/qn /norestart");
    case InstallerKind::Nsis: return QStringLiteral("/S");
    case InstallerKind::InnoSetup: return QStringLiteral("/SP- /VERYSILENT /SUPPRESSMSGBOXES /NORESTART");
    case InstallerKind::WixBurn: return QStringLiteral("/quiet /norestart");
    case InstallerKind::InstallShield: return QStringLiteral("/s /v\"/qn\"");
    default: break;
    }
    return QString();
}

bool isWindowsKind(InstallerKind kind)
{
    switch (kind) {
    case InstallerKind::WindowsInstaller:
    case InstallerKind::Nsis:
    case InstallerKind::InnoSetup:
    case InstallerKind::WixBurn:
    case InstallerKind::InstallShield:
    case InstallerKind::SevenZipSfx:
    case InstallerKind::WindowsProgram:
    case InstallerKind::BatchFile: return true;
    default: return false;
    }
}

} // namespace ShellAndWaitLogic
