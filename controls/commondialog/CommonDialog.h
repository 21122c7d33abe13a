// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "CommonDialogControl.h"
#include "ControlFactory.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

// The open/save file dialog. Never visible by itself; ShowOpen and ShowSave
// return true when a file was chosen (then in FileName), false on cancel.
class CommonDialog : public QObject, public CommonDialogControl
{
    Q_OBJECT
    Q_INTERFACES(CommonDialogControl)
public:
    explicit CommonDialog(QWidget *owner);

    QString filter() const override { return m_filter; }
    void setFilter(const QString &f) override { m_filter = f; }
    QString fileName() const override { return m_fileName; }
    void setFileName(const QString &f) override { m_fileName = f; }
    QString initDir() const override { return m_initDir; }
    void setInitDir(const QString &d) override { m_initDir = d; }

    bool ShowOpen() override;
    bool ShowSave() override;

    // "Setupreel [*.SR]|*.SR" in the form Qt's dialog takes.
    static QStringList qtFilters(const QString &filter);

private:
    bool show(bool save);
    QPointer<QWidget> m_owner;
    QString m_filter;
    QString m_fileName;
    QString m_initDir;
};

class CommonDialogFactory : public QObject, public ControlFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID ControlFactory_iid FILE "commondialog.json")
    Q_INTERFACES(ControlFactory)
public:
    QObject *create(const QString &className, QWidget *parent) override;
};
