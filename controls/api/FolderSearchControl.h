// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The folder search (Quarrydex.ocx, "Quarrylib.QuarryBox") and the host's
// objects it is handed. Its searches are reached by dispatch id only
// (callFindFiles in ControlContract.h); this is the rest of what the two
// sides call on each other.
#include <QLatin1String>
#include <QString>
#include <QtPlugin>

class QWidget;

namespace ControlClass {
inline constexpr QLatin1String FolderSearch("Quarrylib.QuarryBox");
}

// The list a search adds its rows to (the listBox of FindFiles / FindFiles2).
class SearchListBox
{
public:
    virtual ~SearchListBox() = default;
    virtual void AddItem(const QString &text) = 0;
};

// The label FindFiles shows its count in (its labelCount).
class SearchLabel
{
public:
    virtual ~SearchLabel() = default;
    virtual void setCaption(const QString &text) = 0;
};

// Any other host object will do as well, as the search's callers have always
// handed it one: a list with a method AddItem(QString) and a label with a
// writable string property Caption, found by these names at run time.
namespace SearchByName {
inline constexpr char AddItem[] = "AddItem(QString)";
inline constexpr char Caption[] = "Caption";
} // namespace SearchByName

// Where the search's "Unexpected Error" boxes go instead of the screen.
class SearchMessageSink
{
public:
    virtual ~SearchMessageSink() = default;
    virtual void messageBox(const QString &text, const QString &title) = 0;
};

class FolderSearchControl
{
public:
    virtual ~FolderSearchControl() = default;

    // Without a sink a real message box shows (exclamation icon, OK). The sink
    // outlives the control or is taken back with nullptr first.
    virtual void setMessageSink(SearchMessageSink *sink) = 0;
    virtual SearchMessageSink *messageSink() const = 0;

    // The control's face; also what callFindFiles is called on.
    virtual QWidget *widget() = 0;
};

#define SearchListBox_iid "org.setupreel.SearchListBox/1.0"
Q_DECLARE_INTERFACE(SearchListBox, SearchListBox_iid)
#define SearchLabel_iid "org.setupreel.SearchLabel/1.0"
Q_DECLARE_INTERFACE(SearchLabel, SearchLabel_iid)
#define FolderSearchControl_iid "org.setupreel.FolderSearchControl/1.0"
Q_DECLARE_INTERFACE(FolderSearchControl, FolderSearchControl_iid)
