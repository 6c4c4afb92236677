#include "forces/commontelemetryforcecalculator.h"

#include "forces/effectcurves.h"
#include "forces/shakerdrive.h"

#include <cmath>
#include <limits>

namespace {

// Takes one effect's term off a force sum. The sum is formed in double and rounded once, which
// for float terms is the same as float arithmetic. A term that is not finite counts as 0, and
// a sum beyond the float range stays at the largest float of its sign, so the final clamp to
// -100..100 still pulls the right way.
float subtractTerm(float sum, double term) {
    if (!std::isfinite(term)) {
        return sum;
    }
    const double result = static_cast<double>(sum) - term;
    if (result > std::numeric_limits<float>::max()) {
        return std::numeric_limits<float>::max();
    }
    if (result < -std::numeric_limits<float>::max()) {
        return -std::numeric_limits<float>::max();
    }
    return static_cast<float>(result);
}

// A double narrowed to float without leaving the float range; not finite counts as 0.
float toFloat(double value) {
    if (!std::isfinite(value)) {
        return 0.0f;
    }
    if (value > std::numeric_limits<float>::max()) {
        return std::numeric_limits<float>::max();
    }
    if (value < -std::numeric_limits<float>::max()) {
        return -std::numeric_limits<float>::max();
    }
    return static_cast<float>(value);
}

// The flight state with every value a game left non-finite read as 0.
Telemetry finiteTelemetry(const Telemetry& t) {
    Telemetry r = t;
    for (float* field :
         {&r.airspeed, &r.verticalSpeed, &r.aileronAoa, &r.aoa, &r.sideslip, &r.rollRate, &r.gForce,
          &r.propAirflow, &r.trimmerRoll, &r.trimmerPitch, &r.trimmerYaw, &r.gear, &r.airbrake, &r.flaps}) {
        *field = finiteOrZero(*field);
    }
    return r;
}

// The routine shared by the gear, flaps, airbrake and on-ground shakers.
float levelShaker(OscillatorState& state, uint64_t now, float level, float airspeed,
                  const GenericSpeedDependantShakerSettings& s) {
    const ShakerDrive drive = levelShakerDrive(level, airspeed, s);
    return oscillatorStep(state, now, drive.frequency, drive.amplitude);
}

} // namespace

CommonTelemetryForceCalculator::CommonTelemetryForceCalculator(QObject* parent) : QObject(parent) {}

