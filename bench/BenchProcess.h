#pragma once

#include <QByteArray>
#include <QStringList>
#include <chrono>

// Clocks, this process's own cost, and child processes timed from the outside.
namespace BenchProcess {

// CLOCK_MONOTONIC, which a child shares with its parent.
qint64 monotonicNs();
double elapsedMs(qint64 sinceNs);
// User plus system CPU time of this process.
double cpuMs();
// Resident memory of this process, from /proc/self/status.
double rssMb();

struct Child {
    bool finished = false; // exited by itself with status 0, before the time limit
    QByteArray output; // its standard output, when captured
    double wallMs = 0; // from just before the spawn to its exit
};

// Runs a program (found on PATH) and waits for it, at most limit; stdout is captured or goes to /dev/null.
Child run(const QStringList &arguments, std::chrono::milliseconds limit, bool captureOutput);

}
