#include "platform/IniProfile.h"

#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestIniProfile : public QObject {
    Q_OBJECT

private slots:
    void lookUp_data();
    void lookUp();
    void changeIsSeenAtNextCall();
    void unusablePath_data();
    void unusablePath();
    void wholeSection();

private:
    void writeFile(const QByteArray &bytes);

    QTemporaryDir m_dir;
    const QString m_path = m_dir.filePath(u"Trovessa.ini"_s);
};

void TestIniProfile::writeFile(const QByteArray &bytes)
{
    QFile file(m_path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

static QByteArray utf16(QStringConverter::Encoding encoding, const QString &text)
{
    return QStringEncoder(encoding)(text);
}

void TestIniProfile::lookUp_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("defaultValue");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray s = "IMPRESSORA"_ba;
    const QByteArray k = "PORTA_ND"_ba;
    const QByteArray d = "dflt"_ba;
    const auto row = [&](const char *name, const QByteArray &file, const QByteArray &expected) {
        QTest::newRow(name) << file << s << k << d << expected;
    };

    row("plain", "[IMPRESSORA]\r\nPORTA_ND=LPT1\r\n", "LPT1");
    row("empty file", "", d);
    row("missing key", "[IMPRESSORA]\r\nPORTA=LPT1\r\n", d);
    row("missing section", "[OUTRA]\r\nPORTA_ND=LPT1\r\n", d);

    // Line ends and blanks
    row("LF only", "[IMPRESSORA]\nX=1\nPORTA_ND=v\n", "v");
    row("CR only", "[IMPRESSORA]\rX=1\rPORTA_ND=v\r", "v");
    row("runs of line ends and blank lines", "\r\n\r\n[IMPRESSORA]\r\r\n\n \t \r\n\n\rPORTA_ND=v\n\r", "v");
    row("lone CR ends the value", "[IMPRESSORA]\r\nPORTA_ND=ab\rcd\r\n", "ab");
    row("text after a lone CR is a line", "[IMPRESSORA]\r\nX=ab\rPORTA_ND=cd\r\n", "cd");
    row("no line end at the end", "[IMPRESSORA]\r\nPORTA_ND=last", "last");

    // Trimming
    row("line, name and value trimmed", "  \t[ IMPRESSORA \t] \r\n\x0b\x0c PORTA_ND \x1a\t= \t v  w \x1a\x0b\r\n",
        "v  w");
    row("non-breaking space kept", "[IMPRESSORA]\r\nPORTA_ND=\xa0v\xa0\r\n", "\xa0v\xa0");

    // NUL bytes
    row("NUL ends the value", "[IMPRESSORA]\r\nPORTA_ND=ab\0cd\r\n"_ba, "ab");
    row("NUL ends the key name", "[IMPRESSORA]\r\nPORTA_ND\0junk=v\r\n"_ba, "v");
    row("NUL ends the section name", "[IMPRESSORA\0junk]\r\nPORTA_ND=v\r\n"_ba, "v");

    // Section headers
    QTest::newRow("name runs to the last ]") << "[A]B]\r\nPORTA_ND=v\r\n"_ba
                                             << "A]B"_ba << k << d << "v"_ba;
    row("text after ] ignored", "[IMPRESSORA] ; printer\r\nPORTA_ND=v\r\n", "v");
    row("[ without ] is a key line", "[IMPRESSORA]\r\n[OUTRA\r\nPORTA_ND=v\r\n", "v");
    QTest::newRow("[ without ] as a key") << "[IMPRESSORA]\r\n[OUTRA=v\r\n"_ba << s << "[OUTRA"_ba << d << "v"_ba;
    row("keys before the first header are in no section", "PORTA_ND=v\r\n[IMPRESSORA]\r\nX=1\r\n", d);
    QTest::newRow("no section can't be asked for") << "PORTA_ND=v\r\n[IMPRESSORA]\r\n"_ba
                                                   << ""_ba << k << d << d;
    QTest::newRow("empty header can't be asked for") << "[]\r\nPORTA_ND=v\r\n"_ba
                                                     << ""_ba << k << d << d;
    row("later section of the same name ignored",
        "[IMPRESSORA]\r\nX=1\r\n[OUTRA]\r\nPORTA_ND=o\r\n[impressora]\r\nPORTA_ND=v\r\n", d);
    row("first section of the name searched", "[IMPRESSORA]\r\nPORTA_ND=1\r\n[IMPRESSORA]\r\nPORTA_ND=2\r\n", "1");

    // Key lines
    row("split at the first =", "[IMPRESSORA]\r\nPORTA_ND = a = b\r\n", "a = b");
    row("; starts no comment", "[IMPRESSORA]\r\n;PORTA_ND=x\r\n", d);
    QTest::newRow("; is part of the name")
        << "[IMPRESSORA]\r\n;PORTA_ND=x\r\n"_ba << s << ";PORTA_ND"_ba << d << "x"_ba;
    row("inline ; kept", "[IMPRESSORA]\r\nPORTA_ND=LPT1 ; local\r\n", "LPT1 ; local");
    row("key without = gives the default", "[IMPRESSORA]\r\nPORTA_ND\r\n", d);
    row("key without = hides a later one", "[IMPRESSORA]\r\nPORTA_ND\r\nPORTA_ND=v\r\n", d);
    row("first key wins", "[IMPRESSORA]\r\nPORTA_ND=1\r\nPORTA_ND=2\r\n", "1");
    row("empty value is not the default", "[IMPRESSORA]\r\nPORTA_ND=\r\n", "");
    row("blank value is empty", "[IMPRESSORA]\r\nPORTA_ND= \t \r\n", "");
    row("no unescaping", "[IMPRESSORA]\r\nPORTA_ND=\\\\srv\\%PRN%\\n\r\n", "\\\\srv\\%PRN%\\n");

    // Names
    QTest::newRow("ASCII case ignored") << "[Impressora]\r\nporta_nd=v\r\n"_ba
                                        << "iMPRESSORa"_ba
                                        << "PORTA_nd"_ba << d << "v"_ba;
    QTest::newRow("other letters compared exactly")
        << "[IMPRESSORA]\r\nA\xe7\xe3O=v\r\n"_ba << s << "A\xc7\xc3O"_ba << d << d;
    QTest::newRow("requested names trimmed") << "[IMPRESSORA]\r\nPORTA_ND=v\r\n"_ba
                                             << " \tIMPRESSORA\x1a"_ba
                                             << "\x0bPORTA_ND  "_ba << d << "v"_ba;

    // Quotes
    row("double quotes", "[IMPRESSORA]\r\nPORTA_ND= \" v \" \r\n", " v ");
    row("single quotes", "[IMPRESSORA]\r\nPORTA_ND='v'\r\n", "v");
    row("one pair only", "[IMPRESSORA]\r\nPORTA_ND=\"\"v\"\"\r\n", "\"v\"");
    row("empty quotes", "[IMPRESSORA]\r\nPORTA_ND=\"\"\r\n", "");
    row("lone quote", "[IMPRESSORA]\r\nPORTA_ND=\"\r\n", "\"");
    row("mismatched quotes", "[IMPRESSORA]\r\nPORTA_ND=\"v'\r\n", "\"v'");
    row("inner quotes", "[IMPRESSORA]\r\nPORTA_ND=a\"b\"\r\n", "a\"b\"");

    // Encodings
    row("ANSI bytes unchanged", "[IMPRESSORA]\r\nPORTA_ND=\xe7\x80\x81\x9d\xff\x01\r\n", "\xe7\x80\x81\x9d\xff\x01");
    row("UTF-8 without BOM is bytes", "[IMPRESSORA]\r\nPORTA_ND=a\xc3\xa7\xe2\x82\xac\r\n", "a\xc3\xa7\xe2\x82\xac");
    row("UTF-8 BOM",
        "\xef\xbb\xbf[IMPRESSORA]\r\nPORTA_ND=a\xc3\xa7\xe2\x82\xac \xe6\x97\xa5\xf0\x9f\x98\x80\xc2\xa0\r\n",
        "a\xe7\x80 ??\xa0");
    QTest::newRow("UTF-8 BOM, names compared as text")
        << "\xef\xbb\xbf[Se\xc3\xa7\xc3\xa3o]\r\nCora\xc3\xa7\xc3\xa3o=v\r\n"_ba
        << "Se\xe7\xe3o"_ba
        << "CORA\xe7\xe3O"_ba << d << "v"_ba;
    const QString unicodeFile = u"[IMPRESSORA]\r\n PORTA_ND = \"ação € 日\" \r\n"_s;
    row("UTF-16 LE BOM", "\xff\xfe" + utf16(QStringConverter::Utf16LE, unicodeFile), "a\xe7\xe3o \x80 ?");
    row("UTF-16 BE BOM", "\xfe\xff" + utf16(QStringConverter::Utf16BE, unicodeFile), "a\xe7\xe3o \x80 ?");
    row("UTF-16 LE without BOM", utf16(QStringConverter::Utf16LE, unicodeFile), d);
    row("UTF-16 BE without BOM", utf16(QStringConverter::Utf16BE, unicodeFile), d);

    // Length
    const QByteArray longValue(3000, 'x');
    row("value cut to 2047", "[IMPRESSORA]\r\nPORTA_ND=" + longValue + "\r\n", longValue.first(2047));
    row("cut after conversion", "\xef\xbb\xbf[IMPRESSORA]\r\nPORTA_ND=" + "\xc3\xa7"_ba.repeated(3000),
        "\xe7"_ba.repeated(2047));

    // The default
    const auto withDefault = [&](const char *name, const QByteArray &defaultValue, const QByteArray &expected) {
        QTest::newRow(name) << "[IMPRESSORA]\r\n"_ba << s << k << defaultValue << expected;
    };
    withDefault("empty default", "", "");
    withDefault("default loses trailing spaces", "  a b   ", "  a b");
    withDefault("blank default keeps one space", "   ", " ");
    withDefault("default keeps other whitespace", "a \t", "a \t");
    withDefault("default loses quotes", "\"a \"  ", "a ");
    withDefault("default cut to 2047", longValue, longValue.first(2047));

    // Malformed files
    QByteArray binary;
    for (int i = 0; i < 4096; ++i)
        binary.append(char(i * 37 % 256));
    row("binary bytes around", binary + "\r\n[IMPRESSORA]\r\nPORTA_ND=v\r\n" + binary, "v");
    const QByteArray hugeLine(100 * 1024, 'y');
    row("100 KB line skipped", "[IMPRESSORA]\r\nX=" + hugeLine + "\r\nPORTA_ND=v\r\n", "v");
    row("100 KB value cut", "[IMPRESSORA]\r\nPORTA_ND=" + hugeLine, hugeLine.first(2047));
    row("header without its bracket", "[IMPRESSORA\r\nPORTA_ND=v\r\n", d);
}

void TestIniProfile::lookUp()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, defaultValue);
    QFETCH(QByteArray, expected);

    writeFile(file);
    QCOMPARE(platform::readProfileString(m_path, section, key, defaultValue), expected);
}

