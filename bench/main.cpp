// etiquetas-bench: the station's print run, fetch, idle cost and start-up, each beside its floor, in one table.
//   etiquetas-bench [--quick] [--only startup,print,fetch,held,idle]
// The other modes are the children it runs itself: --child-startup T0, --child-idle SECONDS QUEUE,
// --child-run FOLDER (a fresh station prints the queue its environment names, into FOLDER), and
//   etiquetas-bench --profile-run N QUEUE   one print run of N labels in a fresh station, for callgrind.
#include "BenchLabels.h"
#include "BenchProcess.h"
#include "BenchTable.h"
#include "QueueFixture.h"
#include "queue/QueueConnection.h"
#include "queue/QueueProcedure.h"
#include "window/UVol.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QPushButton>
#include <QSet>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <thread>
#include <unistd.h>

namespace {

using Backend = QueueFixture::Backend;
using BenchTable::Samples;
using BenchTable::Table;
using namespace std::chrono_literals;

struct Options {
    bool quick = false;
    QSet<QString> only;

    bool wants(const QString &part) const { return only.isEmpty() || only.contains(part); }
    int printReps(int n) const { return n >= 10000 ? (quick ? 1 : 3) : (quick ? 2 : 5); }
    int fetchReps() const { return quick ? 3 : 7; }
    int heldReps() const { return quick ? 1 : 3; }
    int startupReps() const { return quick ? 3 : 9; }
    int idleSeconds() const { return quick ? 10 : 60; }
};

constexpr int smallRun = 1000;
constexpr int largeRun = 10000;

QString nameOf(Backend backend)
{
    return backend == Backend::Embedded ? QStringLiteral("embedded") : QStringLiteral("odbc");
}

Backend backendNamed(const QString &name)
{
    if (name == QLatin1String("embedded"))
        return Backend::Embedded;
    if (name == QLatin1String("odbc"))
        return Backend::Odbc;
    qFatal("bench: unknown queue '%s' (embedded or odbc)", qPrintable(name));
}

void progress(const QString &text)
{
    std::fprintf(stderr, "bench: %s\n", qPrintable(text));
    std::fflush(stderr);
}

template<class T> T *childOf(QWidget *window, const char *name)
{
    T *found = window->findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("bench: no %s in the window", name);
    return found;
}

// A station as an operator finds it; with automatic printing off, prints only when its button is clicked.
std::unique_ptr<TFEtiquetaVolume> openStation(bool automatic)
{
    auto station = std::make_unique<TFEtiquetaVolume>(QStringList { BenchLabels::branch, BenchLabels::machine });
    station->show();
    if (!QTest::qWaitForWindowExposed(station.get()))
        qFatal("bench: the station window was never exposed");
    auto *ckAtivo = childOf<QCheckBox>(station.get(), "ckAtivo");
    if (ckAtivo->isChecked() != automatic)
        ckAtivo->click();
    if (ckAtivo->isChecked() != automatic
        || (!automatic && !childOf<QPushButton>(station.get(), "btnImprimir")->isEnabled()))
        qFatal("bench: could not switch automatic printing %s", automatic ? "on" : "off");
    return station;
}

struct RunTime {
    double wallMs = 0;
    double cpuMs = 0;
};

// The run is synchronous inside the click.
RunTime printRun(TFEtiquetaVolume *station)
{
    auto *print = childOf<QPushButton>(station, "btnImprimir");
    const double cpuStart = BenchProcess::cpuMs();
    const qint64 start = BenchProcess::monotonicNs();
    QTest::mouseClick(print, Qt::LeftButton);
    return { BenchProcess::elapsedMs(start), BenchProcess::cpuMs() - cpuStart };
}

void emptyFolder(const QString &path)
{
    QDir(path).removeRecursively();
    if (!QDir().mkpath(path))
        qFatal("bench: cannot make %s", qPrintable(path));
}

// Files in a folder and their bytes: a run that wrote fewer labels than it was given has no figure.
QPair<int, qint64> writtenIn(const QString &folder)
{
    qint64 bytes = 0;
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files);
    for (const QFileInfo &file : files)
        bytes += file.size();
    return { int(files.size()), bytes };
}

struct Expected {
    QList<QByteArray> bytes;
    qint64 total = 0;
};

