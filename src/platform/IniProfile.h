#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace platform {

// One value of an INI file, looked up as GetPrivateProfileStringA does it, so a file copied from a Windows station
// reads the same here. The file is read again at every call and never written. The value comes back in
// Windows-1252; a missing or unreadable file, section or key gives defaultValue.
QByteArray readProfileString(
    const QString &filePath, QByteArrayView section, QByteArrayView key, QByteArrayView defaultValue);

struct ProfileEntry {
    QByteArray key;
    QByteArray value;
};

// Every key that has a value in one section, in file order, by the same rules (Windows-1252, first section of
// the name only, names and values trimmed, one pair of quotes dropped).
QList<ProfileEntry> readProfileSection(const QString &filePath, QByteArrayView section);

} // namespace platform
