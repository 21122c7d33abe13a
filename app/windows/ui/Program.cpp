// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/ui/Program.h"

#include "core/common/Folders.h"
#include "core/common/Seams.h"
#include "core/io/FileIO.h"
#include "windows/ui/WidgetPrompts.h"

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QFont>
#include <QFontInfo>
#include <QIcon>
#include <QIconEngine>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>

#include <utility>

namespace {
constexpr double SegoePointSize = 9.75;
constexpr double StandInPointSize = 8.25;
double g_fontScale = 1.0; // of the stand-in font against Segoe UI
QString g_listToOpen;
constexpr int IconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};
// Far above what a PNG of 256 px can take.
constexpr qint64 MaxIconBytes = 1 << 20;

// An icon file's picture in the form the window system is handed it
// (ARGB32, its colours passed through premultiplication as a pixmap of the
// file held them), converted in place: it is decoded each time a window is
// created. Read as PNG only, so that no other image plugin is loaded to be
// asked first.
QPixmap decodeIcon(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    reader.setAutoDetectImageFormat(false);
    QImage image = reader.read();
    if (image.isNull())
        return {};
    image.convertTo(QImage::Format_ARGB32_Premultiplied);
    image.convertTo(QImage::Format_ARGB32);
    return QPixmap::fromImage(std::move(image), Qt::NoFormatConversion);
}

// The icon as its files' bytes, decoded only while a window takes it: held
// decoded in every size it would stay resident for the whole run.
class FileBytesIconEngine : public QIconEngine
{
public:
    struct Entry
    {
        QSize size;
        QByteArray bytes;
    };
    explicit FileBytesIconEngine(QList<Entry> entries) : m_entries(std::move(entries)) {}

    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        QList<QSize> sizes;
        if (mode == QIcon::Normal && state == QIcon::Off) {
            for (const Entry &e : std::as_const(m_entries))
                sizes << e.size;
        }
        return sizes;
    }

    QSize actualSize(const QSize &size, QIcon::Mode /*mode*/, QIcon::State /*state*/) override
    {
        const Entry *e = bestFor(size);
        if (!e)
            return {};
        return e->size.width() > size.width() || e->size.height() > size.height()
                       ? e->size.scaled(size, Qt::KeepAspectRatio)
                       : e->size;
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        const Entry *e = bestFor(size);
        QPixmap pm = e ? decodeIcon(e->bytes) : QPixmap();
        if (pm.isNull())
            return {};
        const QSize actual = actualSize(size, mode, state);
        if (pm.size() != actual)
            pm = pm.scaled(actual, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (mode != QIcon::Normal) {
            QStyleOption option;
            option.palette = QGuiApplication::palette();
            pm = QApplication::style()->generatedIconPixmap(mode, pm, &option);
        }
        return pm;
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }

    QIconEngine *clone() const override { return new FileBytesIconEngine(m_entries); }
    QString key() const override { return QStringLiteral("setupreel-file-bytes"); }

private:
    // The smallest size that covers the one asked for, else the largest.
    const Entry *bestFor(const QSize &size) const
    {
        const Entry *best = nullptr;
        for (const Entry &e : m_entries) {
            const bool covers = e.size.width() >= size.width() && e.size.height() >= size.height();
            const bool bestCovers = best && best->size.width() >= size.width() && best->size.height() >= size.height();
            const qint64 area = qint64(e.size.width()) * e.size.height();
            const qint64 bestArea = best ? qint64(best->size.width()) * best->size.height() : 0;
            if (!best || (covers && (!bestCovers || area < bestArea)) || (!covers && !bestCovers && area > bestArea))
                best = &e;
        }
        return best;
    }

    QList<Entry> m_entries;
};
}

namespace Program {

QString title() { return QStringLiteral("Setupreel"); }

Prompts &prompts()
{
    static WidgetPrompts real;
    Prompts *standIn = Seams::prompts();
    return standIn ? *standIn : real;
}

void setListToOpen(const QString &path) { g_listToOpen = path; }
QString takeListToOpen() { return std::exchange(g_listToOpen, QString()); }

void end() { Seams::endProgram(); }

void applyWindowFont(const QString &fallbackFamily)
{
    QFont font(QStringLiteral("Segoe UI"));
    if (!fallbackFamily.isEmpty())
        font.setFamilies({QStringLiteral("Segoe UI"), fallbackFamily});
    // The layouts are measured for Segoe UI 9.75 pt; the wider fonts that stand
    // in for it here get a smaller size so captions fit their controls.
    const bool segoe = QFontInfo(font).family().startsWith(QLatin1String("Segoe UI"), Qt::CaseInsensitive);
    g_fontScale = segoe ? 1.0 : StandInPointSize / SegoePointSize;
    font.setPointSizeF(SegoePointSize * g_fontScale);
    QApplication::setFont(font);
}

void applyWindowIcon()
{
    const QString file = QStringLiteral("org.setupreel.Setupreel.png");
    // An installed copy keeps its icons once, in the desktop's theme beside
    // its folder (/usr/lib/setupreel and /usr/share/icons).
    const QString theme = Folders::appDir() + QStringLiteral("/../../share/icons/hicolor/");
    QList<FileBytesIconEngine::Entry> entries;
    for (int size : IconSizes) {
        const QString px = QString::number(size);
        FileIO::ReadResult read = FileIO::readFile(
                QFile::encodeName(Folders::join(Folders::appDir() + QStringLiteral("/icons/") + px, file)),
                MaxIconBytes);
        if (!read.ok)
            read = FileIO::readFile(
                    QFile::encodeName(theme + px + QLatin1Char('x') + px + QStringLiteral("/apps/") + file),
                    MaxIconBytes);
        if (!read.ok)
            continue;
        FileBytesIconEngine::Entry entry{{}, read.data};
        // Decoded once here, so a file that is no picture costs only its size.
        const QPixmap probe = decodeIcon(entry.bytes);
        if (!probe.isNull()) {
            entry.size = probe.size();
            entries << entry;
        }
    }
    // No size at all: a null icon, the system's own.
    QApplication::setWindowIcon(entries.isEmpty() ? QIcon() : QIcon(new FileBytesIconEngine(std::move(entries))));
}

QFont windowFont(double segoePointSize)
{
    QFont font = QApplication::font();
    font.setPointSizeF(segoePointSize * g_fontScale);
    return font;
}

}
