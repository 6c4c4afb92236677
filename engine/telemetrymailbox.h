#pragma once

#include "records/telemetry.h"
#include "records/telemetryrecord.h"

#include <cstdint>
#include <mutex>

// The latest record of each game since the control loop last looked. The telemetry thread
// posts while the tick drains, so a stream never wakes the loop between ticks; a newer record
// of a game replaces the one waiting.
//
// Threading: post() from the telemetry thread, drain() from the control thread; each holds
// the lock only to copy records.
class TelemetryMailbox {
public:
    void post(const TelemetryRecord& record);

    // Hands each waiting record to `visit` (called with the record), oldest first, so that the
    // game that spoke last is handed over last.
    template <typename Visit> void drain(Visit visit);

private:
    static constexpr int Slots = Telemetry::SourceCount;
    struct Contents {
        uint64_t arrival[Slots] = {}; // when each game's slot was last filled (0: empty)
        TelemetryRecord record[Slots];
    };
    // Empties the box into `out`; false when nothing was waiting.
    bool take(Contents& out);

    std::mutex mutex_;
    uint64_t sequence_ = 0;
    Contents box_;
};

template <typename Visit> void TelemetryMailbox::drain(Visit visit) {
    Contents c;
    if (!take(c)) {
        return;
    }
    for (;;) {
        int next = -1;
        for (int slot = 0; slot < Slots; ++slot) {
            if (c.arrival[slot] != 0 && (next < 0 || c.arrival[slot] < c.arrival[next])) {
                next = slot;
            }
        }
        if (next < 0) {
            return;
        }
        c.arrival[next] = 0;
        visit(c.record[next]);
    }
}
