#pragma once

#include "records/shturmoviktelemetry.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

// What the IL-2 Sturmovik source remembers of the game's numbered indicators between
// datagrams and across streams: each datagram refreshes only the indicators it carries, and
// the record is computed from the whole state. The ring holds the last 25 changes of
// indicator 10 (height above ground) with the game ticks each took; their sums give the
// vertical speed in m/s. A plain value owned by TelemetrySourceShturmovik on the telemetry
// thread; the functions below touch nothing else.
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
    float indicator9[2] = {}; // stall buffet: frequency (Hz), amplitude
    float indicator10Previous = 0.0f;
    bool heightSeen = false;  // the first height reading is where the ring starts, not a change
    uint32_t heightTick = 0;  // game tick of the previous height reading
    float indicator11 = 0.0f; // flaps, 0..1
    float indicator12 = 0.0f; // air brakes, 0..1
    float verticalSpeedRing[kRingSize] = {};
    float verticalSpeedTicks[kRingSize] = {}; // game ticks each change took, at least 1
    int verticalSpeedRingIndex = 0;
};

// What the game's events have said so far: the aircraft named by the last vehicle-name event
// (empty before any) and how many "gun fired", "hit" and "damage" events came. The game sends
// each event once, so every datagram's events are read, even those whose indicators are not.
struct ShturmovikEvents {
    QString vehicleName;
    uint32_t gunShots = 0;
    uint32_t hits = 0;
    uint32_t damages = 0;
};

// The game's tick rate: the tick in each datagram's header counts 20 ms of game time.
constexpr int kShturmovikTicksPerSecond = 50;

// Stores the indicator records of one telemetry datagram into the state; a datagram of any
// other kind (the motion output shares the port and differs in its header) changes nothing, and
// one without indicator records (the game paused) only stills the stall buffet.
// Total for any bytes: it never reads past the datagram, keeps at most four values per
// indicator, reads a non-finite value as 0, and stops at the first record that does not fit
// or announces a negative value count.
void applyShturmovikDatagram(ShturmovikIndicators& state, const QByteArray& datagram);

// Reads the events that follow the indicator records of one telemetry datagram (a count byte,
// then per event a u16 type, a u8 payload length and the payload). Total for any bytes: an
// event whose payload runs past the datagram ends the walk, a name keeps printable ASCII only
// and at most 128 characters, and a datagram of another kind changes nothing.
void readShturmovikEvents(ShturmovikEvents& events, const QByteArray& datagram);

// The record the state stands for; no field is ever NaN or infinite, and each is held to what
// an aircraft reaches (telemetry/telemetryranges.h). The event counts are left at 0.
ShturmovikTelemetry shturmovikRecord(const ShturmovikIndicators& state);
