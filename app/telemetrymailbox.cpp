#include "app/telemetrymailbox.h"

void TelemetryMailbox::post(const MSFSTelemetry& record) {
    std::lock_guard<std::mutex> lock(mutex_);
    box_.msfs = record;
    box_.arrival[Msfs] = ++sequence_;
}

void TelemetryMailbox::post(const DCSTelemetry& record) {
    std::lock_guard<std::mutex> lock(mutex_);
    box_.dcs = record;
    box_.arrival[Dcs] = ++sequence_;
}

void TelemetryMailbox::post(const ShturmovikTelemetry& record) {
    std::lock_guard<std::mutex> lock(mutex_);
    box_.shturmovik = record;
    box_.arrival[Shturmovik] = ++sequence_;
}

void TelemetryMailbox::post(const WarthunderTelemetry& record) {
    std::lock_guard<std::mutex> lock(mutex_);
    box_.warthunder = record;
    box_.arrival[Warthunder] = ++sequence_;
}

void TelemetryMailbox::post(const Condor2Telemetry& record) {
    std::lock_guard<std::mutex> lock(mutex_);
    box_.condor = record;
    box_.arrival[Condor] = ++sequence_;
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
    }
    if (out.arrival[Msfs]) {
        out.msfs = box_.msfs;
    }
    if (out.arrival[Dcs]) {
        out.dcs = box_.dcs;
    }
    if (out.arrival[Shturmovik]) {
        out.shturmovik = box_.shturmovik;
    }
    if (out.arrival[Warthunder]) {
        out.warthunder = box_.warthunder;
    }
    if (out.arrival[Condor]) {
        out.condor = box_.condor;
    }
    return true;
}
