// SPDX-License-Identifier: GPL-3.0-or-later
// A list written on another machine, with Windows paths, copied with its setup
// programs to another folder and installed through the real run-and-wait
// control: every program runs from where it is now, and the report keeps the
// list's own lines.
#include "FileNameCodec.h"
#include "RunAndWaitControl.h"
#include "ScriptedPrompts.h"
#include "core/install/HostedRunAndWait.h"
#include "core/install/InstallRun.h"
#include "core/install/RunCaptions.h"
#include "core/lists/ListSequences.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct QuietDisplay : InstallDisplay
{
    QStringList currentFiles;
    void setButtonsEnabled(bool) override {}
    void setCancelVisible(bool) override {}
    void setModeText(const QString &) override {}
    void setRemainderText(const QString &) override {}
    void setCurrentFileText(const QString &t) override { currentFiles << t; }
    void setProgressVisible(bool) override {}
    void setProgressMax(int) override {}
    void setProgressValue(int) override {}
    RunCaptions captions{*this};
};

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

QStringList readLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

class TestTravellingList : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QObject *m_control = nullptr;
    QString m_log;

    // A setup program that logs where it was started from and its arguments.
    QByteArray setupScript() const
    {
        return QStringLiteral("#!/bin/sh\necho \"ran $0 $*\" >> '%1'\n").arg(m_log).toUtf8();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QString error;
        m_control = loadRunAndWaitControl(&error);
        QVERIFY2(m_control, qPrintable(error));
        m_log = m_dir.filePath(QStringLiteral("ran.log"));
        qputenv("XDG_STATE_HOME", m_dir.filePath(QStringLiteral("state")).toUtf8());
    }

    void installedFromWhereItIsNow()
    {
        // On the machine it was written on: E:\Setups, a share mapped as W:.
        const QString orig = m_dir.filePath(QStringLiteral("orig/Setups"));
        // A list saved on Windows: Windows-1252 bytes, CR LF.
        const QByteArray listBytes = ">Office PCs\r\n"
                                     "E:\\Setups\\Office\\SETUP.SH /S /D=C:\\Office\r\n"
                                     "Drivers\\net.sh --quiet\r\n"
                                     "E:\\Setups\\Caf\xe9\\setup.sh\r\n"
                                     "W:\\Shared\\Tool Kit\\tool.sh -q\r\n";
        writeBytes(orig + QStringLiteral("/list.SR"), listBytes);
        writeBytes(orig + QStringLiteral("/Office/setup.sh"), setupScript());
        writeBytes(orig + QStringLiteral("/drivers/NET.sh"), setupScript());
        writeBytes(orig + QStringLiteral("/Caf\u00e9/setup.sh"), setupScript());

        // Now: the folder copied onto a stick, the share mapped by this Wine prefix.
        const QString stick = m_dir.filePath(QStringLiteral("media/stick"));
        QVERIFY(QDir().mkpath(stick));
        QCOMPARE(QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-R"), orig, stick}), 0);
        QVERIFY(QDir(m_dir.filePath(QStringLiteral("orig"))).removeRecursively());
        const QString share = m_dir.filePath(QStringLiteral("share"));
        writeBytes(share + QStringLiteral("/shared/tool kit/TOOL.SH"), setupScript());
        const QString prefix = m_dir.filePath(QStringLiteral("prefix"));
        QVERIFY(QDir().mkpath(prefix + QStringLiteral("/dosdevices")));
        QVERIFY(QFile::link(share, prefix + QStringLiteral("/dosdevices/w:")));
        qputenv("WINEPREFIX", prefix.toUtf8());

        const QString setups = stick + QStringLiteral("/Setups");
        const QStringList started{setups + QStringLiteral("/Office/setup.sh"),
                                  setups + QStringLiteral("/drivers/NET.sh"),
                                  setups + QStringLiteral("/Caf\u00e9/setup.sh"),
                                  // Wine's drive, as the program line named it
                                  prefix + QStringLiteral("/dosdevices/w:/shared/tool kit/TOOL.SH")};
        const QStringList lines{QStringLiteral("E:\\Setups\\Office\\SETUP.SH /S /D=C:\\Office"),
                                QStringLiteral("Drivers\\net.sh --quiet"),
                                QStringLiteral("E:\\Setups\\Caf\u00e9\\setup.sh"),
                                QStringLiteral("W:\\Shared\\Tool Kit\\tool.sh -q")};
        const QStringList logged{QStringLiteral("ran ") + started[0] + QStringLiteral(" /S /D=C:\\Office"),
                                 QStringLiteral("ran ") + started[1] + QStringLiteral(" --quiet"),
                                 QStringLiteral("ran ") + started[2] + QLatin1Char(' '),
                                 QStringLiteral("ran ") + started[3] + QStringLiteral(" -q")};

        // Loaded by its absolute path, and by a relative one from the stick.
        for (const QString &listPath : {setups + QStringLiteral("/list.SR"), QStringLiteral("Setups/list.SR")}) {
            QVERIFY(QDir::setCurrent(listPath.startsWith(QLatin1Char('/')) ? m_dir.path() : stick));
            QFile::remove(m_log);
            ScriptedPrompts prompts;
            const ListSequences::InstallLoad load = ListSequences::loadFileForInstalling(listPath, prompts);
            QVERIFY(load.loaded);

            QuietDisplay display;
            const HostedRunAndWait control(m_control);
            InstallRun run(display.captions, prompts, [control](const QString &line) { return control.run(line); });
            run.setReportFolder(m_dir.filePath(QStringLiteral("reports")));
            run.install(LoadedList::fromText(listPath, load.text, load.lineCount));

            QCOMPARE(readLines(m_log), logged);
            QVERIFY2(prompts.boxes.isEmpty(), prompts.boxes.isEmpty() ? "" : qPrintable(prompts.boxes[0].text));
            // The window shows each line as the list holds it.
            for (const QString &line : lines)
                QVERIFY(display.currentFiles.contains(QStringLiteral("The current file :\r") + line));

            QFile json(run.reportJsonPath());
            QVERIFY(json.open(QIODevice::ReadOnly));
            const QJsonArray programs =
                    QJsonDocument::fromJson(json.readAll()).object().value(QLatin1String("programs")).toArray();
            QCOMPARE(programs.size(), 4);
            for (int i = 0; i < 4; ++i) {
                const QJsonObject p = programs.at(i).toObject();
                QCOMPARE(p.value(QLatin1String("line")).toString(), lines[i]);
                QCOMPARE(p.value(QLatin1String("file")).toString(), started[i]);
                QCOMPARE(p.value(QLatin1String("outcome")).toString(), QStringLiteral("succeeded"));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestTravellingList)
#include "tst_travellinglist.moc"
