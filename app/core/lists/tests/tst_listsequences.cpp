// SPDX-License-Identifier: GPL-3.0-or-later
// The save and load sequences with scripted answers: exact boxes, the file
// dialog's use, ListHasTitle and the rows.
#include "CommonDialogControl.h"
#include "ScriptedPrompts.h"
#include "TestFiles.h"
#include "core/common/Globals.h"
#include "core/lists/ListFile.h"
#include "core/lists/ListSequences.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace ListSequences;

Q_DECLARE_METATYPE(ListSequences::EditLoadOutcome)
Q_DECLARE_METATYPE(ListSequences::InstallLoadOutcome)

namespace {

const QString Filter = QStringLiteral("Setupreel [*.SR]|*.SR");

// The editor's rows as a plain list.
class ListRows : public EditorRows
{
public:
    explicit ListRows(QStringList &rows) : m_rows(rows) {}
    QStringList rows() const override { return m_rows; }
    void setRows(const QStringList &rows) override { m_rows = rows; }

private:
    QStringList &m_rows;
};

// The window's dialog control as the sequences see it. Only the prompts show
// it; the scripted ones answer in its place, so it never shows itself.
class Dialog : public CommonDialogControl
{
public:
    int shownDirectly = 0;
    QString filter() const override { return m_filter; }
    void setFilter(const QString &filter) override { m_filter = filter; }
    QString fileName() const override { return m_fileName; }
    void setFileName(const QString &fileName) override { m_fileName = fileName; }
    QString initDir() const override { return m_initDir; }
    void setInitDir(const QString &dir) override { m_initDir = dir; }
    bool ShowOpen() override
    {
        ++shownDirectly;
        return false;
    }
    bool ShowSave() override
    {
        ++shownDirectly;
        return false;
    }

private:
    QString m_filter;
    QString m_fileName;
    QString m_initDir;
};

SaveOutcome saveList(QStringList &rows, Prompts &prompts, CommonDialogControl *cd)
{
    ListRows editor(rows);
    return ListSequences::saveList(editor, prompts, cd);
}

EditLoadOutcome loadSavedList(QStringList &rows, Prompts &prompts, CommonDialogControl *cd)
{
    ListRows editor(rows);
    return ListSequences::loadSavedList(editor, prompts, cd);
}

} // namespace

class TstListSequences : public QObject
{
    Q_OBJECT
    QTemporaryDir *m_dir = nullptr;
    ScriptedPrompts *p = nullptr;
    Dialog *cd = nullptr;
    QString at(const QString &name) const { return m_dir->filePath(name); }
    QString fileName() const { return cd->fileName(); }
    QStringList dirEntries() const { return QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden); }

private slots:
    void init();
    void cleanup();

    void saveEmptyList();
    void saveWithoutTitle();
    void saveCancelled_data();
    void saveCancelled();
    void saveWritesAndEmptiesTheEditor();
    void roundTripAsksNothingAndWritesSameBytes();
    void emptyTitleRow();
    void saveFailureKeepsRowsAndTitle_data();
    void saveFailureKeepsRowsAndTitle();
    void replaceAsksAboutTheFileWritten();
    void loadCancelled();
    void loadRefused_data();
    void loadRefused();
    void loadLfOnlyFile();
    void installCancelled();
    void installRefused_data();
    void installRefused();
    void installLoaded();
    void missingControlIsACancel();
};

void TstListSequences::init()
{
    Globals::reset();
    m_dir = new QTemporaryDir;
    p = new ScriptedPrompts;
    cd = new Dialog;
}

void TstListSequences::cleanup()
{
    QCOMPARE(p->unexpected, 0);
    QVERIFY(p->answers.isEmpty());
    QVERIFY(p->inputs.isEmpty());
    QVERIFY(p->files.isEmpty());
    QCOMPARE(cd->shownDirectly, 0);
    delete cd;
    delete p;
    delete m_dir;
}

void TstListSequences::saveEmptyList()
{
    QStringList rows;
    Globals::ListHasTitle = 1;
    QCOMPARE(saveList(rows, *p, cd), SaveOutcome::EmptyList);
    QCOMPARE(p->boxes.size(), 1);
    QCOMPARE(p->boxes[0].text,
             QStringLiteral("There isn't any item in the list.\rFirst add an item,then save the list"));
    QCOMPARE(p->boxes[0].title, QStringLiteral("Empty list !"));
    QCOMPARE(p->boxes[0].icon, MsgIcon::Critical);
    QVERIFY(p->inputPrompts.isEmpty());
    QVERIFY(p->dialogModes.isEmpty());
    QCOMPARE(Globals::ListHasTitle, qint16(0));
}

