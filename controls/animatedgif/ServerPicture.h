// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QHash>
#include <QRect>

#include <cstdint>
#include <memory>

class QImage;
struct xcb_connection_t;

// Shows a picture's frames on the X server in a small window of its own, a
// child of the window the control sits in. Each frame goes to the server once,
// as a pixmap, and showing it makes it that window's background: a frame then
// costs two small requests and no reply, where a repaint through Qt's backing
// store first waits for the server to have read the last one. The server
// redraws the window from its background by itself, and the window takes no
// input: the pointer acts on the window beneath as if it were not there.
// Its place and frames are fixed: another place or picture is another one.
class ServerPicture
{
public:
    // Null where the application does not run on X11, or the parent's pixels
    // are not 24-bit true colour as Qt's RGB32 images hold them.
    static std::unique_ptr<ServerPicture> create(std::uint32_t parentWindow, const QRect &geometry);
    ~ServerPicture();
    ServerPicture(const ServerPicture &) = delete;
    ServerPicture &operator=(const ServerPicture &) = delete;

    bool hasFrame(int frame) const { return m_frames.contains(frame); }
    // Sends a frame of the window's size; false when it cannot go.
    bool addFrame(int frame, const QImage &image);
    // Shows a frame already sent, and the window the first time.
    void showFrame(int frame);

private:
    ServerPicture(xcb_connection_t *connection, std::uint32_t window, std::uint8_t depth, const QRect &geometry);

    xcb_connection_t *m_connection;
    std::uint32_t m_window;
    std::uint32_t m_gc;
    std::uint8_t m_depth;
    QRect m_geometry;
    QHash<int, std::uint32_t> m_frames; // frame number -> pixmap
    bool m_mapped = false;
};
