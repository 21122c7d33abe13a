// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/ui/Windows.h"

QHash<const QMetaObject *, QPointer<PictureWindow>> &Windows::registry()
{
    static QHash<const QMetaObject *, QPointer<PictureWindow>> windows;
    return windows;
}

void Windows::unload(PictureWindow *window)
{
    if (window)
        window->unload();
}

void Windows::forget(PictureWindow *window)
{
    auto &windows = registry();
    for (auto it = windows.begin(); it != windows.end();) {
        if (it.value() == window || it.value().isNull())
            it = windows.erase(it);
        else
            ++it;
    }
    window->hide();
    window->deleteLater();
}

void Windows::unloadAll()
{
    auto windows = registry();
    registry().clear();
    for (const auto &window : windows) {
        if (window)
            delete window.data();
    }
}
