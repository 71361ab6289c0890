#include "BenchTable.h"

#include <algorithm>

namespace BenchTable {

double Samples::median() const
{
    if (values.isEmpty())
        return 0;
    QList<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    const qsizetype middle = sorted.size() / 2;
    return sorted.size() % 2 ? sorted.at(middle) : (sorted.at(middle - 1) + sorted.at(middle)) / 2;
}

double Samples::min() const
{
    return values.isEmpty() ? 0 : *std::min_element(values.begin(), values.end());
}

double Samples::max() const
{
    return values.isEmpty() ? 0 : *std::max_element(values.begin(), values.end());
}

QString number(double value)
{
    const double size = std::abs(value);
    return QString::number(value, 'f', size >= 100 ? 0 : size >= 1 ? 2 : 3);
}

namespace {

QString verdict(double value, const QString &unit, std::optional<double> bar)
{
    if (!bar)
        return {};
    if (value <= *bar)
        return QStringLiteral("ok");
    return QStringLiteral("MISSED by %1%2").arg(number(value - *bar), unit.isEmpty() ? QString() : u' ' + unit);
}

QString goal(const QString &unit, std::optional<double> bar)
{
    return bar ? QStringLiteral("<= %1%2").arg(QString::number(*bar), unit.isEmpty() ? QString() : u' ' + unit)
               : QString();
}

}

void Table::add(const QString &measure, const QString &queue, const QString &n, const QString &reps,
    const Samples &samples, const QString &unit, std::optional<double> bar)
{
    if (samples.isEmpty()) {
        addNote(measure, queue, QStringLiteral("no figure: the measurement did not complete"));
        return;
    }
    const QString spread = samples.values.size() > 1
        ? QStringLiteral("%1 .. %2").arg(number(samples.min()), number(samples.max()))
        : QString();
    m_rows.append({ measure, queue, n, reps, number(samples.median()), spread, unit, goal(unit, bar),
        verdict(samples.median(), unit, bar) });
}

void Table::add(const QString &measure, const QString &queue, const QString &n, const QString &reps, double value,
    const QString &unit, std::optional<double> bar)
{
    m_rows.append(
        { measure, queue, n, reps, number(value), QString(), unit, goal(unit, bar), verdict(value, unit, bar) });
}

void Table::addNote(const QString &measure, const QString &queue, const QString &note)
{
    m_rows.append({ measure, queue, QString(), QString(), note });
}

QString Table::text() const
{
    const QStringList header { QStringLiteral("measure"), QStringLiteral("queue"), QStringLiteral("N"),
        QStringLiteral("reps"), QStringLiteral("median"), QStringLiteral("min .. max"), QStringLiteral("unit"),
        QStringLiteral("goal"), QStringLiteral("verdict") };
    QList<qsizetype> widths;
    for (const QString &title : header)
        widths.append(title.size());
    for (const QStringList &row : m_rows) {
        // A note runs across the figure columns and does not widen them.
        const bool note = row.size() == 5;
        for (qsizetype column = 0; column < row.size() && !(note && column == 4); ++column)
            widths[column] = std::max(widths.at(column), row.at(column).size());
    }
    const auto line = [&](const QStringList &row) {
        QString out;
        for (qsizetype column = 0; column < row.size(); ++column) {
            const bool last = column + 1 == row.size();
            // Figures line up on the right, words on the left.
            const bool right = column == 2 || column == 4;
            const QString cell = last ? row.at(column)
                : right               ? row.at(column).rightJustified(widths.at(column))
                                      : row.at(column).leftJustified(widths.at(column));
            out += cell + (last ? QString() : QStringLiteral("  "));
        }
        while (out.endsWith(u' '))
            out.chop(1);
        return out + u'\n';
    };
    QString text = line(header);
    QStringList rule;
    for (const qsizetype width : widths)
        rule.append(QString(width, u'-'));
    text += line(rule);
    for (const QStringList &row : m_rows)
        text += line(row);
    return text;
}

}