Expected expectedFor(int n)
{
    Expected expected;
    for (int index = 0; index < n; ++index) {
        expected.bytes.append(BenchLabels::written(index));
        expected.total += expected.bytes.last().size();
    }
    return expected;
}

// The floor: the same files and bytes from a bare loop, names shaped as the station stamps them.
double floorRun(const QString &folder, const Expected &expected)
{
    std::vector<QByteArray> paths;
    for (int index = 0; index < int(expected.bytes.size()); ++index)
        paths.push_back(
            QFile::encodeName(QDir(folder).filePath(QStringLiteral("etq%1.txt").arg(260101000000000 + qint64(index)))));
    const qint64 start = BenchProcess::monotonicNs();
    for (size_t index = 0; index < paths.size(); ++index) {
        const int fd = ::open(paths[index].constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0)
            qFatal("bench: floor: open %s: %s", paths[index].constData(), strerror(errno));
        const QByteArray &bytes = expected.bytes.at(qsizetype(index));
        if (::write(fd, bytes.constData(), size_t(bytes.size())) != bytes.size())
            qFatal("bench: floor: short write to %s", paths[index].constData());
        ::close(fd);
    }
    return BenchProcess::elapsedMs(start);
}

void measurePrintRuns(Backend backend, const Options &options, Table &table)
{
    QueueFixture fixture(backend);
    const QString out = fixture.path(QStringLiteral("out"));
    const QString floor = fixture.path(QStringLiteral("floor"));
    const QString target = QDir(out).filePath(QStringLiteral("etq.txt"));
    const std::unique_ptr<TFEtiquetaVolume> station = openStation(false);

    // The first run also connects and makes the journal; a station that has been up a while has done both.
    emptyFolder(out);
    BenchLabels::fill(fixture, backend, 100, target);
    printRun(station.get());

    double medianMs[2] = {};
    for (const int n : { smallRun, largeRun }) {
        const Expected expected = expectedFor(n);
        Samples runMs, cpuMs, floorMs, ratio;
        const int reps = options.printReps(n);
        for (int rep = 0; rep < reps; ++rep) {
            emptyFolder(out);
            emptyFolder(floor);
            BenchLabels::fill(fixture, backend, n, target);
            RunTime run;
            double bare = 0;
            // Alternating which goes first spreads the disk's write-back over both.
            for (int half = 0; half < 2; ++half) {
                ::sync();
                if ((half == 0) == (rep % 2 == 0))
                    run = printRun(station.get());
                else
                    bare = floorRun(floor, expected);
            }
            QCoreApplication::processEvents();
            const auto [files, bytes] = writtenIn(out);
            if (files != n || bytes != expected.total) {
                progress(QStringLiteral("%1 N=%2: the run wrote %3 files, %4 bytes (expected %5, %6); no figure")
                             .arg(nameOf(backend))
                             .arg(n)
                             .arg(files)
                             .arg(bytes)
                             .arg(n)
                             .arg(expected.total));
                continue;
            }
            runMs.add(run.wallMs);
            cpuMs.add(run.cpuMs);
            floorMs.add(bare);
            ratio.add(run.wallMs / bare);
            progress(QStringLiteral("print %1 N=%2 rep %3/%4: run %5 ms, floor %6 ms")
                         .arg(nameOf(backend))
                         .arg(n)
                         .arg(rep + 1)
                         .arg(reps)
                         .arg(BenchTable::number(run.wallMs), BenchTable::number(bare)));
        }
        const auto per = [&](const Samples &ms, bool rate) {
            Samples result;
            for (const double value : ms.values)
                result.add(rate ? n / (value / 1e3) : value * 1e3 / n);
            return result;
        };
        const QString queue = nameOf(backend);
        const QString count = QString::number(n);
        const QString repsText = QString::number(runMs.values.size());
        table.add(
            QStringLiteral("print run, labels/s"), queue, count, repsText, per(runMs, true), QStringLiteral("1/s"));
        table.add(
            QStringLiteral("print run, per label"), queue, count, repsText, per(runMs, false), QStringLiteral("µs"));
        table.add(QStringLiteral("print run, CPU per label"), queue, count, repsText, per(cpuMs, false),
            QStringLiteral("µs"));
        table.add(QStringLiteral("floor open/write/close, per label"), queue, count, repsText, per(floorMs, false),
            QStringLiteral("µs"));
        table.add(QStringLiteral("run / floor"), queue, count, repsText, ratio, QString(),
            n == largeRun ? std::optional<double>(10) : std::nullopt);
        medianMs[n == largeRun] = runMs.median();
    }
    if (medianMs[0] > 0 && medianMs[1] > 0)
        table.add(QStringLiteral("scaling, 10k run / 1k run (linear 10)"), nameOf(backend), QString(),
            QStringLiteral("medians"), medianMs[1] / medianMs[0], QString(), 11);
}

