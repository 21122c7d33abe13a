// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The folder search control of the Quarrydex library, class name
// "Quarrylib.QuarryBox". Hosts create it through the library's factory, keep
// it hidden and call FindFiles / FindFiles2 late-bound by dispatch id, through
// callFindFiles (ControlContract.h); the ids below are DispId's.
#include "ControlFactory.h"
#include "FolderSearchControl.h"

#include <QPointer>
#include <QVariant>
#include <QWidget>

#include <string>
#include <vector>

class QuarryBox : public QWidget, public FolderSearchControl
{
    Q_OBJECT
    Q_INTERFACES(FolderSearchControl)
    Q_CLASSINFO("ClassName", "Quarrylib.QuarryBox")
    Q_CLASSINFO("DispId_0x60030000", "FindFiles")
    Q_CLASSINFO("DispId_0x60030001", "FindFiles2")
public:
    explicit QuarryBox(QWidget *parent = nullptr);
    ~QuarryBox() override;

    // Searches path and its subfolders; the result is the sum of the sizes
    // found (a double), or invalid when nothing was found.
    Q_INVOKABLE QVariant FindFiles(QString &path, QString &SearchStr, qint16 &FileCount, QObject *ListBox,
                                   QObject *LabelCount);
    Q_INVOKABLE QVariant FindFiles2(QString &path, QString &SearchStr, qint16 &FileCount, QObject *ListBox);

    SearchMessageSink *messageSink() const override { return m_sink; }
    void setMessageSink(SearchMessageSink *sink) override { m_sink = sink; }
    QWidget *widget() override { return this; }

    static int liveInstances();

    // The count a search shows in its label, waiting to be written.
    struct CountCaption
    {
        QPointer<QObject> label; // none: nothing waits
        qint16 count = 0;
    };

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QVariant searchLevel(int dispId, QString &path, QString &pattern, qint16 &count, QObject *list, QObject *label);
    bool searchFolders(int dispId, const QString &folder, const std::vector<std::string> &subfolders, QString &pattern,
                       qint16 &count, QObject *list, QObject *label, double *total);
    // Writes the waiting count. The label is written only where the windows
    // can paint (before a message box, and when the search returns): between
    // two paints only the last count could be seen.
    void showCount();
    void unexpected(int number, const QString &description);
    void stop(int number, const QString &description);

    SearchMessageSink *m_sink = nullptr;
    // Lives for one outermost call: the depth tells the outermost level, and
    // once set the flag ends every level still to come.
    int m_depth = 0;
    bool m_stopped = false;
    CountCaption m_countCaption;
};

class QuarrydexFactory : public QObject, public ControlFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID ControlFactory_iid FILE "quarrydex.json")
    Q_INTERFACES(ControlFactory)
public:
    QObject *create(const QString &className, QWidget *parent) override;
};
