#pragma once

#include "QueueFixture.h"

#include <QByteArray>
#include <QString>

// The labels the benchmark queues: about 1.5 KB of ZPL each, distinct, with the accents a real label carries.
namespace BenchLabels {

inline const QString branch = QStringLiteral("ABC");
inline const QString machine = QStringLiteral("M1");

QString zpl(int index);
// What the station must write for a label: its ZPL in Windows-1252 and CR LF.
QByteArray written(int index);

// Empties the queue and queues count labels for the station, all to target, in one transaction.
void fill(QueueFixture &fixture, QueueFixture::Backend backend, int count, const QString &target);

}
