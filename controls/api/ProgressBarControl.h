// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The progress bar (COMCTL32.OCX, "ComctlLib.ProgressBar") as the windows call it.
#include <QLatin1String>
#include <QtPlugin>

class QWidget;

namespace ControlClass {
inline constexpr QLatin1String ProgressBar("ComctlLib.ProgressBar");
}

class ProgressBarControl
{
public:
    virtual ~ProgressBarControl() = default;

    // While Max is not above Min the bar shows empty; Value is drawn within
    // them however far outside it was set.
    virtual int min() const = 0;
    virtual int max() const = 0;
    virtual int value() const = 0;
    virtual void setMin(int v) = 0;
    virtual void setMax(int v) = 0;
    virtual void setValue(int v) = 0;

    // The bar itself, for its window to place and show.
    virtual QWidget *widget() = 0;
};

#define ProgressBarControl_iid "org.setupreel.ProgressBarControl/1.0"
Q_DECLARE_INTERFACE(ProgressBarControl, ProgressBarControl_iid)
