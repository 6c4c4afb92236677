#include "device/hidreports.h"

#include "records/finite.h"

#include <algorithm>
#include <cstring>

namespace HidReports {

namespace {

void putFloat(Report& report, int offset, float value) {
    const float v = finiteOrZero(value);
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    for (int i = 0; i < 4; ++i) {
        report[offset + i] = static_cast<uint8_t>(bits >> (8 * i));
    }
}

float getFloat(const Report& report, int offset) {
    uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) {
        bits |= static_cast<uint32_t>(report[offset + i]) << (8 * i);
    }
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return finiteOrZero(v);
}

Report outputReport(uint8_t command) {
    Report report{};
    report[0] = OutputReportId;
    report[1] = command;
    return report;
}

// dampening * total / 100 / 100, each step rounded to single precision, as a gain.
float percentOfPercent(float value, float total) {
    float gain = value * total;
    gain = gain / 100.0f;
    gain = gain / 100.0f;
    return bounded(gain, 0.0f, GainLimit);
}

void putAxes(Report& report, int offset, float x, float y, float limit) {
    putFloat(report, offset, bounded(x, -limit, limit));
    putFloat(report, offset + 4, bounded(y, -limit, limit));
}

void putGains(Report& report, int offset, float x, float y) {
    putFloat(report, offset, bounded(x, 0.0f, GainLimit));
    putFloat(report, offset + 4, bounded(y, 0.0f, GainLimit));
}

DirectXOverrideTypeDef axisGains(const DirectXSettings& dx) {
    DirectXOverrideTypeDef d;
    if (dx.active) {
        d.trimmerX = bounded(dx.trimmer / 100.0f, 0.0f, GainLimit);
        d.springX = percentOfPercent(dx.force, dx.total_effect_strength);
        d.periodicX = percentOfPercent(dx.periodic, dx.total_effect_strength);
    }
    return d;
}

} // namespace

float bounded(float value, float lo, float hi) {
    return std::clamp(finiteOrZero(value), lo, hi);
}

Report featureRequest(uint8_t reportId) {
    Report report{};
    report[0] = reportId;
    return report;
}

uint32_t parseVersion(const Report& report) {
    return static_cast<uint32_t>(report[0]) | (static_cast<uint32_t>(report[1]) << 8) |
           (static_cast<uint32_t>(report[2]) << 16) | (static_cast<uint32_t>(report[3]) << 24);
}

DevicePosition parsePosition(const Report& report) {
    DevicePosition p;
    p.positionX = getFloat(report, 1);
    p.positionY = getFloat(report, 5);
    p.offsetX = getFloat(report, 9);
    p.offsetY = getFloat(report, 13);
    return p;
}

float staticDamperGain(const SmartDamperSettings& damper) {
    return damper.active ? percentOfPercent(damper.static_dampening, damper.total_effect_strength) : 0.0f;
}

float dynamicDamperGain(const SmartDamperSettings& damper) {
    return damper.active ? percentOfPercent(damper.dynamic_dampening, damper.total_effect_strength) : 0.0f;
}

Report joystickDirectControl(const Forces& forces, const float positionOffset[3],
                             const EffectsSettings& settings) {
    const AxisForce& x = forces.axis[0];
    const AxisForce& y = forces.axis[1];
    const SmartDamperSettings& dx = settings.axes[0].smart_damper;
    const SmartDamperSettings& dy = settings.axes[1].smart_damper;
    Report report = outputReport(DirectControlCommand);
    putAxes(report, 2, x.springMagnitude, y.springMagnitude, ForceLimit);
    putAxes(report, 10, x.force, y.force, ForceLimit);
    putAxes(report, 18, x.vibration, y.vibration, ForceLimit);
    putGains(report, 26, staticDamperGain(dx), staticDamperGain(dy));
    putGains(report, 34, dynamicDamperGain(dx), dynamicDamperGain(dy));
    putAxes(report, 42, positionOffset[0], positionOffset[1], OffsetLimit);
    return report;
}

Report rudderDirectControl(const Forces& forces, const float positionOffset[3],
                           const EffectsSettings& settings) {
    const AxisForce& x = forces.axis[2];
    const SmartDamperSettings& dx = settings.axes[2].smart_damper;
    Report report = outputReport(DirectControlCommand);
    putAxes(report, 2, x.springMagnitude, 0.0f, ForceLimit);
    putAxes(report, 10, x.force, 0.0f, ForceLimit);
    putAxes(report, 18, x.vibration, 0.0f, ForceLimit);
    putGains(report, 26, staticDamperGain(dx), 0.0f);
    putGains(report, 34, dynamicDamperGain(dx), 0.0f);
    putAxes(report, 42, positionOffset[2], 0.0f, OffsetLimit);
    return report;
}

DirectXOverrideTypeDef joystickDirectXOverride(const EffectsSettings& settings) {
    const DirectXOverrideTypeDef x = axisGains(settings.axes[0].direct_x);
    const DirectXOverrideTypeDef y = axisGains(settings.axes[1].direct_x);
    DirectXOverrideTypeDef d;
    d.trimmerX = x.trimmerX;
    d.trimmerY = y.trimmerX;
    d.springX = x.springX;
    d.springY = y.springX;
    d.periodicX = x.periodicX;
    d.periodicY = y.periodicX;
    return d;
}

DirectXOverrideTypeDef rudderDirectXOverride(const EffectsSettings& settings) {
    return axisGains(settings.axes[2].direct_x);
}

Report directXOverride(const DirectXOverrideTypeDef& gains) {
    Report report = outputReport(DirectXOverrideCommand);
    putGains(report, 2, gains.trimmerX, gains.trimmerY);
    putGains(report, 10, gains.springX, gains.springY);
    putGains(report, 18, gains.periodicX, gains.periodicY);
    return report;
}

Report directXOverrideOff() {
    return directXOverride(DirectXOverrideTypeDef());
}

} // namespace HidReports
