#include "QueueFixture.h"
#include "Station.h"

#include <QRegularExpression>

// The print run end to end: labels from a real queue, through the window, into real files.
class TestPrintRun : public QObject {
    Q_OBJECT

private slots:
    void writesEachLabelToItsTarget_data() { backends(); }
    void writesEachLabelToItsTarget();
    void failedLabelLetsTheRunGoOn_data();
    void failedLabelLetsTheRunGoOn();
    void stampedLabelsNeverShareAFile();
    void brokenRowsFailWhereTheyAreRead();
    void escapedFailureShowsOneDialogAndPollingResumes_data() { backends(); }
    void escapedFailureShowsOneDialogAndPollingResumes();
    void pollsOnlyWhileSwitchedOnAndNeverOverlaps();
    void startsWithoutTouchingTheDatabase();

private:
    void backends()
    {
        QTest::addColumn<QueueFixture::Backend>("backend");
        addBackendRows();
    }
};

void TestPrintRun::writesEachLabelToItsTarget()
{
    QFETCH(QueueFixture::Backend, backend);
    QueueFixture fixture(backend);
    fixture.writeSettings("[ETIQUETAS]\r\nPORTA_ND=" + QFile::encodeName(fixture.path("padrao.prn")) + "\r\n");
    fixture.enqueue("ABC", "M1", labelFor(fixture.path("zebra.prn"), "^XA^FDum^FS^XZ"));
    fixture.enqueue("ABC", "M1", labelFor(" \t", QString::fromUtf8("^XA^FDação € “q” 日^FS^XZ")));
    fixture.enqueue("ABC", "M1", labelFor(fixture.path("etq.txt"), QString()));
    fixture.enqueue("XYZ", "M1", labelFor(fixture.path("other-branch.prn"), "^XA^XZ"));

    Station station;
    station.click("btnImprimir");

    QCOMPARE(contents(fixture.path("zebra.prn")), QByteArray("^XA^FDum^FS^XZ\r\n"));
    QCOMPARE(contents(fixture.path("padrao.prn")), QByteArray("^XA^FDa\xe7\xe3o \x80 \x93q\x94 ?^FS^XZ\r\n"));
    const QStringList stamped = filesStartingWith(fixture.path(""), "etq");
    QCOMPARE(stamped.size(), 1);
    QVERIFY(QRegularExpression("^etq\\d{15}\\.txt$").match(stamped.first()).hasMatch());
    QCOMPARE(contents(fixture.path(stamped.first())), QByteArray("\r\n"));
    QVERIFY(!QFile::exists(fixture.path("other-branch.prn")));
    QCOMPARE(station.status(), "Imprimindo etiqueta em " + fixture.path(stamped.first()) + "...");
    QCOMPARE(fixture.pending(), 1);
}

void TestPrintRun::failedLabelLetsTheRunGoOn_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("shown");
    QTest::addRow("missing folder") << "/nao/existe/zebra.prn"
                                    << "/nao/existe/zebra.prn";
    QTest::addRow("a folder") << "/tmp"
                              << "/tmp";
    QTest::addRow("full device") << "/dev/full"
                                 << "/dev/full";
    QTest::addRow("blank, no fallback: never standard output") << ""
                                                               << "";
}

void TestPrintRun::failedLabelLetsTheRunGoOn()
{
    QFETCH(QString, target);
    QFETCH(QString, shown);
    QueueFixture fixture(QueueFixture::Backend::Embedded);
    fixture.enqueue("ABC", "M1", labelFor(target, "^XA^FDfalha^FS^XZ"));
    fixture.enqueue("ABC", "M1", labelFor(fixture.path("depois.prn"), "^XA^FDdepois^FS^XZ"));
    fixture.enqueue("ABC", "M1", labelFor(target, "^XA^FDfalha de novo^FS^XZ"));

    Station station;
    station.click("btnImprimir");

    QCOMPARE(contents(fixture.path("depois.prn")), QByteArray("^XA^FDdepois^FS^XZ\r\n"));
    // Both failed labels wait in the journal for the next run.
    QCOMPARE(station.status(), "Erro ao imprimir etiqueta em " + shown + "... 2 etiquetas aguardando nova tentativa.");
    QVERIFY(!station.errorDialog());
}

void TestPrintRun::stampedLabelsNeverShareAFile()
{
    QueueFixture fixture(QueueFixture::Backend::Embedded);
    const QString target = fixture.path("etq.txt");
    // Files already named for the coming second: none of them may be emptied.
    const QDateTime now = QDateTime::currentDateTime();
    for (int ms = 0; ms < 1000; ++ms) {
        QFile taken(fixture.path("etq" + now.addMSecs(ms).toString("yyMMddHHmmsszzz") + ".txt"));
        QVERIFY(taken.open(QIODevice::WriteOnly));
        taken.write("anterior");
    }
    for (int i = 0; i < 5; ++i)
        fixture.enqueue("ABC", "M1", labelFor(target, QStringLiteral("^XA^FD%1^FS^XZ").arg(i)));

    Station station;
    station.click("btnImprimir");

    QByteArrayList written;
    int kept = 0;
    for (const QString &name : filesStartingWith(fixture.path(""), "etq")) {
        const QByteArray bytes = contents(fixture.path(name));
        if (bytes == "anterior")
            ++kept;
        else
            written << bytes;
    }
    QCOMPARE(kept, 1000);
    std::sort(written.begin(), written.end());
    QCOMPARE(written,
        QByteArrayList({ "^XA^FD0^FS^XZ\r\n", "^XA^FD1^FS^XZ\r\n", "^XA^FD2^FS^XZ\r\n", "^XA^FD3^FS^XZ\r\n",
            "^XA^FD4^FS^XZ\r\n" }));
}

