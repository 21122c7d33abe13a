#include "QuarryBox.h"
#include "PatternMatch.h"

#include <QAtomicInt>
#include <QMetaClassInfo>
#include <QMessageBox>
#include <QPainter>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <vector>

namespace {
QAtomicInt g_instances;

constexpr int FindFilesId = 0x60030000;
constexpr int FindFiles2Id = 0x60030001;

struct Entry
{
    std::string name;
    unsigned char type;
};

// Reads a whole folder at once, so no enumeration stays open across a descent.
bool readFolder(const QByteArray &folder, std::vector<Entry> &entries, int &error)
{
    DIR *dir = ::opendir(folder.constData());
    if (!dir) {
        error = errno;
        return false;
    }
    while (dirent *e = ::readdir(dir)) {
        if (e->d_name[0] == '.' && (e->d_name[1] == 0 || (e->d_name[1] == '.' && e->d_name[2] == 0)))
            continue;
        entries.push_back({e->d_name, e->d_type});
    }
    ::closedir(dir);
    // One order on every file system: by name.
    std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) { return a.name < b.name; });
    return true;
}

bool endsWithSys(const std::string &name)
{
    return name.size() >= 4 && name.compare(name.size() - 4, 4, ".sys") == 0;
}

QString errorText(int err) { return QString::fromLocal8Bit(std::strerror(err)); }
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
    // The control's face: a folder with a magnifier.
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

QVariant QuarryBox::searchLevel(int dispId, QString &path, QString &pattern, qint16 &count, QObject *list,
                                QObject *label)
{
    if (m_depth == 0)
        m_stopped = false;
    QVariant total;
    if (m_stopped)
        return total;
    ++m_depth;
    struct Leave
    {
        int &depth;
        ~Leave() { --depth; }
    } leave{m_depth};

    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    const QByteArray folder = path.toUtf8();

    std::vector<Entry> entries;
    int err = 0;
    if (!readFolder(folder, entries, err)) {
        // A missing folder or one that may not be read ends its level silently.
        if (err != ENOENT && err != ENOTDIR && err != EACCES && err != EPERM)
            unexpected(75, errorText(err));
        return total;
    }

    // The subfolders, all named before the first file is listed. A link is
    // never descended, so a link pointing back up cannot loop.
    std::vector<const Entry *> folders, files;
    for (const Entry &e : entries) {
        unsigned char type = e.type;
        if (type == DT_UNKNOWN) {
            struct stat st;
            if (::lstat((folder + e.name.c_str()).constData(), &st) != 0) {
                if (endsWithSys(e.name))
                    continue;
                if (errno == ENOENT)
                    return total;
                unexpected(75, errorText(errno));
                return total;
            }
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_REG;
        }
        if (type == DT_DIR) {
            if (folders.size() >= 32767) {
                unexpected(6, QStringLiteral("Overflow"));
                return total;
            }
            folders.push_back(&e);
        } else if (type == DT_LNK) {
            struct stat st;
            // A link to a folder is neither listed nor searched.
            if (::stat((folder + e.name.c_str()).constData(), &st) == 0 && S_ISDIR(st.st_mode))
                continue;
            files.push_back(&e);
        } else {
            files.push_back(&e);
        }
    }

    const PatternMatch match(pattern);
    double sum = 0;
    bool any = false;
    for (const Entry *e : files) {
        if (!match.matches(e->name.data(), e->name.size()))
            continue;
        const QByteArray full = folder + e->name.c_str();
        struct stat st;
        if (::stat(full.constData(), &st) == 0)
            sum += double(st.st_size);
        if (count == 32767) {
            // Reported once; the whole search ends, the rows found so far stay.
            m_stopped = true;
            unexpected(6, QStringLiteral("Overflow"));
            return any ? QVariant(sum) : total;
        }
        ++count;
        any = true;
        const QString name = QString::fromUtf8(e->name.data(), qsizetype(e->name.size()));
        if (dispId == FindFilesId) {
            if (label)
                label->setProperty("Caption", QString::number(count) + QStringLiteral("  Item(s) found."));
            QMetaObject::invokeMethod(list, "AddItem", Qt::DirectConnection, Q_ARG(QString, path + name));
        } else {
            QMetaObject::invokeMethod(list, "AddItem", Qt::DirectConnection, Q_ARG(QString, name));
        }
    }

    // Deeper levels through the control's own interface, by dispatch id.
    const QMetaObject *mo = metaObject();
    const QByteArray method =
        mo->classInfo(mo->indexOfClassInfo(QByteArray("DispId_0x") + QByteArray::number(dispId, 16)))
            .value();
    for (const Entry *sub : folders) {
        if (m_stopped)
            break;
        QString subPath = path + QString::fromUtf8(sub->name.data(), qsizetype(sub->name.size()))
                          + QLatin1Char('/');
        QVariant result;
        if (dispId == FindFilesId)
            QMetaObject::invokeMethod(this, method.constData(), Qt::DirectConnection, Q_RETURN_ARG(QVariant, result),
                                      Q_ARG(QString &, subPath), Q_ARG(QString &, pattern),
                                      Q_ARG(qint16 &, count), Q_ARG(QObject *, list), Q_ARG(QObject *, label));
        else
            QMetaObject::invokeMethod(this, method.constData(), Qt::DirectConnection, Q_RETURN_ARG(QVariant, result),
                                      Q_ARG(QString &, subPath), Q_ARG(QString &, pattern),
                                      Q_ARG(qint16 &, count), Q_ARG(QObject *, list));
        if (result.isValid()) {
            sum += result.toDouble();
            any = true;
        }
    }
    return any ? QVariant(sum) : total;
}

QObject *QuarrydexFactory::create(const QString &className, QWidget *parent)
{
    if (className.compare(QLatin1String("Quarrylib.QuarryBox"), Qt::CaseInsensitive) != 0)
        return nullptr;
    return new QuarryBox(parent);
}
