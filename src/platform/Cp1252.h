#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace platform {

// Windows-1252, the code page the Windows stations use for labels and settings.
// Characters (or bytes) without a counterpart become '?'.
QByteArray toCp1252(QStringView text);
QString fromCp1252(QByteArrayView bytes);

} // namespace platform
