#include "window/LerConfiguracao.h"

#include "platform/Cp1252.h"
#include "platform/IniProfile.h"
#include "platform/SettingsFile.h"

QString LerConfiguracao(const QString &secao, const QString &chave, const QString &padrao)
{
    try {
        return platform::fromCp1252(platform::readProfileString(platform::settingsFilePath(), platform::toCp1252(secao),
            platform::toCp1252(chave), platform::toCp1252(padrao)));
    } catch (const std::exception &) {
        return {};
    }
}

QList<std::pair<QString, QString>> LerSecao(const QString &secao)
{
    try {
        QList<std::pair<QString, QString>> entries;
        for (const platform::ProfileEntry &entry :
            platform::readProfileSection(platform::settingsFilePath(), platform::toCp1252(secao)))
            entries.append({ platform::fromCp1252(entry.key), platform::fromCp1252(entry.value) });
        return entries;
    } catch (const std::exception &) {
        return {};
    }
}