void TstListSequences::saveWithoutTitle()
{
    QStringList rows{"A"};
    p->inputs << QString();
    QCOMPARE(saveList(rows, *p, cd), SaveOutcome::NoTitle);
    QCOMPARE(p->inputPrompts, QStringList{"You must enter a title for your list of programs|Save List"});
    QCOMPARE(p->inputDefaults, QStringList{QString()});
    QVERIFY(p->dialogModes.isEmpty());
    QVERIFY(p->boxes.isEmpty());
    QCOMPARE(rows, QStringList{"A"});
    QVERIFY(dirEntries().isEmpty());
}

void TstListSequences::saveCancelled_data()
{
    QTest::addColumn<int>("titled");
    QTest::newRow("asked for a title") << 0;
    QTest::newRow("title row") << 1;
}

void TstListSequences::saveCancelled()
{
    QFETCH(int, titled);
    // The control still holds the file of an earlier save.
    const QString earlier = at("earlier.SR");
    writeBytes(earlier, ">Earlier\r\nX\r\n");
    cd->setFileName(earlier);

    QStringList rows{"T", "A"};
    Globals::ListHasTitle = qint16(titled);
    if (!titled)
        p->inputs << "Typed";
    p->files << QString();
    QCOMPARE(saveList(rows, *p, cd), SaveOutcome::Cancelled);
    QCOMPARE(p->inputPrompts.size(), titled ? 0 : 1);
    QCOMPARE(readBytes(earlier), QByteArray(">Earlier\r\nX\r\n"));
    QCOMPARE(dirEntries(), QStringList{"earlier.SR"});
    QCOMPARE(rows, (QStringList{"T", "A"}));
    QVERIFY(p->boxes.isEmpty());
    QCOMPARE(Globals::ListHasTitle, qint16(0));
}

void TstListSequences::saveWritesAndEmptiesTheEditor()
{
    QStringList rows{"C:\\a.exe /S", "D:\\b.msi"};
    p->inputs << "My tools";
    p->files << at("tools");
    QCOMPARE(saveList(rows, *p, cd), SaveOutcome::Saved);
    QCOMPARE(p->dialogModes.size(), 1);
    QCOMPARE(p->dialogModes[0], FileDialogMode::Save);
    QCOMPARE(p->dialogFilters[0], Filter);
    QCOMPARE(fileName(), at("tools.SR"));
    QCOMPARE(readBytes(at("tools.SR")), QByteArray(">My tools\r\nC:\\a.exe /S\r\nD:\\b.msi\r\n"));
    QCOMPARE(dirEntries(), QStringList{"tools.SR"});
    QVERIFY(rows.isEmpty());
    QVERIFY(p->boxes.isEmpty());
    QCOMPARE(Globals::ListHasTitle, qint16(0));

    rows = QStringList{"x"};
    p->inputs << "Lower";
    p->files << at("tools.sr");
    QCOMPARE(saveList(rows, *p, cd), SaveOutcome::Saved);
    QCOMPARE(dirEntries(), (QStringList{"tools.SR", "tools.sr.SR"}));
    QCOMPARE(readBytes(at("tools.sr.SR")), QByteArray(">Lower\r\nx\r\n"));
}

void TstListSequences::roundTripAsksNothingAndWritesSameBytes()
{
    QStringList rows{"C:\\Setup Files\\é.exe /S", "", "D:\\b.msi /qn"};
    p->inputs << "Round trip";
    p->files << at("first.SR");
    QCOMPARE(saveList(rows, *p, cd), SaveOutcome::Saved);

    p->files << at("first.SR");
    QCOMPARE(loadSavedList(rows, *p, cd), EditLoadOutcome::Loaded);
    QCOMPARE(p->dialogModes.last(), FileDialogMode::Open);
    QCOMPARE(p->dialogFilters.last(), Filter);
    QCOMPARE(rows, (QStringList{"Round trip", "C:\\Setup Files\\é.exe /S", "", "D:\\b.msi /qn"}));
    QCOMPARE(Globals::ListHasTitle, qint16(1));
    QCOMPARE(p->boxes.size(), 1);
    QCOMPARE(p->boxes[0].text, QStringLiteral("First item in the list is title of your list."));
    QCOMPARE(p->boxes[0].title, QStringLiteral("Information"));
    QCOMPARE(p->boxes[0].icon, MsgIcon::Information);

    p->files << at("second.SR");
    QCOMPARE(saveList(rows, *p, cd), SaveOutcome::Saved);
    QCOMPARE(p->inputPrompts.size(), 1); // only the first save asked
    QCOMPARE(fileName(), at("second.SR"));
    QCOMPARE(readBytes(at("second.SR")), readBytes(at("first.SR")));
    QCOMPARE(Globals::ListHasTitle, qint16(0));
}

