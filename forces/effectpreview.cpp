#include "forces/effectpreview.h"

#include "forces/commontelemetryforcecalculator.h"
#include "forces/effectcurves.h"
#include "records/aoashakersettings.h"
#include "records/effectssettings.h"
#include "records/joltsettings.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kMaxPoints = 2000;

int boundedPoints(int points) {
    return std::clamp(points, 2, kMaxPoints);
}

float speedAt(int i, int points, float topSpeed) {
    return topSpeed * static_cast<float>(i) / static_cast<float>(points - 1);
}

template <typename Drive> ShakerCurves shakerCurves(float topSpeed, int points, Drive drive) {
    points = boundedPoints(points);
    topSpeed = finiteOrZero(topSpeed);
    ShakerCurves curves;
    curves.amplitude.reserve(points);
    curves.frequency.reserve(points);
    for (int i = 0; i < points; ++i) {
        const float v = speedAt(i, points, topSpeed);
        const ShakerDrive d = drive(v);
        curves.amplitude.append(QPointF(v, d.amplitude));
        curves.frequency.append(QPointF(v, finiteOrZero(d.frequency)));
    }
    return curves;
}

// Settings with only this spring switched on, on the elevator.
EffectsSettings springOnly(const AirflowSpringSettings& settings) {
    EffectsSettings only;
    only.axes[1].airflow_spring = settings;
    only.axes[1].airflow_spring.active = true;
    return only;
}

// The synthesis itself at full deflection. The spring keeps no state, so any calculator
// gives what the loop's would.
float springForce(CommonTelemetryForceCalculator& calculator, const EffectsSettings& only, float airspeed,
                  float propAirflow) {
    Telemetry t;
    t.airspeed = airspeed;
    t.propAirflow = propAirflow;
    AxisForce f;
    calculator.calculateAxis(f, 1, 0, 1.0f, t, only);
    // The loop clamps what it sends to -100..100; the spring pushes against the deflection.
    return -std::clamp(f.force, -100.0f, 100.0f);
}

} // namespace

float airflowSpringFullDeflectionForce(const AirflowSpringSettings& settings, float airspeed,
                                       float propAirflow) {
    CommonTelemetryForceCalculator calculator;
    return springForce(calculator, springOnly(settings), airspeed, propAirflow);
}

QVector<QPointF> airflowSpringForceCurve(const AirflowSpringSettings& settings, float propAirflow,
                                         int points) {
    points = boundedPoints(points);
    const float top = 1.5f * finiteOrZero(settings.attenuation_end_airspeed);
    const EffectsSettings only = springOnly(settings);
    CommonTelemetryForceCalculator calculator;
    QVector<QPointF> curve;
    curve.reserve(points);
    for (int i = 0; i < points; ++i) {
        const float v = speedAt(i, points, top);
        curve.append(QPointF(v, springForce(calculator, only, v, propAirflow)));
    }
    return curve;
}

float shakerPreviewTopSpeed(float speedMax) {
    const float top = 1.5f * finiteOrZero(speedMax);
    return top < 100.0f ? 100.0f : top;
}

ShakerCurves levelShakerCurves(const GenericSpeedDependantShakerSettings& settings, float topSpeed,
                               int points) {
    return shakerCurves(topSpeed, points,
                        [&settings](float v) { return levelShakerDrive(100.0f, v, settings); });
}

ShakerCurves aoaShakerCurves(const AoAShakerSettings& settings, float topSpeed, int points) {
    // At the top of the angle range the angle factor is whole, whichever its exponent.
    const float aoa = settings.aoa.max;
    return shakerCurves(topSpeed, points,
                        [&settings, aoa](float v) { return aoaShakerDrive(v, aoa, settings); });
}

ShakerCurves joltCurves(const JoltSettings& settings, float topSpeed, int points) {
    return shakerCurves(topSpeed, points, [&settings](float v) {
        return joltDrive(landingStrength(v, 10.0f, settings), v, settings);
    });
}
