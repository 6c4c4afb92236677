#pragma once

#include "forces/oscillator.h"
#include "records/effectssettings.h"
#include "records/forces.h"
#include "records/shturmoviktelemetry.h"

#include <cstdint>

// IL-2's own shaking through the `il2_shaker` effect: the game's stall buffet at its frequency
// and amplitude, a burst while the guns fire (until kGunHoldMs after the last shot the loop has
// seen), and a brief kick for each hit or damage report, each scaled by the effect's strength
// on the axes where it is active. Shots and hits are told by the record's counts growing, so a
// record the loop never saw loses none of them.
//
// Threading: a plain value owned by the control loop; addTo() runs once per tick on the control
// thread while IL-2 is the current game. Never blocks.
class ShturmovikShaker {
public:
    static constexpr uint64_t kGunHoldMs = 150;
    static constexpr uint64_t kKickMs = 120;
    static constexpr float kGunFrequency = 25.0f; // Hz
    static constexpr float kGunLevel = 0.75f;
    static constexpr float kKickFrequency = 15.0f; // Hz

    // Adds the shaking of this tick to the vibration of each axis. `now` is the run clock (ms).
    void addTo(Forces& forces, uint64_t now, const ShturmovikTelemetry& record,
               const EffectsSettings& settings);

private:
    // Notes the events the record's counts show since the last record.
    void takeEvents(uint64_t now, const ShturmovikTelemetry& record);

    struct AxisState {
        OscillatorState buffet;
        OscillatorState gun;
        OscillatorState kick;
    };
    AxisState axes_[3];
    bool counted_ = false;
    uint32_t gunShots_ = 0;
    uint32_t impacts_ = 0;
    bool firing_ = false;
    uint64_t lastShot_ = 0;
    bool kicking_ = false;
    uint64_t lastImpact_ = 0;
};
