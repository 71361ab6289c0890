#pragma once

#include <QDateTime>
#include <QString>

// How a label's print target is named: the blank test and the time stamp of ".txt" targets.
namespace PrintTarget {

// Blank once blanks and control characters at both ends are dropped.
bool isBlank(const QString &target);

// The 15 digits yyMMddHHmmsszzz of a local time.
QString stamp(const QDateTime &when);

// Only a target holding ".txt" in lower case is stamped; then every ".txt", in any case, gets the stamp before it.
bool needsStamp(const QString &target);
QString stamped(const QString &target, const QDateTime &when);

}
