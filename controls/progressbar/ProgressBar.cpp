#include "ProgressBar.h"

ProgressBar::ProgressBar(QWidget *parent) : QProgressBar(parent)
{
    setTextVisible(false);
    apply();
}

void ProgressBar::setMin(int v) { m_min = v; apply(); }
void ProgressBar::setMax(int v) { m_max = v; apply(); }
void ProgressBar::setValue(int v) { m_value = v; apply(); }

void ProgressBar::apply()
{
    // An empty range would make the bar a busy indicator; it shows empty instead.
    if (m_max <= m_min) {
        QProgressBar::setRange(0, 1);
        QProgressBar::setValue(0);
        return;
    }
    QProgressBar::setRange(m_min, m_max);
    QProgressBar::setValue(qBound(m_min, m_value, m_max));
}

QObject *ProgressBarFactory::create(const QString &className, QWidget *parent)
{
    if (className.compare(QLatin1String("ComctlLib.ProgressBar"), Qt::CaseInsensitive) != 0)
        return nullptr;
    return new ProgressBar(parent);
}
