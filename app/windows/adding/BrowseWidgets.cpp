// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/adding/BrowseWidgets.h"

#include "core/adding/BrowseLogic.h"
#include "core/common/FileSystemObject.h"
#include "core/common/Prompts.h"
#include "windows/ui/Program.h"

#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStyle>

namespace {
constexpr int PathRole = Qt::UserRole;

bool isEnterKey(const QKeyEvent *event) { return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter; }
}

DriveListBox::DriveListBox(QWidget *parent) : QComboBox(parent), m_roots(FileSystemObject::instance().driveRoots())
{
    for (const QString &root : m_roots)
        addItem(QDir::toNativeSeparators(root), root);
    const QString current = Browsing::driveOf(Browsing::currentFolder(), m_roots);
    setCurrentIndex(current.isEmpty() ? (m_roots.isEmpty() ? -1 : 0) : m_roots.indexOf(current));
    connect(this, &QComboBox::currentIndexChanged, this, &DriveListBox::Change);
}

QString DriveListBox::drive() const { return currentData().toString(); }

void DriveListBox::setDrive(const QString &root)
{
    const int index = m_roots.indexOf(Browsing::cleanFolder(root));
    if (index >= 0)
        setCurrentIndex(index);
}

FolderListBox::FolderListBox(const QStringList &driveRoots, QWidget *parent) : QTreeWidget(parent), m_roots(driveRoots)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setIndentation(12);
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item) { open(item); });

    const QString cwd = Browsing::currentFolder();
    const QString drive = Browsing::driveOf(cwd, m_roots);
    if (!drive.isEmpty() || m_roots.isEmpty())
        m_path = Browsing::cleanFolder(cwd);
    else
        m_path = Browsing::cleanFolder(m_roots.first());
    refresh();
}

bool FolderListBox::setPath(const QString &folder)
{
    const QString clean = Browsing::cleanFolder(folder);
    if (clean.isEmpty() || !Browsing::isFolder(clean)) {
        refresh();
        return false;
    }
    const bool changed = clean != m_path;
    m_path = clean;
    refresh();
    if (changed)
        emit Change();
    return true;
}

void FolderListBox::refresh()
{
    clear();
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);
    QTreeWidgetItem *parentItem = nullptr;
    QTreeWidgetItem *currentFolder = nullptr;
    for (const Browsing::FolderEntry &entry : Browsing::folderEntries(m_path, Browsing::driveOf(m_path, m_roots))) {
        auto *item = parentItem ? new QTreeWidgetItem(parentItem) : new QTreeWidgetItem(this);
        item->setText(0, entry.name);
        item->setData(0, PathRole, entry.path);
        item->setIcon(0, entry.open ? openIcon : closedIcon);
        if (entry.open) {
            parentItem = item;
            currentFolder = item;
        }
    }
    expandAll();
    if (currentFolder)
        setCurrentItem(currentFolder);
}

void FolderListBox::open(QTreeWidgetItem *item)
{
    if (item)
        setPath(item->data(0, PathRole).toString());
}

void FolderListBox::keyPressEvent(QKeyEvent *event)
{
    if (isEnterKey(event)) {
        open(currentItem());
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

FileListBox::FileListBox(QWidget *parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSortingEnabled(false);
}

void FileListBox::setPath(const QString &folder)
{
    m_path = Browsing::cleanFolder(folder);
    refresh();
}

void FileListBox::setPattern(const QString &pattern)
{
    m_pattern = pattern;
    refresh();
}

QString FileListBox::fileName() const
{
    const QListWidgetItem *item = currentItem();
    return item && item->isSelected() ? item->text() : QString();
}

void FileListBox::refresh()
{
    blockSignals(true);
    clear();
    addItems(Browsing::matchingFiles(m_path, m_pattern));
    setCurrentRow(-1);
    blockSignals(false);
}

void FileListBox::keyPressEvent(QKeyEvent *event)
{
    if (isEnterKey(event) && !fileName().isEmpty()) {
        emit activatedByKey();
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void followDrive(DriveListBox *drives, FolderListBox *folders, const QString &title)
{
    const QString root = drives->drive();
    if (FileSystemObject::instance().isDriveReady(root)) {
        folders->setPath(Browsing::currentFolderOf(root, drives->roots(), Browsing::currentFolder()));
        return;
    }
    Program::prompts().messageBox(QStringLiteral("Drive not ready"), title, MsgIcon::Critical);
}