void TstListSequences::emptyTitleRow()
{
    writeBytes(at("untitled.SR"), ">\r\nA\r\n");
    QStringList rows;
    p->files << at("untitled.SR");
    QCOMPARE(loadSavedList(rows, *p, cd), EditLoadOutcome::Loaded);
    QCOMPARE(rows, (QStringList{"", "A"}));

    // The title is empty: nothing asked, nothing written, the flag drops.
    QCOMPARE(saveList(rows, *p, cd), SaveOutcome::NoTitle);
    QCOMPARE(p->dialogModes.size(), 1);
    QCOMPARE(p->boxes.size(), 1);
    QCOMPARE(Globals::ListHasTitle, qint16(0));

    p->inputs << "T";
    p->files << at("titled.SR");
    QCOMPARE(saveList(rows, *p, cd), SaveOutcome::Saved);
    QCOMPARE(readBytes(at("titled.SR")), QByteArray(">T\r\n\r\nA\r\n"));
}

void TstListSequences::saveFailureKeepsRowsAndTitle_data()
{
    QTest::addColumn<int>("titled");
    QTest::newRow("asked for a title") << 0;
    QTest::newRow("title row") << 1;
}

void TstListSequences::saveFailureKeepsRowsAndTitle()
{
    QFETCH(int, titled);
    writeBytes(at("plain"), "a file, not a folder");
    const QString bad = at("plain/tools.SR");
    QStringList rows{"T", "A"};
    Globals::ListHasTitle = qint16(titled);
    if (!titled)
        p->inputs << "Typed";
    p->files << at("plain/tools");
    QCOMPARE(saveList(rows, *p, cd), SaveOutcome::WriteFailed);
    QCOMPARE(p->boxes.size(), 1);
    const QString prefix = QStringLiteral("The list could not be saved to ") + bad + ".\r";
    QVERIFY2(p->boxes[0].text.startsWith(prefix), qPrintable(p->boxes[0].text));
    QVERIFY(p->boxes[0].text.size() > prefix.size()); // the reason follows
    QCOMPARE(p->boxes[0].title, QStringLiteral("Save List"));
    QCOMPARE(p->boxes[0].icon, MsgIcon::Critical);
    QCOMPARE(rows, (QStringList{"T", "A"}));
    QCOMPARE(Globals::ListHasTitle, qint16(titled));

    // Trying again elsewhere saves the same list.
    if (!titled)
        p->inputs << "Typed";
    p->files << at("retry.SR");
    QCOMPARE(saveList(rows, *p, cd), SaveOutcome::Saved);
    QCOMPARE(readBytes(at("retry.SR")), QByteArray(titled ? ">T\r\nA\r\n" : ">Typed\r\nT\r\nA\r\n"));
}

