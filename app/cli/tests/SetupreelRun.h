// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The built program run as a user runs it from a script: no display of any
// kind; its exit status and the bytes it wrote to standard output and error.
#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace SetupreelRun {

struct Result
{
    int status = -1; // -1: it crashed or did not end in time
    QByteArray out;
    QByteArray err;
};

inline QString program() { return QStringLiteral(SETUPREEL_BUILD_APP_DIR "/setupreel"); }

// This process's environment without any display: the terminal commands must
// not need one.
inline QProcessEnvironment noDisplay()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    return env;
}

// Waits for a started program to end and collects what it wrote. One that
// does not end within ms is killed and counts as not ended (-1), whatever
// its exit code would have said.
inline Result finish(QProcess &process, int ms = 120000)
{
    Result r;
    if (process.waitForFinished(ms))
        r.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    else {
        process.kill();
        process.waitForFinished(5000);
    }
    r.out = process.readAllStandardOutput();
    r.err = process.readAllStandardError();
    return r;
}

// Runs the program with args in dir (empty: this process's current folder).
inline Result run(const QStringList &args, const QProcessEnvironment &env = noDisplay(), const QString &dir = QString(),
                  int ms = 120000)
{
    QProcess process;
    process.setProcessEnvironment(env);
    if (!dir.isEmpty())
        process.setWorkingDirectory(dir);
    process.start(program(), args);
    return finish(process, ms);
}

} // namespace SetupreelRun
