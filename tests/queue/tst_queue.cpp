#include "QueueFixture.h"
#include "queue/QueueConnection.h"
#include "queue/QueueDataSource.h"
#include "queue/QueueError.h"
#include "queue/QueueProcedure.h"

#include <QSignalSpy>
#include <QTest>

namespace {

QVariantMap label(const QString &nd, const QString &zpl = QStringLiteral("^XA^XZ"))
{
    return { { QStringLiteral("NUMERO_ND"), nd }, { QStringLiteral("ZPL"), zpl } };
}

QString failureOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const QueueError &error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

}

class TestQueue : public QObject {
    Q_OBJECT

private slots:
    void handsOutRowsInOrderOnce_data();
    void handsOutRowsInOrderOnce();
    void readsValuesAsText_data() { backends(); }
    void readsValuesAsText();
    void parametersAreNullUntilSet_data() { backends(); }
    void parametersAreNullUntilSet();
    void refusesOverLongValues_data() { backends(); }
    void refusesOverLongValues();
    void reportsConfigurationAndDriverFailures_data();
    void reportsConfigurationAndDriverFailures();
    void notifiesOnOpenAndMoveOnly();
    void reconnectsAfterServerRestart();

private:
    void backends()
    {
        QTest::addColumn<QueueFixture::Backend>("backend");
        addBackendRows();
    }
};

void TestQueue::handsOutRowsInOrderOnce_data()
{
    backends();
}

void TestQueue::handsOutRowsInOrderOnce()
{
    QFETCH(QueueFixture::Backend, backend);
    QueueFixture fixture(backend);
    fixture.enqueue("ABC", "M1", label("1"));
    fixture.enqueue("ABC", "M2", label("other machine"));
    fixture.enqueue("ABC", "M1", label("2"));
    fixture.enqueue("XYZ", "M1", label("other branch"));
    fixture.enqueue("ABC", "M1", label("3"));

    QueueConnection connection("queue");
    QueueProcedure procedure(connection);
    procedure.setParameter(u"@grupoempresa", "ABC");
    procedure.setParameter(u"@MAQUINA", "M1");
    procedure.open();
    QVERIFY(procedure.isOpen());
    QCOMPARE(procedure.recordCount(), 3);
    QStringList walked;
    for (procedure.first(); !procedure.eof(); procedure.next())
        walked << procedure.fieldText("NUMERO_ND");
    QCOMPARE(walked, QStringList({ "1", "2", "3" }));

    procedure.close();
    QVERIFY(!procedure.isOpen());
    procedure.open();
    QCOMPARE(procedure.recordCount(), 0);
    QVERIFY(procedure.eof());
    QCOMPARE(fixture.pending(), 2);
}

void TestQueue::readsValuesAsText()
{
    QFETCH(QueueFixture::Backend, backend);
    QueueFixture fixture(backend);
    fixture.enqueue("ABC", "M1",
        { { "ZPL", QString::fromUtf8("^XA^FDação € “q”^FS^XZ") }, { "QT_VOL", "0" }, { "REM", QVariant() } });

    QueueConnection connection("queue");
    QueueProcedure procedure(connection);
    procedure.setParameter(u"@GRUPOEMPRESA", "ABC");
    procedure.setParameter(u"@maquina", "M1");
    procedure.open();
    QCOMPARE(procedure.fieldText("zpl"), QString::fromUtf8("^XA^FDação € “q”^FS^XZ"));
    QCOMPARE(procedure.fieldText("Qt_Vol"), "0");
    QCOMPARE(procedure.fieldText("REM"), QString());
    QCOMPARE(procedure.fieldText("PORTA_IMPRESSAO_ETIQUETAS"), QString());
    QCOMPARE(
        failureOf([&] { procedure.fieldText("NAO_EXISTE"); }), "getNotaDespachoEtiqueta: Field 'NAO_EXISTE' not found");
}

void TestQueue::parametersAreNullUntilSet()
{
    QFETCH(QueueFixture::Backend, backend);
    QueueFixture fixture(backend);
    // An empty branch and machine match this label; NULL matches nothing.
    fixture.enqueue("", "", label("blank station"));

    QueueConnection connection("queue");
    QueueProcedure procedure(connection);
    QVERIFY(procedure.parameter(u"@grupoempresa").isNull());
    QVERIFY(procedure.parameter(u"@maquina").isNull());
    procedure.open();
    QCOMPARE(procedure.recordCount(), 0);

    procedure.close();
    procedure.setParameter(u"@grupoempresa", "");
    procedure.setParameter(u"@maquina", "");
    procedure.open();
    QCOMPARE(procedure.recordCount(), 1);
}

void TestQueue::refusesOverLongValues()
{
    QFETCH(QueueFixture::Backend, backend);
    QueueFixture fixture(backend);
    fixture.enqueue("ABC", "M1", label("1"));

    QueueConnection connection("queue");
    QueueProcedure procedure(connection);
    procedure.setParameter(u"@grupoempresa", "ABCD");
    procedure.setParameter(u"@maquina", "M1");
    QCOMPARE(failureOf([&] { procedure.open(); }), QString::fromUtf8("Filial \"ABCD\" tem 4 caracteres; o máximo é 3"));
    procedure.setParameter(u"@grupoempresa", "ABC");
    procedure.setParameter(u"@maquina", QString(101, u'M'));
    QVERIFY(failureOf([&] { procedure.open(); }).startsWith(QString::fromUtf8("Máquina \"MMM")));
    QVERIFY(!procedure.isOpen());
    QCOMPARE(fixture.pending(), 1);
}

