#include "QueueFixture.h"
#include "Station.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

// Faults injected for real: targets that fail and recover, a device that stalls, a database that goes away, a
// station killed in the middle of a run, and input that is not what it should be.
class TestReliability : public QObject {
    Q_OBJECT

private slots:
    void failedLabelWaitsUntilItsTargetWorks_data();
    void failedLabelWaitsUntilItsTargetWorks();
    void stalledDeviceNeitherFreezesNorLosesLabels();
    void databaseGoingAwayLosesNothing();
    void slowDatabaseNeverFreezesTheWindow();
    void killedStationLosesNothing();
    void badInputIsReportedAndKept();
    void manyRunsStayLight();
};

namespace {

// Reads a FIFO until its writer closes it, on a thread of its own.
class FifoReader {
public:
    explicit FifoReader(const QString &path)
        : m_thread([this, path] {
            const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
            char buffer[4096];
            for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
                m_bytes.append(buffer, n);
            ::close(fd);
        })
    {
    }
    QByteArray bytes()
    {
        m_thread.join();
        return m_bytes;
    }

private:
    QByteArray m_bytes;
    std::thread m_thread;
};

QString waiting(int count)
{
    return count == 1 ? QStringLiteral(" 1 etiqueta aguardando nova tentativa.")
                      : QStringLiteral(" %1 etiquetas aguardando nova tentativa.").arg(count);
}

}

void TestReliability::failedLabelWaitsUntilItsTargetWorks_data()
{
    QTest::addColumn<QString>("fault");
    for (const char *fault : { "missing folder", "a folder", "FIFO without reader", "full device", "no permission" })
        QTest::newRow(fault) << QString(fault);
}

