// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the program and the control libraries it hosts agree on, besides the
// ControlFactory interface: the keys of a library's plugin metadata, the
// dispatch ids of the folder search's methods and how a caller reaches them,
// and the run-time error numbers the controls raise and the host reports.
// Both sides include this one header, so a number or key has one spelling.
#include <QByteArray>
#include <QLatin1String>
#include <QMetaClassInfo>
#include <QMetaMethod>
#include <QObject>
#include <QString>
#include <QVariant>

// The JSON file a library names in Q_PLUGIN_METADATA, as the host finds it
// under QPluginLoader::metaData().
namespace PluginMeta {
// The object Qt puts the library's own JSON under.
inline constexpr QLatin1String Root("MetaData");
// Array of the class names the factory creates ("Quarrylib.QuarryBox"). The
// host (ControlHost) reads only this key, without loading the library, to
// find which file provides a class; names compare without regard to case.
inline constexpr QLatin1String Classes("classes");
// The library's file name as built ("Quarrydex.ocx"); the controls' tests
// check it against the file loaded, so a renamed file is caught.
inline constexpr QLatin1String OriginalFilename("OriginalFilename");
// The version resource a Windows control file carries, kept for the file's
// properties; only the tests read them.
inline constexpr QLatin1String ProductName("ProductName");
inline constexpr QLatin1String InternalName("InternalName");
inline constexpr QLatin1String FileVersion("FileVersion");
inline constexpr QLatin1String ProductVersion("ProductVersion");
inline constexpr QLatin1String NumericVersion("NumericVersion");
// true for a library that registers itself in-process (the folder search).
inline constexpr QLatin1String OLESelfRegister("OLESelfRegister");
// The ending of a control library's file name; the host looks at no other file.
inline constexpr QLatin1String LibrarySuffix(".ocx");
} // namespace PluginMeta

// The ids the folder search control publishes its methods under. The control
// names the method behind each in a class info "DispId_0x<hex id>" (moc needs
// the literal there); callers find it with dispatchMethod.
namespace DispId {
// FindFiles(path, searchStr, fileCount, listBox, labelCount): full paths into
// listBox, "<n>  Item(s) found." into labelCount's Caption.
inline constexpr int FindFiles = 0x60030000;
// FindFiles2(path, searchStr, fileCount, listBox): bare file names, no label.
inline constexpr int FindFiles2 = 0x60030001;
inline constexpr char InfoPrefix[] = "DispId_0x";
} // namespace DispId

// The run-time error numbers a control returns or shows (ShellAndWait's
// result and ErrorDescription, the folder search's "Unexpected Error" box) and
// the host reports for a control it cannot use. The description texts are
// each raiser's own.
namespace RunTimeError {
inline constexpr int NoError = 0;
inline constexpr int InvalidCall = 5; // also: a Windows setup file and no Wine
inline constexpr int Overflow = 6;    // the found-file counter or a folder's subfolders
inline constexpr int OutOfMemory = 7;
inline constexpr int StillWaiting = 10; // a run-and-wait call while another one waits
inline constexpr int Interrupted = 18;  // the program is ending
inline constexpr int BadFileName = 52;  // ends a search level silently
inline constexpr int FileNotFound = 53; // ends a search level silently; a missing setup file
inline constexpr int TooManyFiles = 67;
inline constexpr int PermissionDenied = 70;
inline constexpr int PathFileAccess = 75;
inline constexpr int ObjectNotSet = 91;      // no list or label handed to the search
inline constexpr int MachineMismatch = 216;  // a Windows program this Wine cannot run
inline constexpr int CantCreateObject = 429; // the host has no such control
inline constexpr int NotSupported = 438;     // an object without the member asked for
} // namespace RunTimeError

// The method control publishes under dispId; invalid when control is null or
// publishes no such id. Searched from the most derived class down.
inline QMetaMethod dispatchMethod(const QObject *control, int dispId)
{
    if (!control)
        return {};
    const QMetaObject *mo = control->metaObject();
    const int info = mo->indexOfClassInfo(QByteArray(DispId::InfoPrefix) + QByteArray::number(dispId, 16));
    if (info < 0)
        return {};
    const QByteArray name = mo->classInfo(info).value();
    for (int i = mo->methodCount() - 1; i >= 0; --i)
        if (mo->method(i).name() == name)
            return mo->method(i);
    return {};
}

// Calls FindFiles or FindFiles2 of a folder search control by dispId, every
// argument by reference (the control sees the caller's own variables);
// FindFiles2 takes no labelCount. listBox implements SearchListBox and
// labelCount SearchLabel (FolderSearchControl.h). Afterwards
// path ends in "/" and fileCount holds the files found added to its value on
// entry; *total is the sum of their sizes, invalid when none was found.
// False when the control has no such method or it takes other arguments.
inline bool callFindFiles(QObject *box, int dispId, QString &path, QString &searchStr, qint16 &fileCount,
                          QObject *listBox, QObject *labelCount, QVariant *total = nullptr)
{
    const QMetaMethod method = dispatchMethod(box, dispId);
    if (!method.isValid())
        return false;
    QVariant result;
    const bool called =
            dispId == DispId::FindFiles2
                    ? method.invoke(box, Qt::DirectConnection, Q_RETURN_ARG(QVariant, result), Q_ARG(QString &, path),
                                    Q_ARG(QString &, searchStr), Q_ARG(qint16 &, fileCount), Q_ARG(QObject *, listBox))
                    : method.invoke(box, Qt::DirectConnection, Q_RETURN_ARG(QVariant, result), Q_ARG(QString &, path),
                                    Q_ARG(QString &, searchStr), Q_ARG(qint16 &, fileCount), Q_ARG(QObject *, listBox),
                                    Q_ARG(QObject *, labelCount));
    if (total)
        *total = result;
    return called;
}
