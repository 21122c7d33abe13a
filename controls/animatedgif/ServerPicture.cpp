// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServerPicture.h"

#include <QGuiApplication>
#include <QImage>
#include <QtGui/qguiapplication_platform.h>

#include <cstdlib>
#include <sys/uio.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

namespace {

template<typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;
template<typename T>
Reply<T> reply(T *r)
{
    return Reply<T>(r, &std::free);
}

xcb_connection_t *x11Connection()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// The parent's depth when its pixels are laid out as QImage::Format_RGB32's
// (8 bits each of red, green and blue in a 32-bit word, least significant
// byte first); 0 otherwise.
std::uint8_t rgb32Depth(xcb_connection_t *c, xcb_window_t parent)
{
    const auto attributes = reply(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, parent), nullptr));
    const auto geometry = reply(xcb_get_geometry_reply(c, xcb_get_geometry(c, parent), nullptr));
    const xcb_setup_t *setup = xcb_get_setup(c);
    if (!attributes || !geometry || geometry->depth != 24 || setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST)
        return 0;
    bool words = false;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
        words = words || (f.data->depth == 24 && f.data->bits_per_pixel == 32 && f.data->scanline_pad == 32);
    for (auto s = xcb_setup_roots_iterator(setup); words && s.rem; xcb_screen_next(&s)) {
        for (auto d = xcb_screen_allowed_depths_iterator(s.data); d.rem; xcb_depth_next(&d)) {
            for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v)) {
                const xcb_visualtype_t *visual = v.data;
                if (visual->visual_id == attributes->visual)
                    return visual->_class == XCB_VISUAL_CLASS_TRUE_COLOR && visual->red_mask == 0xff0000
                                           && visual->green_mask == 0xff00 && visual->blue_mask == 0xff
                                   ? 24
                                   : 0;
            }
        }
    }
    return 0;
}

// The SHAPE extension's request, sent through libxcb's own request path: its
// client library is one build dependency fewer.
xcb_extension_t shapeExtension = {"SHAPE", 0};

// Gives the window an empty input shape, so the pointer passes through it.
bool takesNoInput(xcb_connection_t *c, xcb_window_t window)
{
    const xcb_query_extension_reply_t *shape = xcb_get_extension_data(c, &shapeExtension);
    if (!shape || !shape->present)
        return false;
    struct
    {
        std::uint8_t major = 0;
        std::uint8_t minor = 0;
        std::uint16_t length = 0;
        std::uint8_t operation = 0; // Set
        std::uint8_t kind = 2;      // the input shape
        std::uint8_t ordering = 0;  // unsorted
        std::uint8_t pad = 0;
        std::uint32_t window = 0;
        std::int16_t x = 0;
        std::int16_t y = 0;
    } request; // ShapeRectangles with no rectangle
    request.window = window;
    iovec parts[4] = {};
    parts[2].iov_base = &request;
    parts[2].iov_len = sizeof request;
    xcb_protocol_request_t protocol = {2, &shapeExtension, 1, 1};
    const xcb_void_cookie_t cookie = {xcb_send_request(c, XCB_REQUEST_CHECKED, parts + 2, &protocol)};
    const auto error = reply(xcb_request_check(c, cookie));
    return !error;
}

} // namespace

std::unique_ptr<ServerPicture> ServerPicture::create(std::uint32_t parentWindow, const QRect &geometry)
{
    xcb_connection_t *c = x11Connection();
    if (!c || xcb_connection_has_error(c) || geometry.isEmpty())
        return nullptr;
    const std::uint8_t depth = rgb32Depth(c, parentWindow);
    if (!depth)
        return nullptr;
    const xcb_window_t window = xcb_generate_id(c);
    // Background none, no events asked for: nothing comes back from it.
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, parentWindow, qint16(geometry.x()), qint16(geometry.y()),
                      quint16(geometry.width()), quint16(geometry.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    std::unique_ptr<ServerPicture> picture(new ServerPicture(c, window, depth, geometry));
    if (!takesNoInput(c, window))
        return nullptr;
    return picture;
}

ServerPicture::ServerPicture(xcb_connection_t *connection, std::uint32_t window, std::uint8_t depth,
                             const QRect &geometry)
    : m_connection(connection), m_window(window), m_gc(xcb_generate_id(connection)), m_depth(depth),
      m_geometry(geometry)
{
    xcb_create_gc(m_connection, m_gc, m_window, 0, nullptr);
}

ServerPicture::~ServerPicture()
{
    for (const std::uint32_t pixmap : std::as_const(m_frames))
        xcb_free_pixmap(m_connection, pixmap);
    xcb_free_gc(m_connection, m_gc);
    // The window goes with its parent's, which may have gone first: that
    // error is of no interest.
    xcb_discard_reply(m_connection, xcb_destroy_window_checked(m_connection, m_window).sequence);
    xcb_flush(m_connection);
}

bool ServerPicture::addFrame(int frame, const QImage &image)
{
    if (image.size() != m_geometry.size() || image.format() != QImage::Format_RGB32)
        return false;
    const std::uint32_t stride = std::uint32_t(image.bytesPerLine());
    const std::uint32_t room = xcb_get_maximum_request_length(m_connection) * 4u;
    const std::uint32_t header = sizeof(xcb_put_image_request_t);
    if (room < header + stride)
        return false;
    const int rowsAtOnce = int((room - header) / stride);
    const xcb_pixmap_t pixmap = xcb_generate_id(m_connection);
    xcb_create_pixmap(m_connection, m_depth, pixmap, m_window, quint16(image.width()), quint16(image.height()));
    for (int y = 0; y < image.height(); y += rowsAtOnce) {
        const int rows = qMin(rowsAtOnce, image.height() - y);
        xcb_put_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, m_gc, quint16(image.width()), quint16(rows), 0,
                      qint16(y), 0, m_depth, stride * std::uint32_t(rows), image.constScanLine(y));
    }
    m_frames.insert(frame, pixmap);
    return true;
}

void ServerPicture::showFrame(int frame)
{
    const auto found = m_frames.constFind(frame);
    if (found == m_frames.constEnd())
        return;
    const std::uint32_t pixmap = *found;
    xcb_change_window_attributes(m_connection, m_window, XCB_CW_BACK_PIXMAP, &pixmap);
    if (m_mapped) {
        xcb_clear_area(m_connection, 0, m_window, 0, 0, 0, 0);
    } else {
        xcb_map_window(m_connection, m_window);
        m_mapped = true;
    }
    xcb_flush(m_connection);
}
