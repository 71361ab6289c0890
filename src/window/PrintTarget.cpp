#include "window/PrintTarget.h"

namespace PrintTarget {

bool isBlank(const QString &target)
{
    return std::all_of(target.begin(), target.end(), [](QChar c) { return c <= u' '; });
}

QString stamp(const QDateTime &when)
{
    return when.toString(QStringLiteral("yyMMddHHmmsszzz"));
}

bool needsStamp(const QString &target)
{
    return target.contains(QLatin1String(".txt"), Qt::CaseSensitive);
}

QString stamped(const QString &target, const QDateTime &when)
{
    return QString(target).replace(QLatin1String(".txt"), stamp(when) + QLatin1String(".txt"), Qt::CaseInsensitive);
}

}
