// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A virtual X server of the test's own, for starting the real program and
// seeing it only from outside: its windows by their titles (xdotool), the
// process behind a window, clicks at a point of a window. It runs in a D-Bus
// session of its own where dbus-run-session is there, so what the windows say
// can be read on its accessibility bus.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

class VirtualDisplay
{
public:
    ~VirtualDisplay() { stop(); }

    // Empty when it runs, else why not (a missing tool is a reason to skip).
    QString start()
    {
        for (const char *tool : {"xvfb-run", "xdotool"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                return QStringLiteral("needs xvfb-run and xdotool (packages xvfb, xdotool)");
        }
        if (!m_dir.isValid())
            return QStringLiteral("no temporary folder");
        const QString where = m_dir.filePath(QStringLiteral("display"));
        m_keepRunning = m_dir.filePath(QStringLiteral("keep-running"));
        QFile(m_keepRunning).open(QIODevice::WriteOnly);
        QStringList command{QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 1024x768x24")};
        if (!QStandardPaths::findExecutable(QStringLiteral("dbus-run-session")).isEmpty())
            command << QStringLiteral("dbus-run-session") << QStringLiteral("--");
        command << QStringLiteral("sh") << QStringLiteral("-c")
                << QStringLiteral("printf '%s\\n%s\\n%s\\n' \"$DISPLAY\" \"$XAUTHORITY\" \"$DBUS_SESSION_BUS_ADDRESS\" "
                                  "> '%1.tmp' && mv '%1.tmp' '%1'; while [ -e '%2' ]; do sleep 0.2; done")
                           .arg(where, m_keepRunning);
        m_server.start(QStringLiteral("xvfb-run"), command);
        if (!QTest::qWaitFor([&] { return QFile::exists(where); }, 20000))
            return QStringLiteral("the X server did not start");
        QFile f(where);
        const QList<QByteArray> lines = f.open(QIODevice::ReadOnly) ? f.readAll().split('\n') : QList<QByteArray>();
        if (lines.size() < 2 || lines[0].isEmpty())
            return QStringLiteral("the X server named no display");
        m_display = QString::fromLocal8Bit(lines[0]);
        m_xauthority = QString::fromLocal8Bit(lines[1]);
        m_sessionBus = QString::fromLocal8Bit(lines.value(2));
        return {};
    }

    void stop()
    {
        if (m_server.state() == QProcess::NotRunning)
            return;
        QFile::remove(m_keepRunning);
        m_server.waitForFinished(10000);
    }

    // For a program shown on this display: no pause at start-up, the system
    // folder of its own application folder.
    QProcessEnvironment environment() const
    {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.remove(QStringLiteral("QT_QPA_PLATFORM"));
        e.remove(QStringLiteral("SETUPREEL_SYSTEM_DIR"));
        e.insert(QStringLiteral("DISPLAY"), m_display);
        e.insert(QStringLiteral("XAUTHORITY"), m_xauthority);
        e.insert(QStringLiteral("SETUPREEL_PAUSE_MS"), QStringLiteral("0"));
        if (!m_sessionBus.isEmpty()) {
            e.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_sessionBus);
            e.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        }
        return e;
    }

    QString xdotool(const QStringList &args) const
    {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(QStringLiteral("xdotool"), args);
        p.waitForFinished(15000);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }

    // The visible windows of that title, exactly.
    QStringList windows(const QString &title) const
    {
        const QString out = xdotool(
                {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), exactly(title)});
        return out.isEmpty() ? QStringList() : out.split(QLatin1Char('\n'));
    }

    // Starts waiting for the first window of that title to be shown; watch
    // before the program starts to see its first window of that title.
    std::unique_ptr<QProcess> watchFor(const QString &title) const
    {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(environment());
        p->start(QStringLiteral("xdotool"),
                 {QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                  QStringLiteral("--name"), exactly(title)});
        p->waitForStarted(5000);
        return p;
    }

    // The window the watch saw first, or empty when none came in time.
    static QString seen(QProcess &watch, int ms = 20000)
    {
        if (!watch.waitForFinished(ms)) {
            watch.kill();
            watch.waitForFinished(5000);
            return {};
        }
        return QString::fromUtf8(watch.readAllStandardOutput()).split(QLatin1Char('\n')).first().trimmed();
    }

    QString waitForWindow(const QString &title, int ms = 20000) const { return seen(*watchFor(title), ms); }

    // The D-Bus session of the display, empty without one.
    QString sessionBus() const { return m_sessionBus; }

    qint64 processOf(const QString &window) const
    {
        return xdotool({QStringLiteral("getwindowpid"), window}).toLongLong();
    }

    // Clicks at a point of the window's client area, in pixels.
    void clickAt(const QString &window, int x, int y) const
    {
        xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(x),
                 QString::number(y), QStringLiteral("click"), QStringLiteral("1")});
    }

    // Clicks the place of a button until what it leads to has come (a button
    // that is not enabled yet takes no click).
    bool clickUntil(const QString &window, int x, int y, const std::function<bool()> &done, int ms = 20000) const
    {
        return QTest::qWaitFor(
                [&] {
                    if (done())
                        return true;
                    clickAt(window, x, y);
                    return QTest::qWaitFor(done, 300);
                },
                ms);
    }

private:
    static QString exactly(const QString &title)
    {
        return QLatin1Char('^') + QRegularExpression::escape(title) + QLatin1Char('$');
    }

    QTemporaryDir m_dir;
    QProcess m_server;
    QString m_display, m_xauthority, m_sessionBus, m_keepRunning;
};
