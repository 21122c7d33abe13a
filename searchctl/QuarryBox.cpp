// SPDX-License-Identifier: GPL-3.0-or-later
#include "QuarryBox.h"

#include "ControlContract.h"
#include "FileNameCodec.h"
#include "FolderScan.h"
#include "PatternMatch.h"

#include <QAtomicInt>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>

#include <algorithm>

namespace {
QAtomicInt g_instances;

constexpr qint16 CountLimit = 32767;

const QString NotSupported = QStringLiteral("Object doesn't support this property or method");
const QString NotSet = QStringLiteral("Object variable or With block variable not set");

QMetaProperty captionOf(QObject *label)
{
    const int p = label->metaObject()->indexOfProperty(SearchByName::Caption);
    return p >= 0 ? label->metaObject()->property(p) : QMetaProperty();
}

QString decodeName(const std::string &name)
{
    return FileNameCodec::decodeFileName(QByteArray::fromRawData(name.data(), qsizetype(name.size())));
}

// The row of a found file: the folder's text, then the name. An ASCII name
// (nearly every one) is widened straight into the row, any other decoded.
QString rowOf(const QString &folder, const std::string &name)
{
    const qsizetype n = qsizetype(name.size());
    for (const char c : name)
        if (static_cast<unsigned char>(c) >= 0x80)
            return folder + decodeName(name);
    QString row(folder.size() + n, Qt::Uninitialized);
    QChar *out = std::copy(folder.cbegin(), folder.cend(), row.data());
    for (qsizetype i = 0; i < n; ++i)
        out[i] = QLatin1Char(name[size_t(i)]);
    return row;
}

// The host's list and label, bound once per level, when the level has a file
// to add: through their interfaces, else by member name.
class Targets
{
public:
    Targets(QObject *list, QObject *label, bool full, QuarryBox::CountCaption *caption)
        : m_list(list), m_label(label), m_full(full), m_caption(caption)
    {
    }

    // Counts one found file, marks the count to be shown and adds the row:
    // the full path for FindFiles, the bare name for FindFiles2. 0, or the
    // error number that ends the search with description set.
    int add(const QString &folder, const std::string &name, qint16 &count, QString *description)
    {
        if (!m_bound) {
            if (const int err = bind(description))
                return err;
            m_bound = true;
        }
        if (count == CountLimit) {
            *description = QStringLiteral("Overflow");
            return RunTimeError::Overflow;
        }
        ++count;
        if (m_full) {
            *m_caption = {m_label, count};
            addItem(rowOf(folder, name));
        } else {
            addItem(rowOf(QString(), name));
        }
        return RunTimeError::NoError;
    }

private:
    int bind(QString *description)
    {
        if (!m_list || (m_full && !m_label)) {
            *description = NotSet;
            return RunTimeError::ObjectNotSet;
        }
        m_listBox = qobject_cast<SearchListBox *>(m_list);
        if (!m_listBox) {
            const QMetaObject *mo = m_list->metaObject();
            const int m = mo->indexOfMethod(SearchByName::AddItem);
            if (m < 0) {
                *description = NotSupported;
                return RunTimeError::NotSupported;
            }
            m_addItem = mo->method(m);
        }
        if (m_full && !qobject_cast<SearchLabel *>(m_label) && !captionOf(m_label).isWritable()) {
            *description = NotSupported;
            return RunTimeError::NotSupported;
        }
        return RunTimeError::NoError;
    }

    void addItem(const QString &text)
    {
        if (m_listBox)
            m_listBox->AddItem(text);
        else
            m_addItem.invoke(m_list, Qt::DirectConnection, Q_ARG(QString, text));
    }

    QObject *m_list;
    QObject *m_label;
    bool m_full;
    QuarryBox::CountCaption *m_caption;
    bool m_bound = false;
    SearchListBox *m_listBox = nullptr;
    QMetaMethod m_addItem;
};
}

QuarryBox::QuarryBox(QWidget *parent) : QWidget(parent)
{
    g_instances.ref();
    setFixedSize(50, 50);
}

QuarryBox::~QuarryBox() { g_instances.deref(); }

int QuarryBox::liveInstances() { return g_instances.loadRelaxed(); }

