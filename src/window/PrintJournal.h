#pragma once

#include <QList>
#include <QString>
#include <stdexcept>

// The labels a station was handed and has not yet written, kept on disk: the queue hands each label out once, so
// a failed write or a process that died must not lose it. A label leaves the journal once its write succeeded.
class PrintJournal {
public:
    struct Label {
        qint64 id = 0;
        QString target; // as the row named it, before the fallback and the stamp
        QString zpl;
    };

    class Failure : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };

    // The journal file of this user's stations; its folder is made when first needed.
    static QString defaultPath();

    explicit PrintJournal(QString path);
    ~PrintJournal();
    PrintJournal(const PrintJournal &) = delete;
    PrintJournal &operator=(const PrintJournal &) = delete;

    // Records one run's labels for a station in one transaction, on disk before it returns; gives their ids.
    QList<qint64> record(const QString &branch, const QString &machine, const QList<Label> &labels);
    // What waits for a station, oldest first.
    QList<Label> pending(const QString &branch, const QString &machine);
    int count(const QString &branch, const QString &machine);
    void remove(qint64 id);

private:
    void open();

    QString m_path;
    QString m_connectionName;
};
