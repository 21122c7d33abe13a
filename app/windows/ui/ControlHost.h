#pragma once
// Creates hosted controls by class name from the control libraries (*.ocx) in
// the system folder. Only plugin metadata is read to find a class; a library is
// loaded when one of its classes is first asked for, and stays loaded.
#include <QHash>
#include <QString>
#include <QStringList>

class QObject;
class QWidget;
class QPluginLoader;

class ControlHost
{
public:
    explicit ControlHost(const QString &systemDir);
    ~ControlHost();

    QString systemDir() const { return m_systemDir; }

    // A new instance of the class owned by parent; nullptr and a reason when
    // no library in the system folder provides it or it cannot be loaded.
    QObject *create(const QString &className, QWidget *parent, QString *error = nullptr);

    // The file that provides a class, empty when none does.
    QString fileOf(const QString &className);

    // The process-wide host over Folders::systemDir().
    static ControlHost &instance();

private:
    void scan();

    QString m_systemDir;
    bool m_scanned = false;
    QHash<QString, QString> m_fileOfClass; // lower-case class name -> library file
    QHash<QString, QPluginLoader *> m_loaders;
};
