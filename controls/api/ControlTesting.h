// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// For the tests of a control library: loading it as the host does, and
// running a check as a user that root's rights do not cover.
#include "ControlContract.h"
#include "ControlFactory.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QPluginLoader>

#include <functional>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

// Loads the library at path and checks that its metadata names the class and
// the file. Returns why it failed, or nothing.
inline QString loadControlLibrary(QPluginLoader &loader, const QString &path, const QString &className,
                                  ControlFactory **factory)
{
    loader.setFileName(path);
    *factory = qobject_cast<ControlFactory *>(loader.instance());
    if (!*factory)
        return QStringLiteral("%1 is no control library: %2").arg(path, loader.errorString());
    const QJsonObject meta = loader.metaData().value(PluginMeta::Root).toObject();
    if (!meta.value(PluginMeta::Classes).toArray().contains(className))
        return QStringLiteral("%1 does not declare %2").arg(path, className);
    if (meta.value(PluginMeta::OriginalFilename).toString() != QFileInfo(path).fileName())
        return QStringLiteral("%1 carries another OriginalFilename").arg(path);
    return QString();
}

// Runs work in a child that has given up root (root reads every file whatever
// its mode) and hands back what it returned; empty when this machine cannot
// give up root. The files work reads must be reachable for user nobody.
inline QByteArray runUnprivileged(const std::function<QByteArray()> &work)
{
    int out[2];
    if (::pipe(out) != 0)
        return "pipe failed";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(out[0]);
        if (::geteuid() == 0
            && (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0
                || ::setresuid(65534, 65534, 65534) != 0))
            ::_exit(77);
        const QByteArray got = work();
        (void)!::write(out[1], got.constData(), size_t(got.size()));
        ::_exit(0);
    }
    ::close(out[1]);
    QByteArray got;
    char buf[512];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;)
        got.append(buf, n);
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77)
        return {};
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? got : QByteArray("child failed");
}
