#include "platform/Cp1252.h"

#include <QElapsedTimer>
#include <QTest>

using namespace Qt::StringLiterals;

class TestCp1252 : public QObject {
    Q_OBJECT

private slots:
    void encode_data();
    void encode();
    void decode_data();
    void decode();
    void roundTrip();
    void largeText();
};

void TestCp1252::encode_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("ascii") << u"^XA^FO50,50^FDCaixa 1/3^FS^XZ\r\n"_s << "^XA^FO50,50^FDCaixa 1/3^FS^XZ\r\n"_ba;
    QTest::newRow("NUL kept") << QString(QChar(0)) + u'x' << "\0x"_ba;
    QTest::newRow("mixed") << u"ação ç € “q” – Ø 日"_s
                           << QByteArray::fromHex("61e7e36f20e72080209371942096"
                                                  "20d8203f");
    QTest::newRow("latin-1 range") << u"\u00a0¡ÇÉÑØßàçéñ÷ÿ"_s << QByteArray::fromHex("a0a1c7c9d1d8dfe0e7e9f1f7ff");
    QTest::newRow("0x80-0x9F specials") << u"€‚ƒ„…†‡ˆ‰Š‹ŒŽ‘’“”•–—˜™š›œžŸ"_s
                                        << QByteArray::fromHex("808283848586878889"
                                                               "8a8b8c8e9192939495"
                                                               "969798999a9b9c9e9f");
    // Latin-1 has them, Windows-1252 does not.
    QTest::newRow("C1 controls") << u"\u0080\u0081\u009f"_s << "???"_ba;
    QTest::newRow("unmappable BMP") << u"Ω日本x"_s << "???x"_ba;
    QTest::newRow("non-BMP is one character") << u"a😀b𝄞"_s << "a?b?"_ba;
    QTest::newRow("lone surrogates") << QString(QChar(0xd83d)) + u'a' + QChar(0xde00) << "?a?"_ba;
}

void TestCp1252::encode()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(platform::toCp1252(text), expected);
}

void TestCp1252::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("ascii and NUL") << QByteArray("K=v\0w", 5) << QString::fromLatin1("K=v\0w", 5);
    QTest::newRow("latin-1 range") << QByteArray::fromHex("a0c7e3ff") << u"\u00a0Çãÿ"_s;
    QTest::newRow("0x80-0x9F specials") << QByteArray::fromHex("80828c8e93949f") << u"€‚ŒŽ“”Ÿ"_s;
    QTest::newRow("undefined bytes") << QByteArray::fromHex("61818d8f909d62") << u"a?????b"_s;
}

void TestCp1252::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(platform::fromCp1252(bytes), expected);
}

void TestCp1252::roundTrip()
{
    QByteArray everyDefinedByte;
    for (int byte = 0; byte < 256; ++byte) {
        if (byte != 0x81 && byte != 0x8d && byte != 0x8f && byte != 0x90 && byte != 0x9d)
            everyDefinedByte.append(char(byte));
    }
    const QString text = platform::fromCp1252(everyDefinedByte);
    QCOMPARE(text.size(), everyDefinedByte.size());
    QCOMPARE(platform::toCp1252(text), everyDefinedByte);
}

void TestCp1252::largeText()
{
    // Unmappable characters every few bytes make the converter stop and restart all the way through.
    const QString unit = u"ação € 日😀 ^FD\r\n"_s;
    const QByteArray unitBytes = "a\xe7\xe3o \x80 ?? ^FD\r\n"_ba;
    const qsizetype repeats = (1 << 20) / unit.size() + 1;

    QElapsedTimer timer;
    timer.start();
    const QByteArray bytes = platform::toCp1252(unit.repeated(repeats));
    QCOMPARE(bytes, unitBytes.repeated(repeats));
    const QString text = platform::fromCp1252(bytes);
    QCOMPARE(text, u"ação € ?? ^FD\r\n"_s.repeated(repeats));
    // Linear work takes well under a second even with sanitizers; a quadratic one takes minutes.
    QVERIFY2(timer.elapsed() < 10000, QByteArray::number(timer.elapsed()));
}

QTEST_GUILESS_MAIN(TestCp1252)
#include "tst_cp1252.moc"
