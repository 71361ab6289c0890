#pragma once

#include <QString>

// Where the label queue lives, from the "CONEXAO" section of the settings file. These are deployment values:
// nothing here is compiled into the program.
struct ConnectionSettings {
    enum class Provider { Odbc, Sqlite };

    Provider provider = Provider::Odbc;
    QString driver; // ODBC driver name, "FreeTDS" for the company's SQL Server
    QString dataSource; // database server host, or the embedded queue's file
    QString port;
    QString initialCatalog;
    QString userId;
    QString password;
    QString login; // the fixed @login the procedure receives

    // Throws QueueError naming the file and the section when no connection is configured.
    static ConnectionSettings read(const QString &settingsFile);

    QString odbcConnectionString() const;
};
