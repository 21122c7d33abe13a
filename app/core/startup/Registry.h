// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// This platform has no registry. The about box still looks its tool up the way
// it does on the original one, through these few calls over a store of the
// program's own, filled from what is installed here.
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace Reg {
constexpr qint32 HKEY_CLASSES_ROOT = static_cast<qint32>(0x80000000u);
constexpr qint32 HKEY_CURRENT_USER = static_cast<qint32>(0x80000001u);
constexpr qint32 HKEY_LOCAL_MACHINE = static_cast<qint32>(0x80000002u);
constexpr qint32 HKEY_USERS = static_cast<qint32>(0x80000003u);

constexpr qint32 KEY_ALL_ACCESS = 0x2003F;

constexpr qint32 REG_SZ = 1;
constexpr qint32 REG_BINARY = 3;
constexpr qint32 REG_DWORD = 4;

constexpr qint32 ERROR_SUCCESS = 0;
constexpr qint32 ERROR_FILE_NOT_FOUND = 2;
constexpr qint32 ERROR_INVALID_HANDLE = 6;
constexpr qint32 ERROR_MORE_DATA = 234;
}

class Registry
{
public:
    // The program's store. It fills itself from the system on its first lookup
    // unless it was filled or cleared before.
    static Registry &instance();

    // Fills the store from what is installed here (the first lookup does).
    static void populateFromSystem();
    // The same, searching the given folders instead of PATH.
    void populate(const QStringList &searchFolders);

    // Empties the store; an empty store stays empty (it no longer fills itself).
    void clear();
    void setValue(qint32 root, const QString &key, const QString &name, qint32 type, const QByteArray &data);
    // A string value as the platform stores it: 8-bit text with its terminating zero.
    void setString(qint32 root, const QString &key, const QString &name, const QString &text);
    bool keyExists(qint32 root, const QString &key) const;

    // The advapi32 calls, with their results: ERROR_SUCCESS or an error code.
    qint32 RegOpenKeyEx(qint32 hKey, const QString &subKey, qint32 options, qint32 samDesired, qint32 &phkResult);
    // data is the caller's buffer and cbData its size; on success the value's
    // bytes are at its start and cbData is their count.
    qint32 RegQueryValueEx(qint32 hKey, const QString &valueName, qint32 &type, QByteArray &data, qint32 &cbData);
    qint32 RegCloseKey(qint32 hKey);

    int openKeyCount() const { return int(m_open.size()); }

private:
    struct Value
    {
        qint32 type = 0;
        QByteArray data;
    };
    struct OpenKey
    {
        qint32 root = 0;
        QString path;
    };

    static bool isRoot(qint32 hKey);
    static QString fold(qint32 root, const QString &path);
    void fillIfNeeded();

    // "root|key path" folded -> value name folded -> value
    QHash<QString, QHash<QString, Value>> m_keys;
    QHash<qint32, OpenKey> m_open;
    qint32 m_nextHandle = 0x100;
    bool m_filled = false;
};

// Reads a value as text. Strings come as they are, 32-bit numbers as "&h"
// followed by their bytes in hexadecimal, highest first; any other type leaves
// KeyVal as passed. On failure KeyVal is empty and the result false.
bool GetKeyValue(qint32 &KeyRoot, QString &KeyName, QString &SubKeyRef, QString &KeyVal);

// The decoding step of GetKeyValue, given the value's bytes cut to its size.
void decodeKeyValue(qint32 type, QByteArray bytes, QString &KeyVal);
