#pragma once

#include "queue/ConnectionSettings.h"

#include <QList>
#include <QSqlDatabase>
#include <QStringList>
#include <QVariantList>

// The connection to the label queue. It opens on first use, from the settings file as it is then, and stays open;
// a connection the server dropped is opened again and the call tried once more.
class QueueConnection {
public:
    // A whole result, fetched into memory: every value as text, NULL as the empty text.
    struct Result {
        QStringList fields;
        QList<QStringList> rows;
    };

    explicit QueueConnection(QString connectionName);
    ~QueueConnection();
    QueueConnection(const QueueConnection &) = delete;
    QueueConnection &operator=(const QueueConnection &) = delete;

    bool isOpen() const;
    void close();

    // The login the procedure is given; opens the connection to read it.
    QString login();

    // Runs the queue procedure with @login, @GRUPOEMPRESA and @maquina. Throws QueueError with the driver's message.
    Result callQueueProcedure(const QVariantList &arguments);

private:
    void open();
    Result call(const QVariantList &arguments);
    Result callOdbc(QSqlDatabase &db, const QVariantList &arguments);
    Result callEmbedded(QSqlDatabase &db, const QVariantList &arguments);
    bool answersProbe();

    QString m_connectionName;
    ConnectionSettings m_settings;
};
