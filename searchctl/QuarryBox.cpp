#include "QuarryBox.h"
#include "FileNameCodec.h"
#include "FolderScan.h"
#include "PatternMatch.h"
#include "QuarryDispatch.h"

#include <QAtomicInt>
#include <QMessageBox>
#include <QMetaProperty>
#include <QPainter>

namespace {
QAtomicInt g_instances;

constexpr int FindFilesId = 0x60030000;
constexpr int FindFiles2Id = 0x60030001;
constexpr qint16 CountLimit = 32767;

const QString NotSupported = QStringLiteral("Object doesn't support this property or method");
const QString NotSet = QStringLiteral("Object variable or With block variable not set");

QString decodeName(const std::string &name)
{
    return FileNameCodec::decodeFileName(QByteArray::fromRawData(name.data(), qsizetype(name.size())));
}

// The host's list and label, reached by member name once per level.
struct Targets
{
    QObject *list = nullptr;
    QMetaMethod addItem;
    QObject *label = nullptr;
    QMetaProperty caption;

    // 0 when ready, else the error number; description set.
    int bind(QObject *l, QObject *lab, bool wantLabel, QString *description)
    {
        list = l;
        label = lab;
        if (!list || (wantLabel && !label)) {
            *description = NotSet;
            return 91;
        }
        const QMetaObject *mo = list->metaObject();
        const int m = mo->indexOfMethod("AddItem(QString)");
        if (m < 0) {
            *description = NotSupported;
            return 438;
        }
        addItem = mo->method(m);
        if (wantLabel) {
            const int p = label->metaObject()->indexOfProperty("Caption");
            caption = p >= 0 ? label->metaObject()->property(p) : QMetaProperty();
            if (!caption.isWritable()) {
                *description = NotSupported;
                return 438;
            }
        }
        return 0;
    }
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
    return searchLevel(FindFilesId, path, SearchStr, FileCount, ListBox, LabelCount);
}

QVariant QuarryBox::FindFiles2(QString &path, QString &SearchStr, qint16 &FileCount, QObject *ListBox)
{
    return searchLevel(FindFiles2Id, path, SearchStr, FileCount, ListBox, nullptr);
}

void QuarryBox::unexpected(int number, const QString &description)
{
    const QString text = QStringLiteral("Error: ") + QString::number(number) + QStringLiteral(" - ") + description;
    const QString title = QStringLiteral("Unexpected Error");
    if (m_sink && QMetaObject::invokeMethod(m_sink, "messageBox", Qt::DirectConnection, Q_ARG(QString, text),
                                            Q_ARG(QString, title)))
        return;
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
        int &depth;
        ~Leave() { --depth; }
    } leave{m_depth};

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

    const bool full = dispId == FindFilesId;
    double total = 0;
    bool any = false;
    Targets to;
    for (const FolderScan::File &file : level.files) {
        total += file.size;
        any = true;
        if (!to.list) {
            QString description;
            if (const int err = to.bind(list, label, full, &description)) {
                stop(err, description);
                return total;
            }
        }
        if (count == CountLimit) {
            stop(6, QStringLiteral("Overflow"));
            return total;
        }
        ++count;
        const QString name = decodeName(file.name);
        if (full) {
            to.caption.write(to.label, QString::number(count) + QStringLiteral("  Item(s) found."));
            to.addItem.invoke(to.list, Qt::DirectConnection, Q_ARG(QString, shown + name));
        } else {
            to.addItem.invoke(to.list, Qt::DirectConnection, Q_ARG(QString, name));
        }
    }

    // Deeper levels go through the control's own interface, by dispatch id.
    const QMetaMethod self = quarryMethod(this, dispId);
    for (const std::string &sub : level.folders) {
        if (m_stopped)
            break;
        QString subPath = shown + decodeName(sub) + QLatin1Char('/');
        QVariant result;
        if (full)
            self.invoke(this, Qt::DirectConnection, Q_RETURN_ARG(QVariant, result), Q_ARG(QString &, subPath),
                        Q_ARG(QString &, pattern), Q_ARG(qint16 &, count), Q_ARG(QObject *, list),
                        Q_ARG(QObject *, label));
        else
            self.invoke(this, Qt::DirectConnection, Q_RETURN_ARG(QVariant, result), Q_ARG(QString &, subPath),
                        Q_ARG(QString &, pattern), Q_ARG(qint16 &, count), Q_ARG(QObject *, list));
        if (result.isValid()) {
            total += result.toDouble();
            any = true;
        }
    }
    return any ? QVariant(total) : QVariant();
}

QObject *QuarrydexFactory::create(const QString &className, QWidget *parent)
{
    if (className.compare(QLatin1String("Quarrylib.QuarryBox"), Qt::CaseInsensitive) != 0)
        return nullptr;
    return new QuarryBox(parent);
}
