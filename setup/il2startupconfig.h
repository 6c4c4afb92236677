#pragma once

#include "setup/configedit.h"

// IL-2 Sturmovik's data/startup.cfg: the "[KEY = telemetrydevice]" block that makes the game
// send its telemetry. The block gets decimation 1 and enable true, and sends to 127.0.0.1
// port 29777: through its addr and port lines when they are free or already ours, else
// through an added "addrN" line, so that another program receiving the telemetry keeps it.
// Everything outside the lines it sets is kept as it was. Every value it changes or adds is
// noted, with the other receivers a block-wide change also reaches.
//
// Threading: pure function.
namespace Il2StartupConfig {

ConfigEdit withTelemetry(const QString& text);

} // namespace Il2StartupConfig
