// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one interface every hosted control library offers: the host finds the
// library by the class names in its plugin metadata and asks it for instances.
#include <QObject>
#include <QString>
#include <QtPlugin>

class QWidget;

class ControlFactory
{
public:
    virtual ~ControlFactory() = default;
    // Returns a new instance of the named class owned by parent, or nullptr
    // when this library does not provide it.
    virtual QObject *create(const QString &className, QWidget *parent) = 0;
};

#define ControlFactory_iid "org.setupreel.ControlFactory/1.0"
Q_DECLARE_INTERFACE(ControlFactory, ControlFactory_iid)
