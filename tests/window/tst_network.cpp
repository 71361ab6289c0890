#include "LoopbackPrinter.h"
#include "QueueFixture.h"
#include "Station.h"

#include <QRegularExpression>

// A Linux station printing to the company's printers: network printers on their raw port, and the Windows target
// names the database holds, mapped in the station's settings.
class TestNetwork : public QObject {
    Q_OBJECT

private slots:
    void printsThroughTheMapToEveryKindOfTarget();
    void unreachablePrintersKeepTheirLabels();
};

void TestNetwork::printsThroughTheMapToEveryKindOfTarget()
{
    QueueFixture fixture(QueueFixture::Backend::Embedded);
    LoopbackPrinter printer;
    printer.startReading();
    QDir().mkpath(fixture.path("spool"));
    fixture.writeSettings("[ETIQUETAS]\r\nPORTA_ND=\\\\SERVIDOR\\ZEBRA01\r\n"
                          "[IMPRESSORAS]\r\n\\\\SERVIDOR\\ZEBRA01="
        + printer.target().toLatin1() + "\r\nLPT1=" + QFile::encodeName(fixture.path("lpt1.prn"))
        + "\r\nC:\\ETQ\\=" + QFile::encodeName(fixture.path("spool")) + "/\r\n");
    fixture.enqueue("ABC", "M1", labelFor("\\\\servidor\\zebra01", QString::fromUtf8("^XA^FDação^FS^XZ")));
    fixture.enqueue("ABC", "M1", labelFor("lpt1", "^XA^FDporta^FS^XZ"));
    fixture.enqueue("ABC", "M1", labelFor("c:\\etq\\etiqueta.txt", "^XA^FDpasta^FS^XZ"));
    fixture.enqueue("ABC", "M1", labelFor("", "^XA^FDpadrao^FS^XZ"));
    fixture.enqueue("ABC", "M1", labelFor("\\\\OUTRO\\ZEBRA", "^XA^FDsem mapa^FS^XZ"));

    Station station;
    station.click("ckAtivo");
    QStringList statuses;
    QTimer watcher;
    connect(&watcher, &QTimer::timeout, [&] {
        if (statuses.isEmpty() || statuses.last() != station.status())
            statuses << station.status();
    });
    watcher.start(0);
    station.click("btnImprimir");
    watcher.stop();

    QTRY_COMPARE(printer.received().size(), 2);
    QCOMPARE(printer.received(), QByteArrayList({ "^XA^FDa\xe7\xe3o^FS^XZ\r\n", "^XA^FDpadrao^FS^XZ\r\n" }));
    QCOMPARE(contents(fixture.path("lpt1.prn")), QByteArray("^XA^FDporta^FS^XZ\r\n"));
    const QStringList spooled = QDir(fixture.path("spool")).entryList(QDir::Files);
    QCOMPARE(spooled.size(), 1);
    QVERIFY(QRegularExpression("^etiqueta\\d{15}\\.txt$").match(spooled.first()).hasMatch());
    QCOMPARE(contents(fixture.path("spool/" + spooled.first())), QByteArray("^XA^FDpasta^FS^XZ\r\n"));

    // The status names where each label really went, and the name to map when there is none.
    QVERIFY(statuses.contains("Imprimindo etiqueta em " + printer.target() + "..."));
    QVERIFY(statuses.contains("Imprimindo etiqueta em " + fixture.path("spool/" + spooled.first()) + "..."));
    QCOMPARE(
        station.status(), "Erro ao imprimir etiqueta em \\\\OUTRO\\ZEBRA... 1 etiqueta aguardando nova tentativa.");
}

void TestNetwork::unreachablePrintersKeepTheirLabels()
{
    QueueFixture fixture(QueueFixture::Backend::Embedded);
    const QString refusing = LoopbackPrinter().target();
    LoopbackPrinter silent(4096);
    // Small enough for the kernel to take it whole, so only the unacknowledged bytes tell the printer stopped.
    const QString label = "^XA" + QString(12 * 1024, u'S') + "^XZ";
    fixture.enqueue("ABC", "M1", labelFor(refusing, "^XA^FDrecusada^FS^XZ"));
    fixture.enqueue("ABC", "M1", labelFor(silent.target(), label));
    fixture.enqueue("ABC", "M1", labelFor(silent.target(), "^XA^FDespera^FS^XZ"));

    Station station;
    station.click("ckAtivo");
    const Station::Timing run = station.timedPrint();
    QVERIFY2(run.elapsed < 15000, qPrintable(QString::number(run.elapsed))); // one wait for the silent printer
    QVERIFY2(run.longestGap < 500, qPrintable(QString::number(run.longestGap)));
    QCOMPARE(station.status(),
        "Erro ao imprimir etiqueta em " + silent.target() + "... 3 etiquetas aguardando nova tentativa.");

    // The silent printer reads again; the refusing one stays away.
    silent.startReading();
    station.click("btnImprimir");
    // The attempt that gave up was reset, so what it had queued never reaches the printer: each label once.
    QTRY_COMPARE(silent.received().size(), 3);
    const QByteArrayList received = silent.received();
    QCOMPARE(received.count(label.toLatin1() + "\r\n"), 1);
    QCOMPARE(received.at(0).size() < label.size() + 2, true);
    QCOMPARE(received.at(1), label.toLatin1() + "\r\n");
    QCOMPARE(received.at(2), QByteArray("^XA^FDespera^FS^XZ\r\n"));
    QVERIFY(station.status().endsWith(" 1 etiqueta aguardando nova tentativa."));
}

QTEST_MAIN(TestNetwork)
#include "tst_network.moc"
