// SPDX-License-Identifier: GPL-3.0-or-later
// The file dialog of COMDLG32.OCX, loaded from the build's system folder as the
// program loads it, and driven by typing into its own name box. A dialog that
// blocks the program ends the test through a watchdog instead of hanging it.
#include "CommonDialogControl.h"
#include "ControlFactory.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPluginLoader>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// Ends the process when it is not disarmed in time: a blocked user-interface
// thread cannot fail a test by itself.
class Watchdog
{
public:
    Watchdog(int seconds, const char *what)
        : m_thread([this, seconds, what] {
              std::unique_lock<std::mutex> lock(m_mutex);
              if (!m_done.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_disarmed; })) {
                  std::fprintf(stderr, "FAIL: the program was blocked for %d s: %s\n", seconds, what);
                  std::fflush(stderr);
                  std::_Exit(2);
              }
          })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_disarmed = true;
        }
        m_done.notify_all();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_disarmed = false;
    std::thread m_thread;
};

QFileDialog *openDialog()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *d = qobject_cast<QFileDialog *>(w); d && d->isVisible())
            return d;
    }
    return nullptr;
}

} // namespace

class TstCommonDialog : public QObject
{
    Q_OBJECT

    QPluginLoader *m_loader = nullptr;
    QWidget *m_owner = nullptr;
    CommonDialogControl *m_cd = nullptr;

    // Shows the dialog and runs `act` inside it once it is up; `act` ends it.
    bool show(bool save, const std::function<void(QFileDialog *, QLineEdit *)> &act)
    {
        bool acted = false;
        std::function<void()> poll;
        poll = [&] {
            QFileDialog *d = openDialog();
            if (!d) {
                QTimer::singleShot(20, poll);
                return;
            }
            acted = true;
            act(d, d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")));
        };
        QTimer::singleShot(0, poll);
        const bool chosen = save ? m_cd->ShowSave() : m_cd->ShowOpen();
        return acted && chosen;
    }

    static void typeSlowly(QLineEdit *edit, const QString &text, int settleMs)
    {
        edit->setFocus();
        edit->clear();
        QTest::keyClicks(edit, text);
        QTest::qWait(settleMs);
    }

private slots:
    void initTestCase()
    {
        m_loader = new QPluginLoader(QStringLiteral(SETUPREEL_BUILD_SYSTEM_DIR "/COMDLG32.OCX"));
        auto *factory = qobject_cast<ControlFactory *>(m_loader->instance());
        QVERIFY2(factory, qPrintable(m_loader->errorString()));
        m_owner = new QWidget;
        m_cd = qobject_cast<CommonDialogControl *>(factory->create(QStringLiteral("MSComDlg.CommonDialog"), m_owner));
        QVERIFY(m_cd);
        m_cd->setFilter(QStringLiteral("Setupreel [*.SR]|*.SR"));
    }

    void cleanupTestCase() { delete m_owner; }

    void typedPathsNeverBlock()
    {
        QTemporaryDir dir;
        const QByteArray fifo = QFile::encodeName(dir.filePath("pipe.SR"));
        QCOMPARE(::mkfifo(fifo.constData(), 0644), 0);
        const QStringList paths{QStringLiteral("/proc/nosuch"), QStringLiteral("/proc/"), QStringLiteral("/proc/km"),
                                QStringLiteral("/proc/self/"),  dir.filePath("pi"),       QStringLiteral("/dev/")};
        for (const bool save : {true, false}) {
            Watchdog watchdog(60, "typing paths under /proc and a fifo into the file dialog");
            const bool chosen = show(save, [&](QFileDialog *d, QLineEdit *edit) {
                QVERIFY(edit);
                for (const QString &path : paths)
                    typeSlowly(edit, path, 700);
                d->reject();
            });
            QVERIFY(!chosen);
        }
    }

    void neverOpensTheFilesItLists()
    {
        // The dialog shows names and kinds; it has no reason to open a file.
        // Every open of a file in the folder is reported by inotify.
        QTemporaryDir dir;
        for (const char *name : {"probe.SR", "noextension", "notes.txt"}) {
            QFile f(dir.filePath(QLatin1String(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(">Title\r\nC:\\setup.exe /S\r\n");
        }
        const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(watch >= 0);
        QVERIFY(inotify_add_watch(watch, QFile::encodeName(dir.path()).constData(), IN_OPEN | IN_ACCESS) >= 0);

        m_cd->setFileName(dir.filePath("probe.SR")); // starts in that folder
        Watchdog watchdog(60, "the open dialog in a folder of lists");
        const bool chosen = show(false, [&](QFileDialog *, QLineEdit *edit) {
            QTest::qWait(1500);                        // the listing and its details
            typeSlowly(edit, dir.filePath("no"), 800); // the completer
            typeSlowly(edit, dir.filePath("probe.SR"), 300);
            QTest::keyClick(edit, Qt::Key_Return);
        });
        QVERIFY(chosen);
        QCOMPARE(m_cd->fileName(), dir.filePath("probe.SR"));

        QStringList opened;
        char buffer[8192];
        ssize_t n;
        while ((n = ::read(watch, buffer, sizeof buffer)) > 0) {
            for (char *p = buffer; p < buffer + n;) {
                const auto *event = reinterpret_cast<const inotify_event *>(p);
                if (event->len > 0 && !(event->mask & IN_ISDIR))
                    opened << QString::fromUtf8(event->name);
                p += sizeof(inotify_event) + event->len;
            }
        }
        ::close(watch);
        opened.removeDuplicates();
        QVERIFY2(opened.isEmpty(), qPrintable(QStringLiteral("opened: ") + opened.join(u' ')));
    }

    void saveLeavesTheReplaceQuestionToTheCaller()
    {
        // The typed name is not the name written ("x.sr" becomes x.sr.SR):
        // the dialog itself asks nothing about an existing file.
        QTemporaryDir dir;
        QFile existing(dir.filePath("x.sr"));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.close();
        m_cd->setFileName(dir.filePath("earlier.SR"));
        bool asked = false;
        Watchdog watchdog(60, "saving under an existing name");
        const bool chosen = show(true, [&](QFileDialog *, QLineEdit *edit) {
            QTest::qWait(500); // the folder is listed and the last name shown
            typeSlowly(edit, QStringLiteral("x.sr"), 100);
            QTimer::singleShot(500, [&] {
                for (QWidget *w : QApplication::topLevelWidgets()) {
                    if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible()) {
                        asked = true;
                        box->button(QMessageBox::Yes) ? box->button(QMessageBox::Yes)->click() : box->accept();
                    }
                }
            });
            QTest::keyClick(edit, Qt::Key_Return);
        });
        QTest::qWait(600);
        QVERIFY(!asked);
        QVERIFY(chosen);
        QCOMPARE(m_cd->fileName(), dir.filePath("x.sr"));
    }
};

int main(int argc, char **argv)
{
    // The blocking dialog was seen on the X11 platform; use it when there is a display.
    if (qEnvironmentVariableIsSet("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    TstCommonDialog test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_commondialog.moc"
