#include "LoopbackPrinter.h"
#include "platform/TargetOutput.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// A pseudo-terminal nobody reads: once its buffer is full the slave takes no more bytes, like a printer
// that is off line.
class StalledTerminal {
public:
    StalledTerminal()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            return;
        m_path = QString::fromLocal8Bit(::ptsname(m_master));
        // Kept open so the raw mode stays while the target is opened and closed.
        m_slave = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios raw;
        if (m_slave < 0 || ::tcgetattr(m_slave, &raw) != 0)
            return;
        ::cfmakeraw(&raw);
        if (::tcsetattr(m_slave, TCSANOW, &raw) != 0)
            return;
        m_ready = true;
    }
    ~StalledTerminal()
    {
        if (m_slave >= 0)
            ::close(m_slave);
        if (m_master >= 0)
            ::close(m_master);
    }
    StalledTerminal(const StalledTerminal &) = delete;
    StalledTerminal &operator=(const StalledTerminal &) = delete;

    bool isReady() const { return m_ready; }
    QString path() const { return m_path; }

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_path;
    bool m_ready = false;
};

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QByteArray pattern(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(i * 7 % 251);
    return bytes;
}

// What went wrong, or nothing; a throwing write then fails one test instead of ending the run.
QString writeError(const QString &target, QByteArrayView bytes, const platform::TargetOptions &options = {})
{
    try {
        platform::writeTarget(target, bytes, options);
    } catch (const platform::TargetError &error) {
        return QString::fromStdString(error.what());
    }
    return {};
}

qsizetype openDescriptors()
{
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
}

} // namespace

class TestTargetOutput : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void writesExactBytes();
    void exclusiveKeepsExistingFile();
    void failingTarget_data();
    void failingTarget();
    void stalledTerminalFailsInTime();
    void slowReaderSucceeds();
    void readerGoingAwayIsAnError();
    void descriptorsAreClosed();
    void networkPrinterGetsTheBytes();
    void networkPrinterFailures_data();
    void networkPrinterFailures();

private:
    QString makeFifo(const QString &name);

    QTemporaryDir m_dir;
};

void TestTargetOutput::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir(m_dir.path()).mkdir(u"locked"_s));
    QVERIFY(QFile::setPermissions(m_dir.filePath(u"locked"_s), QFile::ReadOwner | QFile::ExeOwner));
}

QString TestTargetOutput::makeFifo(const QString &name)
{
    const QString path = m_dir.filePath(name);
    QFile::remove(path);
    if (::mkfifo(QFile::encodeName(path).constData(), 0600) != 0)
        qFatal("mkfifo %s: %s", qPrintable(path), std::strerror(errno));
    return path;
}

void TestTargetOutput::writesExactBytes()
{
    const QString path = m_dir.filePath(u"label.zpl"_s);
    const QByteArray big = pattern(256 * 1024);
    QCOMPARE(writeError(path, big), QString());
    QCOMPARE(readFile(path), big);

    QCOMPARE(writeError(path, "^XA^XZ\r\n"), QString());
    QCOMPARE(readFile(path), "^XA^XZ\r\n"_ba);

    QCOMPARE(writeError(path, {}), QString());
    QCOMPARE(readFile(path), QByteArray());
}

void TestTargetOutput::exclusiveKeepsExistingFile()
{
    const QString path = m_dir.filePath(u"exclusive.zpl"_s);
    platform::TargetOptions exclusive;
    exclusive.exclusive = true;
    QCOMPARE(writeError(path, "first", exclusive), QString());
    QCOMPARE(readFile(path), "first"_ba);

    try {
        platform::writeTarget(path, "second", exclusive);
        QFAIL("an existing file was written");
    } catch (const platform::TargetExists &error) {
        QCOMPARE(error.errorNumber(), EEXIST);
    } catch (const platform::TargetError &error) {
        QFAIL(error.what());
    }
    QCOMPARE(readFile(path), "first"_ba);
}

