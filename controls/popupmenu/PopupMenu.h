#pragma once
#include "ControlFactory.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QMenu;
class QWidget;

// A popup menu of captioned entries with keys. Never visible by itself: the
// owner window adds entries, shows it at the mouse pointer and hears the key
// of the entry chosen. A caption of "-" is a separator line.
class PopupMenu : public QObject
{
    Q_OBJECT
public:
    explicit PopupMenu(QWidget *owner);
    ~PopupMenu() override;

    Q_INVOKABLE void AddItem(const QString &caption, const QString &key);
    // Returns at once; the choice arrives later through ItemSelected.
    Q_INVOKABLE void PopupAtCursor();

    Q_INVOKABLE int Count() const { return m_entries.size(); }
    Q_INVOKABLE QString Caption(int i) const;
    Q_INVOKABLE QString Key(int i) const;
    // One action per entry, in entry order (separators included).
    Q_INVOKABLE QObject *menu();

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
