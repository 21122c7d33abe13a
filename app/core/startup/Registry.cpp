// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/startup/Registry.h"

#include "core/startup/SysInfo.h"

#include <QDir>

Registry &Registry::instance()
{
    static Registry registry;
    return registry;
}

void Registry::populateFromSystem()
{
    instance().populate(qEnvironmentVariable("PATH").split(QDir::listSeparator(), Qt::SkipEmptyParts));
}

void Registry::populate(const QStringList &searchFolders)
{
    clear();
    SysInfo::registerTool(*this, searchFolders);
}

void Registry::clear()
{
    m_keys.clear();
    m_filled = true;
}

void Registry::fillIfNeeded()
{
    if (!m_filled)
        populateFromSystem();
}

QString Registry::fold(qint32 root, const QString &path)
{
    // Key and value names ignore letter case, as on the original platform.
    return QString::number(quint32(root), 16) + QLatin1Char('|') + path.toCaseFolded();
}

bool Registry::isRoot(qint32 hKey)
{
    return hKey == Reg::HKEY_CLASSES_ROOT || hKey == Reg::HKEY_CURRENT_USER || hKey == Reg::HKEY_LOCAL_MACHINE
           || hKey == Reg::HKEY_USERS;
}

void Registry::setValue(qint32 root, const QString &key, const QString &name, qint32 type, const QByteArray &data)
{
    m_filled = true;
    m_keys[fold(root, key)].insert(name.toCaseFolded(), Value{type, data});
}

void Registry::setString(qint32 root, const QString &key, const QString &name, const QString &text)
{
    setValue(root, key, name, Reg::REG_SZ, text.toLocal8Bit() + '\0');
}

bool Registry::keyExists(qint32 root, const QString &key) const
{
    const QString wanted = fold(root, key);
    const QString below = wanted + QLatin1Char('\\');
    for (auto it = m_keys.cbegin(); it != m_keys.cend(); ++it) {
        if (it.key() == wanted || it.key().startsWith(below))
            return true;
    }
    return false;
}

qint32 Registry::RegOpenKeyEx(qint32 hKey, const QString &subKey, qint32 /*options*/, qint32 /*samDesired*/,
                              qint32 &phkResult)
{
    fillIfNeeded();
    phkResult = 0;
    OpenKey opened;
    if (isRoot(hKey)) {
        opened = OpenKey{hKey, subKey};
    } else if (m_open.contains(hKey)) {
        const OpenKey &parent = m_open.value(hKey);
        opened.root = parent.root;
        opened.path = parent.path.isEmpty() || subKey.isEmpty() ? parent.path + subKey
                                                                : parent.path + QLatin1Char('\\') + subKey;
    } else {
        return Reg::ERROR_INVALID_HANDLE;
    }
    if (!opened.path.isEmpty() && !keyExists(opened.root, opened.path))
        return Reg::ERROR_FILE_NOT_FOUND;
    phkResult = m_nextHandle++;
    m_open.insert(phkResult, opened);
    return Reg::ERROR_SUCCESS;
}

qint32 Registry::RegQueryValueEx(qint32 hKey, const QString &valueName, qint32 &type, QByteArray &data, qint32 &cbData)
{
    if (!m_open.contains(hKey))
        return Reg::ERROR_INVALID_HANDLE;
    const OpenKey key = m_open.value(hKey);
    const auto values = m_keys.constFind(fold(key.root, key.path));
    if (values == m_keys.cend() || !values->contains(valueName.toCaseFolded()))
        return Reg::ERROR_FILE_NOT_FOUND;
    const Value value = values->value(valueName.toCaseFolded());
    const qint32 size = qint32(value.data.size());
    type = value.type;
    if (size > cbData || size > data.size()) {
        cbData = size;
        return Reg::ERROR_MORE_DATA;
    }
    data.replace(0, size, value.data);
    cbData = size;
    return Reg::ERROR_SUCCESS;
}

qint32 Registry::RegCloseKey(qint32 hKey)
{
    if (isRoot(hKey))
        return Reg::ERROR_SUCCESS;
    return m_open.remove(hKey) ? Reg::ERROR_SUCCESS : Reg::ERROR_INVALID_HANDLE;
}

void decodeKeyValue(qint32 type, QByteArray bytes, QString &KeyVal)
{
    // A terminating zero is not part of the value.
    if (!bytes.isEmpty() && bytes.endsWith('\0'))
        bytes.chop(1);
    switch (type) {
    case Reg::REG_SZ: KeyVal = QString::fromLocal8Bit(bytes); break;
    case Reg::REG_DWORD: {
        QString hex;
        for (qsizetype i = bytes.size() - 1; i >= 0; --i)
            hex += QString::number(quint8(bytes.at(i)), 16).toUpper();
        KeyVal = QStringLiteral("&h") + hex;
        break;
    }
    default: break;
    }
}

bool GetKeyValue(qint32 &KeyRoot, QString &KeyName, QString &SubKeyRef, QString &KeyVal)
{
    Registry &registry = Registry::instance();
    qint32 hKey = 0;
    const auto fail = [&] {
        KeyVal.clear();
        registry.RegCloseKey(hKey);
        return false;
    };

    if (registry.RegOpenKeyEx(KeyRoot, KeyName, 0, Reg::KEY_ALL_ACCESS, hKey) != Reg::ERROR_SUCCESS)
        return fail();

    QByteArray buffer(1024, '\0');
    qint32 size = qint32(buffer.size());
    qint32 type = 0;
    if (registry.RegQueryValueEx(hKey, SubKeyRef, type, buffer, size) != Reg::ERROR_SUCCESS)
        return fail();

    buffer.truncate(size);
    decodeKeyValue(type, buffer, KeyVal);
    registry.RegCloseKey(hKey);
    return true;
}
