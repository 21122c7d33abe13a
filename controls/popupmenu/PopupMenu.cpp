// SPDX-License-Identifier: GPL-3.0-or-later
#include "PopupMenu.h"

#include <QAction>
#include <QCursor>
#include <QMenu>

PopupMenu::PopupMenu(QWidget *owner)
    : QObject(owner),
      // A child of the owner window goes with it; a menu without an owner is ours.
      m_menu(new QMenu(owner))
{
}

PopupMenu::~PopupMenu() { delete m_menu.data(); }

void PopupMenu::AddItem(const QString &caption, const QString &key)
{
    m_entries.append({caption, key});
    if (!m_menu)
        return;
    if (caption == QLatin1String("-")) {
        m_menu->addSeparator()->setData(key);
        return;
    }
    // "&" would otherwise mark a shortcut letter and vanish from the text.
    QString text = caption;
    text.replace(QLatin1Char('&'), QLatin1String("&&"));
    QAction *action = m_menu->addAction(text);
    action->setData(key);
    connect(action, &QAction::triggered, this, [this, key] { emit ItemSelected(key); });
}

void PopupMenu::PopupAtCursor()
{
    if (!m_menu || m_menu->isEmpty())
        return;
    m_menu->popup(QCursor::pos());
}

QString PopupMenu::Caption(int i) const { return i >= 0 && i < m_entries.size() ? m_entries.at(i).caption : QString(); }

QString PopupMenu::Key(int i) const { return i >= 0 && i < m_entries.size() ? m_entries.at(i).key : QString(); }

QObject *PopupMenu::menu() { return m_menu.data(); }

QMetaObject::Connection PopupMenu::onItemSelected(QObject *context, std::function<void(const QString &key)> handler)
{
    return connect(this, &PopupMenu::ItemSelected, context, std::move(handler));
}

QObject *PopupMenuFactory::create(const QString &className, QWidget *parent)
{
    if (className.compare(ControlClass::PopupMenu, Qt::CaseInsensitive) != 0)
        return nullptr;
    return new PopupMenu(parent);
}
