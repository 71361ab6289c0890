#include "platform/SettingsFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace platform {

QString settingsFilePath()
{
    const QString fileName = QStringLiteral("Trovessa.ini");
    const QString explicitPath = qEnvironmentVariable("TROVESSA_INI");
    if (!explicitPath.isEmpty())
        return explicitPath;

    const QStringList candidates {
        QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)).filePath(fileName),
        QDir(QStringLiteral("/etc")).filePath(fileName),
    };
    for (const QString &candidate : candidates) {
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return candidates.first();
}

}
