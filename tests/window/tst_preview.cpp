#include "QueueFixture.h"
#include "Station.h"

// The yellow label preview: what it shows before, during and after a run.
class TestPreview : public QObject {
    Q_OBJECT

private slots:
    void panelContents_data();
    void panelContents();
    void showsEveryColumnOfTheCurrentRow();
    void volumeText_data();
    void volumeText();
    void followsTheRunAndOutlivesTheQueue();
    void missingColumnFailsWhereItIsRead();
};

namespace {

QVariantMap fullRow(const QString &target)
{
    return { { "SIG_ORIGEM", "GRU" }, { "SIG_DESTINO", "BHZ" }, { "NR_VOL", "2" }, { "QT_VOL", "5" },
        { "NUMERO_ND", "9876543" }, { "NF", "44710001" }, { "REM", QString::fromUtf8("FÁBRICA DE PEÇAS LTDA") },
        { "DEST", "FARMACIA CENTRAL S/A ROTA: 042 BELO HORIZONTE" }, { "NFS", "Dt/Hr Limite: 12/12/26 18:00" },
        { "DATA", "11/12/26" }, { "HORA", "14:30" }, { "CODBAR", "0001365698765430020005" },
        { "PORTA_IMPRESSAO_ETIQUETAS", target }, { "ZPL", "^XA^XZ" } };
}

const char *const valueLabels[] = { "lblOrig", "lblDest", "lblVol", "lblND", "lblNrNf", "lblRem", "lblDestinatario",
    "lblNF", "lblDt", "lblHr", "lblCodBar" };

QStringList previewTexts(const Station &station)
{
    QStringList texts;
    for (const char *name : valueLabels)
        texts << station.child<QLabel>(name)->text();
    return texts;
}

}

void TestPreview::panelContents_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QPoint>("place");
    QTest::addColumn<QSize>("fixedSize"); // empty: sized to its text
    QTest::addColumn<int>("pixelSize");
    QTest::addColumn<QString>("text");
    const auto row = [](const char *name, QPoint place, QSize size, int pixels, const char *text) {
        QTest::newRow(name) << QString(name) << place << size << pixels << QString::fromUtf8(text);
    };
    row("Label1", { 8, 8 }, {}, 16, "Trovessa Cargas Aereas");
    row("Label2", { 8, 31 }, {}, 8, "Destino");
    row("Label3", { 56, 31 }, {}, 8, "Nr Vol / Qt Vols");
    row("Label4", { 120, 31 }, {}, 8, "ND");
    row("Label5", { 204, 31 }, {}, 8, "NF");
    row("Label7", { 8, 63 }, {}, 9, "Rem:");
    row("Label8", { 8, 78 }, {}, 9, "Dest:");
    row("Label9", { 8, 94 }, {}, 9, "NFs:");
    row("lblOrig", { 238, 8 }, {}, 16, "SAO");
    row("lblDest", { 8, 41 }, {}, 16, "SAO");
    row("lblVol", { 56, 41 }, {}, 16, "1/1");
    row("lblND", { 120, 41 }, {}, 16, "1253123");
    row("lblNrNf", { 202, 41 }, {}, 16, "12534565");
    row("lblRem", { 40, 63 }, { 233, 11 }, 9, "");
    row("lblDestinatario", { 40, 78 }, { 239, 11 }, 9, "");
    row("lblNF", { 40, 94 }, { 241, 11 }, 9, "Dt/Hr Limite: 15/10/13 18:00 SERVICO: RODOVIARIO");
    row("lblDt", { 240, 111 }, {}, 9, "11/10/13");
    row("lblHr", { 240, 123 }, {}, 9, "19:26");
    row("lblCodBar", { 12, 132 }, { 181, 10 }, 8, "0001365600300100300420");
}

void TestPreview::panelContents()
{
    QFETCH(QString, name);
    QFETCH(QPoint, place);
    QFETCH(QSize, fixedSize);
    QFETCH(int, pixelSize);
    QFETCH(QString, text);
    Station station;
    auto *panel = station.child<QWidget>("PnEtiqueta");
    auto *label = panel->findChild<QLabel *>(name);
    QVERIFY(label);
    QCOMPARE(label->parentWidget(), panel);
    QCOMPARE(label->pos(), place);
    QCOMPARE(label->font().family(), "Arial");
    QVERIFY(label->font().bold());
    QCOMPARE(label->font().pixelSize(), pixelSize);
    if (!text.isEmpty())
        QCOMPARE(label->text(), text);
    if (fixedSize.isValid())
        QCOMPARE(label->size(), fixedSize);
    else
        QCOMPARE(label->size(), label->sizeHint()); // sized to its text
}

