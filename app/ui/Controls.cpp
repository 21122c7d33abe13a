#include "ui/Controls.h"

#include "common/Folders.h"
#include "ui/Twips.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionFocusRect>

QString displayText(const QString &text)
{
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

VbLabel::VbLabel(QWidget *parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void VbLabel::setCaption(const QString &text)
{
    m_caption = text;
    setText(displayText(text));
}

VbListBox::VbListBox(QWidget *parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSortingEnabled(false);
    setUniformItemSizes(true); // keeps tens of thousands of rows quick
    connect(this, &QListWidget::currentRowChanged, this, &VbListBox::listIndexChanged);
}

void VbListBox::AddItem(const QString &text) { addItem(text); }

void VbListBox::RemoveItem(int index)
{
    if (index < 0 || index >= count())
        return;
    // Afterwards no row is selected, as after any removal.
    blockSignals(true);
    delete takeItem(index);
    setCurrentRow(-1);
    blockSignals(false);
}

void VbListBox::Clear()
{
    blockSignals(true);
    clear();
    blockSignals(false);
}

void VbListBox::setListIndex(int index) { setCurrentRow(index); }

QString VbListBox::List(int index) const
{
    const QListWidgetItem *it = item(index);
    return it ? it->text() : QString();
}

void VbListBox::setList(int index, const QString &text)
{
    if (QListWidgetItem *it = item(index))
        it->setText(text);
}

QStringList VbListBox::rows() const
{
    QStringList result;
    result.reserve(count());
    for (int i = 0; i < count(); ++i)
        result << item(i)->text();
    return result;
}

void VbListBox::setRows(const QStringList &newRows)
{
    Clear();
    addItems(newRows);
}

void VbListBox::mousePressEvent(QMouseEvent *event)
{
    // The right button does not change the selection.
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QListWidget::mousePressEvent(event);
}

void VbListBox::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) {
        emit rightButtonReleased(event->globalPosition().toPoint());
        event->accept();
        return;
    }
    QListWidget::mouseReleaseEvent(event);
}

PictureButton::PictureButton(const QString &caption, QWidget *parent) : QAbstractButton(parent)
{
    setText(caption);
    setAccessibleName(caption);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
}

void PictureButton::setPicture(const QPixmap &picture)
{
    m_picture = picture;
    update();
}

QSize PictureButton::sizeHint() const
{
    return m_picture.isNull() ? QSize(tw(2250), tw(750)) : m_picture.deviceIndependentSize().toSize();
}

void PictureButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    if (!m_picture.isNull()) {
        QPixmap shown = m_picture;
        if (!isEnabled()) {
            QStyleOption opt;
            opt.initFrom(this);
            shown = style()->generatedIconPixmap(QIcon::Disabled, m_picture, &opt);
        }
        p.drawPixmap(0, 0, shown);
    } else {
        // Without its picture the button still shows what it does.
        p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                 QPalette::ButtonText));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
        p.drawText(rect(), Qt::AlignCenter, text());
    }
    if (isDown())
        p.fillRect(rect(), QColor(0, 0, 0, 40));
    if (hasFocus()) {
        QStyleOptionFocusRect opt;
        opt.initFrom(this);
        opt.rect = rect().adjusted(2, 2, -2, -2);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &opt, &p, this);
    }
}

ClickArea::ClickArea(const QString &name, QWidget *parent) : QAbstractButton(parent)
{
    setAccessibleName(name);
    setToolTip(name);
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
}

ClickArea *ClickArea::onTopStrip(QWidget *parent, const QString &name, int leftTwips)
{
    auto *area = new ClickArea(name, parent);
    area->setGeometry(twRect(leftTwips, 0, 495, 255));
    return area;
}

void ClickArea::paintEvent(QPaintEvent *)
{
    if (!hasFocus())
        return;
    QPainter p(this);
    QStyleOptionFocusRect opt;
    opt.initFrom(this);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &opt, &p, this);
}

Shape::Shape(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void Shape::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setPen(QColor(0x40, 0x40, 0x40));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

PictureWindow::PictureWindow(QWidget *parent) : QWidget(parent) {}

void PictureWindow::setBackground(const QPixmap &picture)
{
    m_background = picture;
    update();
}

void PictureWindow::paintEvent(QPaintEvent *event)
{
    if (m_background.isNull())
        return;
    // Only the part asked for: an animation repaints a small area many times.
    QPainter p(this);
    const QRect area = event->rect() & QRect(QPoint(0, 0), m_background.deviceIndependentSize().toSize());
    if (!area.isEmpty())
        p.drawPixmap(area, m_background, area);
}

QPixmap appPicture(const QString &name)
{
    return QPixmap(Folders::appFile(name));
}

void centreOnScreen(QWidget *window, int widthTwips, int heightTwips)
{
    window->setFixedSize(twSize(widthTwips, heightTwips));
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
}
