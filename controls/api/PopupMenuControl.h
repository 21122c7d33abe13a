// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The item popup menu (PopupMenu.ocx, "PopupMenuLib.PopupMenu") as its owner
// window calls it. Never visible by itself.
#include <QLatin1String>
#include <QMetaObject>
#include <QString>
#include <QtPlugin>

#include <functional>

class QObject;

namespace ControlClass {
inline constexpr QLatin1String PopupMenu("PopupMenuLib.PopupMenu");
}

class PopupMenuControl
{
public:
    virtual ~PopupMenuControl() = default;

    // An entry with its key; a caption of "-" is a separator line.
    virtual void AddItem(const QString &caption, const QString &key) = 0;
    // Returns at once; the choice arrives later through onItemSelected.
    virtual void PopupAtCursor() = 0;

    virtual int Count() const = 0;
    virtual QString Caption(int i) const = 0;
    virtual QString Key(int i) const = 0;
    // The menu shown: one action per entry, in entry order (separators included).
    virtual QObject *menu() = 0;

    // handler hears the key of each entry chosen, while context lives.
    virtual QMetaObject::Connection onItemSelected(QObject *context,
                                                   std::function<void(const QString &key)> handler) = 0;
};

#define PopupMenuControl_iid "org.setupreel.PopupMenuControl/1.0"
Q_DECLARE_INTERFACE(PopupMenuControl, PopupMenuControl_iid)