void TstListSequences::replaceAsksAboutTheFileWritten()
{
    const QByteArray old(">Old\r\nkeep.exe\r\n");
    const QString question = QStringLiteral(" already exists.\rDo you want to replace it?");
    writeBytes(at("tools.SR"), old);
    writeBytes(at("x.sr"), "not a list of ours");

    // "tools" is written as tools.SR, which exists: asked, and No writes nothing.
    QStringList rows{"T", "A"};
    Globals::ListHasTitle = 1;
    p->files << at("tools");
    p->answers << false;
    QCOMPARE(saveList(rows, *p, cd), SaveOutcome::Cancelled);
    QCOMPARE(p->questions.size(), 1);
    QCOMPARE(p->questions[0].text, at("tools.SR") + question);
    QCOMPARE(p->questions[0].title, QStringLiteral("Save List"));
    QCOMPARE(readBytes(at("tools.SR")), old);
    QCOMPARE(rows, (QStringList{"T", "A"}));
    QCOMPARE(Globals::ListHasTitle, qint16(0));
    QVERIFY(p->boxes.isEmpty());

    // Yes replaces it.
    p->inputs << "New";
    p->files << at("tools");
    p->answers << true;
    QCOMPARE(saveList(rows, *p, cd), SaveOutcome::Saved);
    QCOMPARE(p->questions.size(), 2);
    QCOMPARE(readBytes(at("tools.SR")), QByteArray(">New\r\nT\r\nA\r\n"));
    QVERIFY(rows.isEmpty());

    // "x.sr" is written as x.sr.SR: x.sr is neither asked about nor touched.
    rows = QStringList{"B"};
    p->inputs << "X";
    p->files << at("x.sr");
    QCOMPARE(saveList(rows, *p, cd), SaveOutcome::Saved);
    QCOMPARE(p->questions.size(), 2);
    QCOMPARE(readBytes(at("x.sr")), QByteArray("not a list of ours"));
    QCOMPARE(readBytes(at("x.sr.SR")), QByteArray(">X\r\nB\r\n"));

    // Now x.sr.SR exists: that is the file asked about.
    rows = QStringList{"C"};
    p->inputs << "X";
    p->files << at("x.sr");
    p->answers << false;
    QCOMPARE(saveList(rows, *p, cd), SaveOutcome::Cancelled);
    QCOMPARE(p->questions.last().text, at("x.sr.SR") + question);
    QCOMPARE(readBytes(at("x.sr.SR")), QByteArray(">X\r\nB\r\n"));
    QCOMPARE(rows, QStringList{"C"});
    QCOMPARE(dirEntries(), (QStringList{"tools.SR", "x.sr", "x.sr.SR"}));
}

void TstListSequences::loadCancelled()
{
    writeBytes(at("earlier.SR"), ">Other\r\nZ\r\n");
    cd->setFileName(at("earlier.SR"));
    QStringList rows{"x", "y"};
    p->files << QString();
    QCOMPARE(loadSavedList(rows, *p, cd), EditLoadOutcome::Cancelled);
    QCOMPARE(rows, (QStringList{"x", "y"}));
    QCOMPARE(Globals::ListHasTitle, qint16(0));
    QVERIFY(p->boxes.isEmpty());
}

void TstListSequences::loadRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes"); // null: no such file
    QTest::addColumn<QString>("message");
    QTest::addColumn<EditLoadOutcome>("outcome");
    const QString wrongName = QStringLiteral("Incorrect file name or file format");
    QTest::newRow("lower-case sr") << "tools.sr" << QByteArray(">T\r\nA\r\n") << wrongName
                                   << EditLoadOutcome::RefusedName;
    QTest::newRow("no marker") << "tools.SR" << QByteArray("T\r\nA\r\n") << "Damaged file."
                               << EditLoadOutcome::RefusedContent;
    QTest::newRow("empty") << "tools.SR" << QByteArray("") << "Damaged file." << EditLoadOutcome::RefusedContent;
    QTest::newRow("missing") << "gone.SR" << QByteArray() << "Damaged file." << EditLoadOutcome::RefusedContent;
}

void TstListSequences::loadRefused()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    if (!bytes.isNull())
        writeBytes(at(name), bytes);
    QStringList rows{"Loaded title", "A"};
    Globals::ListHasTitle = 1;
    p->files << at(name);
    QTEST(loadSavedList(rows, *p, cd), "outcome");
    QVERIFY(rows.isEmpty());
    QCOMPARE(Globals::ListHasTitle, qint16(1));
    QCOMPARE(p->boxes.size(), 1);
    QTEST(p->boxes[0].text, "message");
    QCOMPARE(p->boxes[0].title, QStringLiteral("Load Saved List"));
    QCOMPARE(p->boxes[0].icon, MsgIcon::Critical);
}

void TstListSequences::loadLfOnlyFile()
{
    writeBytes(at("unix.SR"), ">T\nA\nB\n");
    QStringList rows{"x"};
    p->files << at("unix.SR");
    QCOMPARE(loadSavedList(rows, *p, cd), EditLoadOutcome::Loaded);
    QVERIFY(rows.isEmpty());
    QCOMPARE(Globals::ListHasTitle, qint16(1));
    QCOMPARE(p->boxes.size(), 1);
    QCOMPARE(p->boxes[0].title, QStringLiteral("Information"));
}

