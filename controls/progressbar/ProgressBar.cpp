// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProgressBar.h"

ProgressBar::ProgressBar(QWidget *parent) : QProgressBar(parent)
{
    setTextVisible(false);
    apply();
}

void ProgressBar::setMin(int v)
{
    m_min = v;
    apply();
}
void ProgressBar::setMax(int v)
{
    m_max = v;
    apply();
}
void ProgressBar::setValue(int v)
{
    m_value = v;
    apply();
}

void ProgressBar::apply()
{
    // QProgressBar repaints at once on every step, window picture beneath and
    // all; as an update it is painted together with the labels the same step
    // changes, once.
    const bool updates = updatesEnabled();
    setUpdatesEnabled(false);
    // An empty range would make the bar a busy indicator; it shows empty instead.
    if (m_max <= m_min) {
        QProgressBar::setRange(0, 1);
        QProgressBar::setValue(0);
    } else {
        QProgressBar::setRange(m_min, m_max);
        QProgressBar::setValue(qBound(m_min, m_value, m_max));
    }
    setUpdatesEnabled(updates);
}

QObject *ProgressBarFactory::create(const QString &className, QWidget *parent)
{
    if (className.compare(ControlClass::ProgressBar, Qt::CaseInsensitive) != 0)
        return nullptr;
    return new ProgressBar(parent);
}
