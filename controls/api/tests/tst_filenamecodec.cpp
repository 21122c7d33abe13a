// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileNameCodec.h"

#include <QTest>

using namespace FileNameCodec;

class TestFileNameCodec : public QObject
{
    Q_OBJECT
private slots:
    void roundTripsAnyBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ascii") << QByteArray("setup.exe");
        QTest::newRow("utf8") << QByteArray("caf\xc3\xa9/\xf0\x9f\x98\x80.exe");
        QTest::newRow("latin1") << QByteArray("caf\xe9.exe");
        QTest::newRow("mixed") << QByteArray("\xc3\xa9t\xe9/\xe2\x82\xac\xff");
        QTest::newRow("cut sequence") << QByteArray("a\xe2\x82");
        QTest::newRow("overlong slash") << QByteArray("\xc0\xaf");
        QTest::newRow("encoded surrogate") << QByteArray("\xed\xb3\xa9");
        QTest::newRow("past U+10FFFF") << QByteArray("\xf4\x90\x80\x80");
    }
    void roundTripsAnyBytes()
    {
        QFETCH(QByteArray, bytes);
        const QString name = decodeFileName(bytes);
        QCOMPARE(encodeFileName(name), bytes);
    }

    void validNamesAreTheirText()
    {
        const QByteArray bytes("caf\xc3\xa9");
        QCOMPARE(decodeFileName(bytes), QStringLiteral("caf\u00e9"));
        QVERIFY(!hasEscapedBytes(decodeFileName(bytes)));
        QCOMPARE(decodeFileName("caf\xe9"), QStringLiteral("caf") + QChar(char16_t(0xDCE9)));
        QVERIFY(hasEscapedBytes(decodeFileName("caf\xe9")));
    }

    void wholeRangeOfSingleBytes()
    {
        // Every single byte from 0x80 up is invalid alone and must survive.
        for (int b = 0x80; b <= 0xFF; ++b) {
            const QByteArray bytes(1, char(b));
            QCOMPARE(encodeFileName(decodeFileName(bytes)), bytes);
        }
    }

    void cp1252BothWays()
    {
        const QByteArray bytes("\x80 caf\xe9 \x9f");
        const QString text = decodeCp1252(bytes);
        QCOMPARE(text, QStringLiteral("\u20ac caf\u00e9 \u0178"));
        QByteArray back;
        QVERIFY(encodeCp1252(text, &back));
        QCOMPARE(back, bytes);
        QVERIFY(!encodeCp1252(QStringLiteral("\u4e2d"), &back));
    }
};

QTEST_GUILESS_MAIN(TestFileNameCodec)
#include "tst_filenamecodec.moc"