void TstListSequences::installCancelled()
{
    writeBytes(at("earlier.SR"), ">Other\r\nZ\r\n");
    cd->setFileName(at("earlier.SR"));
    Globals::LoadedListText = QStringLiteral(">Earlier\r\nA\r\n");
    Globals::LoadedLineCount = QStringLiteral("2");
    p->files << QString();
    const InstallLoad load = loadForInstalling(*p, cd);
    QVERIFY(!load.loaded);
    QCOMPARE(load.outcome, InstallLoadOutcome::Cancelled);
    QVERIFY(p->boxes.isEmpty());
    QCOMPARE(Globals::LoadedListText, QStringLiteral(">Earlier\r\nA\r\n"));
    QCOMPARE(Globals::LoadedLineCount, QStringLiteral("2"));
}

void TstListSequences::installRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes"); // null: no such file
    QTest::addColumn<InstallLoadOutcome>("outcome");
    QTest::addColumn<QString>("message"); // empty: the unreadable-file text
    QTest::newRow("lower-case sr") << "tools.sr" << QByteArray(">T\r\nA\r\n") << InstallLoadOutcome::RefusedName
                                   << "It isn't currect file\rThe format of input file must be <SR>";
    QTest::newRow("no marker") << "tools.SR" << QByteArray("T\r\nA\r\n") << InstallLoadOutcome::RefusedContent
                               << "It isn't currect file";
    QTest::newRow("no line end at all") << "tools.SR" << QByteArray(">T\nA\n") << InstallLoadOutcome::RefusedContent
                                        << "It isn't currect file";
    QTest::newRow("missing") << "gone.SR" << QByteArray() << InstallLoadOutcome::Unreadable << QString();
}

void TstListSequences::installRefused()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    if (!bytes.isNull())
        writeBytes(at(name), bytes);
    Globals::LoadedListText = QStringLiteral(">Earlier\r\nA\r\n");
    Globals::LoadedLineCount = QStringLiteral("2");
    p->files << at(name);
    const InstallLoad load = loadForInstalling(*p, cd);
    QVERIFY(!load.loaded);
    QTEST(load.outcome, "outcome");
    QVERIFY(load.text.isEmpty() && load.title.isEmpty());
    QCOMPARE(p->boxes.size(), 1);
    if (message.isEmpty()) {
        const QString prefix = "The list file " + at(name) + " could not be read.\r";
        QVERIFY2(p->boxes[0].text.startsWith(prefix), qPrintable(p->boxes[0].text));
        QVERIFY(p->boxes[0].text.size() > prefix.size());
    } else {
        QCOMPARE(p->boxes[0].text, message);
    }
    QCOMPARE(p->boxes[0].title, QStringLiteral("File format"));
    QCOMPARE(p->boxes[0].icon, MsgIcon::Critical);
    QCOMPARE(Globals::LoadedListText, QStringLiteral(">Earlier\r\nA\r\n"));
    QCOMPARE(Globals::LoadedLineCount, QStringLiteral("2"));
}

void TstListSequences::installLoaded()
{
    writeBytes(at("office.SR"), ">Office \x80\r\nA.exe /S\r\nB.msi\r\nunfinished");
    p->files << at("office.SR");
    const InstallLoad load = loadForInstalling(*p, cd);
    QVERIFY(load.loaded);
    QCOMPARE(load.outcome, InstallLoadOutcome::Loaded);
    QCOMPARE(load.title, QStringLiteral("Office €"));
    QCOMPARE(load.text, QStringLiteral(">Office €\r\nA.exe /S\r\nB.msi\r\nunfinished"));
    QCOMPARE(load.lineCount, 3);
    QCOMPARE(p->dialogModes.size(), 1);
    QCOMPARE(p->dialogModes[0], FileDialogMode::Open);
    QCOMPARE(p->dialogFilters[0], Filter);
    QVERIFY(p->boxes.isEmpty());
    QVERIFY(Globals::LoadedListText.isEmpty()); // the window stores it
    QVERIFY(Globals::LoadedLineCount.isEmpty());
}

void TstListSequences::missingControlIsACancel()
{
    QStringList rows{"T", "A"};
    Globals::ListHasTitle = 1;
    QCOMPARE(saveList(rows, *p, nullptr), SaveOutcome::Cancelled);
    QCOMPARE(loadSavedList(rows, *p, nullptr), EditLoadOutcome::Cancelled);
    QVERIFY(!loadForInstalling(*p, nullptr).loaded);
    QCOMPARE(rows, (QStringList{"T", "A"}));
    QVERIFY(p->dialogModes.isEmpty() && p->boxes.isEmpty());
}

QTEST_APPLESS_MAIN(TstListSequences)
#include "tst_listsequences.moc"
