#pragma once
// The folder search control of the Quarrydex library. Hosts create it by the
// class name "Quarrylib.QuarryBox" and call its two methods late-bound by
// dispatch id; every argument goes by reference:
//
//   const QString name = box->metaObject()->classInfo(
//       box->metaObject()->indexOfClassInfo("DispId_0x60030000")).value(); // "FindFiles"
//   QVariant total;
//   QMetaObject::invokeMethod(box, name.toLatin1(), Qt::DirectConnection,
//       Q_RETURN_ARG(QVariant, total), Q_ARG(QString &, path), Q_ARG(QString &, pattern),
//       Q_ARG(qint16 &, fileCount), Q_ARG(QObject *, list), Q_ARG(QObject *, label));
//
// The list is reached through its invokable AddItem(QString), the label through
// its writable Caption property.
#include "ControlFactory.h"

#include <QPointer>
#include <QVariant>
#include <QWidget>

class QuarryBox : public QWidget
{
    Q_OBJECT
    Q_CLASSINFO("ClassName", "Quarrylib.QuarryBox")
    Q_CLASSINFO("DispId_0x60030000", "FindFiles")
    Q_CLASSINFO("DispId_0x60030001", "FindFiles2")
    // Receives the "Unexpected Error" boxes: an object with an invokable
    // messageBox(QString text, QString title); without one a real box shows.
    Q_PROPERTY(QObject *MessageSink READ messageSink WRITE setMessageSink)
public:
    explicit QuarryBox(QWidget *parent = nullptr);
    ~QuarryBox() override;

    Q_INVOKABLE QVariant FindFiles(QString &path, QString &SearchStr, qint16 &FileCount,
                                   QObject *ListBox, QObject *LabelCount);
    Q_INVOKABLE QVariant FindFiles2(QString &path, QString &SearchStr, qint16 &FileCount,
                                    QObject *ListBox);

    QObject *messageSink() const { return m_sink; }
    void setMessageSink(QObject *sink) { m_sink = sink; }

    static int liveInstances();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QVariant searchLevel(int dispId, QString &path, QString &pattern, qint16 &count, QObject *list,
                         QObject *label);
    void unexpected(int number, const QString &description);

    QPointer<QObject> m_sink;
    int m_depth = 0;
    bool m_stopped = false; // the counter overflowed: the whole search ends
};

class QuarrydexFactory : public QObject, public ControlFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID ControlFactory_iid FILE "quarrydex.json")
    Q_INTERFACES(ControlFactory)
public:
    QObject *create(const QString &className, QWidget *parent) override;
};
