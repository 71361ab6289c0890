#include "window/PrintJournal.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>

namespace {

void exec(QSqlQuery &query, const QString &sql = {})
{
    const bool done = sql.isEmpty() ? query.exec() : query.exec(sql);
    if (!done)
        throw PrintJournal::Failure(
            QStringLiteral("Diário de etiquetas: %1").arg(query.lastError().text().trimmed()).toStdString());
}

}

QString PrintJournal::defaultPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation))
        .filePath(QStringLiteral("etiquetas-pendentes.db"));
}

PrintJournal::PrintJournal(QString path)
    : m_path(std::move(path))
    , m_connectionName(QStringLiteral("journal-%1").arg(quintptr(this)))
{
}

PrintJournal::~PrintJournal()
{
    m_remove.reset();
    if (QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

void PrintJournal::open()
{
    if (QSqlDatabase::contains(m_connectionName) && QSqlDatabase::database(m_connectionName, false).isOpen())
        return;
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSqlDatabase db = QSqlDatabase::contains(m_connectionName)
        ? QSqlDatabase::database(m_connectionName, false)
        : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    db.setDatabaseName(m_path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open())
        throw Failure(QStringLiteral("Diário de etiquetas %1: %2").arg(m_path, db.lastError().text()).toStdString());
    QSqlQuery query(db);
    exec(query, QStringLiteral("PRAGMA journal_mode=WAL"));
    exec(query,
        QStringLiteral("CREATE TABLE IF NOT EXISTS PENDENTES (ID INTEGER PRIMARY KEY AUTOINCREMENT, "
                       "FILIAL TEXT NOT NULL, MAQUINA TEXT NOT NULL, PORTA TEXT, ZPL TEXT)"));
}

QList<qint64> PrintJournal::record(const QString &branch, const QString &machine, const QList<Label> &labels)
{
    open();
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    QSqlQuery query(db);
    // Labels the queue has handed out exist nowhere else: this commit waits for the disk.
    exec(query, QStringLiteral("PRAGMA synchronous=FULL"));
    exec(query, QStringLiteral("BEGIN IMMEDIATE"));
    QList<qint64> ids;
    try {
        query.prepare(QStringLiteral("INSERT INTO PENDENTES (FILIAL, MAQUINA, PORTA, ZPL) VALUES (?, ?, ?, ?)"));
        for (const Label &label : labels) {
            query.bindValue(0, branch);
            query.bindValue(1, machine);
            query.bindValue(2, label.target);
            query.bindValue(3, label.zpl);
            exec(query);
            ids << query.lastInsertId().toLongLong();
        }
        exec(query, QStringLiteral("COMMIT"));
    } catch (...) {
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        throw;
    }
    // A lost removal only prints a label twice, so those need not wait for the disk. The labels are recorded
    // already: whatever this answers, the ids stand.
    query.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    return ids;
}

std::unique_ptr<QLockFile> PrintJournal::lockForRun(const std::function<void()> &idle)
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    auto lock = std::make_unique<QLockFile>(m_path + QStringLiteral(".lock"));
    // A run may well last longer than any fixed age; a lock left by a station that died is known stale anyway,
    // its process being gone.
    lock->setStaleLockTime(0);
    while (!lock->tryLock(20)) {
        if (lock->error() != QLockFile::LockFailedError)
            return nullptr;
        if (idle)
            idle();
    }
    return lock;
}

QList<PrintJournal::Label> PrintJournal::pending()
{
    open();
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    exec(query, QStringLiteral("SELECT ID, PORTA, ZPL FROM PENDENTES ORDER BY ID"));
    QList<Label> labels;
    while (query.next())
        labels.append({ query.value(0).toLongLong(), query.value(1).toString(), query.value(2).toString() });
    return labels;
}

int PrintJournal::count()
{
    open();
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    exec(query, QStringLiteral("SELECT COUNT(*) FROM PENDENTES"));
    query.next();
    return query.value(0).toInt();
}

void PrintJournal::remove(qint64 id)
{
    open();
    // Once a label: prepared once.
    if (!m_remove) {
        m_remove = std::make_unique<QSqlQuery>(QSqlDatabase::database(m_connectionName, false));
        m_remove->prepare(QStringLiteral("DELETE FROM PENDENTES WHERE ID = ?"));
    }
    m_remove->bindValue(0, id);
    exec(*m_remove);
}
