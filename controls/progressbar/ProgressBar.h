// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "ControlFactory.h"
#include "ProgressBarControl.h"

#include <QProgressBar>

// The progress bar with the members its hosts use: Min, Max and Value.
class ProgressBar : public QProgressBar, public ProgressBarControl
{
    Q_OBJECT
    Q_INTERFACES(ProgressBarControl)
public:
    explicit ProgressBar(QWidget *parent = nullptr);

    int min() const override { return m_min; }
    int max() const override { return m_max; }
    int value() const override { return m_value; }
    void setMin(int v) override;
    void setMax(int v) override;
    void setValue(int v) override;
    QWidget *widget() override { return this; }

private:
    void apply();
    int m_min = 0;
    int m_max = 100;
    int m_value = 0;
};

class ProgressBarFactory : public QObject, public ControlFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID ControlFactory_iid FILE "progressbar.json")
    Q_INTERFACES(ControlFactory)
public:
    QObject *create(const QString &className, QWidget *parent) override;
};