QStringList psqlCall()
{
    return { QStringLiteral("psql"), QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
        QStringLiteral(ETIQUETAS_PG_PORT), QStringLiteral("-U"), QStringLiteral("tester"), QStringLiteral("-d"),
        QStringLiteral("etiquetas"), QStringLiteral("-c"),
        QStringLiteral("SELECT * FROM getNotaDespachoEtiqueta('X','%1','%2')")
            .arg(BenchLabels::branch, BenchLabels::machine) };
}

void measureFetch(const Options &options, Table &table)
{
    QueueFixture fixture(Backend::Odbc);
    const QString target = fixture.path(QStringLiteral("etq.txt"));
    QueueConnection connection(QStringLiteral("bench-fetch"));
    QueueProcedure dataset(connection);
    dataset.setParameter(u"@grupoempresa", BenchLabels::branch);
    dataset.setParameter(u"@maquina", BenchLabels::machine);
    // A polling station holds its connection open; psql's figure below includes its own start and login.
    BenchLabels::fill(fixture, Backend::Odbc, 0, target);
    dataset.open();
    dataset.close();

    Samples stationMs, psqlMs, ratio;
    const int reps = options.fetchReps();
    for (int rep = 0; rep < reps; ++rep) {
        double station = 0;
        double psql = 0;
        bool valid = true;
        for (int half = 0; half < 2; ++half) {
            BenchLabels::fill(fixture, Backend::Odbc, largeRun, target);
            if ((half == 0) == (rep % 2 == 0)) {
                const qint64 start = BenchProcess::monotonicNs();
                dataset.open();
                station = BenchProcess::elapsedMs(start);
                valid = valid && dataset.recordCount() == largeRun;
                dataset.close();
            } else {
                const BenchProcess::Child child = BenchProcess::run(psqlCall(), 60s, false);
                psql = child.wallMs;
                valid = valid && child.finished && fixture.pending() == 0;
            }
        }
        if (!valid) {
            progress(QStringLiteral("fetch rep %1: a fetch did not hand out all %2 labels; no figure")
                         .arg(rep + 1)
                         .arg(largeRun));
            continue;
        }
        stationMs.add(station);
        psqlMs.add(psql);
        ratio.add(station / psql);
        progress(QStringLiteral("fetch rep %1/%2: open() %3 ms, psql %4 ms")
                     .arg(rep + 1)
                     .arg(reps)
                     .arg(BenchTable::number(station), BenchTable::number(psql)));
    }
    const QString count = QString::number(largeRun);
    const QString repsText = QString::number(stationMs.values.size());
    table.add(QStringLiteral("fetch, QueueProcedure::open (connected)"), QStringLiteral("odbc"), count, repsText,
        stationMs, QStringLiteral("ms"));
    table.add(QStringLiteral("fetch, psql process (start+login+call)"), QStringLiteral("odbc"), count, repsText, psqlMs,
        QStringLiteral("ms"));
    table.add(QStringLiteral("fetch / psql"), QStringLiteral("odbc"), count, repsText, ratio, QString(), 1.5);
}

// key=value words from a child's one line of output.
QHash<QString, double> figures(const QByteArray &output)
{
    QHash<QString, double> values;
    for (const QByteArray &word : output.simplified().split(' ')) {
        const qsizetype equals = word.indexOf('=');
        if (equals > 0)
            values.insert(QString::fromLatin1(word.left(equals)), word.mid(equals + 1).toDouble());
    }
    return values;
}

QStringList self(const QStringList &arguments)
{
    return QStringList { QCoreApplication::applicationFilePath() } + arguments;
}