void TestQueue::reportsConfigurationAndDriverFailures_data()
{
    QTest::addColumn<QueueFixture::Backend>("backend");
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QString>("expected");
    QTest::addRow("no section") << QueueFixture::Backend::Embedded << QByteArray("[ETIQUETAS]\nPORTA_ND=x\n")
                                << "falta a seção [CONEXAO]";
    QTest::addRow("unknown provider") << QueueFixture::Backend::Embedded
                                      << QByteArray("[CONEXAO]\nProvider=Oracle\nData Source=x\n")
                                      << "Provider \"Oracle\" desconhecido";
    QTest::addRow("embedded file unreachable")
        << QueueFixture::Backend::Embedded
        << QByteArray("[CONEXAO]\nProvider=SQLite\nData Source=/nao/existe/fila.db\n")
        << "unable to open database file";
    QTest::addRow("wrong port") << QueueFixture::Backend::Odbc
                                << QByteArray("[CONEXAO]\nDriver=PostgreSQL Unicode\nData Source=127.0.0.1\nPort=1\n"
                                              "Initial Catalog=etiquetas\nUser ID=tester\nPassword=Senha12345\n")
                                << "Connection refused";
    QTest::addRow("unknown driver") << QueueFixture::Backend::Odbc
                                    << QByteArray("[CONEXAO]\nDriver=NoSuchDriver\nData Source=127.0.0.1\n"
                                                  "Password=Senha12345\n")
                                    << "NoSuchDriver";
}

void TestQueue::reportsConfigurationAndDriverFailures()
{
    QFETCH(QueueFixture::Backend, backend);
    QFETCH(QByteArray, settings);
    QFETCH(QString, expected);
    QueueFixture fixture(backend);
    QFile file(fixture.settingsPath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(settings);
    file.close();

    QueueConnection connection("queue");
    QueueProcedure procedure(connection);
    const QString failure = failureOf([&] { procedure.open(); });
    QVERIFY2(failure.contains(expected), qPrintable(failure));
    QVERIFY2(!failure.contains("Senha12345"), qPrintable(failure));
    if (expected.contains("CONEXAO"))
        QVERIFY(failure.contains(fixture.settingsPath()));
    QVERIFY(!procedure.isOpen());
}

void TestQueue::notifiesOnOpenAndMoveOnly()
{
    QueueFixture fixture(QueueFixture::Backend::Embedded);
    fixture.enqueue("ABC", "M1", label("1"));
    fixture.enqueue("ABC", "M1", label("2"));

    QueueConnection connection("queue");
    QueueProcedure procedure(connection);
    QueueDataSource ds(procedure);
    ds.setColumns({ { "NUMERO_ND", "ND" }, { "NAO_EXISTE", "?" } });
    QSignalSpy changes(&ds, &QueueDataSource::dataChange);
    QSignalSpy rows(&ds, &QueueDataSource::currentRowChanged);
    procedure.setParameter(u"@grupoempresa", "ABC");
    procedure.setParameter(u"@maquina", "M1");

    procedure.open();
    QCOMPARE(changes.count(), 1);
    QCOMPARE(ds.rowCount(), 2);
    QCOMPARE(ds.headerData(0, Qt::Horizontal), "ND");
    QCOMPARE(ds.data(ds.index(1, 0)), "2");
    QCOMPARE(ds.data(ds.index(1, 1)), QString());
    procedure.first();
    procedure.next();
    QCOMPARE(changes.count(), 3);
    QCOMPARE(rows.last().first().toInt(), 1);
    procedure.next(); // past the last row: no move
    QVERIFY(procedure.eof());
    QCOMPARE(changes.count(), 3);
    procedure.close();
    QCOMPARE(changes.count(), 3);
    QCOMPARE(ds.rowCount(), 0);
}

void TestQueue::reconnectsAfterServerRestart()
{
    QueueFixture fixture(QueueFixture::Backend::Odbc);
    QueueConnection connection("queue");
    QueueProcedure procedure(connection);
    procedure.setParameter(u"@grupoempresa", "ABC");
    procedure.setParameter(u"@maquina", "M1");
    procedure.open();
    procedure.close();

    // Restarted while the station was idle: nobody hears of it.
    QueueFixture::pauseServer();
    QueueFixture::resumeServer();
    fixture.enqueue("ABC", "M1", label("after idle restart"));
    procedure.open();
    QCOMPARE(procedure.fieldText("NUMERO_ND"), "after idle restart");
    procedure.close();

    // Down at the time of the call: the failure is reported and the next call after it comes back works.
    QueueFixture::pauseServer();
    QVERIFY(!failureOf([&] { procedure.open(); }).isEmpty());
    QueueFixture::resumeServer();

    fixture.enqueue("ABC", "M1", label("after restart"));
    procedure.open();
    QCOMPARE(procedure.fieldText("NUMERO_ND"), "after restart");
}

QTEST_GUILESS_MAIN(TestQueue)
#include "tst_queue.moc"
