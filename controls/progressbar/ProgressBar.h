#pragma once
#include "ControlFactory.h"

#include <QProgressBar>

// The progress bar with the members its hosts use: Min, Max and Value.
class ProgressBar : public QProgressBar
{
    Q_OBJECT
    Q_PROPERTY(int Min READ min WRITE setMin)
    Q_PROPERTY(int Max READ max WRITE setMax)
    Q_PROPERTY(int Value READ value WRITE setValue)
public:
    explicit ProgressBar(QWidget *parent = nullptr);

    int min() const { return m_min; }
    int max() const { return m_max; }
    int value() const { return m_value; }
    void setMin(int v);
    void setMax(int v);
    void setValue(int v);

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
