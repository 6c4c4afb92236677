#pragma once

#include "setup/configedit.h"

#include <QByteArray>

// DCS's Scripts/Export.lua: one line that loads this program's export script from the same
// folder, added at the end so that the script sees, and keeps calling, the export functions
// of every tool loaded before it. A file that already loads the script is left as it is.
//
// Threading: pure functions.
namespace DcsExportLua {

// The export script's file name in the Saved Games folder's Scripts directory.
QString scriptFileName();
// The line that loads it.
QString dofileLine();
ConfigEdit withDofile(const QString& text);
// The script itself, as shipped inside the program.
QByteArray script();

} // namespace DcsExportLua
