#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// Repeated figures and the one table they end up in.
namespace BenchTable {

struct Samples {
    QList<double> values;

    void add(double value) { values.append(value); }
    bool isEmpty() const { return values.isEmpty(); }
    double median() const;
    double min() const;
    double max() const;
};

QString number(double value);

class Table {
public:
    // A figure with its spread; bar, when given, is the most it may be.
    void add(const QString &measure, const QString &queue, const QString &n, const QString &reps,
        const Samples &samples, const QString &unit, std::optional<double> bar = {});
    // A figure without repetitions (a ratio of medians, or a single reading).
    void add(const QString &measure, const QString &queue, const QString &n, const QString &reps, double value,
        const QString &unit, std::optional<double> bar = {});
    void addNote(const QString &measure, const QString &queue, const QString &note);
    QString text() const;

private:
    QList<QStringList> m_rows;
};

}