void measureHeld(const Options &options, Table &table)
{
    const QString measure = QStringLiteral("RSS holding 10,000 labels, fresh station");
    for (const Backend backend : { Backend::Embedded, Backend::Odbc }) {
        Samples rss;
        const int reps = options.heldReps();
        for (int rep = 0; rep < reps; ++rep) {
            // Filled from here, so that the station's process holds what a station holds and nothing more.
            QueueFixture fixture(backend);
            const QString out = fixture.path(QStringLiteral("out"));
            emptyFolder(out);
            BenchLabels::fill(fixture, backend, largeRun, QDir(out).filePath(QStringLiteral("etq.txt")));
            const BenchProcess::Child child
                = BenchProcess::run(self({ QStringLiteral("--child-run"), out }), 300s, true);
            const QHash<QString, double> values = figures(child.output);
            if (!child.finished || values.value(QStringLiteral("files")) != largeRun) {
                progress(QStringLiteral("held %1 rep %2: the station's run did not complete")
                             .arg(nameOf(backend))
                             .arg(rep + 1));
                continue;
            }
            rss.add(values.value(QStringLiteral("rss")));
            progress(QStringLiteral("held %1 rep %2/%3: %4 MB after a %5 ms run")
                         .arg(nameOf(backend))
                         .arg(rep + 1)
                         .arg(reps)
                         .arg(BenchTable::number(rss.values.last()),
                             BenchTable::number(values.value(QStringLiteral("ms")))));
        }
        table.add(measure, nameOf(backend), QString::number(largeRun), QString::number(rss.values.size()), rss,
            QStringLiteral("MB"), 100);
    }
}

void measureIdle(const Options &options, Table &table)
{
    const int seconds = options.idleSeconds();
    progress(QStringLiteral("idle: %1 s of polling on both queues at once").arg(seconds));
    BenchProcess::Child children[2];
    const Backend backends[2] = { Backend::Embedded, Backend::Odbc };
    // Both stations sleep nearly all the time, so one wait serves for both.
    std::thread embedded([&] {
        children[0]
            = BenchProcess::run(self({ QStringLiteral("--child-idle"), QString::number(seconds), nameOf(backends[0]) }),
                std::chrono::seconds(seconds + 60), true);
    });
    children[1]
        = BenchProcess::run(self({ QStringLiteral("--child-idle"), QString::number(seconds), nameOf(backends[1]) }),
            std::chrono::seconds(seconds + 60), true);
    embedded.join();
    for (int i = 0; i < 2; ++i) {
        const QHash<QString, double> values = figures(children[i].output);
        const QString queue = nameOf(backends[i]);
        if (!children[i].finished || !values.contains(QStringLiteral("cpu"))) {
            table.addNote(
                QStringLiteral("idle polling"), queue, QStringLiteral("no figure: the station did not finish"));
            continue;
        }
        const QString reps = QStringLiteral("%1 s, %2 polls").arg(seconds).arg(values.value(QStringLiteral("polls")));
        const double cpuPercent = values.value(QStringLiteral("cpu")) / values.value(QStringLiteral("wall")) * 100;
        table.add(QStringLiteral("idle polling, CPU of one core"), queue, QStringLiteral("0"), reps, cpuPercent,
            QStringLiteral("%"), 0.2);
        table.add(QStringLiteral("idle polling, RSS at the end"), queue, QStringLiteral("0"), reps,
            values.value(QStringLiteral("rss")), QStringLiteral("MB"), 60);
    }
}

