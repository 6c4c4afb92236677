#pragma once

#include "forces/shakerdrive.h"

#include <QPointF>
#include <QVector>

class AirflowSpringSettings;

// Curves of an effect against airspeed for the settings panels, taken from the functions the
// control loop computes the forces with. x is the airspeed in km/h, y the value as the loop
// would send it. Every value is finite for any settings.

// The force the natural-airflow spring pushes back with when the stick is at full deflection,
// at `airspeed`, with no local airflow angle and `propAirflow` percent of thrust.
float airflowSpringFullDeflectionForce(const AirflowSpringSettings& settings, float airspeed,
                                       float propAirflow);
// That force from 0 to 1.5 times the attenuation end airspeed, at `points` evenly spaced speeds.
QVector<QPointF> airflowSpringForceCurve(const AirflowSpringSettings& settings, float propAirflow,
                                         int points);

// The speed range a shaker preview spans: 0 to 1.5 times the speed range's max, at least 100 km/h.
float shakerPreviewTopSpeed(float speedMax);

// A shaker's amplitude and frequency from 0 to `topSpeed`: the level shakers fully extended
// (or on ground), the AoA shaker at or above the top of its angle range.
struct ShakerCurves {
    QVector<QPointF> amplitude;
    QVector<QPointF> frequency;
};
ShakerCurves levelShakerCurves(const GenericSpeedDependantShakerSettings& settings, float topSpeed,
                               int points);
ShakerCurves aoaShakerCurves(const AoAShakerSettings& settings, float topSpeed, int points);
// The landing jolt as a hard landing (10 m/s or more) at each airspeed arms it, at touch-down.
ShakerCurves joltCurves(const JoltSettings& settings, float topSpeed, int points);
