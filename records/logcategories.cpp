#include "records/logcategories.h"

Q_LOGGING_CATEGORY(lcApp, "trennal.app", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDevice, "trennal.device", QtInfoMsg)
Q_LOGGING_CATEGORY(lcControlLoop, "trennal.loop", QtInfoMsg)
Q_LOGGING_CATEGORY(lcGuardian, "trennal.guardian", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSetup, "trennal.setup", QtInfoMsg)
Q_LOGGING_CATEGORY(lcProfiles, "trennal.profiles", QtInfoMsg)
Q_LOGGING_CATEGORY(lcTelemetry, "trennal.telemetry", QtInfoMsg)
Q_LOGGING_CATEGORY(lcTelemetryMsfs, "trennal.telemetry.msfs", QtInfoMsg)
Q_LOGGING_CATEGORY(lcTelemetryDcs, "trennal.telemetry.dcs", QtInfoMsg)
Q_LOGGING_CATEGORY(lcTelemetryIl2, "trennal.telemetry.il2", QtInfoMsg)
Q_LOGGING_CATEGORY(lcTelemetryWarthunder, "trennal.telemetry.warthunder", QtInfoMsg)
Q_LOGGING_CATEGORY(lcTelemetryCondor, "trennal.telemetry.condor", QtInfoMsg)
Q_LOGGING_CATEGORY(lcTelemetryXPlane, "trennal.telemetry.xplane", QtInfoMsg)

const QLoggingCategory& lcTelemetryOf(Telemetry::Source source) {
    switch (source) {
    case Telemetry::TELEMETRY_SOURCE_MSFS:
        return lcTelemetryMsfs();
    case Telemetry::TELEMETRY_SOURCE_DCS:
        return lcTelemetryDcs();
    case Telemetry::TELEMETRY_SOURCE_IL2:
        return lcTelemetryIl2();
    case Telemetry::TELEMETRY_SOURCE_WARTHUNDER:
        return lcTelemetryWarthunder();
    case Telemetry::TELEMETRY_SOURCE_CONDOR:
        return lcTelemetryCondor();
    case Telemetry::TELEMETRY_SOURCE_XPLANE:
        return lcTelemetryXPlane();
    default:
        return lcTelemetry();
    }
}