void measureStartup(const Options &options, Table &table)
{
    // No queue is touched before the first poll; the folders only keep the station out of this user's own.
    QTemporaryDir home;
    qputenv("TROVESSA_INI", QFile::encodeName(home.filePath(QStringLiteral("Trovessa.ini"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
    Samples firstLoop, whole;
    const int reps = options.startupReps();
    // One more, first, for the disk cache and the font cache.
    for (int rep = -1; rep < reps; ++rep) {
        const qint64 start = BenchProcess::monotonicNs();
        const BenchProcess::Child child
            = BenchProcess::run(self({ QStringLiteral("--child-startup"), QString::number(start) }), 30s, true);
        const QHash<QString, double> values = figures(child.output);
        if (!child.finished || !values.contains(QStringLiteral("loop"))) {
            progress(QStringLiteral("start-up rep %1: the child failed").arg(rep + 1));
            continue;
        }
        if (rep < 0)
            continue;
        firstLoop.add(values.value(QStringLiteral("loop")));
        whole.add(child.wallMs);
    }
    qunsetenv("TROVESSA_INI");
    qunsetenv("XDG_DATA_HOME");
    const QString repsText = QString::number(firstLoop.values.size());
    table.add(QStringLiteral("start-up, spawn to first event loop"), QStringLiteral("-"), QString(), repsText,
        firstLoop, QStringLiteral("ms"), 150);
    table.add(QStringLiteral("start-up, whole process (spawn to exit)"), QStringLiteral("-"), QString(), repsText,
        whole, QStringLiteral("ms"));
}

int orchestrate(const Options &options)
{
    Table table;
    if (options.wants(QStringLiteral("startup")))
        measureStartup(options, table);
    if (options.wants(QStringLiteral("print"))) {
        for (const Backend backend : { Backend::Embedded, Backend::Odbc })
            measurePrintRuns(backend, options, table);
    }
    if (options.wants(QStringLiteral("fetch")))
        measureFetch(options, table);
    if (options.wants(QStringLiteral("held")))
        measureHeld(options, table);
    if (options.wants(QStringLiteral("idle")))
        measureIdle(options, table);
    QTextStream(stdout) << table.text();
    return 0;
}

int childRun(const QString &out)
{
    const std::unique_ptr<TFEtiquetaVolume> station = openStation(false);
    const RunTime run = printRun(station.get());
    QCoreApplication::processEvents();
    std::printf(
        "rss=%.1f files=%d ms=%.1f cpu=%.1f\n", BenchProcess::rssMb(), writtenIn(out).first, run.wallMs, run.cpuMs);
    return 0;
}

int profileRun(int n, Backend backend)
{
    QueueFixture fixture(backend);
    const QString out = fixture.path(QStringLiteral("out"));
    emptyFolder(out);
    BenchLabels::fill(fixture, backend, n, QDir(out).filePath(QStringLiteral("etq.txt")));
    return childRun(out);
}

int childIdle(int seconds, Backend backend)
{
    QueueFixture fixture(backend);
    // The fixture's own connection would count against the station; its queue stays, its link to it goes.
    QSqlDatabase::database(QStringLiteral("fixture"), false).close();
    const std::unique_ptr<TFEtiquetaVolume> station = openStation(true);
    int polls = 0;
    QObject::connect(childOf<QTimer>(station.get(), "Timer1"), &QTimer::timeout, [&] { ++polls; });
    double cpuStart = 0;
    qint64 wallStart = 0;
    int pollsStart = 0;
    // The first poll connects and makes the journal: start counting after it.
    QTimer::singleShot(3500, [&] {
        cpuStart = BenchProcess::cpuMs();
        wallStart = BenchProcess::monotonicNs();
        pollsStart = polls;
        QTimer::singleShot(seconds * 1000, [&] {
            std::printf("cpu=%.2f wall=%.1f polls=%d rss=%.1f\n", BenchProcess::cpuMs() - cpuStart,
                BenchProcess::elapsedMs(wallStart), polls - pollsStart, BenchProcess::rssMb());
            QCoreApplication::quit();
        });
    });
    return QCoreApplication::exec();
}

int childStartup(qint64 spawnedAt, QApplication &application)
{
    TFEtiquetaVolume station({ BenchLabels::branch, BenchLabels::machine });
    station.show();
    QTimer::singleShot(0, [&] {
        std::printf("loop=%.2f\n", BenchProcess::elapsedMs(spawnedAt));
        application.quit();
    });
    return application.exec();
}

}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    const QString mode = arguments.value(1);
    if (mode == QLatin1String("--child-startup"))
        return childStartup(arguments.value(2).toLongLong(), application);
    if (mode == QLatin1String("--child-idle"))
        return childIdle(arguments.value(2).toInt(), backendNamed(arguments.value(3)));
    if (mode == QLatin1String("--child-run"))
        return childRun(arguments.value(2));
    if (mode == QLatin1String("--profile-run"))
        return profileRun(arguments.value(2).toInt(), backendNamed(arguments.value(3)));

    Options options;
    for (int i = 1; i < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("--quick")) {
            options.quick = true;
        } else if (arguments.at(i) == QLatin1String("--only") && i + 1 < arguments.size()) {
            for (const QString &part : arguments.at(++i).split(u','))
                options.only.insert(part);
        } else {
            std::fprintf(stderr, "usage: etiquetas-bench [--quick] [--only startup,print,fetch,held,idle]\n");
            return 2;
        }
    }
    return orchestrate(options);
}
