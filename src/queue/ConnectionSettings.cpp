#include "queue/ConnectionSettings.h"

#include "platform/Cp1252.h"
#include "platform/IniProfile.h"
#include "queue/QueueError.h"

#include <QRegularExpression>

namespace {

const QByteArray section = QByteArrayLiteral("CONEXAO");

QString quoted(const QString &value)
{
    // ODBC quotes a value that holds separators in braces, a closing brace inside doubled. Not every driver
    // strips braces from plain values, so only values that need them get them.
    static const QRegularExpression needsBraces(QStringLiteral("[;{}=]|^\\s|\\s$"));
    if (!value.contains(needsBraces))
        return value;
    return u'{' + QString(value).replace(u'}', QStringLiteral("}}")) + u'}';
}

}

ConnectionSettings ConnectionSettings::read(const QString &settingsFile)
{
    const auto value = [&](const char *key, const char *fallback = "") {
        return platform::fromCp1252(platform::readProfileString(settingsFile, section, key, fallback));
    };

    ConnectionSettings settings;
    settings.dataSource = value("Data Source");
    if (settings.dataSource.isEmpty()) {
        throw QueueError(QStringLiteral("Conexão com o banco não configurada: falta a seção [CONEXAO] "
                                        "com \"Data Source\" em %1")
                             .arg(settingsFile));
    }
    const QString provider = value("Provider", "ODBC");
    if (provider.compare(QLatin1String("SQLite"), Qt::CaseInsensitive) == 0)
        settings.provider = Provider::Sqlite;
    else if (provider.compare(QLatin1String("ODBC"), Qt::CaseInsensitive) != 0)
        throw QueueError(QStringLiteral("Provider \"%1\" desconhecido na seção [CONEXAO] de %2 (use ODBC ou SQLite)")
                             .arg(provider, settingsFile));
    settings.driver = value("Driver", "FreeTDS");
    settings.port = value("Port");
    settings.initialCatalog = value("Initial Catalog", "TROVESSA");
    settings.userId = value("User ID");
    settings.password = value("Password");
    settings.login = value("Login");
    return settings;
}

QString ConnectionSettings::odbcConnectionString() const
{
    QString text = QStringLiteral("DRIVER=%1;SERVER=%2;").arg(quoted(driver), quoted(dataSource));
    if (!port.isEmpty())
        text += QStringLiteral("PORT=%1;").arg(port);
    text += QStringLiteral("DATABASE=%1;UID=%2;PWD=%3;").arg(quoted(initialCatalog), quoted(userId), quoted(password));
    // FreeTDS talks ISO 8859-1 unless told otherwise, and Qt reads its text as UTF-8.
    if (driver.contains(QLatin1String("tds"), Qt::CaseInsensitive))
        text += QStringLiteral("ClientCharset=UTF-8;APP=EtiquetaVolume;");
    return text;
}
