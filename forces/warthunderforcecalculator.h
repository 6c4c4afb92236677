#pragma once

#include "records/axisforce.h"
#include "records/effectssettings.h"
#include "records/warthundertelemetry.h"

#include <QObject>

#include <cstdint>

// What this game adds to an axis after the common synthesis. Its records are rendered by
// the common synthesis alone, so the hook adds nothing; it is the place for effects that
// only this game's extra fields could drive. Control thread, child of MainBackgroundThread.
class WarthunderForceCalculator : public QObject {
public:
    explicit WarthunderForceCalculator(QObject* parent = nullptr) : QObject(parent) {}

    void addSourceForces(AxisForce& /*force*/, int /*axis*/, uint64_t /*now*/, float /*position*/,
                         const WarthunderTelemetry& /*telemetry*/, const EffectsSettings& /*settings*/) {}
};
