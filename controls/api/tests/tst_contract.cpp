// SPDX-License-Identifier: GPL-3.0-or-later
// Every control library the build puts in the system folder, created through
// the host by the class name the program asks for, is the interface the
// program calls it through; no library there goes unchecked.
#include "AnimatedPictureControl.h"
#include "CommonDialogControl.h"
#include "ControlContract.h"
#include "FolderSearchControl.h"
#include "PopupMenuControl.h"
#include "ProgressBarControl.h"
#include "RunAndWaitInterface.h"
#include "core/controls/ControlHost.h"

#include <QDir>
#include <QFileInfo>
#include <QWidget>
#include <QtTest>

namespace {

// Creates the class as interface I; the host's reason when it cannot.
template<class I>
QString createAs(ControlHost &host, const QString &className, QWidget *owner)
{
    QString error;
    return host.create<I>(className, owner, &error) ? QString() : error;
}

struct Library
{
    const char *file;
    QLatin1String className;
    QString (*check)(ControlHost &, const QString &, QWidget *);
};

const Library Libraries[] = {
        {"COMCTL32.OCX", ControlClass::ProgressBar, &createAs<ProgressBarControl>},
        {"COMDLG32.OCX", ControlClass::CommonDialog, &createAs<CommonDialogControl>},
        {"PopupMenu.ocx", ControlClass::PopupMenu, &createAs<PopupMenuControl>},
        {"AnimatedGif.ocx", ControlClass::AnimatedPicture, &createAs<AnimatedPictureControl>},
        {"Quarrydex.ocx", ControlClass::FolderSearch, &createAs<FolderSearchControl>},
        {"ShellAndWait.ocx", QLatin1String("Project1.ShellAndWait"), &createAs<RunAndWaitControl>},
};

} // namespace

class TestContract : public QObject
{
    Q_OBJECT

private slots:
    void everyLibraryProvidesItsInterface()
    {
        ControlHost host(QStringLiteral(SETUPREEL_BUILD_SYSTEM_DIR));
        QWidget owner;
        QStringList checked;
        for (const Library &library : Libraries) {
            const QString file = QFileInfo(host.fileOf(library.className)).fileName();
            QVERIFY2(file == QLatin1String(library.file),
                     qPrintable(QStringLiteral("%1 comes from \"%2\"").arg(library.className, file)));
            const QString why = library.check(host, library.className, &owner);
            QVERIFY2(why.isEmpty(), qPrintable(why));
            checked << file;
        }
        const QStringList built =
                QDir(host.systemDir())
                        .entryList({QStringLiteral("*") + PluginMeta::LibrarySuffix}, QDir::Files, QDir::Name);
        for (const QString &file : built)
            QVERIFY2(checked.contains(file), qPrintable(file + QStringLiteral(" is not checked here")));
    }

    // A class asked for as an interface it does not implement is no control:
    // nothing is handed out, and the reason names the class.
    void anotherInterfaceIsRefused()
    {
        ControlHost host(QStringLiteral(SETUPREEL_BUILD_SYSTEM_DIR));
        QWidget owner;
        QString error;
        QCOMPARE(host.create<ProgressBarControl>(ControlClass::CommonDialog, &owner, &error), nullptr);
        QVERIFY2(error.contains(ControlClass::CommonDialog), qPrintable(error));
        QVERIFY(owner.children().isEmpty());
        QCOMPARE(host.create<ProgressBarControl>(QStringLiteral("No.Such"), &owner, &error), nullptr);
        QVERIFY2(error.contains(QLatin1String("No.Such")), qPrintable(error));
    }
};

QTEST_MAIN(TestContract)
#include "tst_contract.moc"
