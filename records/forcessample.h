#pragma once

#include <QMetaType>
#include <QtGlobal>

// What the control loop sent in one tick, for the live force view: per axis (0 ailerons,
// 1 elevator, 2 rudder) the force, vibration and spring magnitude after the start ramp, and
// the airspeed, AoA and G of the record that drove them, and where the centre of each axis's
// springs was (full deflections; not 0 while trim following moves it). A plain value published at a
// reduced rate from the control thread to the GUI thread.
struct ForcesSample {
    qint64 time = 0; // ms of the control loop's clock
    float force[3] = {0.0f, 0.0f, 0.0f};
    float vibration[3] = {0.0f, 0.0f, 0.0f};
    float springMagnitude[3] = {0.0f, 0.0f, 0.0f};
    float centre[3] = {0.0f, 0.0f, 0.0f};
    float airspeed = 0.0f; // km/h
    float aoa = 0.0f;      // degrees
    float gForce = 0.0f;   // G
};

Q_DECLARE_METATYPE(ForcesSample)
