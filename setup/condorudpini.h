#pragma once

#include "setup/configedit.h"

// Condor's Settings/UDP.ini (Condor 2 and Condor 3): output on, to 127.0.0.1 port 55278, every
// 10 ms, with the extended data (the turbulence strength is only sent with it; Condor 3's
// ExtendedData1 and LogToFile are left as they are). Condor sends to one receiver only, so a
// different host or port is replaced, and a note names it. Sections and keys are matched
// without regard to case; every other line is kept as it was.
//
// Threading: pure function.
namespace CondorUdpIni {

ConfigEdit withTelemetry(const QString& text);

} // namespace CondorUdpIni
