#include "windows/ui/Program.h"

#include "core/common/Folders.h"
#include "core/common/Seams.h"
#include "windows/ui/WidgetPrompts.h"

#include <QApplication>
#include <QFont>
#include <QFontInfo>
#include <QIcon>
#include <QPixmap>

#include <utility>

namespace {
constexpr double SegoePointSize = 9.75;
constexpr double StandInPointSize = 8.25;
double g_fontScale = 1.0; // of the stand-in font against Segoe UI
QString g_listToOpen;
constexpr int IconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};
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
    QIcon icon;
    for (int size : IconSizes) {
        const QString px = QString::number(size);
        QPixmap pixmap(Folders::join(Folders::appDir() + QStringLiteral("/icons/") + px, file));
        if (pixmap.isNull())
            pixmap.load(theme + px + QLatin1Char('x') + px + QStringLiteral("/apps/") + file);
        if (!pixmap.isNull())
            icon.addPixmap(pixmap);
    }
    QApplication::setWindowIcon(icon); // a null icon: the system's own
}

QFont windowFont(double segoePointSize)
{
    QFont font = QApplication::font();
    font.setPointSizeF(segoePointSize * g_fontScale);
    return font;
}

}
