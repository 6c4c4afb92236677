#pragma once

#include "forces/oscillator.h"
#include "records/axisforce.h"
#include "records/effectssettings.h"
#include "records/telemetry.h"

#include <QObject>

#include <cstdint>

// A touch-down: when it happened (run clock, ms) and how fast the aircraft was going.
struct LandingEvent {
    uint64_t time = 0;
    float airspeed = 0.0f;      // km/h
    float verticalSpeed = 0.0f; // m/s, positive when sinking onto the runway
};

// The force synthesis of one axis from the flight state, the axis position and the effect
// settings: springs, elevator weight, shakers and the landing jolt. It owns every effect
// state (one landing jolt and five shaker oscillators per axis), which live as long as the
// control loop and are never reset.
//
// Threading: lives on the control thread as a child of MainBackgroundThread; called from its
// 5 ms tick (calculateAxis, three times per tick) and from its landing slot. Never blocks.
class CommonTelemetryForceCalculator : public QObject {
    Q_OBJECT

public:
    explicit CommonTelemetryForceCalculator(QObject* parent = nullptr);

    // Adds every active effect of the axis to `force`. `now` is the run clock in ms, `position`
    // the axis position (1.0 and -1.0 full deflection). A non-finite telemetry value reads as 0
    // and a non-finite effect term counts as 0, so the result is always finite.
    void calculateAxis(AxisForce& force, int axis, uint64_t now, float position, const Telemetry& telemetry,
                       const EffectsSettings& settings);

    // Arms the landing jolt of each axis whose jolt is active, when this landing is stronger
    // than what is left of the running jolt.
    void land(const LandingEvent& event, const EffectsSettings& settings);

protected:
    struct JoltState {
        OscillatorState oscillator;
        uint64_t triggerTime = 0;
        float magnitude = 0.0f; // 0..1
    };
    struct AxisState {
        JoltState jolt;
        OscillatorState aoaShaker;
        OscillatorState gearShaker;
        OscillatorState flapsShaker;
        OscillatorState airbrakeShaker;
        OscillatorState onGroundShaker;
    };
    AxisState axisStates_[3];
};
