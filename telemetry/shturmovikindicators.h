#pragma once

#include "records/shturmoviktelemetry.h"

#include <QByteArray>

// What the IL-2 Sturmovik source remembers of the game's numbered indicators between
// datagrams and across streams: each datagram refreshes only the indicators it carries, and
// the record is computed from the whole state. The ring holds the last 25 changes of
// indicator 10 (height), whose sum is the vertical speed. A plain value owned by
// TelemetrySourceShturmovik on the telemetry thread; the functions below touch nothing else.
struct ShturmovikIndicators {
    static constexpr int kMaxValues = 4;
    static constexpr int kRingSize = 25;

    int indicator0Count = 0; // engine RPM, per engine
    float indicator0[kMaxValues] = {};
    int indicator1Count = 0; // manifold pressure, per engine
    float indicator1[kMaxValues] = {};
    int indicator4Count = 0; // gear positions
    float indicator4[kMaxValues] = {};
    int indicator5Count = 0; // gear loads
    float indicator5[kMaxValues] = {};
    float indicator6 = 0.0f;  // airspeed, m/s
    float indicator7 = 0.0f;  // angle of attack, radians
    float indicator8[3] = {}; // acceleration in m/s²: longitudinal, vertical, lateral
    float indicator9[2] = {};
    float indicator10Previous = 0.0f;
    float indicator11 = 0.0f; // flaps, 0..1
    float indicator12 = 0.0f; // air brakes, 0..1
    float verticalSpeedRing[kRingSize] = {};
    int verticalSpeedRingIndex = 0;
};

// Stores the indicator records of one datagram into the state. Total for any bytes: it never
// reads past the datagram, keeps at most four values per indicator, reads a non-finite value
// as 0, and stops at the first record that does not fit or announces a negative value count.
void applyShturmovikDatagram(ShturmovikIndicators& state, const QByteArray& datagram);

// The record the state stands for; no field is ever NaN or infinite, and each is held to what
// an aircraft reaches (telemetry/telemetryranges.h).
ShturmovikTelemetry shturmovikRecord(const ShturmovikIndicators& state);