void CommonTelemetryForceCalculator::calculateAxis(AxisForce& out, int axis, uint64_t now, float position,
                                                   const Telemetry& telemetry,
                                                   const EffectsSettings& settings) {
    if (axis < 0 || axis > 2) {
        return;
    }
    const AxisEffectsSettings& fx = settings.axes[axis];
    AxisState& state = axisStates_[axis];
    const Telemetry t = finiteTelemetry(telemetry);
    const float p = finiteOrZero(position);
    float force = finiteOrZero(out.force);
    float vibration = finiteOrZero(out.vibration);
    float springMagnitude = out.springMagnitude;

    if (fx.simple_spring.active) {
        const float a = p * fx.simple_spring.total_effect_strength;
        springMagnitude = std::fabs(a);
        force = subtractTerm(force, a);
    }

    if (fx.airflow_spring.active) {
        const AirflowSpringSettings& s = fx.airflow_spring;
        const float G = s.total_effect_strength;
        const float v = t.airspeed;
        const float S = s.attenuation_start_airspeed;
        const float E = s.attenuation_end_airspeed;

        // The stick's deflection as an angle of the control surface, -30..30 degrees.
        const float d = 30.0f * (p > 1.0f ? 1.0f : (p < -1.0f ? -1.0f : p));
        // The local angle of the airflow at the surface, softened for small angles.
        const float la = t.localAngle(axis);
        const float localAngle =
            std::fabs(la) > 90.0f ? la : la * (1.0f - 0.5f * cosDeg(2.0f * std::fabs(la)));
        const float e = d - localAngle * s.local_aoa_influence_strength / 100.0f;

        // Propeller wash, in double: strongest at standstill, fading towards the end airspeed.
        const double m =
            finiteOrZero(static_cast<double>(s.thrust_force) * 0.5 * (static_cast<double>(E) - v) /
                         static_cast<double>(E) * t.propAirflow / 100.0);

        // Dynamic pressure grows with the square of airspeed up to the start airspeed; above it
        // the growth follows the attenuation curve, as strongly as attenuation_strength says.
        const float ratio = v / S;
        float w = finiteOrZero(0.5f * s.airspeed_force * (ratio * ratio));
        if (v > S) {
            const float c = s.attenuationCurve.lookup(fraction(v, S, E));
            const float K = s.attenuation_strength;
            w = finiteOrZero(w * (1.0f - K / 100.0f) +
                             (0.5f * s.airspeed_force + 0.5f * s.airspeed_force * c) * K / 100.0f);
        }
        const float wc = w > 500.0f ? 500.0f : (w < 0.0f ? 0.0f : w);

        // The thrust part keeps double precision through both sums.
        springMagnitude = toFloat((w + m) * G / 100.0);
        force = subtractTerm(force, (wc * sinDeg(e) + m * sinDeg(d)) / sinDeg(30.0f) * G / 100.0);
    }

    if (fx.elevator_weight.active) {
        force = subtractTerm(force, t.gForce * fx.elevator_weight.total_effect_strength * 10.0f / 100.0f);
    }

    if (fx.landing_jolt.active) {
        const JoltSettings& s = fx.landing_jolt;
        JoltState& jolt = state.jolt;
        const uint64_t elapsed = now - jolt.triggerTime;
        if (elapsed < s.effect_time) {
            const float te = static_cast<float>(s.effect_time);
            const float remaining = now == jolt.triggerTime
                                        ? 0.0f
                                        : static_cast<float>(jolt.triggerTime + s.effect_time - now) / te;
            const ShakerDrive drive = joltDrive(remaining * jolt.magnitude, t.airspeed, s);
            vibration += oscillatorStep(jolt.oscillator, now, drive.frequency, drive.amplitude);
        }
    }

    if (fx.aoa_shaker.active) {
        const ShakerDrive drive = aoaShakerDrive(t.airspeed, t.aoa, fx.aoa_shaker);
        vibration += oscillatorStep(state.aoaShaker, now, drive.frequency, drive.amplitude);
    }

    if (fx.gear_shaker.active) {
        vibration += levelShaker(state.gearShaker, now, t.gear, t.airspeed, fx.gear_shaker);
    }
    if (fx.flaps_shaker.active) {
        vibration += levelShaker(state.flapsShaker, now, t.flaps, t.airspeed, fx.flaps_shaker);
    }
    if (fx.airbrake_shaker.active) {
        vibration += levelShaker(state.airbrakeShaker, now, t.airbrake, t.airspeed, fx.airbrake_shaker);
    }
    if (fx.on_ground_shaker.active) {
        vibration += levelShaker(state.onGroundShaker, now, t.onGround ? 100.0f : 0.0f, t.airspeed,
                                 fx.on_ground_shaker);
    }

    out.force = force;
    out.vibration = finiteOrZero(vibration);
    out.springMagnitude = finiteOrZero(springMagnitude);
}

void CommonTelemetryForceCalculator::land(const LandingEvent& event, const EffectsSettings& settings) {
    for (int axis = 0; axis < 3; ++axis) {
        const JoltSettings& s = settings.axes[axis].landing_jolt;
        if (!s.active) {
            continue;
        }
        JoltState& jolt = axisStates_[axis].jolt;
        const float k = landingStrength(event.airspeed, event.verticalSpeed, s);
        // What is left of the running jolt; a landing only restarts it when stronger.
        const float age =
            static_cast<float>(event.time - jolt.triggerTime) / static_cast<float>(s.effect_time);
        float current = (1.0f - age) * jolt.magnitude;
        if (age > 1.0f || current != current) {
            current = 0.0f;
        }
        if (k > current) {
            jolt.magnitude = k;
            jolt.triggerTime = event.time;
        }
    }
}
