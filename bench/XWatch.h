// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Watching the real program from outside, as a user sees it: which of its
// windows the X server has mapped and when, the process behind a window, its
// processor time, and clicks through xdotool (real pointer events).
#include <QElapsedTimer>
#include <QFile>
#include <QPoint>
#include <QProcess>
#include <QString>
#include <QThread>

#include <cstdlib>
#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>

class XWatch
{
public:
    XWatch()
    {
        m_connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_connection))
            return;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_connection);
        m_netWmName = atom("_NET_WM_NAME");
        m_utf8 = atom("UTF8_STRING");
        m_netWmPid = atom("_NET_WM_PID");
        m_ok = m_netWmPid != XCB_ATOM_NONE;
    }
    ~XWatch() { xcb_disconnect(m_connection); }
    XWatch(const XWatch &) = delete;
    XWatch &operator=(const XWatch &) = delete;

    bool ok() const { return m_ok; }

    // Waits until a top-level window with this title is mapped (windows mapped
    // before this call count only when mapped again). 0 when none was within
    // timeoutMs; *atMs: the clock's reading when its map event came.
    xcb_window_t waitMapped(const QString &title, int timeoutMs, const QElapsedTimer &clock, double *atMs = nullptr)
    {
        QElapsedTimer waited;
        waited.start();
        const int fd = xcb_get_file_descriptor(m_connection);
        for (;;) {
            while (xcb_generic_event_t *e = xcb_poll_for_event(m_connection)) {
                const double now = clock.nsecsElapsed() / 1e6;
                xcb_window_t mapped = 0;
                if ((e->response_type & 0x7f) == XCB_MAP_NOTIFY)
                    mapped = reinterpret_cast<xcb_map_notify_event_t *>(e)->window;
                std::free(e);
                if (mapped && name(mapped) == title) {
                    if (atMs)
                        *atMs = now;
                    return mapped;
                }
            }
            const int left = timeoutMs - int(waited.elapsed());
            if (left <= 0 || xcb_connection_has_error(m_connection))
                return 0;
            pollfd p{fd, POLLIN, 0};
            ::poll(&p, 1, left);
        }
    }

    // The process that owns the window, by the id it gives the server.
    int pid(xcb_window_t window)
    {
        const QByteArray value = property(window, m_netWmPid, XCB_ATOM_CARDINAL);
        return value.size() == 4 ? *reinterpret_cast<const int *>(value.constData()) : -1;
    }

    // The window's top left corner on the screen.
    QPoint origin(xcb_window_t window)
    {
        xcb_translate_coordinates_reply_t *r = xcb_translate_coordinates_reply(
                m_connection, xcb_translate_coordinates(m_connection, window, m_root, 0, 0), nullptr);
        const QPoint at = r ? QPoint(r->dst_x, r->dst_y) : QPoint(-1, -1);
        std::free(r);
        return at;
    }

private:
    xcb_atom_t atom(const char *name)
    {
        xcb_intern_atom_reply_t *r = xcb_intern_atom_reply(
                m_connection, xcb_intern_atom(m_connection, 0, uint16_t(qstrlen(name)), name), nullptr);
        const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(r);
        return a;
    }

    QByteArray property(xcb_window_t window, xcb_atom_t name, xcb_atom_t type)
    {
        xcb_get_property_reply_t *r = xcb_get_property_reply(
                m_connection, xcb_get_property(m_connection, 0, window, name, type, 0, 1024), nullptr);
        QByteArray value;
        if (r)
            value = QByteArray(static_cast<const char *>(xcb_get_property_value(r)), xcb_get_property_value_length(r));
        std::free(r);
        return value;
    }

    QString name(xcb_window_t window)
    {
        const QByteArray utf8 = property(window, m_netWmName, m_utf8);
        return QString::fromUtf8(utf8.isEmpty() ? property(window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING) : utf8);
    }

    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_root = 0;
    xcb_atom_t m_netWmName = 0, m_utf8 = 0, m_netWmPid = 0;
    bool m_ok = false;
};

// The environment a user starts the program with: on the display, with the
// shipped folders and pauses.
inline QProcessEnvironment userEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"QT_QPA_PLATFORM", "SETUPREEL_SYSTEM_DIR", "SETUPREEL_PAUSE_MS"})
        env.remove(QString::fromLatin1(name));
    return env;
}

// Processor seconds a process has used so far (user and system, all its
// threads; not its children); -1 once it has gone.
inline double processorSeconds(int pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = f.readAll();
    // The fields after the command's name, which ends at the last ')'.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return (fields[11].toDouble() + fields[12].toDouble()) / double(::sysconf(_SC_CLK_TCK));
}

// A left click at a point of the screen through xdotool: the pointer moves
// there and the button goes down and up as the user's would.
inline bool clickAt(const QPoint &at)
{
    return QProcess::execute(QStringLiteral("xdotool"),
                             {QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
                              QStringLiteral("click"), QStringLiteral("1")})
           == 0;
}
