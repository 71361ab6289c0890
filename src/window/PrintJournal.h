#pragma once

#include <QList>
#include <QLockFile>
#include <QSqlQuery>
#include <QString>
#include <functional>
#include <memory>
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

    // Held for a whole run, so that two stations of this user never print each other's labels at the same time;
    // waits, with idle running, while another holds it. Nothing when no lock can be made at all.
    std::unique_ptr<QLockFile> lockForRun(const std::function<void()> &idle);

    // Records one run's labels in one transaction, on disk before it returns; gives their ids.
    QList<qint64> record(const QString &branch, const QString &machine, const QList<Label> &labels);
    // What waits, oldest first, whichever station fetched it: a label goes to its own target in any case.
    QList<Label> pending();
    int count();
    void remove(qint64 id);

private:
    void open();

    QString m_path;
    QString m_connectionName;
    std::unique_ptr<QSqlQuery> m_remove;
};