void TestPrintRun::brokenRowsFailWhereTheyAreRead()
{
    QueueFixture fixture(QueueFixture::Backend::Odbc);
    const QString target = fixture.path("zebra.prn");
    {
        QFile before(target);
        QVERIFY(before.open(QIODevice::WriteOnly));
        before.write("etiqueta anterior");
    }
    fixture.enqueue("ABC", "M1", labelFor(target, "^XA^XZ"));
    fixture.enqueue("ABC", "M1", labelFor(target, "^XA^XZ"));

    // Without ZPL every label fails, and the target keeps what it held.
    fixture.replaceProcedureWithout("ZPL");
    Station station;
    station.click("btnImprimir");
    QCOMPARE(station.status(), "Erro ao imprimir etiqueta em " + target + "...");
    QCOMPARE(contents(target), QByteArray("etiqueta anterior"));
    // Rows without printer text cannot be printed later either: nothing for the journal to keep.
    QVERIFY(!station.errorDialog());

    // Without the target column the run stops and the failure reaches the error dialog.
    fixture.enqueue("ABC", "M1", labelFor(target, "^XA^XZ"));
    fixture.replaceProcedureWithout("PORTA_IMPRESSAO_ETIQUETAS");
    station.click("btnImprimir");
    QVERIFY(station.errorDialog());
    QCOMPARE(station.errorDialog()->text(), "getNotaDespachoEtiqueta: Field 'PORTA_IMPRESSAO_ETIQUETAS' not found");
}

void TestPrintRun::escapedFailureShowsOneDialogAndPollingResumes()
{
    QFETCH(QueueFixture::Backend, backend);
    QueueFixture fixture(backend);
    fixture.enqueue("ABC", "M1", labelFor(fixture.path("zebra.prn"), "^XA^XZ"));
    const bool odbc = backend == QueueFixture::Backend::Odbc;
    if (odbc)
        QueueFixture::pauseServer();
    else
        QFile::remove(fixture.settingsPath());

    Station station;
    station.timer()->setInterval(100);
    QTRY_VERIFY(station.errorDialog());
    QMessageBox *dialog = station.errorDialog();
    QCOMPARE(dialog->windowTitle(), QCoreApplication::applicationName());
    QCOMPARE(dialog->icon(), QMessageBox::Critical);
    QCOMPARE(dialog->standardButtons(), QMessageBox::Ok);
    if (!odbc)
        QVERIFY2(dialog->text().contains(fixture.settingsPath()), qPrintable(dialog->text()));
    QTest::qWait(500); // several more failed polls
    QCOMPARE(station.window->findChildren<QMessageBox *>().size(), 1);

    if (odbc)
        QueueFixture::resumeServer();
    else
        fixture.writeSettings();
    QTRY_COMPARE_WITH_TIMEOUT(contents(fixture.path("zebra.prn")), QByteArray("^XA^XZ\r\n"), 10000);
    QVERIFY(dialog->isVisible()); // nobody had to click OK
}

void TestPrintRun::pollsOnlyWhileSwitchedOnAndNeverOverlaps()
{
    QueueFixture fixture(QueueFixture::Backend::Embedded);
    for (int i = 0; i < 200; ++i)
        fixture.enqueue("ABC", "M1", labelFor(fixture.path(QStringLiteral("e%1.prn").arg(i)), "^XA^XZ"));

    Station station;
    QTimer *timer = station.timer();
    QCOMPARE(timer->interval(), 3000);
    QCOMPARE(timer->timerType(), Qt::PreciseTimer);
    QVERIFY(timer->isActive());

    // Watch the timer from inside the run, which handles events between labels.
    bool activeDuringRun = false;
    bool sawRun = false;
    QTimer watcher;
    connect(&watcher, &QTimer::timeout, [&] {
        if (station.status().startsWith("Imprimindo") && !QFile::exists(fixture.path("e199.prn"))) {
            sawRun = true;
            activeDuringRun |= timer->isActive();
        }
    });
    watcher.start(0);
    timer->setInterval(200);
    QTRY_VERIFY(QFile::exists(fixture.path("e199.prn")));
    watcher.stop();
    QVERIFY(sawRun);
    QVERIFY(!activeDuringRun);
    QVERIFY(timer->isActive());
    QVERIFY(timer->remainingTime() > 100); // restarted when the run ended

    // Switched off: ticks come and go and the queue is not read.
    station.click("ckAtivo");
    fixture.enqueue("ABC", "M1", labelFor(fixture.path("off.prn"), "^XA^XZ"));
    QTest::qWait(700);
    QCOMPARE(fixture.pending(), 1);
    station.click("ckAtivo");
    QTRY_COMPARE(fixture.pending(), 0);
}

void TestPrintRun::startsWithoutTouchingTheDatabase()
{
    QueueFixture fixture(QueueFixture::Backend::Embedded);
    fixture.enqueue("ABC", "M1", labelFor(fixture.path("zebra.prn"), "^XA^XZ"));
    Station station({ "abcd", "maquina 1", "ignored" });
    QCOMPARE(station.child<QLineEdit>("EdtFilial")->text(), "ABCD");
    QCOMPARE(station.child<QLineEdit>("edtTotem")->text(), "MAQUINA 1");
    QTest::qWait(300);
    QCOMPARE(fixture.pending(), 1);
    QVERIFY(station.status().isEmpty());
    QVERIFY(station.child<QCheckBox>("ckAtivo")->isChecked());

    Station bare(QStringList {});
    QCOMPARE(bare.child<QLineEdit>("EdtFilial")->text(), QString());
    QCOMPARE(bare.child<QLineEdit>("edtTotem")->text(), QString());
}

QTEST_MAIN(TestPrintRun)
#include "tst_printrun.moc"
