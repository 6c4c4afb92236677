#include "engine/telemetrymailbox.h"

void TelemetryMailbox::post(const TelemetryRecord& record) {
    // A record of no known game has no slot; nothing sends one, and it is dropped.
    const int slot = record.source;
    if (slot < 0 || slot >= Slots) {
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    box_.record[slot] = record;
    box_.arrival[slot] = ++sequence_;
}

bool TelemetryMailbox::take(Contents& out) {
    std::lock_guard<std::mutex> lock(mutex_);
    bool any = false;
    for (uint64_t arrival : box_.arrival) {
        any = any || arrival != 0;
    }
    if (!any) {
        return false;
    }
    // Only the slots that were filled are copied: a drain costs little when one game streams.
    for (int slot = 0; slot < Slots; ++slot) {
        out.arrival[slot] = box_.arrival[slot];
        box_.arrival[slot] = 0;
        if (out.arrival[slot]) {
            out.record[slot] = box_.record[slot];
        }
    }
    return true;
}
