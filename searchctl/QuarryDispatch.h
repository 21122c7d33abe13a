#pragma once
// How a host reaches the QuarryBox methods by dispatch id. The control names
// the method behind each id in a class info "DispId_0x<hex id>"; the caller
// finds the method of that name and invokes it directly, every argument by
// reference (the moc call passes the caller's own variables through):
//
//   QMetaMethod m = quarryMethod(box, 0x60030000);           // FindFiles
//   QVariant total;                                          // invalid: nothing found
//   m.invoke(box, Qt::DirectConnection, Q_RETURN_ARG(QVariant, total),
//            Q_ARG(QString &, path), Q_ARG(QString &, searchStr),
//            Q_ARG(qint16 &, fileCount), Q_ARG(QObject *, listBox),
//            Q_ARG(QObject *, labelCount));                   // FindFiles only
//
//   0x60030001 (FindFiles2) takes the same arguments without labelCount.
//
// listBox needs Q_INVOKABLE AddItem(const QString &); labelCount a writable
// QString property Caption. After the call path ends in "/" and fileCount
// holds the files found added to its value on entry.
#include <QByteArray>
#include <QMetaClassInfo>
#include <QMetaMethod>
#include <QObject>

inline QMetaMethod quarryMethod(const QObject *box, int dispId)
{
    if (!box)
        return {};
    const QMetaObject *mo = box->metaObject();
    const int info = mo->indexOfClassInfo(QByteArray("DispId_0x") + QByteArray::number(dispId, 16));
    if (info < 0)
        return {};
    const QByteArray name = mo->classInfo(info).value();
    for (int i = mo->methodCount() - 1; i >= 0; --i)
        if (mo->method(i).name() == name)
            return mo->method(i);
    return {};
}