void TestTargetOutput::failingTarget_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("errorNumber");

    QTest::newRow("empty name") << QString() << EINVAL;
    QTest::newRow("missing folder") << m_dir.filePath(u"missing/label.zpl"_s) << ENOENT;
    QTest::newRow("a folder") << m_dir.path() << EISDIR;
    QTest::newRow("no permission") << m_dir.filePath(u"locked/label.zpl"_s) << EACCES;
    QTest::newRow("device full") << u"/dev/full"_s << ENOSPC;
    QTest::newRow("FIFO without reader") << makeFifo(u"unread.fifo"_s) << ENXIO;
    QTest::newRow("unplugged device") << u"/dev/usb-lp-unplugged"_s << ENOENT;
    QTest::newRow("Windows port name") << u"LPT1"_s << ENOENT;
    QTest::newRow("Windows shared printer") << u"\\\\SERVIDOR\\ZEBRA01"_s << ENOENT;
}

void TestTargetOutput::failingTarget()
{
    QFETCH(QString, target);
    QFETCH(int, errorNumber);
    if (errorNumber == EACCES && ::geteuid() == 0)
        QSKIP("root is not held back by permissions");

    try {
        platform::writeTarget(target, "^XA^XZ\r\n", {});
        QFAIL("the write succeeded");
    } catch (const platform::TargetExists &) {
        QFAIL("reported as an existing file");
    } catch (const platform::TargetError &error) {
        QCOMPARE(error.errorNumber(), errorNumber);
        const QString message = QString::fromStdString(error.what());
        QVERIFY2(message.contains(target), error.what());
        QVERIFY2(message.contains(QString::fromLocal8Bit(std::strerror(errorNumber))), error.what());
    }
    if (target.startsWith(u"/dev/usb"_s))
        QVERIFY(!QFile::exists(target)); // no stray file where the device should be
}

void TestTargetOutput::stalledTerminalFailsInTime()
{
    const StalledTerminal terminal;
    QVERIFY(terminal.isReady());

    platform::TargetOptions options;
    options.stallTimeout = 300ms;
    auto lastIdle = Clock::now();
    Clock::duration longestGap {};
    int idleCalls = 0;
    options.idle = [&] {
        const auto now = Clock::now();
        longestGap = std::max(longestGap, now - lastIdle);
        lastIdle = now;
        ++idleCalls;
    };

    QElapsedTimer timer;
    timer.start();
    try {
        platform::writeTarget(terminal.path(), pattern(1024 * 1024), options);
        QFAIL("a terminal nobody reads took 1 MB");
    } catch (const platform::TargetError &error) {
        QCOMPARE(error.errorNumber(), ETIMEDOUT);
    }
    QCOMPARE_GE(timer.elapsed(), 300);
    QCOMPARE_LT(timer.elapsed(), 1500);
    QCOMPARE_GE(idleCalls, 3);
    QCOMPARE_LT(std::chrono::duration_cast<std::chrono::milliseconds>(longestGap).count(), 250);
}

void TestTargetOutput::slowReaderSucceeds()
{
    const QString path = makeFifo(u"slow.fifo"_s);
    const int reader = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(reader >= 0);
    const auto closeReader = qScopeGuard([reader] { ::close(reader); });

    // 4 KB every 20 ms: the pipe is full most of the time, yet never stuck for the stall timeout.
    const QByteArray bytes = pattern(256 * 1024);
    QByteArray received;
    std::jthread readSlowly([&](std::stop_token stop) {
        const auto deadline = Clock::now() + 10s;
        char buffer[4096];
        while (received.size() < bytes.size() && !stop.stop_requested() && Clock::now() < deadline) {
            std::this_thread::sleep_for(20ms);
            const ssize_t got = ::read(reader, buffer, sizeof buffer);
            if (got > 0)
                received.append(buffer, got);
        }
    });

    platform::TargetOptions options;
    options.stallTimeout = 300ms;
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(writeError(path, bytes, options), QString());
    // Only a stall clock that restarts on progress lets a write outlast its timeout.
    QCOMPARE_GT(timer.elapsed(), 2 * 300);

    readSlowly.join();
    QCOMPARE(received.size(), bytes.size());
    QVERIFY(received == bytes);
}

