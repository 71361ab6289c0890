#pragma once

#include "queue/ConnectionSettings.h"

#include <QList>
#include <QObject>
#include <QSqlDatabase>
#include <QStringList>
#include <QThread>
#include <QVariantList>
#include <functional>

// The connection to the label queue. It opens on first use, from the settings file as it is then, and stays open;
// a connection the server dropped is opened again and the call tried once more. The database is talked to on a
// thread of its own, so a slow server or a dead link holds the caller's work, never its events: while a call is
// under way the caller's idle function runs every few tens of milliseconds.
class QueueConnection {
public:
    // A whole result, fetched into memory: every value as text, NULL as the empty text.
    struct Result {
        QStringList fields;
        QList<QStringList> rows;
    };

    explicit QueueConnection(QString connectionName, std::function<void()> idle = {});
    ~QueueConnection();
    QueueConnection(const QueueConnection &) = delete;
    QueueConnection &operator=(const QueueConnection &) = delete;

    // The login the procedure is given; opens the connection to read it.
    QString login();

    // Runs the queue procedure with @login, @GRUPOEMPRESA and @maquina. Throws QueueError with the driver's message.
    Result callQueueProcedure(const QVariantList &arguments);

private:
    template<typename Work> auto onConnectionThread(Work work) -> decltype(work());
    bool isOpenHere() const;
    void closeHere();
    void open();
    Result callReconnecting(const QVariantList &arguments);
    Result call(const QVariantList &arguments);
    Result callOdbc(QSqlDatabase &db, const QVariantList &arguments);
    Result callEmbedded(QSqlDatabase &db, const QVariantList &arguments);
    bool answersProbe();

    QString m_connectionName;
    std::function<void()> m_idle;
    ConnectionSettings m_settings;
    QThread m_thread;
    QObject m_threadContext;
};
