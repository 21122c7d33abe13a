// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Setup files made byte by byte for the kinds the distribution has no tool to
// build: a minimal PE program with chosen sections and overlay, a compound
// file with a chosen root class id, and the markers the installers leave.
#include <QByteArray>
#include <QList>

namespace CraftedSetups {

inline void put16(QByteArray &b, int off, quint16 v)
{
    b[off] = char(v & 0xFF);
    b[off + 1] = char(v >> 8);
}

inline void put32(QByteArray &b, int off, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b[off + i] = char((v >> (8 * i)) & 0xFF);
}

struct Section
{
    QByteArray name;
    QByteArray data;
};

constexpr quint16 I386 = 0x014C;
constexpr quint16 Amd64 = 0x8664;

// DOS header, PE header, an empty optional header of the usual size, the
// sections each at a 512-byte boundary in whole 512-byte blocks, the overlay.
inline QByteArray pe(quint16 machine, const QList<Section> &sections, const QByteArray &overlay = {})
{
    const int peOff = 0x80;
    const int optSize = 0xE0;
    const int table = peOff + 24 + optSize;
    QByteArray b(table + 40 * int(sections.size()), '\0');
    b[0] = 'M';
    b[1] = 'Z';
    put32(b, 0x3C, peOff);
    b.replace(peOff, 4, QByteArray("PE\0\0", 4));
    put16(b, peOff + 4, machine);
    put16(b, peOff + 6, quint16(sections.size()));
    put16(b, peOff + 20, optSize);
    const auto align = [&b] {
        if (b.size() % 512)
            b.append(QByteArray(512 - b.size() % 512, '\0'));
    };
    align();
    for (int i = 0; i < int(sections.size()); ++i) {
        const int s = table + 40 * i;
        b.replace(s, qMin<int>(8, int(sections[i].name.size())), sections[i].name.left(8));
        const int start = int(b.size());
        put32(b, s + 20, quint32(start));
        b.append(sections[i].data);
        align();
        put32(b, s + 16, quint32(b.size() - start));
    }
    return b + overlay;
}

inline Section code() { return {".text", QByteArray(600, '\x90')}; }

inline QByteArray innoSetup()
{
    return pe(I386, {code(), {".rsrc", QByteArray(40, 'r') + QByteArray("rDlPtS02\x87\x65\x56\x78", 12)}});
}

inline QByteArray wixBurn()
{
    return pe(I386, {code(), {".wixburn", QByteArray("\x00\x43\xF1\x00\x02\x00\x00\x00", 8)}});
}

inline QByteArray sevenZipSfx() { return pe(I386, {code()}, ";!@Install@!UTF-8!\nTitle=\"x\"\n"); }

inline QByteArray nsisFirstHeader()
{
    QByteArray h(28, '\0');
    h.replace(4, 16,
              QByteArray("\xEF\xBE\xAD\xDE"
                         "NullsoftInst",
                         16));
    return h;
}

// A compound file whose root storage carries clsid.
inline QByteArray compound(const QByteArray &clsid)
{
    QByteArray b(512 * 3, '\0');
    b.replace(0, 8, QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8));
    put16(b, 0x1E, 9); // 512-byte sectors
    put32(b, 0x30, 1); // the directory at sector 1, file offset 1024
    b.replace(1024 + 0x50, 16, clsid);
    return b;
}

inline QByteArray msiClsid()
{
    return QByteArray("\x84\x10\x0C\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16);
}

} // namespace CraftedSetups
