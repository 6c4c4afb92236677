#include "telemetry/xplane/xplanedatarefs.h"

#include "telemetry/telemetryranges.h"

#include <cmath>

namespace {

constexpr double KnotsToKmh = 1.852;
// rad/s to revolutions per minute.
constexpr double RadPerSecToRpm = 30.0 / 3.14159265358979323846;

const char* const FlightPaths[XPlaneDatarefs::FlightCount] = {
    "sim/flightmodel/position/indicated_airspeed",
    "sim/flightmodel/position/alpha",
    "sim/flightmodel/position/beta",
    "sim/flightmodel/position/P",
    "sim/flightmodel/forces/g_nrml",
    "sim/flightmodel/position/vh_ind",
    "sim/flightmodel/failures/onground_any",
    "sim/flightmodel/controls/flaprat",
    "sim/flightmodel/controls/sbrkrat",
    "sim/flightmodel2/controls/aileron_trim",
    "sim/flightmodel2/controls/elevator_trim",
    "sim/flightmodel2/controls/rudder_trim",
    "sim/time/paused",
};

QByteArray element(const char* array, int i) {
    return QByteArray(array) + '[' + QByteArray::number(i) + ']';
}

float ratioPercent(const XPlaneDatarefs::Table& v, int index) {
    return static_cast<float>(static_cast<double>(v.value[index]) * 100.0);
}

} // namespace

namespace XPlaneDatarefs {

QByteArray path(int index) {
    if (index < 0 || index >= Count) {
        return {};
    }
    if (index < FlightCount) {
        return FlightPaths[index];
    }
    if (index == EngineCount) {
        return "sim/aircraft/engine/acf_num_engines";
    }
    if (index == PropRedline) {
        return "sim/aircraft/controls/acf_RSC_redline_prp";
    }
    if (index < GearDeploy) {
        return element("sim/cockpit2/engine/indicators/prop_speed_rpm", index - PropRpm);
    }
    if (index < GearType) {
        return element("sim/flightmodel2/gear/deploy_ratio", index - GearDeploy);
    }
    if (index < UiName) {
        return element("sim/aircraft/parts/acf_gear_type", index - GearType);
    }
    if (index < Description) {
        return element("sim/aircraft/view/acf_ui_name", index - UiName);
    }
    return element("sim/aircraft/view/acf_descrip", index - Description);
}

int rate(int index) {
    // The engine speeds move with the flight; the rest of the aircraft's values do not.
    if (index < FlightCount || (index >= PropRpm && index < GearType)) {
        return FlightRate;
    }
    return AircraftRate;
}

Telemetry record(const Table& v) {
    Telemetry t;
    t.airspeed = static_cast<float>(static_cast<double>(v.value[Airspeed]) * KnotsToKmh);
    t.aoa = v.value[Aoa];
    t.sideslip = v.value[Sideslip];
    t.rollRate = v.value[RollRate];
    t.gForce = v.value[GForce];
    t.verticalSpeed = v.value[VerticalSpeed];
    t.onGround = v.value[OnGround] >= 0.5f;
    t.flaps = ratioPercent(v, Flaps);
    t.airbrake = ratioPercent(v, Speedbrake);
    t.trimmerRoll = ratioPercent(v, AileronTrim);
    t.trimmerPitch = ratioPercent(v, ElevatorTrim);
    t.trimmerYaw = ratioPercent(v, RudderTrim);

    // Gear: the mean over the slots the aircraft uses; a slot whose type is unknown or none
    // would pull the mean of a three-wheeled aircraft towards zero.
    double gearSum = 0.0;
    int gearCount = 0;
    for (int i = 0; i < GearSlots; ++i) {
        if (v.seen[GearType + i] && v.value[GearType + i] != 0.0f) {
            gearSum += static_cast<double>(v.value[GearDeploy + i]);
            ++gearCount;
        }
    }
    t.gear = gearCount > 0 ? static_cast<float>(gearSum / gearCount * 100.0) : 0.0f;

    // Propeller wash: each propeller's speed as a percentage of its highest, averaged over the
    // aircraft's engines (at most four), the way the other games' thrust reads.
    const double engines = static_cast<double>(v.value[EngineCount]);
    const int k = engines >= 1.0 ? static_cast<int>(std::min(engines, double(PropEngines))) : 0;
    const double redlineRpm = static_cast<double>(v.value[PropRedline]) * RadPerSecToRpm;
    if (k > 0 && redlineRpm > 1.0) {
        double sum = 0.0;
        for (int i = 0; i < k; ++i) {
            sum += static_cast<double>(v.value[PropRpm + i]);
        }
        t.propAirflow = static_cast<float>(sum / k / redlineRpm * 100.0);
    }
    TelemetryRanges::clampToPhysicalRanges(t);
    return t;
}

QString nameFromBytes(const float* bytes, const bool* seen, int count) {
    QByteArray utf8;
    for (int i = 0; i < count; ++i) {
        const float b = bytes[i];
        if (!seen[i] || !(b >= 1.0f && b <= 255.0f) || b != std::floor(b)) {
            break;
        }
        utf8.append(static_cast<char>(static_cast<unsigned char>(b)));
    }
    return QString::fromUtf8(utf8).trimmed();
}

QString aircraftName(const Table& v) {
    const QString ui = nameFromBytes(&v.value[UiName], &v.seen[UiName], NameBytes);
    return ui.isEmpty() ? nameFromBytes(&v.value[Description], &v.seen[Description], NameBytes) : ui;
}

bool nameAnswered(const Table& v) {
    for (int i = UiName; i < Description + NameBytes; ++i) {
        if (!v.seen[i]) {
            return false;
        }
    }
    return true;
}

bool paused(const Table& v) {
    return v.value[Paused] >= 0.5f;
}

} // namespace XPlaneDatarefs
