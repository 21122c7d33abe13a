// SPDX-License-Identifier: GPL-3.0-or-later
// Saving and loading a full list (32,767 lines: the title and 32,766 programs)
// against plain code doing the same job on the same bytes, in the same run:
// a save is durable and atomic, so its reference writes a new file, syncs its
// data and renames it over the list; a load for installing against reading
// and decoding the bytes, a load into the editor against reading, decoding and
// splitting them into rows. Prints median times and ratios; the target is a
// ratio of at most 3. Then the peak memory of a process loading a list (for
// installing and into the editor), a 1 GiB sparse one and one of 1 MB: it is
// bounded by what a list can hold, not by the file's size, so both stay
// within the same fixed margin above the process before it read anything.
#include "BenchSupport.h"
#include "core/lists/ListFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <unistd.h>
#include <vector>

namespace {

constexpr int Lines = 32767;
constexpr int Repetitions = 15;

QStringList makeItems()
{
    static const char *const vendors[] = {"Adobe",  "Mozilla",          "VideoLAN",  "7-Zip",
                                          "Oracle", "Microsoft Office", "Notepad++", "Café Soft"};
    static const char *const switches[] = {
            "/S",  "/quiet /norestart",        "/qn REBOOT=ReallySuppress", "/VERYSILENT /SUPPRESSMSGBOXES", "",
            "-ms", "/s /v\"/qn ADDLOCAL=ALL\""};
    QStringList items;
    items.reserve(Lines - 1);
    for (int i = 0; i < Lines - 1; ++i) {
        const QString vendor = QString::fromUtf8(vendors[i % 8]);
        const QString sw = QString::fromUtf8(switches[i % 7]);
        QString path = QStringLiteral("C:\\Program Files (x86)\\Setup Files\\%1\\Release %2\\setup_%3.%4")
                               .arg(vendor)
                               .arg(i / 100)
                               .arg(i)
                               .arg(i % 3 == 0 ? "msi" : (i % 3 == 1 ? "exe" : "bat"));
        items << (sw.isEmpty() ? path : path + u' ' + sw);
    }
    return items;
}

double medianMs(std::vector<qint64> ns)
{
    std::sort(ns.begin(), ns.end());
    return ns[ns.size() / 2] / 1e6;
}

qint64 timeNs(const std::function<void()> &f)
{
    QElapsedTimer t;
    t.start();
    f();
    return t.nsecsElapsed();
}

// The durable, atomic write in its plainest form: a new file beside the
// target, written, its data synced, renamed over the target.
bool durableWrite(const QByteArray &path, const QByteArray &bytes)
{
    const QByteArray temp = path + ".new";
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    bool ok = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    ok &= ::fdatasync(fd) == 0;
    ok &= ::close(fd) == 0;
    return ok && ::rename(temp.constData(), path.constData()) == 0;
}

QString readAndDecode(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.readAll());
}

// The process's peak resident memory so far, in KiB (VmHWM).
qint64 peakKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// The child: loads the list both ways and prints its peak before and after.
int loadAndPrintPeak(const QString &path)
{
    const qint64 before = peakKiB();
    const ListFile::InstallText inst = ListFile::LoadListForInstalling(path);
    const ListFile::EditLoad edit = ListFile::LoadListForEditing(path);
    const bool loaded = inst.result == ListFile::LoadResult::Loaded && edit.result == ListFile::LoadResult::Loaded;
    std::printf("%lld %lld %d %lld\n", static_cast<long long>(before), static_cast<long long>(peakKiB()),
                loaded ? 1 : 0, static_cast<long long>(inst.lineCount));
    return 0;
}

struct Peak
{
    qint64 beforeKiB = -1, peakKiB = -1;
    bool loaded = false;
    int lineCount = 0;
};

