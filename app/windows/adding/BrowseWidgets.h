// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The drive, folder and file lists of the adding windows (Additem, Form3).
#include <QComboBox>
#include <QListWidget>
#include <QStringList>
#include <QTreeWidget>

// The drives of the machine (mounted volumes, shown by their roots). Change
// fires whenever another drive is shown, by the user or by code.
class DriveListBox : public QComboBox
{
    Q_OBJECT
public:
    explicit DriveListBox(QWidget *parent = nullptr);

    QString drive() const; // the root of the drive shown
    void setDrive(const QString &root);
    QStringList roots() const { return m_roots; }

signals:
    void Change();

private:
    QStringList m_roots;
};

// The classic folder list: the open folders from the drive's root down to the
// current folder, then its subfolders. A double-click (or Enter) opens a
// folder and makes it the current one; a single click only highlights it.
class FolderListBox : public QTreeWidget
{
    Q_OBJECT
public:
    FolderListBox(const QStringList &driveRoots, QWidget *parent = nullptr);

    QString path() const { return m_path; }
    // Opens a folder; Change fires when the current folder became another one.
    // A path that is no folder (any more) is refused and the list is refreshed.
    bool setPath(const QString &folder);
    void refresh();

signals:
    void Change();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    // Every folder shown is open or a leaf: no expand markers.
    void drawBranches(QPainter *, const QRect &, const QModelIndex &) const override {}

private:
    void open(QTreeWidgetItem *item);

    QStringList m_roots;
    QString m_path;
};

// The files of a folder that match a pattern.
class FileListBox : public QListWidget
{
    Q_OBJECT
public:
    explicit FileListBox(QWidget *parent = nullptr);

    QString path() const { return m_path; }
    void setPath(const QString &folder);
    QString pattern() const { return m_pattern; }
    void setPattern(const QString &pattern);
    QString fileName() const; // the selected file, or empty
    void refresh();

signals:
    void activatedByKey();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QString m_path;
    QString m_pattern = QStringLiteral("*.*");
};

// What a drive change does in both windows: when the chosen drive is ready the
// folder list moves to that drive's current folder; when not, "Drive not ready"
// is said under the given title and the folder list stays where it was.
void followDrive(DriveListBox *drives, FolderListBox *folders, const QString &title);