void TestTargetOutput::readerGoingAwayIsAnError()
{
    const QString path = makeFifo(u"closed.fifo"_s);
    int reader = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(reader >= 0);

    // Once the pipe is full, the reader leaves; that must be an error and not a SIGPIPE ending the program.
    platform::TargetOptions options;
    options.idle = [&reader] {
        if (reader >= 0)
            ::close(std::exchange(reader, -1));
    };
    try {
        platform::writeTarget(path, pattern(1024 * 1024), options);
        QFAIL("the write succeeded");
    } catch (const platform::TargetError &error) {
        QCOMPARE(error.errorNumber(), EPIPE);
    }
    QCOMPARE(reader, -1);
}

void TestTargetOutput::descriptorsAreClosed()
{
    const StalledTerminal terminal;
    QVERIFY(terminal.isReady());
    const QString file = m_dir.filePath(u"leak.zpl"_s);
    const QString fifo = makeFifo(u"leak.fifo"_s);
    platform::TargetOptions exclusive;
    exclusive.exclusive = true;
    platform::TargetOptions shortStall;
    shortStall.stallTimeout = 50ms;

    const qsizetype before = openDescriptors();
    for (int round = 0; round < 10; ++round) {
        QCOMPARE(writeError(file, "^XA^XZ"), QString());
        QCOMPARE(writeError(terminal.path(), "^XA^XZ"), QString());
        QVERIFY(!writeError(file, "^XA^XZ", exclusive).isEmpty());
        QVERIFY(!writeError(u"/dev/full"_s, "^XA^XZ").isEmpty());
        QVERIFY(!writeError(m_dir.path(), "^XA^XZ").isEmpty());
        QVERIFY(!writeError(fifo, "^XA^XZ").isEmpty());
        QVERIFY(!writeError(terminal.path(), pattern(1024 * 1024), shortStall).isEmpty());
    }
    QCOMPARE(openDescriptors(), before);
}

QTEST_GUILESS_MAIN(TestTargetOutput)
#include "tst_targetoutput.moc"

void TestTargetOutput::networkPrinterGetsTheBytes()
{
    LoopbackPrinter printer;
    printer.startReading();
    const QByteArray label = pattern(300 * 1024);
    QCOMPARE(writeError(printer.target(), label), QString());
    QCOMPARE(writeError(printer.target().toUpper(), "^XA^XZ\r\n"), QString());
    QTRY_COMPARE(printer.received().size(), 2);
    QCOMPARE(printer.received().at(0), label);
    QCOMPARE(printer.received().at(1), QByteArray("^XA^XZ\r\n"));
}

void TestTargetOutput::networkPrinterFailures_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("expected");
    QTest::newRow("connection refused") << "refused"
                                        << "Connection refused";
    QTest::newRow("printer stopped reading") << "not reading"
                                             << "no progress";
    QTest::newRow("printer does not answer") << "not answering"
                                             << "no progress";
    QTest::newRow("no host") << "no host"
                             << "expected socket://HOST";
}

void TestTargetOutput::networkPrinterFailures()
{
    QFETCH(QString, fault);
    QFETCH(QString, expected);
    QString target;
    std::unique_ptr<LoopbackPrinter> printer;
    int occupant = -1;
    const auto closeOccupant = qScopeGuard([&] {
        if (occupant >= 0)
            ::close(occupant);
    });
    if (fault == "refused") {
        target = LoopbackPrinter().target(); // a port nobody listens on any more
    } else if (fault == "not reading") {
        printer = std::make_unique<LoopbackPrinter>(4096);
        target = printer->target();
    } else if (fault == "not answering") {
        // A full accept queue: the next connection's handshake is never answered.
        printer = std::make_unique<LoopbackPrinter>(0, 0);
        target = printer->target();
        occupant = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(quint16(printer->port()));
        QCOMPARE(::connect(occupant, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    } else {
        target = u"socket://"_s;
    }

    const QByteArray label = pattern(8 * 1024 * 1024);
    platform::TargetOptions options;
    options.stallTimeout = 300ms;
    Clock::duration longestGap {};
    Clock::time_point last = Clock::now();
    options.idle = [&] {
        longestGap = std::max(longestGap, Clock::now() - last);
        last = Clock::now();
    };
    const auto started = Clock::now();
    const QString error = writeError(target, label, options);
    QVERIFY2(error.contains(expected), qPrintable(error));
    QVERIFY(Clock::now() - started < 3s);
    QVERIFY(longestGap < 250ms);
}
