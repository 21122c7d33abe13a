// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which windows are loaded. A window is created (and its Form_Load run) when it
// is first loaded, and forgotten when it is unloaded; hiding keeps it loaded.
#include "windows/ui/Controls.h"

#include <QHash>
#include <QMetaObject>
#include <QPointer>

class Windows
{
public:
    template<class W>
    static W *find()
    {
        return qobject_cast<W *>(registry().value(&W::staticMetaObject).data());
    }

    template<class W>
    static W *load()
    {
        if (W *loaded = find<W>())
            return loaded;
        W *window = new W();
        registry().insert(&W::staticMetaObject, window);
        window->Form_Load();
        return window;
    }

    // Loads when needed, then shows without waiting.
    template<class W>
    static W *show()
    {
        W *window = load<W>();
        window->show();
        window->raise();
        window->activateWindow();
        return window;
    }

    // Enabling or disabling a window that is not loaded does nothing.
    template<class W>
    static void setEnabled(bool enabled)
    {
        if (W *window = find<W>())
            window->setEnabled(enabled);
    }

    // Runs the window's Form_Unload and forgets it; a window not loaded stays so.
    template<class W>
    static void unload()
    {
        unload(find<W>());
    }
    static void unload(PictureWindow *window);

    // Every window goes, without its Form_Unload (tests start each case from a
    // fresh program).
    static void unloadAll();

private:
    friend class PictureWindow;
    // The last step of an unload: hidden, out of the registry, deleted later.
    static void forget(PictureWindow *window);

    static QHash<const QMetaObject *, QPointer<PictureWindow>> &registry();
};
