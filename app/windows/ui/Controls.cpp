// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/ui/Controls.h"

#include "core/common/Folders.h"
#include "windows/ui/Twips.h"
#include "windows/ui/Windows.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QStyledItemDelegate>

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

namespace {
// A row is drawn and measured from its first characters only: laying out a row
// of a million characters on every paint and every click freezes the window.
// The row itself stays whole in the list.
class RowDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // What a row's width is measured from: the longest path this platform
    // has, with room to spare for a switch.
    static constexpr int MeasuredChars = 4096;

    // The first n characters, never half of one, and a mark that the row goes on.
    static QString head(const QString &text, int n)
    {
        if (n >= text.size())
            return text;
        if (n > 0 && text.at(n - 1).isHighSurrogate())
            --n;
        return text.left(n) + QChar(0x2026);
    }

    QString displayText(const QVariant &value, const QLocale &locale) const override
    {
        if (value.userType() == QMetaType::QString && value.toString().size() > MeasuredChars)
            return QStyledItemDelegate::displayText(QVariant(head(value.toString(), MeasuredChars)), locale);
        return QStyledItemDelegate::displayText(value, locale);
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        // Only as much as reaches the right edge of what is seen of the row.
        const auto *view = qobject_cast<const QAbstractScrollArea *>(opt.widget);
        const int right = view ? qMin(opt.rect.right(), view->viewport()->width()) : opt.rect.right();
        opt.text = fitting(opt.text, right - opt.rect.left() + 1, opt.fontMetrics);
        QStyle *style = opt.widget ? opt.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
    }

private:
    // A head of the text at least as wide as `width`, or the whole text.
    static QString fitting(const QString &text, int width, const QFontMetrics &metrics)
    {
        int n = qMax(16, width / qMax(1, metrics.averageCharWidth()) + 8);
        while (n < text.size()) {
            const QString shown = head(text, n);
            if (metrics.horizontalAdvance(shown) > width)
                return shown;
            n *= 2;
        }
        return text;
    }
};
}

VbListBox::VbListBox(QWidget *parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSortingEnabled(false);
    setUniformItemSizes(true); // keeps tens of thousands of rows quick
    setItemDelegate(new RowDelegate(this));
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &VbListBox::selectionMoved);
    connect(model(), &QAbstractItemModel::rowsInserted, this, &VbListBox::rowsShifted);
    connect(model(), &QAbstractItemModel::rowsRemoved, this, &VbListBox::rowsShifted);
    connect(model(), &QAbstractItemModel::rowsMoved, this, &VbListBox::rowsShifted);
    connect(model(), &QAbstractItemModel::modelReset, this, &VbListBox::rowsShifted);
    connect(model(), &QAbstractItemModel::layoutChanged, this, &VbListBox::rowsShifted);
}

VbListBox::~VbListBox()
{
    // QListWidget's destructor clears its model after this part is gone: its
    // signals must not reach this object's slots then.
    QObject::disconnect(model(), nullptr, this, nullptr);
    QObject::disconnect(selectionModel(), nullptr, this, nullptr);
}

int VbListBox::highlightedRow() const
{
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void VbListBox::selectionMoved()
{
    const int row = highlightedRow();
    if (row == m_listIndex)
        return;
    m_listIndex = row;
    emit listIndexChanged(row);
}

void VbListBox::rowsShifted() { m_listIndex = highlightedRow(); }

void VbListBox::AddItem(const QString &text) { addItem(text); }

void VbListBox::RemoveItem(int index)
{
    if (index < 0 || index >= count())
        return;
    // Afterwards no row is selected, as after any removal.
    blockSignals(true);
    delete takeItem(index);
    clearSelection();
    setCurrentRow(-1);
    m_listIndex = -1;
    blockSignals(false);
}

void VbListBox::Clear()
{
    blockSignals(true);
    clear();
    m_listIndex = -1;
    blockSignals(false);
}

void VbListBox::setListIndex(int index)
{
    if (index >= 0 && index < count()) {
        setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
        return;
    }
    clearSelection();
    setCurrentRow(-1);
}

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

QPixmap PictureButton::greyedPicture() const
{
    const auto *window = qobject_cast<const PictureWindow *>(parentWidget());
    const QPixmap backdrop = window ? window->background() : QPixmap();
    const QString key =
            QStringLiteral("%1 %2 %3,%4").arg(m_picture.cacheKey()).arg(backdrop.cacheKey()).arg(x()).arg(y());
    if (key == m_greyedFor && !m_greyed.isNull())
        return m_greyed;

    QImage picture = m_picture.toImage().convertToFormat(QImage::Format_ARGB32);
    // The window picture beneath, at the picture's own pixel size.
    QImage beneath(picture.size(), QImage::Format_ARGB32);
    beneath.setDevicePixelRatio(picture.devicePixelRatio());
    beneath.fill(Qt::transparent);
    if (!backdrop.isNull()) {
        QPainter painter(&beneath);
        painter.drawPixmap(-pos(), backdrop);
    }
    for (int y = 0; y < picture.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        const auto *under = reinterpret_cast<const QRgb *>(beneath.constScanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb c = line[x], b = under[x];
            // Lighter and without colour, as disabled controls look.
            const int grey = 96 + qGray(c) * 6 / 10;
            if (qAlpha(b) != 255) {
                line[x] = qRgba(grey, grey, grey, qAlpha(c));
                continue;
            }
            // How far the pixel is from its backdrop; a little is picture noise.
            const int d = qMax(qAbs(qRed(c) - qRed(b)), qMax(qAbs(qGreen(c) - qGreen(b)), qAbs(qBlue(c) - qBlue(b))));
            const double weight = qBound(0.0, (d - 6) / 40.0, 1.0);
            const auto mixed = [&](int part) { return int(part + (grey - part) * weight + 0.5); };
            line[x] = qRgba(mixed(qRed(b)), mixed(qGreen(b)), mixed(qBlue(b)), qAlpha(c));
        }
    }
    m_greyed = QPixmap::fromImage(picture);
    m_greyedFor = key;
    return m_greyed;
}

void PictureButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    if (!m_picture.isNull()) {
        p.drawPixmap(0, 0, isEnabled() ? m_picture : greyedPicture());
    } else {
        // Without its picture the button still shows what it does.
        p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
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

Shape::Shape(QWidget *parent) : QWidget(parent) { setAttribute(Qt::WA_TransparentForMouseEvents); }

void Shape::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setPen(QColor(0x40, 0x40, 0x40));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

PictureWindow::PictureWindow(QWidget *parent) : QWidget(parent) {}

void PictureWindow::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    Form_Unload();
    Windows::forget(this);
}

void PictureWindow::closeEvent(QCloseEvent *event)
{
    // A window on its way out has nothing more to decide.
    if (m_unloaded) {
        event->accept();
        return;
    }
    switch (queryUnload()) {
    case FrameClose::Refuse: event->ignore(); return;
    case FrameClose::Hide: event->accept(); return;
    case FrameClose::Unload:
        event->accept();
        unload();
        return;
    }
}

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

QPixmap appPicture(const QString &name, PictureForm form)
{
    // Read past the pixmap cache: a picture stays decoded only while a window
    // shows it (the start-up window's goes when that window is hidden).
    QImage picture(Folders::appFile(name));
    if (form == PictureForm::Screen)
        return QPixmap::fromImage(std::move(picture));
    // Shrunk in place; a pixmap would widen it back to the screen's four bytes.
    if (picture.format() == QImage::Format_RGB32)
        picture.convertTo(QImage::Format_RGB888);
    return QPixmap::fromImage(std::move(picture), Qt::NoFormatConversion);
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
