#pragma once

#include "forces/commontelemetryforcecalculator.h"
#include "records/effectssettings.h"
#include "records/msfstelemetry.h"

#include <QObject>

#include <cstdint>

// What this game adds to an axis after the common synthesis. Its records are rendered by
// the common synthesis alone, so the hook adds nothing; it is the place for effects that
// only this game's extra fields could drive. Control thread, child of MainBackgroundThread.
class MSFSTelemetryForceCalculator : public CommonTelemetryForceCalculator {
    Q_OBJECT

public:
    using CommonTelemetryForceCalculator::CommonTelemetryForceCalculator;

    void addSourceForces(AxisForce& /*force*/, int /*axis*/, uint64_t /*now*/, float /*position*/,
                         const MSFSTelemetry& /*telemetry*/, const EffectsSettings& /*settings*/) {}
};
