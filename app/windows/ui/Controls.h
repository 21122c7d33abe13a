// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The standard controls of the windows; the list and the label are what the
// folder search control is handed (FolderSearchControl.h).
#include "FolderSearchControl.h"

#include <QAbstractButton>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QRadioButton>
#include <QWidget>

class QCloseEvent;
class QPaintEvent;

// Texts are held with "\r" between lines; this is how they are drawn.
QString displayText(const QString &text);

// A label whose Caption keeps the text exactly as set.
class VbLabel : public QLabel, public SearchLabel
{
    Q_OBJECT
    Q_INTERFACES(SearchLabel)
public:
    explicit VbLabel(QWidget *parent = nullptr);
    QString caption() const { return m_caption; }
    void setCaption(const QString &text) override;

private:
    QString m_caption;
};

// A list box with the members other windows and the search control use:
// AddItem, ListCount, ListIndex (-1 for no selection), List(i).
// ListIndex is the highlighted row, never the row that merely has the keyboard
// focus. Setting ListIndex from code is a selection change like the user's.
// Rows of any length are kept whole; only what fits is drawn.
class VbListBox : public QListWidget, public SearchListBox
{
    Q_OBJECT
    Q_INTERFACES(SearchListBox)
public:
    explicit VbListBox(QWidget *parent = nullptr);
    ~VbListBox() override;

    void AddItem(const QString &text) override;
    void RemoveItem(int index);
    void Clear();
    int ListCount() const { return count(); }
    int ListIndex() const { return m_listIndex; }
    void setListIndex(int index);
    QString List(int index) const;
    void setList(int index, const QString &text);
    QStringList rows() const;
    void setRows(const QStringList &rows);

signals:
    // The selected row changed (by the user or by code).
    void listIndexChanged(int index);
    void rightButtonReleased(const QPoint &globalPos);

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    int highlightedRow() const;
    // Follows the highlight; only a different row is a selection change.
    void selectionMoved();
    // Rows came or went: the index follows its row without a selection change.
    void rowsShifted();

    int m_listIndex = -1;
};

// The list box of a window that never shows it: only its rows, as the folder
// search fills them, without a list view's machinery.
class VbRowList : public QWidget, public SearchListBox
{
    Q_OBJECT
    Q_INTERFACES(SearchListBox)
public:
    explicit VbRowList(QWidget *parent = nullptr) : QWidget(parent) { hide(); }
    void AddItem(const QString &text) override { m_rows << text; }
    void Clear() { m_rows.clear(); }
    int ListCount() const { return int(m_rows.size()); }
    QStringList rows() const { return m_rows; }

private:
    QStringList m_rows;
};

// A picture that reacts to a click, by mouse or keyboard, and carries its
// caption as accessible name.
class PictureButton : public QAbstractButton
{
    Q_OBJECT
public:
    PictureButton(const QString &caption, QWidget *parent = nullptr);
    void setPicture(const QPixmap &picture);
    QPixmap picture() const { return m_picture; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // The disabled look: the picture greyed where it differs from the window
    // picture beneath it, so the backdrop it was drawn on shows as it is.
    QPixmap greyedPicture() const;

    QPixmap m_picture;
    mutable QPixmap m_greyed;
    mutable QString m_greyedFor;
};

// A transparent click area without text (the About, Help and Minimize areas of
// the top strip).
class ClickArea : public QAbstractButton
{
    Q_OBJECT
public:
    ClickArea(const QString &name, QWidget *parent = nullptr);
    // One of the About, Help and Minimize areas at the top of a window.
    static ClickArea *onTopStrip(QWidget *parent, const QString &name, int leftTwips);

protected:
    void paintEvent(QPaintEvent *event) override;
};

// A rectangle outline; takes no input.
class Shape : public QWidget
{
    Q_OBJECT
public:
    explicit Shape(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

// A window of the program, with its life cycle: Windows::load creates it and
// runs Form_Load; unload() runs Form_Unload and forgets it, once however often
// it is asked for (a button and the frame's close may both ask). Its background
// is a picture drawn at its top left at its own size.
class PictureWindow : public QWidget
{
    Q_OBJECT
public:
    explicit PictureWindow(QWidget *parent = nullptr);
    void setBackground(const QPixmap &picture);
    QPixmap background() const { return m_background; }

    // The window was created.
    virtual void Form_Load() {}
    // The window's own steps when it goes, before it is forgotten.
    virtual void Form_Unload() {}

    // Runs Form_Unload, hides the window and deletes it later; the next load
    // creates a fresh one. Only the first call does anything.
    void unload();

protected:
    // What closing the window by its frame does.
    enum class FrameClose {
        Unload, // the window goes (Form_Unload runs)
        Hide,   // the window is only hidden and stays loaded
        Refuse, // the window stays as it is
    };
    // Decides, and runs the window's own steps for a close that only hides;
    // the default unloads.
    virtual FrameClose queryUnload() { return FrameClose::Unload; }

    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) final;

private:
    QPixmap m_background;
    bool m_unloaded = false;
};

// How a picture is held once decoded.
enum class PictureForm {
    Compact, // an opaque picture in three bytes a pixel, as it was drawn
    Screen,  // in the screen's four bytes, which draw fastest
};

// Loads a picture of the application folder by its original name
// ("\Top Menu2.jpg"); a null pixmap when it cannot be loaded.
QPixmap appPicture(const QString &name, PictureForm form = PictureForm::Compact);

// Places a window of the given client size in twips centred on its screen.
void centreOnScreen(QWidget *window, int widthTwips, int heightTwips);

// Runs handler when the option becomes the chosen one, by a click or by code;
// losing the choice to another option runs nothing.
template<class Handler>
void onChosen(QRadioButton *option, QObject *context, Handler handler)
{
    QObject::connect(option, &QRadioButton::toggled, context, [handler](bool on) {
        if (on)
            handler();
    });
}
