#include "queue/QueueConnection.h"

#include "platform/SettingsFile.h"
#include "queue/LabelColumns.h"
#include "queue/QueueError.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <future>
#include <malloc.h>

namespace {

// The ODBC call escape reaches the procedure on SQL Server (its group 1) and a function on other servers alike.
const QString odbcCall = QStringLiteral("{CALL getNotaDespachoEtiqueta(?, ?, ?)}");

// The embedded queue has no procedures: the same hand-out-once, done in one transaction.
QString embeddedSelect()
{
    QStringList columns;
    for (const QLatin1String column : LabelColumns::all)
        columns << column;
    return QStringLiteral("SELECT %1 FROM FILA_ETIQUETAS "
                          "WHERE ENTREGUE = 0 AND COD_GRUPOEMPRESA = ? AND MAQUINA = ? ORDER BY ID")
        .arg(columns.join(QLatin1String(", ")));
}

const QString embeddedHandOut = QStringLiteral(
    "UPDATE FILA_ETIQUETAS SET ENTREGUE = 1 WHERE ENTREGUE = 0 AND COD_GRUPOEMPRESA = ? AND MAQUINA = ?");

QString message(const QSqlError &error)
{
    const QString text = error.text().trimmed();
    return text.isEmpty() ? QStringLiteral("Erro desconhecido do banco de dados") : text;
}

QueueConnection::Result readAll(QSqlQuery &query)
{
    QueueConnection::Result result;
    const QSqlRecord record = query.record();
    for (int i = 0; i < record.count(); ++i)
        result.fields << record.fieldName(i);
    while (query.next()) {
        QStringList row;
        row.reserve(result.fields.size());
        for (int i = 0; i < record.count(); ++i) {
            const QVariant value = query.value(i);
            row << (value.isNull() ? QString() : value.toString());
        }
        result.rows << std::move(row);
    }
    if (query.lastError().isValid())
        throw QueueResultLost(QStringLiteral("Leitura da fila interrompida: %1").arg(message(query.lastError())));
    return result;
}

}

QueueConnection::QueueConnection(QString connectionName, std::function<void()> idle)
    : m_connectionName(std::move(connectionName))
    , m_idle(std::move(idle))
{
    m_thread.setObjectName(m_connectionName);
    m_threadContext.moveToThread(&m_thread);
    m_thread.start();
}

QueueConnection::~QueueConnection()
{
    m_idle = nullptr; // nothing of the owner's may run while it is being destroyed
    onConnectionThread([this] {
        closeHere();
        QSqlDatabase::removeDatabase(m_connectionName);
    });
    m_thread.quit();
    m_thread.wait();
}

template<typename Work> auto QueueConnection::onConnectionThread(Work work) -> decltype(work())
{
    // A connection belongs to the thread that opened it: every use of it goes there.
    std::packaged_task<decltype(work())()> task(std::move(work));
    auto done = task.get_future();
    QMetaObject::invokeMethod(
        &m_threadContext, [&task] { task(); }, Qt::QueuedConnection);
    while (done.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
        if (m_idle)
            m_idle();
    }
    return done.get();
}

bool QueueConnection::isOpenHere() const
{
    return QSqlDatabase::contains(m_connectionName) && QSqlDatabase::database(m_connectionName, false).isOpen();
}

void QueueConnection::closeHere()
{
    if (QSqlDatabase::contains(m_connectionName))
        QSqlDatabase::database(m_connectionName, false).close();
}

QString QueueConnection::login()
{
    return onConnectionThread([this] {
        if (!isOpenHere())
            open();
        return m_settings.login;
    });
}

void QueueConnection::open()
{
    m_settings = ConnectionSettings::read(platform::settingsFilePath());

    const bool embedded = m_settings.provider == ConnectionSettings::Provider::Sqlite;
    const QString driver = embedded ? QStringLiteral("QSQLITE") : QStringLiteral("QODBC");
    if (QSqlDatabase::contains(m_connectionName)
        && QSqlDatabase::database(m_connectionName, false).driverName() != driver)
        QSqlDatabase::removeDatabase(m_connectionName);
    QSqlDatabase db = QSqlDatabase::contains(m_connectionName) ? QSqlDatabase::database(m_connectionName, false)
                                                               : QSqlDatabase::addDatabase(driver, m_connectionName);

    if (embedded) {
        db.setDatabaseName(m_settings.dataSource);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    } else {
        db.setDatabaseName(m_settings.odbcConnectionString());
        db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=10"));
    }
    if (!db.open())
        throw QueueError(message(db.lastError()));
}

bool QueueConnection::answersProbe()
{
    QSqlQuery probe(QSqlDatabase::database(m_connectionName, false));
    return probe.exec(QStringLiteral("SELECT 1"));
}

QueueConnection::Result QueueConnection::callQueueProcedure(const QVariantList &arguments)
{
    return onConnectionThread([this, &arguments] {
        Result result = callReconnecting(arguments);
        // The driver's own copy of a large result is freed by now: give that memory back to the system.
        ::malloc_trim(0);
        return result;
    });
}

QueueConnection::Result QueueConnection::callReconnecting(const QVariantList &arguments)
{
    if (!isOpenHere())
        open();
    try {
        return call(arguments);
    } catch (const QueueResultLost &) {
        throw;
    } catch (const QueueError &) {
        // Qt cannot tell a dropped connection from a failed call: if the server still answers, the call itself
        // failed and that is what the caller hears. Otherwise connect again and try once more.
        if (answersProbe())
            throw;
    }
    closeHere();
    open();
    return call(arguments);
}

QueueConnection::Result QueueConnection::call(const QVariantList &arguments)
{
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    return m_settings.provider == ConnectionSettings::Provider::Odbc ? callOdbc(db, arguments)
                                                                     : callEmbedded(db, arguments);
}

QueueConnection::Result QueueConnection::callOdbc(QSqlDatabase &db, const QVariantList &arguments)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(odbcCall))
        throw QueueError(message(query.lastError()));
    for (const QVariant &argument : arguments)
        query.addBindValue(argument);
    if (!query.exec())
        throw QueueError(message(query.lastError()));
    // Row counts of statements inside the procedure come first on some servers.
    while (!query.isSelect() && query.nextResult()) { }
    if (!query.isSelect())
        throw QueueError(QStringLiteral("getNotaDespachoEtiqueta não devolveu nenhum resultado"));
    Result result = readAll(query);
    query.finish();
    return result;
}

QueueConnection::Result QueueConnection::callEmbedded(QSqlDatabase &db, const QVariantList &arguments)
{
    const QVariant branch = arguments.value(1);
    const QVariant machine = arguments.value(2);
    QSqlQuery query(db);
    query.setForwardOnly(true);
    // IMMEDIATE takes the write lock first, so the rows read are exactly the rows handed out.
    if (!query.exec(QStringLiteral("BEGIN IMMEDIATE")))
        throw QueueError(message(query.lastError()));
    try {
        if (!query.prepare(embeddedSelect()))
            throw QueueError(message(query.lastError()));
        query.addBindValue(branch);
        query.addBindValue(machine);
        if (!query.exec())
            throw QueueError(message(query.lastError()));
        Result result = readAll(query);
        query.finish();
        if (!query.prepare(embeddedHandOut))
            throw QueueError(message(query.lastError()));
        query.addBindValue(branch);
        query.addBindValue(machine);
        if (!query.exec())
            throw QueueError(message(query.lastError()));
        if (!db.commit())
            throw QueueError(message(db.lastError()));
        return result;
    } catch (...) {
        db.rollback();
        throw;
    }
}
