#include "records/telemetryrecord.h"

namespace {
template <typename R> TelemetryRecord rebuilt(Telemetry::Source source, const Telemetry& common) {
    R record;
    static_cast<Telemetry&>(record) = common;
    return TelemetryRecord(source, record);
}
} // namespace

TelemetryRecord TelemetryRecord::fromCommon(Telemetry::Source source, const Telemetry& common) {
    switch (source) {
    case Telemetry::TELEMETRY_SOURCE_MSFS:
        return rebuilt<MSFSTelemetry>(source, common);
    case Telemetry::TELEMETRY_SOURCE_DCS:
        return rebuilt<DCSTelemetry>(source, common);
    case Telemetry::TELEMETRY_SOURCE_IL2:
        return rebuilt<ShturmovikTelemetry>(source, common);
    case Telemetry::TELEMETRY_SOURCE_WARTHUNDER:
        return rebuilt<WarthunderTelemetry>(source, common);
    case Telemetry::TELEMETRY_SOURCE_CONDOR:
        return rebuilt<Condor2Telemetry>(source, common);
    default:
        return TelemetryRecord(source, common);
    }
}
