#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <utility>

// How a label's print target is named: the blank test and the time stamp of ".txt" targets.
namespace PrintTarget {

// Blank once blanks and control characters at both ends are dropped.
bool isBlank(const QString &target);

// The 15 digits yyMMddHHmmsszzz of a local time.
QString stamp(const QDateTime &when);

// Only a target holding ".txt" in lower case is stamped; then every ".txt", in any case, gets the stamp before it.
bool needsStamp(const QString &target);
QString stamped(const QString &target, const QDateTime &when);

// This station's own target for a name the database gives the Windows way: LPT1, \\SERVIDOR\ZEBRA01, C:\ETQ\ and
// so on. Names ignore case. An exact name wins, then the longest folder prefix (a name ending in a path separator),
// whose rest keeps its stamp and gets forward slashes. A name the map lacks stays as it is.
QString mapped(const QString &target, const QList<std::pair<QString, QString>> &map);

}