void TestReliability::failedLabelWaitsUntilItsTargetWorks()
{
    QFETCH(QString, fault);
    QueueFixture fixture(QueueFixture::Backend::Embedded);
    QString target = fixture.path("zebra.prn");
    if (fault == "missing folder") {
        target = fixture.path("nova/zebra.prn");
    } else if (fault == "a folder") {
        QDir().mkpath(target);
    } else if (fault == "FIFO without reader") {
        QCOMPARE(::mkfifo(QFile::encodeName(target).constData(), 0600), 0);
    } else if (fault == "full device") {
        target = fixture.path("impressora");
        QVERIFY(QFile::link("/dev/full", target));
    } else if (fault == "no permission") {
        if (geteuid() == 0)
            QSKIP("root writes wherever it likes");
        QDir().mkpath(fixture.path("fechada"));
        QFile::setPermissions(fixture.path("fechada"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        target = fixture.path("fechada/zebra.prn");
    }
    fixture.enqueue("ABC", "M1", labelFor(target, "^XA^FDprimeira^FS^XZ"));
    fixture.enqueue("ABC", "M1", labelFor(fixture.path("outra.prn"), "^XA^FDoutra^FS^XZ"));

    Station station;
    station.click("ckAtivo");
    station.click("btnImprimir");
    QCOMPARE(contents(fixture.path("outra.prn")), QByteArray("^XA^FDoutra^FS^XZ\r\n"));
    QVERIFY(station.status().endsWith(waiting(1)));

    // Still failing: tried again at every run, never dropped.
    station.click("btnImprimir");
    QCOMPARE(station.status(), "Erro ao imprimir etiqueta em " + target + "..." + waiting(1));

    std::unique_ptr<FifoReader> reader;
    if (fault == "missing folder")
        QDir().mkpath(fixture.path("nova"));
    else if (fault == "a folder")
        QDir().rmdir(target);
    else if (fault == "FIFO without reader")
        reader = std::make_unique<FifoReader>(target);
    else if (fault == "full device")
        QFile::remove(target);
    else if (fault == "no permission")
        QFile::setPermissions(
            fixture.path("fechada"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QTest::qWait(50); // the reader has the FIFO open

    // The waiting label goes before the run's new ones: the newer text ends up in the shared target.
    fixture.enqueue("ABC", "M1", labelFor(target, "^XA^FDnova^FS^XZ"));
    station.click("btnImprimir");
    if (reader)
        QCOMPARE(reader->bytes(), QByteArray("^XA^FDprimeira^FS^XZ\r\n")); // the FIFO's reader left after one label
    else
        QCOMPARE(contents(target), QByteArray("^XA^FDnova^FS^XZ\r\n"));
    QVERIFY2(!station.status().contains("aguardando") || reader, qPrintable(station.status()));
}

void TestReliability::stalledDeviceNeitherFreezesNorLosesLabels()
{
    QueueFixture fixture(QueueFixture::Backend::Embedded);
    // A terminal nobody reads: it takes a few kilobytes, then no byte more.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(master >= 0);
    QCOMPARE(::grantpt(master), 0);
    QCOMPARE(::unlockpt(master), 0);
    const QString device = QString::fromLocal8Bit(::ptsname(master));
    const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    termios raw {};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);

    const QString big(64 * 1024, u'Z');
    for (int i = 0; i < 3; ++i)
        fixture.enqueue("ABC", "M1", labelFor(device, "^XA" + big + "^XZ"));
    fixture.enqueue("ABC", "M1", labelFor(fixture.path("depois.prn"), "^XA^XZ"));

    Station station;
    station.click("ckAtivo");
    const Station::Timing run = station.timedPrint();
    QVERIFY2(run.elapsed >= 9000 && run.elapsed < 15000, qPrintable(QString::number(run.elapsed))); // one wait
    QVERIFY2(run.longestGap < 500, qPrintable(QString::number(run.longestGap)));
    QCOMPARE(contents(fixture.path("depois.prn")), QByteArray("^XA^XZ\r\n"));
    QCOMPARE(station.status(), "Imprimindo etiqueta em " + fixture.path("depois.prn") + "..." + waiting(3));

    // Someone reads the device again: the three labels go out whole.
    QByteArray received;
    std::atomic<bool> reading = true;
    std::thread drain([&] {
        char buffer[65536];
        ::fcntl(master, F_SETFL, O_NONBLOCK);
        while (reading) {
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0)
                received.append(buffer, n);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    station.click("btnImprimir");
    QTest::qWait(100);
    reading = false;
    drain.join();
    ::close(slave);
    ::close(master);
    QVERIFY(!station.status().contains("aguardando"));
    const QByteArray label = "^XA" + big.toLatin1() + "^XZ\r\n";
    QVERIFY(received.endsWith(label + label + label));
}

void TestReliability::databaseGoingAwayLosesNothing()
{
    QueueFixture fixture(QueueFixture::Backend::Odbc);
    Station station;
    station.timer()->setInterval(100);
    int queued = 0;
    const auto queueLabels = [&](int count) {
        for (int i = 0; i < count; ++i, ++queued)
            fixture.enqueue("ABC", "M1", labelFor(fixture.path(QStringLiteral("e%1-.txt").arg(queued)), "^XA^XZ"));
    };

    for (int outage = 0; outage < 10; ++outage) {
        queueLabels(3);
        QTest::qWait(50 * (outage % 3));
        QueueFixture::pauseServer();
        QTest::qWait(400); // several polls fail meanwhile
        QueueFixture::resumeServer();
        queueLabels(2);
    }

    // Gone in the middle of a fetch: the procedure took the labels but never came back with them.
    fixture.slowDownProcedure(1.0);
    queueLabels(3);
    QTest::qWait(300);
    std::thread stop([] { QueueFixture::pauseServer(); });
    QTest::qWait(600);
    stop.join();
    QueueFixture::resumeServer();
    QTRY_COMPARE_WITH_TIMEOUT(fixture.pending(), 0, 20000);

    for (int i = 0; i < queued; ++i) {
        const QString prefix = QStringLiteral("e%1-").arg(i);
        QTRY_COMPARE_WITH_TIMEOUT(filesStartingWith(fixture.path(""), prefix).size(), 1, 5000);
    }
    QTest::qWait(500);
    QCOMPARE(QDir(fixture.path("")).entryList({ "e*.txt" }, QDir::Files).size(), queued);
}

void TestReliability::slowDatabaseNeverFreezesTheWindow()
{
    QueueFixture fixture(QueueFixture::Backend::Odbc);
    fixture.slowDownProcedure(1.5);
    fixture.enqueue("ABC", "M1", labelFor(fixture.path("lenta.prn"), "^XA^XZ"));
    Station station;
    station.click("ckAtivo");
    const Station::Timing run = station.timedPrint();
    QVERIFY(run.elapsed >= 1500);
    QVERIFY2(run.longestGap < 500, qPrintable(QString::number(run.longestGap)));
    QCOMPARE(contents(fixture.path("lenta.prn")), QByteArray("^XA^XZ\r\n"));
}

void TestReliability::killedStationLosesNothing()
{
    QueueFixture fixture(QueueFixture::Backend::Embedded);
    QDir().mkpath(fixture.path("saida"));
    const QString filler(200 * 1024, u'K');
    for (int i = 0; i < 100; ++i) {
        fixture.enqueue("ABC", "M1",
            labelFor(fixture.path(QStringLiteral("saida/e%1.prn").arg(i)),
                QStringLiteral("^XA^FD%1^FS%2^XZ").arg(i).arg(filler)));
    }
    const auto startStation = [&](QProcess &station) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        station.setProcessEnvironment(environment);
        station.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        station.start(QStringLiteral(ETIQUETAS_APP), { "ABC", "M1" });
        QVERIFY(station.waitForStarted());
    };
    const auto written = [&] { return QDir(fixture.path("saida")).entryList(QDir::Files).size(); };

    QProcess first;
    startStation(first);
    // The whole run takes some tens of milliseconds: watch it closely, not at QTRY's pace.
    QElapsedTimer waited;
    waited.start();
    while (written() < 10 && waited.elapsed() < 10000)
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    first.kill(); // SIGKILL, in the middle of the run
    first.waitForFinished();
    const qsizetype before = written();
    QVERIFY2(before < 100, "the run ended before the kill; make the labels bigger");
    QCOMPARE(fixture.pending(), 0); // the queue handed all of them out to the killed station

    QProcess second;
    startStation(second);
    QTRY_COMPARE_WITH_TIMEOUT(written(), 100, 15000);
    QTest::qWait(200);
    second.kill();
    second.waitForFinished();
    for (int i = 0; i < 100; ++i) {
        const QByteArray expected = QStringLiteral("^XA^FD%1^FS%2^XZ\r\n").arg(i).arg(filler).toLatin1();
        QVERIFY2(
            contents(fixture.path(QStringLiteral("saida/e%1.prn").arg(i))) == expected, qPrintable(QString::number(i)));
    }
}

void TestReliability::badInputIsReportedAndKept()
{
    QueueFixture fixture(QueueFixture::Backend::Embedded);
    // A settings file saved as UTF-16 with its byte-order mark reads as it does on Windows.
    const QString fallback = fixture.path("padrao.prn");
    QFile::remove(fixture.settingsPath());
    fixture.writeSettings();
    QFile settings(fixture.settingsPath());
    QVERIFY(settings.open(QIODevice::ReadOnly));
    const QString text = QString::fromLatin1(settings.readAll());
    settings.close();
    QVERIFY(settings.open(QIODevice::WriteOnly | QIODevice::Truncate));
    const QString utf16 = QChar(QChar::ByteOrderMark) + text;
    settings.write(reinterpret_cast<const char *>(utf16.utf16()), utf16.size() * 2);
    settings.close();

    // A row of NULLs: no target, no text. A 1 MB label. Text the code page lacks.
    fixture.enqueue("ABC", "M1", {});
    const QString huge = "^XA" + QString(1024 * 1024, u'H') + "^XZ";
    fixture.enqueue("ABC", "M1", labelFor(fixture.path("grande.prn"), huge));
    fixture.enqueue("ABC", "M1", labelFor(fixture.path("texto.prn"), QString::fromUtf8("^XA^FD日本 ✓ Ω^FS^XZ")));
    Station station;
    station.click("ckAtivo");
    station.click("btnImprimir");
    QVERIFY2(!station.errorDialog(), station.errorDialog() ? qPrintable(station.errorDialog()->text()) : "");
    QCOMPARE(contents(fixture.path("grande.prn")), huge.toLatin1() + "\r\n");
    QCOMPARE(contents(fixture.path("texto.prn")), QByteArray("^XA^FD?? ? ?^FS^XZ\r\n"));
    QVERIFY(station.status().endsWith(waiting(1)));

    // Once the station has a default target, the row of NULLs goes there: an empty label.
    fixture.writeSettings("[ETIQUETAS]\r\nPORTA_ND=" + QFile::encodeName(fallback) + "\r\n");
    station.click("btnImprimir");
    QCOMPARE(contents(fallback), QByteArray("\r\n"));

    // Settings that are not a settings file: a clear message when a station starts talking to the queue.
    QFile garbage(fixture.settingsPath());
    QVERIFY(garbage.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QByteArray noise;
    for (int i = 0; i < 100 * 1024; ++i)
        noise.append(char((i * 7919) % 251));
    garbage.write("[CONEXAO\n" + noise);
    garbage.close();
    Station another;
    another.click("ckAtivo");
    another.click("btnImprimir");
    QVERIFY(another.errorDialog());
    QVERIFY(another.errorDialog()->text().contains("[CONEXAO]"));
}

static qint64 residentKilobytes()
{
    QFile status("/proc/self/status");
    status.open(QIODevice::ReadOnly);
    const QRegularExpressionMatch match = QRegularExpression("VmRSS:\\s+(\\d+)").match(status.readAll());
    return match.captured(1).toLongLong();
}

void TestReliability::manyRunsStayLight()
{
    QueueFixture fixture(QueueFixture::Backend::Embedded);
    Station station;
    station.click("ckAtivo");
    const QString zpl = "^XA" + QString(1500, u'S') + "^XZ";
    const auto runs = [&](int count) {
        for (int run = 0; run < count; ++run) {
            for (int i = 0; i < 10; ++i)
                fixture.enqueue("ABC", "M1", labelFor(fixture.path("soak.prn"), zpl));
            station.click("btnImprimir");
        }
    };
    runs(20);
    [[maybe_unused]] const qint64 settled = residentKilobytes();
    runs(80);
    QCOMPARE(fixture.pending(), 0);
    QVERIFY(!station.status().contains("aguardando"));
#ifndef __SANITIZE_ADDRESS__ // the sanitizer keeps freed memory aside on purpose
    QVERIFY2(residentKilobytes() - settled < 4096, qPrintable(QString::number(residentKilobytes() - settled)));
#endif
}

QTEST_MAIN(TestReliability)
#include "tst_reliability.moc"
