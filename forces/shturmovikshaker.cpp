#include "forces/shturmovikshaker.h"

#include "forces/shakerdrive.h"
#include "records/finite.h"

namespace {
// A count that grew by more than this is no run of events but a count from elsewhere (another
// mission, a recording): it is taken as the new start.
constexpr uint32_t kMaxEventsPerRecord = 1000;

// How many events a count shows since the last one; 0 for a count that fell or jumped.
uint32_t newEvents(uint32_t count, uint32_t last) {
    const uint32_t grown = count - last;
    return grown <= kMaxEventsPerRecord ? grown : 0;
}
} // namespace

void ShturmovikShaker::takeEvents(uint64_t now, const ShturmovikTelemetry& record) {
    const uint32_t impacts = record.hits + record.damages;
    if (counted_) {
        if (newEvents(record.gunShots, gunShots_) > 0) {
            firing_ = true;
            lastShot_ = now;
        }
        if (newEvents(impacts, impacts_) > 0) {
            kicking_ = true;
            lastImpact_ = now;
        }
    }
    counted_ = true;
    gunShots_ = record.gunShots;
    impacts_ = impacts;
}

void ShturmovikShaker::addTo(Forces& forces, uint64_t now, const ShturmovikTelemetry& record,
                             const EffectsSettings& settings) {
    takeEvents(now, record);
    if (firing_ && now - lastShot_ >= kGunHoldMs) {
        firing_ = false;
    }
    // What is left of the kick, 1 when it is fresh, fading to 0.
    float kick = 0.0f;
    if (kicking_) {
        const uint64_t age = now - lastImpact_;
        if (age >= kKickMs) {
            kicking_ = false;
        } else {
            kick = 1.0f - static_cast<float>(age) / static_cast<float>(kKickMs);
        }
    }
    for (int axis = 0; axis < 3; ++axis) {
        const SimpleEffectSettings& s = settings.axes[axis].il2_shaker;
        if (!s.active) {
            continue;
        }
        AxisState& state = axes_[axis];
        float vibration = 0.0f;
        if (record.indicator9Value1 > 0.0f) {
            const ShakerDrive buffet =
                shturmovikBuffetDrive(record.indicator9Value0, record.indicator9Value1, s);
            vibration += oscillatorStep(state.buffet, now, buffet.frequency, buffet.amplitude);
        }
        if (firing_) {
            const ShakerDrive gun = shturmovikEventDrive(kGunFrequency, kGunLevel, s);
            vibration += oscillatorStep(state.gun, now, gun.frequency, gun.amplitude);
        }
        if (kick > 0.0f) {
            const ShakerDrive hit = shturmovikEventDrive(kKickFrequency, kick, s);
            vibration += oscillatorStep(state.kick, now, hit.frequency, hit.amplitude);
        }
        AxisForce& f = forces.axis[axis];
        f.vibration = finiteOrZero(finiteOrZero(f.vibration) + finiteOrZero(vibration));
    }
}
