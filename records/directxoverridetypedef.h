#pragma once

#include <QMetaType>

// Gains the device applies to the force-feedback effects a game sends it directly, in the
// order of the DirectX override report. X is the device's first axis, Y its second (the
// rudder unit has X only).
struct DirectXOverrideTypeDef {
    float trimmerX = 0.0f;
    float trimmerY = 0.0f;
    float springX = 0.0f;
    float springY = 0.0f;
    float periodicX = 0.0f;
    float periodicY = 0.0f;
};

Q_DECLARE_METATYPE(DirectXOverrideTypeDef)