Peak peakOfLoading(const QString &path)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--peak"), path});
    child.waitForFinished(-1);
    const QList<QByteArray> f = child.readAllStandardOutput().trimmed().split(' ');
    if (f.size() != 4)
        return {};
    return {f[0].toLongLong(), f[1].toLongLong(), f[2] == "1", f[3].toInt()};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--peak") == 0)
        return loadAndPrintPeak(QString::fromLocal8Bit(argv[2]));

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    const QString title = QStringLiteral("Workstation setup – all programs");
    const QStringList items = makeItems();
    const QByteArray bytes = ListFile::encodeList(title, items);
    const QString listPath = dir.filePath("bench.SR");
    const QString plainPath = dir.filePath("plain.SR");

    std::vector<qint64> plainWrite, save, plainRead, plainSplit, loadEdit, loadInstall;
    qsizetype sink = 0;
    bool ok = true;
    const QByteArray plainName = QFile::encodeName(plainPath);
    for (int r = 0; r < Repetitions; ++r) {
        plainWrite.push_back(timeNs([&] { ok &= durableWrite(plainName, bytes); }));
        save.push_back(timeNs([&] { ok &= ListFile::SaveListFile(listPath, title, items).ok; }));
        // As with the loads, what is read is freed outside the timed part.
        QString text;
        plainRead.push_back(timeNs([&] { text = readAndDecode(plainPath); }));
        sink += text.size();
        QStringList split;
        plainSplit.push_back(timeNs([&] {
            split = readAndDecode(plainPath).split(QStringLiteral("\r\n"));
            split.removeLast(); // the empty text after the last line's end
        }));
        ok &= split.size() == Lines;
        sink += split.size();
        // The loaded lists are freed outside the timed part, as the windows
        // keep them until later.
        ListFile::EditLoad edit;
        loadEdit.push_back(timeNs([&] { edit = ListFile::LoadListForEditing(listPath); }));
        ok &= edit.rows.size() == Lines && edit.rows.mid(1) == items;
        sink += edit.rows.size();
        ListFile::InstallText inst;
        loadInstall.push_back(timeNs([&] { inst = ListFile::LoadListForInstalling(listPath); }));
        ok &= inst.lineCount == Lines && inst.title == title;
        sink += inst.text.size();
    }

    QFile check(listPath);
    check.open(QIODevice::ReadOnly);
    ok &= check.readAll() == bytes;

    const double w = medianMs(plainWrite), s = medianMs(save), rd = medianMs(plainRead), sp = medianMs(plainSplit),
                 le = medianMs(loadEdit), li = medianMs(loadInstall);
    std::printf("List file benchmark: %d lines, %lld bytes, median of %d runs, results %s (checksum %lld)\n", Lines,
                static_cast<long long>(bytes.size()), Repetitions, ok ? "correct" : "WRONG",
                static_cast<long long>(sink));
    const QString lines = number(Lines);
    printRatio(QStringLiteral("Save a list of %1 lines").arg(lines),
               QStringLiteral("write + fdatasync + rename of the same bytes"), s, w, 3.0);
    printRatio(QStringLiteral("Load a list of %1 lines for installing").arg(lines),
               QStringLiteral("read + decode of the same bytes"), li, rd, 3.0);
    printRatio(QStringLiteral("Load a list of %1 lines into the editor").arg(lines),
               QStringLiteral("read + decode + split into rows"), le, sp, 3.0);

    // A sparse list: its title, then a hole of 1 GiB with no line end (a last
    // line no load reads). And a list of 1 MB of program lines.
    const QString sparse = dir.filePath("sparse.SR"), small = dir.filePath("small.SR");
    ok &= writeFile(sparse, ">Sparse\r\n", false, qint64(1) << 30);
    QByteArray smallBytes = ListFile::encodeList(title, items);
    smallBytes.truncate(smallBytes.lastIndexOf("\r\n", 1000 * 1000) + 2);
    ok &= writeFile(small, smallBytes);
    const Peak bigPeak = peakOfLoading(sparse), smallPeak = peakOfLoading(small);
    ok &= bigPeak.loaded && bigPeak.lineCount == 1 && smallPeak.loaded && smallPeak.lineCount > 1000;
    // What a process holds before reading, and a fixed margin over it: a
    // list of 1 MB takes a few MB, and so must any file whatever its size.
    constexpr qint64 MarginKiB = 32 * 1024;
    const qint64 limitKiB = qMax(bigPeak.beforeKiB, smallPeak.beforeKiB) + MarginKiB;
    const auto mb = [](qint64 kib) { return QString::number(kib / 1024.0, 'f', 1); };
    printResult(QStringLiteral("Peak memory loading a list, 1 GiB sparse / %1 MB").arg(mb(smallBytes.size() / 1024)),
                QStringLiteral("the process before reading (%1 MB)").arg(mb(bigPeak.beforeKiB)),
                QStringLiteral("%1 MB / %2 MB").arg(mb(bigPeak.peakKiB), mb(smallPeak.peakKiB)),
                QStringLiteral("≤ %1 MB for both, whatever the size").arg(mb(limitKiB)),
                bigPeak.peakKiB > 0 && bigPeak.peakKiB <= limitKiB && smallPeak.peakKiB > 0
                        && smallPeak.peakKiB <= limitKiB);
    return ok ? 0 : 1;
}
