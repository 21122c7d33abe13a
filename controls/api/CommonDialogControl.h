// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The open/save file dialog (COMDLG32.OCX, "MSComDlg.CommonDialog") as the
// program calls it. Never visible by itself.
#include <QLatin1String>
#include <QString>
#include <QtPlugin>

namespace ControlClass {
inline constexpr QLatin1String CommonDialog("MSComDlg.CommonDialog");
}

class CommonDialogControl
{
public:
    virtual ~CommonDialogControl() = default;

    // "Setupreel [*.SR]|*.SR": a description, "|", its patterns.
    virtual QString filter() const = 0;
    virtual void setFilter(const QString &filter) = 0;
    // The file chosen last; set beforehand, the dialog starts at it.
    virtual QString fileName() const = 0;
    virtual void setFileName(const QString &fileName) = 0;
    // Where the dialog starts while no FileName says otherwise.
    virtual QString initDir() const = 0;
    virtual void setInitDir(const QString &dir) = 0;

    // Modal: true when a file was chosen (then in fileName()), false on cancel.
    virtual bool ShowOpen() = 0;
    virtual bool ShowSave() = 0;
};

#define CommonDialogControl_iid "org.setupreel.CommonDialogControl/1.0"
Q_DECLARE_INTERFACE(CommonDialogControl, CommonDialogControl_iid)
