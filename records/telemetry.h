#pragma once

#include <QMetaType>
#include <QObject>

// The common flight state every telemetry source delivers, in the program's own units:
// km/h, m/s, degrees, degrees/s, G and percent. It is a plain value copied between the
// telemetry, control and GUI threads; the per-source records begin with it.
struct Telemetry {
    Q_GADGET

public:
    // Which game a record or a stream comes from. Stored in profile files as its number.
    enum Source : int {
        TELEMETRY_SOURCE_NONE = 0,
        TELEMETRY_SOURCE_MSFS = 1,
        TELEMETRY_SOURCE_DCS = 2,
        TELEMETRY_SOURCE_IL2 = 3,
        TELEMETRY_SOURCE_WARTHUNDER = 4,
        TELEMETRY_SOURCE_CONDOR = 5,
        TELEMETRY_SOURCE_XPLANE = 6,
    };
    Q_ENUM(Source)
    // One more than the highest Source number.
    static constexpr int SourceCount = 7;

    float airspeed = 0.0f;      // km/h, indicated
    float verticalSpeed = 0.0f; // m/s
    float aileronAoa = 0.0f;    // degrees; local angle of the ailerons, no source fills it
    float aoa = 0.0f;           // degrees
    float sideslip = 0.0f;      // degrees
    float rollRate = 0.0f;      // degrees/s
    float gForce = 0.0f;        // G
    float propAirflow = 0.0f;   // percent ("Thrust (%)")
    float trimmerRoll = 0.0f;   // percent
    float trimmerPitch = 0.0f;  // percent
    float trimmerYaw = 0.0f;    // percent
    float gear = 0.0f;          // percent, 0 up, 100 down (MSFS: fraction 0..1)
    float airbrake = 0.0f;      // percent
    float flaps = 0.0f;         // percent (MSFS: fraction 0..1)
    bool onGround = false;

    // The local angle the airflow spring of an axis reads: ailerons, elevator, rudder.
    float localAngle(int axis) const { return axis == 0 ? aileronAoa : (axis == 1 ? aoa : sideslip); }
};

Q_DECLARE_METATYPE(Telemetry)
