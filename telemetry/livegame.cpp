#include "telemetry/livegame.h"

#include "telemetry/aircraftname.h"
#include "telemetry/telemetrylog.h"
#include "telemetry/telemetrysource.h"

bool LiveGame::claim(Telemetry::Source source) {
    if (replaying() || source == Telemetry::TELEMETRY_SOURCE_NONE) {
        return false;
    }
    int expected = Telemetry::TELEMETRY_SOURCE_NONE;
    if (current_.compare_exchange_strong(expected, source)) {
        ++generation_;
        return true;
    }
    return expected == source;
}

bool LiveGame::release(Telemetry::Source source) {
    int expected = source;
    if (source == Telemetry::TELEMETRY_SOURCE_NONE ||
        !current_.compare_exchange_strong(expected, Telemetry::TELEMETRY_SOURCE_NONE)) {
        return false;
    }
    ++generation_;
    return true;
}

void LiveGame::setReplaying(bool replaying) {
    if (replaying) {
        ++replays_;
    }
    replaying_.store(replaying);
    current_.store(Telemetry::TELEMETRY_SOURCE_NONE);
    ++generation_;
}

std::optional<QString> LiveGame::startStream(TelemetrySource* source, Telemetry::Source game,
                                             const QString& name) {
    if (!claim(game)) {
        source->forgetStream();
        return std::nullopt;
    }
    // Whatever a source reads, a name stays short enough for every row it is part of.
    const QString shown = AircraftName::cut(name);
    TelemetryLog::streamStarted(game, shown);
    return shown;
}

void LiveGame::endStream(Telemetry::Source game) {
    release(game);
    TelemetryLog::streamEnded(game);
}
