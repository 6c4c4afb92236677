#include "telemetry/touchdowndetector.h"

#include "records/finite.h"

void TouchdownDetector::reset() {
    airborneRecords_ = 0;
    lastAirborneVerticalSpeed_ = 0.0f;
}

std::optional<TouchdownDetector::Landing> TouchdownDetector::observe(const Telemetry& record) {
    if (!record.onGround) {
        // The vertical speed at contact is read before the game has stopped the sink.
        lastAirborneVerticalSpeed_ = finiteOrZero(record.verticalSpeed);
        if (airborneRecords_ < kAirborneRecords) {
            ++airborneRecords_;
        }
        return std::nullopt;
    }
    const bool landed = airborneRecords_ >= kAirborneRecords;
    airborneRecords_ = 0;
    if (!landed) {
        return std::nullopt;
    }
    Landing landing;
    landing.sinkRate = -lastAirborneVerticalSpeed_;
    landing.airspeed = finiteOrZero(record.airspeed);
    return landing;
}
