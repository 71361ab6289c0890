#include "window/PrintTarget.h"

#include <QTest>

class TestPrintTarget : public QObject {
    Q_OBJECT

private slots:
    void blankTargets_data();
    void blankTargets();
    void stamping_data();
    void stamping();
    void mapping_data();
    void mapping();
};

void TestPrintTarget::blankTargets_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("blank");
    QTest::addRow("empty") << "" << true;
    QTest::addRow("blanks") << "   " << true;
    QTest::addRow("control characters") << "\t\r\n\x01 " << true;
    QTest::addRow("name with blanks around") << "  LPT1  " << false;
    QTest::addRow("no-break space is not blank") << QString(QChar(0xA0)) << false;
}

void TestPrintTarget::blankTargets()
{
    QFETCH(QString, target);
    QFETCH(bool, blank);
    QCOMPARE(PrintTarget::isBlank(target), blank);
}

void TestPrintTarget::stamping_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("expected");
    const QDateTime evening(QDate(2013, 10, 11), QTime(19, 26, 5, 123));
    const QDateTime morning(QDate(2009, 1, 2), QTime(3, 4, 5, 6));
    QTest::addRow("lower .txt") << "C:\\ETQ\\etiqueta.txt" << evening << "C:\\ETQ\\etiqueta131011192605123.txt";
    QTest::addRow("digits zero-padded, 24-hour clock") << "/x/e.txt" << morning << "/x/e090102030405006.txt";
    QTest::addRow("upper .TXT alone is not stamped") << "/x/E.TXT" << evening << "/x/E.TXT";
    QTest::addRow("every occurrence, any case, once lower is there")
        << "/a.txt/b.TXT/c.Txt" << evening << "/a131011192605123.txt/b131011192605123.txt/c131011192605123.txt";
    QTest::addRow(".txt inside a name") << "/x/e.txtz" << evening << "/x/e131011192605123.txtz";
    QTest::addRow("not a text file") << "/dev/usb/lp0" << evening << "/dev/usb/lp0";
}

void TestPrintTarget::stamping()
{
    QFETCH(QString, target);
    QFETCH(QDateTime, when);
    QFETCH(QString, expected);
    const QString result = PrintTarget::needsStamp(target) ? PrintTarget::stamped(target, when) : target;
    QCOMPARE(result, expected);
}

void TestPrintTarget::mapping_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("expected");
    QTest::addRow("exact, other case") << "lpt1"
                                       << "/dev/usb/lp0";
    QTest::addRow("shared printer") << "\\\\servidor\\Zebra01"
                                    << "socket://10.1.2.3";
    QTest::addRow("folder prefix keeps the stamped name") << "c:\\etq\\etiqueta131011192605123.txt"
                                                          << "/var/spool/etiquetas/etiqueta131011192605123.txt";
    QTest::addRow("longest prefix, rest with forward slashes") << "C:\\ETQ\\ZEBRA\\sub\\e.txt"
                                                               << "/dev/zebra/sub/e.txt";
    QTest::addRow("exact beats prefix") << "C:\\ETQ\\fixo.prn"
                                        << "/tmp/fixo.prn";
    QTest::addRow("prefix needs the separator") << "C:\\ETQ2\\e.prn"
                                                << "C:\\ETQ2\\e.prn";
    QTest::addRow("unmapped stays") << "COM2"
                                    << "COM2";
    QTest::addRow("Linux path untouched") << "/dev/usb/lp1"
                                          << "/dev/usb/lp1";
}

void TestPrintTarget::mapping()
{
    QFETCH(QString, target);
    QFETCH(QString, expected);
    const QList<std::pair<QString, QString>> map {
        { "LPT1", "/dev/usb/lp0" },
        { "\\\\SERVIDOR\\ZEBRA01", "socket://10.1.2.3" },
        { "C:\\ETQ\\", "/var/spool/etiquetas/" },
        { "C:\\ETQ\\ZEBRA\\", "/dev/zebra/" },
        { "C:\\ETQ\\FIXO.PRN", "/tmp/fixo.prn" },
    };
    QCOMPARE(PrintTarget::mapped(target, map), expected);
}

QTEST_GUILESS_MAIN(TestPrintTarget)
#include "tst_printtarget.moc"
