// The search control through the real Quarrydex.ocx, created by class name and
// called by dispatch id, on folder trees made here.
#include "ControlFactory.h"
#include "PatternMatch.h"

#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QMetaClassInfo>
#include <QJsonObject>
#include <QPluginLoader>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
class List : public QObject
{
    Q_OBJECT
public:
    QStringList rows;
    Q_INVOKABLE void AddItem(const QString &s) { rows << s; }
};
class Label : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Caption MEMBER caption)
public:
    QString caption;
    int writes = 0;
};
class Sink : public QObject
{
    Q_OBJECT
public:
    QStringList boxes;
    Q_INVOKABLE void messageBox(const QString &text, const QString &title) { boxes << title + ": " + text; }
};
}

class TestQuarrydex : public QObject
{
    Q_OBJECT
    QPluginLoader m_loader{QStringLiteral(SETUPREEL_BUILD_SYSTEM_DIR "/Quarrydex.ocx")};
    ControlFactory *m_factory = nullptr;
    QObject *m_box = nullptr;
    Sink m_sink;
    QTemporaryDir m_dir;

    void touch(const QString &rel, int bytes = 1)
    {
        const QString p = m_dir.filePath(rel);
        QDir().mkpath(QFileInfo(p).absolutePath());
        QFile f(p);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(bytes, 'x'));
    }

    QVariant call(int dispId, QString &path, const QString &pattern, qint16 &count, List &list, Label *label)
    {
        const QMetaObject *mo = m_box->metaObject();
        const QByteArray name =
            mo->classInfo(mo->indexOfClassInfo(QByteArray("DispId_0x") + QByteArray::number(dispId, 16))).value();
        QString pat = pattern;
        QVariant result;
        bool ok;
        if (label)
            ok = QMetaObject::invokeMethod(m_box, name.constData(), Qt::DirectConnection, Q_RETURN_ARG(QVariant, result),
                                           Q_ARG(QString &, path), Q_ARG(QString &, pat), Q_ARG(qint16 &, count),
                                           Q_ARG(QObject *, &list), Q_ARG(QObject *, label));
        else
            ok = QMetaObject::invokeMethod(m_box, name.constData(), Qt::DirectConnection, Q_RETURN_ARG(QVariant, result),
                                           Q_ARG(QString &, path), Q_ARG(QString &, pat), Q_ARG(qint16 &, count),
                                           Q_ARG(QObject *, &list));
        if (!ok)
            qWarning("call by dispatch id failed");
        return result;
    }