void TestIniProfile::changeIsSeenAtNextCall()
{
    const auto read = [this] { return platform::readProfileString(m_path, "S", "K", "none"); };
    writeFile("[S]\r\nK=1\r\n");
    QCOMPARE(read(), "1"_ba);
    writeFile("[S]\r\nK=2\r\n");
    QCOMPARE(read(), "2"_ba);
    QVERIFY(QFile::remove(m_path));
    QCOMPARE(read(), "none"_ba);
}

void TestIniProfile::unusablePath_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("missing file") << m_dir.filePath(u"missing.ini"_s);
    QTest::newRow("missing folder") << m_dir.filePath(u"missing/Trovessa.ini"_s);
    QTest::newRow("a folder") << m_dir.path();
    QTest::newRow("empty path") << QString();
}

void TestIniProfile::unusablePath()
{
    QFETCH(QString, path);
    QCOMPARE(platform::readProfileString(path, "S", "K", "none"), "none"_ba);
}

void TestIniProfile::wholeSection()
{
    // The station's printer map: keys that hold backslashes and colons, in file order, by the same rules.
    writeFile("[IMPRESSORAS]\r\nLPT1=/dev/usb/lp0\r\n  \\\\SERVIDOR\\ZEBRA01 = 'socket://10.1.2.3' \r\n"
              "SEM_VALOR\r\nC:\\ETQ\\=/var/spool/\r\n[OUTRA]\r\nX=1\r\n[impressoras]\r\nCOM2=/dev/ttyS1\r\n");
    const QList<platform::ProfileEntry> entries = platform::readProfileSection(m_path, "impressoras");
    QByteArrayList pairs;
    for (const platform::ProfileEntry &entry : entries)
        pairs << entry.key + '=' + entry.value;
    QCOMPARE(pairs,
        QByteArrayList({ "LPT1=/dev/usb/lp0", "\\\\SERVIDOR\\ZEBRA01=socket://10.1.2.3", "C:\\ETQ\\=/var/spool/" }));

    const QString unicode = QStringLiteral("\uFEFF[IMPRESSORAS]\r\nLPT1=/dev/usb/lp0\r\n");
    writeFile(QByteArray(reinterpret_cast<const char *>(unicode.utf16()), unicode.size() * 2));
    QCOMPARE(platform::readProfileSection(m_path, "IMPRESSORAS").size(), 1);
    QVERIFY(platform::readProfileSection(m_dir.filePath(u"missing.ini"_s), "IMPRESSORAS").isEmpty());
}

QTEST_GUILESS_MAIN(TestIniProfile)
#include "tst_iniprofile.moc"
