// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A lock on a list: LIST.SR.lock beside it holds the SHA-256 of the list's
// own bytes and of each program file the list's lines resolve to, written as
// sha256sum writes its lines, so `sha256sum -c LIST.SR.lock` in the list's
// folder checks it by hand:
//   # setupreel-lock/1 list-sha256=<hex>
//   <hex>  setups/office-setup.exe
// A run of a locked list refuses the list when its bytes changed, and starts
// no program whose file differs from the one locked. QtCore only.
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

class ListLock
{
public:
    // The error a program gets that is not started because its file differs
    // from the lock: outside the numbers the control libraries use.
    static constexpr int MismatchError = 321;

    enum class Integrity { Unlocked, Verified, Mismatch };
    // "unlocked", "verified", "mismatch", as the report writes them.
    static QString integrityId(Integrity integrity);

    // LIST.SR.lock for LIST.SR.
    static QString lockFileOf(const QString &listFile);

    // The SHA-256 of a regular file's bytes in lower-case hex, read in
    // chunks; pace() is called between them (a window's events keep
    // flowing while a large setup is read). Empty and *error when it could
    // not be read.
    static QString sha256Of(const QByteArray &file, QString *error = nullptr, const std::function<void()> &pace = {});

    // Locks the list loaded as text (lineCount: its carriage returns) from
    // listFile: empty, or why no lock was written (a line whose file was not
    // found or could not be read is named). *files: the files locked.
    static QString write(const QString &listFile, const QString &text, int lineCount, int *files = nullptr);

    // What a program file is, measured against the lock.
    struct FileCheck
    {
        Integrity integrity = Integrity::Unlocked;
        QString sha256;   // its bytes now; empty when it was not read
        QString expected; // the lock's; empty when unlocked or not in the lock
        QString refusal;  // why it must not start; empty when it may
    };

    // The lock beside listFile, read when there is one.
    explicit ListLock(const QString &listFile);

    bool exists() const { return m_exists; }
    QString lockFile() const { return m_lockFile; }
    // Why the lock could not be read; a run then refuses the list.
    QString error() const { return m_error; }

    // Why a list loaded with this title and these program lines is not the
    // one locked: its bytes are read and hashed now, and the lines loaded
    // must be theirs. Empty when it is, or there is no lock.
    QString listRefusal(const QString &title, const QStringList &programs) const;
    // The file a line resolves to, hashed now and compared with the lock.
    FileCheck check(const QByteArray &file, const std::function<void()> &pace = {}) const;
    // The lock state of a program line as a run would find it now.
    FileCheck lockStateOf(const QString &line) const;

private:
    QString m_listFile, m_lockFile, m_error;
    QByteArray m_folder; // the list's, as lines are resolved below it
    bool m_exists = false;
    QByteArray m_listHash;
    QHash<QByteArray, QByteArray> m_files; // name in the lock -> hash
};