void QuarryBox::paintEvent(QPaintEvent *)
{
    // The face: a folder under a magnifier.
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), QColor(0xf4, 0xf7, 0xfb));
    p.setPen(QColor(0x2a, 0x4d, 0x7a));
    p.setBrush(QColor(0xf2, 0xc1, 0x4e));
    p.drawRect(6, 14, 30, 22);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x2a, 0x4d, 0x7a), 3));
    p.drawEllipse(24, 22, 14, 14);
    p.drawLine(36, 34, 44, 42);
}

QVariant QuarryBox::FindFiles(QString &path, QString &SearchStr, qint16 &FileCount, QObject *ListBox,
                              QObject *LabelCount)
{
    return searchLevel(DispId::FindFiles, path, SearchStr, FileCount, ListBox, LabelCount);
}

QVariant QuarryBox::FindFiles2(QString &path, QString &SearchStr, qint16 &FileCount, QObject *ListBox)
{
    return searchLevel(DispId::FindFiles2, path, SearchStr, FileCount, ListBox, nullptr);
}

void QuarryBox::showCount()
{
    const QPointer<QObject> label = std::exchange(m_countCaption.label, nullptr);
    if (!label)
        return;
    const QString text = QString::number(m_countCaption.count) + QStringLiteral("  Item(s) found.");
    if (auto *l = qobject_cast<SearchLabel *>(label.data()))
        l->setCaption(text);
    else
        captionOf(label).write(label, text);
}

void QuarryBox::unexpected(int number, const QString &description)
{
    showCount(); // the box lets the windows paint
    const QString text = QStringLiteral("Error: ") + QString::number(number) + QStringLiteral(" - ") + description;
    const QString title = QStringLiteral("Unexpected Error");
    if (m_sink) {
        m_sink->messageBox(text, title);
        return;
    }
    QMessageBox::warning(window(), title, text);
}

// Reported once; every level still to come ends at once and the rows found so
// far stay. (Reporting per level would show one box for every later folder.)
void QuarryBox::stop(int number, const QString &description)
{
    m_stopped = true;
    unexpected(number, description);
}

QVariant QuarryBox::searchLevel(int dispId, QString &path, QString &pattern, qint16 &count, QObject *list,
                                QObject *label)
{
    if (m_depth == 0)
        m_stopped = false;
    if (m_stopped)
        return {};
    ++m_depth;
    struct Leave
    {
        QuarryBox *box;
        ~Leave()
        {
            if (--box->m_depth == 0)
                box->showCount();
        }
    } leave{this};

    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');

    // The folder's bytes, and the text that gives them back: a name that is not
    // valid UTF-8 keeps its bytes, so every row names the very file found.
    const QByteArray folder = FileNameCodec::encodeFileName(path);
    const FolderScan::Level level = FolderScan::read(folder, PatternMatch(pattern));
    if (level.error) {
        if (!FolderScan::isSilent(level.error))
            unexpected(level.error, level.description);
        return {};
    }
    const QString shown = FileNameCodec::decodeFileName(folder);

    double total = 0;
    Targets to(list, label, dispId == DispId::FindFiles, &m_countCaption);
    for (const FolderScan::File &file : level.files) {
        total += file.size;
        QString description;
        if (const int err = to.add(shown, file.name, count, &description)) {
            stop(err, description);
            return total;
        }
    }
    const bool deeper = searchFolders(dispId, shown, level.folders, pattern, count, list, label, &total);
    return (deeper || !level.files.empty()) ? QVariant(total) : QVariant();
}

// Deeper levels go through the control's own interface, by dispatch id. True
// when any of them found a file; their sizes are added to *total.
bool QuarryBox::searchFolders(int dispId, const QString &folder, const std::vector<std::string> &subfolders,
                              QString &pattern, qint16 &count, QObject *list, QObject *label, double *total)
{
    bool any = false;
    for (const std::string &sub : subfolders) {
        if (m_stopped)
            break;
        QString subPath = folder + decodeName(sub) + QLatin1Char('/');
        QVariant result;
        callFindFiles(this, dispId, subPath, pattern, count, list, label, &result);
        if (result.isValid()) {
            *total += result.toDouble();
            any = true;
        }
    }
    return any;
}

QObject *QuarrydexFactory::create(const QString &className, QWidget *parent)
{
    if (className.compare(ControlClass::FolderSearch, Qt::CaseInsensitive) != 0)
        return nullptr;
    return new QuarryBox(parent);
}