private slots:
    void initTestCase()
    {
        m_factory = qobject_cast<ControlFactory *>(m_loader.instance());
        QVERIFY2(m_factory, qPrintable(m_loader.errorString()));
        QCOMPARE(m_loader.metaData().value("MetaData").toObject().value("OriginalFilename").toString(),
                 QStringLiteral("Quarrydex.ocx"));
        QVERIFY(!m_factory->create(QStringLiteral("Quarrylib.Other"), nullptr));
        m_box = m_factory->create(QStringLiteral("Quarrylib.QuarryBox"), nullptr);
        QVERIFY(m_box);
        m_box->setProperty("MessageSink", QVariant::fromValue<QObject *>(&m_sink));
        QVERIFY(m_dir.isValid());
    }

    void init() { m_sink.boxes.clear(); }

    void orderAndBothVariants()
    {
        touch("Setups/a.exe", 10);
        touch("Setups/x/b.EXE", 20);
        touch("Setups/x/y/c.exe", 5);
        touch("Setups/w/d.exe", 1);
        touch("Setups/notes.txt");
        QDir().mkpath(m_dir.filePath("Setups/tool.exe")); // a folder that matches is not listed
        touch("Setups/tool.exe/e.exe");
        const QString base = m_dir.filePath("Setups");
        QString path = base;
        qint16 count = 5;
        List list;
        Label label;
        const QVariant total = call(0x60030000, path, "*.exe", count, list, &label);
        QCOMPARE(path, base + "/"); // the caller sees the added separator
        QCOMPARE(list.rows, QStringList({base + "/a.exe", base + "/tool.exe/e.exe", base + "/w/d.exe",
                                         base + "/x/b.EXE", base + "/x/y/c.exe"}));
        QCOMPARE(count, qint16(10));
        QCOMPARE(label.caption, QStringLiteral("10  Item(s) found."));
        QCOMPARE(total.toDouble(), 10.0 + 1 + 1 + 20 + 5);

        QString again = base + "/";
        List bare;
        call(0x60030001, again, "*.EXE", count, bare, nullptr);
        QCOMPARE(again, base + "/"); // already ending in the separator: unchanged
        QCOMPARE(bare.rows, QStringList({"a.exe", "e.exe", "d.exe", "b.EXE", "c.exe"}));
        QCOMPARE(count, qint16(15));
        QVERIFY(m_sink.boxes.isEmpty());
    }

    void hiddenSpecialAndLinks()
    {
        touch("T/.hidden.sh");
        touch("T/.cache/in-hidden.sh");
        touch("T/real/r.sh");
        QVERIFY(::mkfifo(QFile::encodeName(m_dir.filePath("T/pipe.sh")).constData(), 0644) == 0);
        QVERIFY(QFile::link(m_dir.filePath("T"), m_dir.filePath("T/real/loop"))); // points back up
        QVERIFY(QFile::link(m_dir.filePath("T/real/r.sh"), m_dir.filePath("T/alias.sh")));
        QString path = m_dir.filePath("T");
        qint16 count = 0;
        List list;
        call(0x60030001, path, "*.sh", count, list, nullptr);
        // Hidden entries are found and searched; a special file counts as a file;
        // a link to a file is a file; the link to a folder is not descended.
        QCOMPARE(list.rows, QStringList({".hidden.sh", "alias.sh", "pipe.sh", "in-hidden.sh", "r.sh"}));
    }

    void patternsAndEmpty()
    {
        touch("P/Setup;1.exe");
        touch("P/setup.msi");
        touch("P/readme");
        QString path = m_dir.filePath("P");
        qint16 count = 0;
        List list;
        call(0x60030001, path, "*.exe;*.msi", count, list, nullptr);
        QVERIFY(list.rows.isEmpty()); // one expression: ';' is an ordinary character
        call(0x60030001, path, "SETUP;?.*", count, list, nullptr);
        QCOMPARE(list.rows, QStringList({"Setup;1.exe"}));
        list.rows.clear();
        call(0x60030001, path, "", count, list, nullptr);
        QCOMPARE(list.rows.size(), 3);
        QVERIFY(PatternMatch("s*p.?XE").matches("setup.exe", 9));
        QVERIFY(!PatternMatch("*.ex").matches("a.exe", 5));
        QVERIFY(PatternMatch("*é*").matches("CAFÉ.exe", strlen("CAFÉ.exe")));
    }

    void missingFolderAndNothingFound()
    {
        QString path = m_dir.filePath("does/not/exist");
        qint16 count = 7;
        List list;
        Label label;
        label.caption = "before";
        const QVariant total = call(0x60030000, path, "*", count, list, &label);
        QVERIFY(!total.isValid()); // empty: nothing found
        QCOMPARE(count, qint16(7));
        QCOMPARE(label.caption, QStringLiteral("before"));
        QVERIFY(list.rows.isEmpty());
        QVERIFY(m_sink.boxes.isEmpty());
    }

    void unreadableFolderEndsItsLevelSilently()
    {
        if (::geteuid() == 0)
            QSKIP("as root every folder may be read");
        touch("U/locked/a.exe");
        touch("U/open/b.exe");
        ::chmod(QFile::encodeName(m_dir.filePath("U/locked")).constData(), 0);
        QString path = m_dir.filePath("U");
        qint16 count = 0;
        List list;
        call(0x60030001, path, "*.exe", count, list, nullptr);
        ::chmod(QFile::encodeName(m_dir.filePath("U/locked")).constData(), 0755);
        QCOMPARE(list.rows, QStringList({"b.exe"}));
        QVERIFY(m_sink.boxes.isEmpty());
    }

    void overflowIsReportedOnceAndTheSearchStops()
    {
        for (const char *f : {"O/1.exe", "O/2.exe", "O/a/3.exe", "O/b/4.exe", "O/c/5.exe"})
            touch(f);
        QString path = m_dir.filePath("O");
        qint16 count = 32766;
        List list;
        call(0x60030001, path, "*.exe", count, list, nullptr);
        QCOMPARE(list.rows, QStringList({"1.exe"})); // the rows found so far stay
        QCOMPARE(count, qint16(32767));
        QCOMPARE(m_sink.boxes, QStringList({"Unexpected Error: Error: 6 - Overflow"}));
        // The next search starts afresh (and stops again at once).
        list.rows.clear();
        count = 0;
        call(0x60030001, path, "*.exe", count, list, nullptr);
        QCOMPARE(list.rows.size(), 5);
    }

    void registrationExports()
    {
        QLibrary lib(QStringLiteral(SETUPREEL_BUILD_SYSTEM_DIR "/Quarrydex.ocx"));
        QVERIFY(lib.load());
        using Reg = long (*)();
        using Get = long (*)(const char *, void **);
        auto reg = reinterpret_cast<Reg>(lib.resolve("DllRegisterServer"));
        auto unreg = reinterpret_cast<Reg>(lib.resolve("DllUnregisterServer"));
        auto get = reinterpret_cast<Get>(lib.resolve("DllGetClassObject"));
        auto canUnload = reinterpret_cast<Reg>(lib.resolve("DllCanUnloadNow"));
        QVERIFY(reg && unreg && get && canUnload);
        QCOMPARE(reg(), 0L);
        QFile file(QStringLiteral(SETUPREEL_BUILD_SYSTEM_DIR "/controls.reg"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("Quarrylib.QuarryBox="));
        file.close();
        void *factory = nullptr;
        QCOMPARE(get("Quarrylib.QuarryBox", &factory), 0L);
        QCOMPARE(factory, static_cast<void *>(m_factory));
        QVERIFY(get("Other.Class", &factory) != 0);
        QCOMPARE(canUnload(), 1L); // an instance is alive
        QCOMPARE(unreg(), 0L);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(!file.readAll().contains("Quarrylib.QuarryBox="));
    }
};

QTEST_MAIN(TestQuarrydex)
#include "tst_quarrydex.moc"