void TestPreview::showsEveryColumnOfTheCurrentRow()
{
    QueueFixture fixture(QueueFixture::Backend::Embedded);
    Station station;
    QVERIFY(station.child<QLabel>("lblDestinatario")->text().contains(" ROTA: "));
    auto *image = station.child<QLabel>("Image1");
    QCOMPARE(image->pixmap().size(), QSize(183, 29));
    QCOMPARE(image->geometry(), QRect(8, 104, 183, 29));

    QVariantMap row = fullRow(fixture.path("a.prn"));
    row["REM"] = QString("REMETENTE COM UM NOME MUITO MAIS LONGO DO QUE CABE NA ETIQUETA AMARELA");
    fixture.enqueue("ABC", "M1", row);
    const int ndWidth = station.child<QLabel>("lblND")->width();
    station.click("btnImprimir");

    QCOMPARE(previewTexts(station),
        QStringList({ "GRU", "BHZ", "2/5", "9876543", "44710001", row["REM"].toString(),
            "FARMACIA CENTRAL S/A ROTA: 042 BELO HORIZONTE", "Dt/Hr Limite: 12/12/26 18:00", "11/12/26", "14:30",
            "0001365698765430020005" }));
    QCOMPARE(station.child<QLabel>("lblRem")->size(), QSize(233, 11)); // clipped, not grown
    QCOMPARE(station.child<QLabel>("lblND")->width(), ndWidth); // same digits count, same width
    QCOMPARE(image->pixmap().size(), QSize(183, 29));
}

void TestPreview::volumeText_data()
{
    QTest::addColumn<QVariant>("count");
    QTest::addColumn<QString>("shown");
    QTest::newRow("zero drops the count") << QVariant("0") << "7";
    QTest::newRow("two zeros") << QVariant("00") << "7/00";
    QTest::newRow("blank and zero") << QVariant(" 0") << "7/ 0";
    QTest::newRow("NULL") << QVariant() << "7/";
    QTest::newRow("a count") << QVariant("12") << "7/12";
}

void TestPreview::volumeText()
{
    QFETCH(QVariant, count);
    QFETCH(QString, shown);
    QueueFixture fixture(QueueFixture::Backend::Embedded);
    QVariantMap row = fullRow(fixture.path("a.prn"));
    row["NR_VOL"] = "7";
    row["QT_VOL"] = count;
    fixture.enqueue("ABC", "M1", row);
    Station station;
    station.click("btnImprimir");
    QCOMPARE(station.child<QLabel>("lblVol")->text(), shown);
}

void TestPreview::followsTheRunAndOutlivesTheQueue()
{
    QueueFixture fixture(QueueFixture::Backend::Embedded);
    for (const char *nd : { "111", "222", "333" }) {
        QVariantMap row = fullRow(fixture.path(QString(nd) + ".prn"));
        row["NUMERO_ND"] = nd;
        fixture.enqueue("ABC", "M1", row);
    }
    Station station;
    station.click("ckAtivo");
    auto *nd = station.child<QLabel>("lblND");

    // While a label is being printed, the preview shows that label.
    QSet<QString> shownWhilePrinting;
    QTimer watcher;
    connect(&watcher, &QTimer::timeout, [&] {
        if (station.status() == "Imprimindo etiqueta em " + fixture.path(nd->text() + ".prn") + "...")
            shownWhilePrinting << nd->text();
    });
    watcher.start(0);
    station.click("btnImprimir");
    watcher.stop();
    QCOMPARE(shownWhilePrinting, QSet<QString>({ "111", "222", "333" }));
    QCOMPARE(nd->text(), "333");

    // An empty queue and a closed one leave it as it is.
    const QStringList shown = previewTexts(station);
    station.click("btnLimparFila");
    QCOMPARE(station.child<QTableView>("DBGrid1")->model()->rowCount(), 0);
    QCOMPARE(previewTexts(station), shown);
}

void TestPreview::missingColumnFailsWhereItIsRead()
{
    QueueFixture fixture(QueueFixture::Backend::Odbc);
    fixture.enqueue("ABC", "M1", fullRow(fixture.path("a.prn")));
    fixture.replaceProcedureWithout("NF");
    Station station;
    const QStringList before = previewTexts(station);
    station.click("btnImprimir");

    QVERIFY(station.errorDialog());
    QCOMPARE(station.errorDialog()->text(), "getNotaDespachoEtiqueta: Field 'NF' not found");
    const QStringList after = previewTexts(station);
    QCOMPARE(after.mid(0, 4), QStringList({ "GRU", "BHZ", "2/5", "9876543" })); // set before the failing read
    QCOMPARE(after.mid(4), before.mid(4)); // left as they were
    QVERIFY(!QFile::exists(fixture.path("a.prn"))); // the run stopped where the failure escaped
}

QTEST_MAIN(TestPreview)
#include "tst_preview.moc"
