#include "telemetry/livegame.h"

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
