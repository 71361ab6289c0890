#include "QueueFixture.h"
#include "Station.h"

// The operator's two commands and how they follow the automatic-printing switch.
class TestCommands : public QObject {
    Q_OBJECT

private slots:
    void buttonsFollowTheSwitchFromItsFirstClick();
    void printCommandPrintsOnceWithoutPolling();
    void clearQueueFetchesWithTheLastRunsValues_data();
    void clearQueueFetchesWithTheLastRunsValues();
    void commandsDuringARunLoseNoLabelAndPrintNoneTwice();
};

void TestCommands::buttonsFollowTheSwitchFromItsFirstClick()
{
    QueueFixture fixture(QueueFixture::Backend::Embedded);
    Station station;
    auto *print = station.child<QPushButton>("btnImprimir");
    auto *clear = station.child<QPushButton>("btnLimparFila");
    auto *automatic = station.child<QCheckBox>("ckAtivo");
    QVERIFY(automatic->isChecked());
    QVERIFY(print->isEnabled() && clear->isEnabled());

    station.click("ckAtivo");
    QVERIFY(!automatic->isChecked());
    QVERIFY(print->isEnabled() && clear->isEnabled());
    station.click("ckAtivo");
    QVERIFY(automatic->isChecked());
    QVERIFY(!print->isEnabled() && !clear->isEnabled());
}

void TestCommands::printCommandPrintsOnceWithoutPolling()
{
    QueueFixture fixture(QueueFixture::Backend::Embedded);
    fixture.enqueue("ABC", "M1", labelFor(fixture.path("a.txt"), "^XA^XZ"));
    Station station;
    station.click("ckAtivo");
    station.timer()->setInterval(50);

    station.click("btnImprimir");
    QCOMPARE(filesStartingWith(fixture.path(""), "a").size(), 1);
    fixture.enqueue("ABC", "M1", labelFor(fixture.path("b.txt"), "^XA^XZ"));
    QTest::qWait(400);
    QCOMPARE(fixture.pending(), 1);
    QCOMPARE(filesStartingWith(fixture.path(""), "a").size(), 1);
}

void TestCommands::clearQueueFetchesWithTheLastRunsValues_data()
{
    QTest::addColumn<QueueFixture::Backend>("backend");
    addBackendRows();
}

void TestCommands::clearQueueFetchesWithTheLastRunsValues()
{
    QFETCH(QueueFixture::Backend, backend);
    QueueFixture fixture(backend);
    fixture.enqueue("ABC", "M1", labelFor(fixture.path("1.prn"), "^XA^XZ", "ND1"));
    fixture.enqueue("", "", labelFor(fixture.path("blank.prn"), "^XA^XZ", "blank"));
    Station station;
    station.click("ckAtivo");
    auto *grid = station.child<QTableView>("DBGrid1");

    // Before any run the procedure's parameters are still NULL: nothing matches, not even the blank station.
    station.click("btnLimparFila");
    QVERIFY(!station.errorDialog());
    QCOMPARE(fixture.pending(), 2);
    QCOMPARE(grid->model()->rowCount(), 0);

    station.click("btnImprimir");
    QCOMPARE(contents(fixture.path("1.prn")), QByteArray("^XA^XZ\r\n"));

    // The fields changed since, yet the clear uses the last run's branch and machine.
    station.child<QLineEdit>("EdtFilial")->setText("XYZ");
    station.child<QLineEdit>("edtTotem")->setText("M9");
    fixture.enqueue("ABC", "M1", labelFor(fixture.path("2.prn"), "^XA^XZ", "ND2"));
    station.click("btnLimparFila");
    QCOMPARE(fixture.pending(), 1); // the blank station's label is left alone
    QVERIFY(!QFile::exists(fixture.path("2.prn")));
    QCOMPARE(grid->model()->rowCount(), 1);
    QCOMPARE(grid->model()->index(0, 1).data().toString(), "ND2");
    QCOMPARE(station.child<QLabel>("lblND")->text(), "ND2");
}

void TestCommands::commandsDuringARunLoseNoLabelAndPrintNoneTwice()
{
    QueueFixture fixture(QueueFixture::Backend::Embedded);
    const int first = 60;
    for (int i = 0; i < first; ++i)
        fixture.enqueue("ABC", "M1", labelFor(fixture.path(QStringLiteral("e%1-.txt").arg(i)), "^XA^XZ"));
    Station station;

    // From inside the run's event handling, press both buttons and queue more labels.
    bool pressed = false;
    QTimer operatorHand;
    connect(&operatorHand, &QTimer::timeout, [&] {
        if (pressed || !station.status().contains("e10-"))
            return;
        pressed = true;
        for (int i = first; i < first + 5; ++i)
            fixture.enqueue("ABC", "M1", labelFor(fixture.path(QStringLiteral("e%1-.txt").arg(i)), "^XA^XZ"));
        station.click("btnLimparFila");
        QCOMPARE(station.status(), QString::fromUtf8("Impressão em andamento: a fila não foi limpa..."));
        station.click("btnImprimir");
        station.click("btnImprimir");
    });
    operatorHand.start(0);
    station.click("btnImprimir");
    operatorHand.stop();

    QVERIFY(pressed);
    QVERIFY(!station.errorDialog());
    QCOMPARE(fixture.pending(), 0);
    for (int i = 0; i < first + 5; ++i)
        QCOMPARE(filesStartingWith(fixture.path(""), QStringLiteral("e%1-").arg(i)).size(), 1);
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
