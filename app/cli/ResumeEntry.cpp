// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ResumeEntry.h"

#include "FileNameCodec.h"
#include "core/io/FileIO.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>

#include <cerrno>
#include <unistd.h>

namespace {

QString configHome()
{
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    // XDG: a relative value is to be ignored.
    return config.isEmpty() || QDir::isRelativePath(config) ? QDir::homePath() + QLatin1String("/.config") : config;
}

// One name per list, from its full path.
QString stem(const QString &listFile)
{
    const QByteArray hash = QCryptographicHash::hash(listFile.toUtf8(), QCryptographicHash::Sha256).toHex();
    return QStringLiteral("setupreel-resume-") + QString::fromLatin1(hash.left(16));
}

QString unitFolder() { return configHome() + QLatin1String("/systemd/user"); }
QString wantsLink(const QString &listFile)
{
    return unitFolder() + QLatin1String("/default.target.wants/") + stem(listFile) + QLatin1String(".service");
}

// One argument as an Exec value quotes it: reserved characters in double
// quotes, with `"`, `` ` ``, `$` and `\` escaped there; `%` doubled (a field
// code otherwise). The desktop entry's own string escape doubles each `\` again.
QString desktopArgument(const QString &arg)
{
    QString quoted = arg;
    quoted.replace(QLatin1Char('%'), QLatin1String("%%"));
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needs = arg.isEmpty();
    for (const QChar c : arg)
        needs = needs || reserved.contains(c);
    if (!needs)
        return quoted;
    QString inner;
    for (const QChar c : std::as_const(quoted)) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            inner += u'\\';
        inner += c;
    }
    inner.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    return u'"' + inner + u'"';
}

// systemd's quoting: double quotes with C escapes; `%` and `$` doubled, as
// specifiers and variables otherwise.
QString unitArgument(const QString &arg)
{
    QString inner;
    for (const QChar c : arg) {
        if (c == u'"' || c == u'\\')
            inner += u'\\';
        if (c == u'%' || c == u'$')
            inner += c;
        if (c == u'\n')
            inner += QLatin1String("\\n");
        else
            inner += c;
    }
    return u'"' + inner + u'"';
}

// A value on one line: line breaks in a title would end it.
QString oneLine(QString text)
{
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}

QString writeFile(const QString &folder, const QString &path, const QString &text)
{
    if (!QDir().mkpath(folder))
        return QStringLiteral("%1 could not be made").arg(folder);
    const FileIO::WriteResult w = FileIO::replaceFile(FileNameCodec::encodeFileName(path), text.toUtf8());
    return w.ok() ? QString() : path + QLatin1String(": ") + w.reason();
}

QString removeFile(const QString &path)
{
    const QByteArray name = FileNameCodec::encodeFileName(path);
    if (::unlink(name.constData()) == 0 || errno == ENOENT)
        return QString();
    return path + QLatin1String(": ") + FileIO::errorText(errno);
}

} // namespace

namespace ResumeEntry {

bool desktopSession()
{
    for (const char *name : {"XDG_CURRENT_DESKTOP", "DISPLAY", "WAYLAND_DISPLAY"})
        if (!qEnvironmentVariableIsEmpty(name))
            return true;
    return false;
}

QString pathFor(const QString &listFile, bool desktop)
{
    return desktop ? configHome() + QLatin1String("/autostart/") + stem(listFile) + QLatin1String(".desktop")
                   : unitFolder() + u'/' + stem(listFile) + QLatin1String(".service");
}

QString remove(const QString &listFile)
{
    QString first;
    for (const QString &path : {pathFor(listFile, true), wantsLink(listFile), pathFor(listFile, false)}) {
        const QString error = removeFile(path);
        if (first.isEmpty())
            first = error;
    }
    return first;
}

Written write(const QString &listFile, const QString &title, const QStringList &arguments)
{
    const QStringList args = QStringList{QCoreApplication::applicationFilePath(),
                                         QStringLiteral("--install"),
                                         listFile,
                                         QStringLiteral("--resume"),
                                         QStringLiteral("--restart=stop"),
                                         QStringLiteral("--resume-after-reboot")}
                             + arguments;
    const QString name = QStringLiteral("Setupreel: resume installing \"%1\"").arg(oneLine(title));
    Written w;
    if (desktopSession()) {
        QStringList exec;
        for (const QString &a : args)
            exec << desktopArgument(a);
        w.path = pathFor(listFile, true);
        w.error = writeFile(configHome() + QLatin1String("/autostart"), w.path,
                            QStringLiteral("[Desktop Entry]\n"
                                           "Type=Application\n"
                                           "Name=%1\n"
                                           "Comment=Goes on with the install run stopped for a restart; removes "
                                           "itself when it starts\n"
                                           "Exec=%2\n"
                                           "Terminal=false\n"
                                           "NoDisplay=true\n"
                                           "X-GNOME-Autostart-enabled=true\n")
                                    .arg(name, exec.join(u' ')));
    } else {
        QStringList exec;
        for (const QString &a : args)
            exec << unitArgument(a);
        w.path = pathFor(listFile, false);
        w.error = writeFile(unitFolder(), w.path,
                            QStringLiteral("[Unit]\n"
                                           "Description=%1\n"
                                           "\n"
                                           "[Service]\n"
                                           "Type=oneshot\n"
                                           "ExecStart=%2\n"
                                           "\n"
                                           "[Install]\n"
                                           "WantedBy=default.target\n")
                                    .arg(name, exec.join(u' ')));
        if (w.error.isEmpty()) {
            // What `systemctl --user enable` makes, without a running manager.
            const QString link = wantsLink(listFile);
            const QByteArray linkName = FileNameCodec::encodeFileName(link);
            QDir().mkpath(unitFolder() + QLatin1String("/default.target.wants"));
            ::unlink(linkName.constData());
            if (::symlink(FileNameCodec::encodeFileName(w.path).constData(), linkName.constData()) != 0)
                w.error = link + QLatin1String(": ") + FileIO::errorText(errno);
        }
    }
    if (!w.error.isEmpty())
        w.path.clear();
    return w;
}

} // namespace ResumeEntry
