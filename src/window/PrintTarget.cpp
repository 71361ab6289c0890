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

QString mapped(const QString &target, const QList<std::pair<QString, QString>> &map)
{
    const std::pair<QString, QString> *folder = nullptr;
    for (const auto &entry : map) {
        const QString &name = entry.first;
        if (name.compare(target, Qt::CaseInsensitive) == 0)
            return entry.second;
        const bool isFolder = name.endsWith(u'\\') || name.endsWith(u'/');
        if (isFolder && target.startsWith(name, Qt::CaseInsensitive) && (!folder || name.size() > folder->first.size()))
            folder = &entry;
    }
    if (!folder)
        return target;
    return folder->second + target.mid(folder->first.size()).replace(u'\\', u'/');
}

}
