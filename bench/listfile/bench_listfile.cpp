// Saving and loading a full list (32,767 lines: the title and 32,766 programs)
// against a plain write and read of the same bytes, in the same run.
// Prints median times and ratios; the target is a ratio of at most 3.
#include "lists/ListFile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int Lines = 32767;
constexpr int Repetitions = 15;

QStringList makeItems()
{
    static const char *const vendors[] = {"Adobe", "Mozilla", "VideoLAN", "7-Zip", "Oracle",
                                          "Microsoft Office", "Notepad++", "Café Soft"};
    static const char *const switches[] = {"/S", "/quiet /norestart", "/qn REBOOT=ReallySuppress",
                                           "/VERYSILENT /SUPPRESSMSGBOXES", "", "-ms",
                                           "/s /v\"/qn ADDLOCAL=ALL\""};
    QStringList items;
    items.reserve(Lines - 1);
    for (int i = 0; i < Lines - 1; ++i) {
        const QString vendor = QString::fromUtf8(vendors[i % 8]);
        const QString sw = QString::fromUtf8(switches[i % 7]);
        QString path = QStringLiteral("C:\\Program Files (x86)\\Setup Files\\%1\\Release %2\\setup_%3.%4")
                           .arg(vendor).arg(i / 100).arg(i)
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

} // namespace

int main()
{
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    const QString title = QStringLiteral("Workstation setup – all programs");
    const QStringList items = makeItems();
    const QByteArray bytes = ListFile::EncodeList(title, items);
    const QString listPath = dir.filePath("bench.SR");
    const QString plainPath = dir.filePath("plain.SR");

    std::vector<qint64> plainWrite, save, plainRead, loadEdit, loadInstall;
    qsizetype sink = 0;
    bool ok = true;
    for (int r = 0; r < Repetitions; ++r) {
        plainWrite.push_back(timeNs([&] {
            QFile f(plainPath);
            ok &= f.open(QIODevice::WriteOnly | QIODevice::Truncate);
            ok &= f.write(bytes) == bytes.size();
            f.close();
        }));
        save.push_back(timeNs([&] { ok &= ListFile::SaveListFile(listPath, title, items).ok; }));
        plainRead.push_back(timeNs([&] {
            QFile f(plainPath);
            ok &= f.open(QIODevice::ReadOnly);
            sink += f.readAll().size();
        }));
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

    const double w = medianMs(plainWrite), s = medianMs(save), rd = medianMs(plainRead),
                 le = medianMs(loadEdit), li = medianMs(loadInstall);
    std::printf("List file benchmark: %d lines, %lld bytes, median of %d runs\n", Lines,
                static_cast<long long>(bytes.size()), Repetitions);
    std::printf("  %-28s %9.3f ms\n", "plain write (QFile)", w);
    std::printf("  %-28s %9.3f ms   ratio %5.2fx  (target <= 3x) %s\n", "SaveListFile", s, s / w,
                s / w <= 3.0 ? "ok" : "OVER");
    std::printf("  %-28s %9.3f ms\n", "plain read (QFile readAll)", rd);
    std::printf("  %-28s %9.3f ms   ratio %5.2fx  (target <= 3x) %s\n", "LoadListForEditing", le,
                le / rd, le / rd <= 3.0 ? "ok" : "OVER");
    std::printf("  %-28s %9.3f ms   ratio %5.2fx  (target <= 3x) %s\n", "LoadListForInstalling", li,
                li / rd, li / rd <= 3.0 ? "ok" : "OVER");
    std::printf("  results %s (checksum %lld)\n", ok ? "correct" : "WRONG",
                static_cast<long long>(sink));
    return 0;
}
