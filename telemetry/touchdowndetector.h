#pragma once

#include "records/telemetry.h"

#include <optional>

// Finds the touch-downs in a stream of game records: the record whose on-ground turns true
// after the aircraft was airborne for at least kAirborneRecords records in a row. So a bounce
// that leaves the ground and touches again is a second landing, a stream that starts on the
// ground is none, and on-ground dropping out for a record or two on the ground arms nothing.
// A game whose record never says on-ground never lands.
//
// Threading: a plain value owned by TelemetryThread on the telemetry thread; fed with every
// record of the current stream as it is published.
class TouchdownDetector {
public:
    static constexpr int kAirborneRecords = 3;

    struct Landing {
        float sinkRate = 0.0f; // m/s, positive downwards: the vertical speed just before contact
        float airspeed = 0.0f; // km/h at contact
    };

    // A new stream: nothing is known of where the aircraft is.
    void reset();
    // One record of the stream; the landing when it is the touch-down.
    std::optional<Landing> observe(const Telemetry& record);

private:
    int airborneRecords_ = 0;
    float lastAirborneVerticalSpeed_ = 0.0f;
};
