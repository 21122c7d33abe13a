// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "ControlFactory.h"
#include "PopupMenuControl.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QMenu;
class QWidget;

// A popup menu of captioned entries with keys. Never visible by itself: the
// owner window adds entries, shows it at the mouse pointer and hears the key
// of the entry chosen. A caption of "-" is a separator line.
class PopupMenu : public QObject, public PopupMenuControl
{
    Q_OBJECT
    Q_INTERFACES(PopupMenuControl)
public:
    explicit PopupMenu(QWidget *owner);
    ~PopupMenu() override;

    void AddItem(const QString &caption, const QString &key) override;
    // Returns at once; the choice arrives later through ItemSelected.
    void PopupAtCursor() override;

    int Count() const override { return m_entries.size(); }
    QString Caption(int i) const override;
    QString Key(int i) const override;
    // One action per entry, in entry order (separators included).
    QObject *menu() override;
    QMetaObject::Connection onItemSelected(QObject *context, std::function<void(const QString &key)> handler) override;

signals:
    void ItemSelected(const QString &key);

private:
    struct Entry
    {
        QString caption;
        QString key;
    };
    QList<Entry> m_entries;
    QPointer<QMenu> m_menu;
};

class PopupMenuFactory : public QObject, public ControlFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID ControlFactory_iid FILE "popupmenu.json")
    Q_INTERFACES(ControlFactory)
public:
    QObject *create(const QString &className, QWidget *parent) override;
};
