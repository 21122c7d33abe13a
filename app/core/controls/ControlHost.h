// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Creates hosted controls by class name from the control libraries (*.ocx) in
// the system folder, for the windows and the terminal commands alike. Only
// plugin metadata is read to find a class, and only of the files before the
// one that has it; a library is loaded when one of its classes is first asked
// for, and stays loaded. Callers get the control as the
// interface of controls/api they call it through.
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

class QWidget;
class QPluginLoader;

class ControlHost
{
public:
    explicit ControlHost(const QString &systemDir);
    ~ControlHost();

    QString systemDir() const { return m_systemDir; }

    // A new instance of the class owned by parent, as its interface I; nullptr
    // and a reason when no library in the system folder provides the class,
    // it cannot be loaded, or the instance does not implement I.
    template<class I>
    I *create(const QString &className, QWidget *parent, QString *error = nullptr)
    {
        return typed<I>(create(className, parent, error), className, error);
    }

    // The same from the named library file of the system folder, for a caller
    // that needs that very file (and names it when it is missing or broken).
    template<class I>
    I *createFrom(const QString &fileName, const QString &className, QWidget *parent, QString *error = nullptr)
    {
        return typed<I>(createFrom(fileName, className, parent, error), className, error);
    }

    // Untyped: for the run-and-wait control, whose caller (HostedRunAndWait)
    // casts once and tells a library without the interface (438) apart from
    // a missing one (429); and for the tests of the host itself.
    QObject *create(const QString &className, QWidget *parent, QString *error = nullptr);
    QObject *createFrom(const QString &fileName, const QString &className, QWidget *parent, QString *error = nullptr);

    // The file that provides a class, empty when none does.
    QString fileOf(const QString &className);

    // The process-wide host over Folders::systemDir().
    static ControlHost &instance();

private:
    // Reads the classes of the next library file; false when none is left.
    bool scanNext();
    QObject *createFromPath(const QString &path, const QString &className, QWidget *parent, QString *error);

    template<class I>
    static I *typed(QObject *control, const QString &className, QString *error)
    {
        I *found = qobject_cast<I *>(control);
        if (control && !found) {
            if (error)
                *error = notImplemented(className, qobject_interface_iid<I *>());
            delete control;
        }
        return found;
    }
    static QString notImplemented(const QString &className, const char *iid);

    QString m_systemDir;
    bool m_listed = false;
    QStringList m_files; // the library files, in name order
    qsizetype m_nextFile = 0;
    QHash<QString, QString> m_fileOfClass; // lower-case class name -> library file
    QHash<QString, QPluginLoader *> m_loaders;
};
