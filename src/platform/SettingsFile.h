#pragma once

#include <QString>

namespace platform {

// Where the station's "Trovessa.ini" lives. TROVESSA_INI names the file outright (a test, or a PC running two
// stations); otherwise the first that exists of the user's config folder and /etc. When none exists the user's
// copy is named, so messages point at the place to create it.
QString settingsFilePath();

}
