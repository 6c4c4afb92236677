#include "telemetry/condor2datagram.h"

#include "records/finite.h"
#include "telemetry/asciinumber.h"
#include "telemetry/telemetryranges.h"

#include <QByteArrayView>

namespace {
// Where Condor 2 puts the three values, read there only from a datagram that names none of them.
constexpr int kAirspeedLine = 1;
constexpr int kGForceLine = 28;
constexpr int kTurbulenceLine = 31;
// The values read by key alone: no line of a keyless datagram stands for them.
constexpr int kNoLine = -1;
// On the ground: the wheel touches (its height above ground within this) and the centre of
// gravity is low. In flight Condor sends a wheel height of 0, so the height is needed too.
constexpr float kWheelOnGroundMetres = 0.05f;
constexpr float kHeightOnGroundMetres = 5.0f;
// Condor sends its keys in the first 40 or so lines (then the HUD text); looking no further
// keeps the cost of a huge datagram at one pass over its first 64 lines.
constexpr int kLinesSearched = 64;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

QByteArrayView trimmed(QByteArrayView v) {
    while (!v.isEmpty() && isBlank(v.front())) {
        v = v.sliced(1);
    }
    while (!v.isEmpty() && isBlank(v.back())) {
        v.chop(1);
    }
    return v;
}

// The text before the first "=" of a line, blanks aside; empty for a line without "=".
QByteArrayView lineKey(QByteArrayView line) {
    const qsizetype equals = line.indexOf('=');
    return equals < 0 ? QByteArrayView() : trimmed(line.first(equals));
}

// The same key in ASCII without regard to case; `lowerCase` is written in lower case.
bool sameKey(QByteArrayView name, QByteArrayView lowerCase) {
    if (name.size() != lowerCase.size()) {
        return false;
    }
    for (qsizetype i = 0; i < name.size(); ++i) {
        if ((name[i] | 0x20) != lowerCase[i]) {
            return false;
        }
    }
    return true;
}

// The text after the first "=" of a line, up to a second "=" if there is one, as a number.
// The numbers are ASCII: they are read from the bytes, without decoding the line.
float lineValue(QByteArrayView line) {
    const qsizetype equals = line.indexOf('=');
    if (equals < 0) {
        return 0.0f;
    }
    QByteArrayView value = line.sliced(equals + 1);
    const qsizetype next = value.indexOf('=');
    if (next >= 0) {
        value = value.first(next);
    }
    return asciiNumber(value);
}

// One value of the datagram: the first line naming its key, and the line at its Condor 2 position.
struct Field {
    QByteArrayView key; // lower case
    int position;
    QByteArrayView byKey;
    QByteArrayView atPosition;
    bool found = false;

    void see(QByteArrayView line, QByteArrayView name, int index) {
        if (index == position) {
            atPosition = line;
        }
        if (!found && sameKey(name, key)) {
            byKey = line;
            found = true;
        }
    }
    // A datagram with keys is read by key alone: a line at a Condor 2 position means nothing in it.
    float value(bool keyed) const {
        if (keyed) {
            return found ? lineValue(byKey) : 0.0f;
        }
        return lineValue(atPosition);
    }
};
} // namespace

Condor2Telemetry parseCondor2Datagram(const QByteArray& datagram) {
    // Condor 3 sends the same lines without slipball and turnrate, so every value after them sits
    // two lines earlier: the values are found by their keys, by position only in a keyless datagram.
    Field airspeed{"airspeed", kAirspeedLine, {}, {}};
    Field gForce{"gforce", kGForceLine, {}, {}};
    Field turbulence{"turbulencestrength", kTurbulenceLine, {}, {}};
    Field vz{"vz", kNoLine, {}, {}};
    Field height{"height", kNoLine, {}, {}};
    Field wheelHeight{"wheelheight", kNoLine, {}, {}};
    // A line feed never occurs inside a UTF-8 sequence, so the lines are found in the bytes.
    const QByteArrayView bytes(datagram);
    qsizetype start = 0;
    for (int i = 0; i < kLinesSearched && start <= bytes.size(); ++i) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0) {
            end = bytes.size();
        }
        const QByteArrayView line = bytes.sliced(start, end - start);
        const QByteArrayView name = lineKey(line);
        airspeed.see(line, name, i);
        gForce.see(line, name, i);
        turbulence.see(line, name, i);
        vz.see(line, name, i);
        height.see(line, name, i);
        wheelHeight.see(line, name, i);
        if (airspeed.found && gForce.found && turbulence.found && vz.found && height.found &&
            wheelHeight.found) {
            break;
        }
        start = end + 1;
    }
    const bool keyed = airspeed.found || gForce.found || turbulence.found;
    Condor2Telemetry t;
    // m/s to km/h, multiplied in double precision.
    t.airspeed = finiteOrZero(static_cast<float>(static_cast<double>(airspeed.value(keyed)) * 3.6));
    t.gForce = gForce.value(keyed);
    t.line31Value = turbulence.value(keyed);
    // The vertical component of the velocity (world z, up), m/s.
    t.verticalSpeed = vz.value(true);
    t.onGround = height.found && wheelHeight.found && wheelHeight.value(true) < kWheelOnGroundMetres &&
                 height.value(true) < kHeightOnGroundMetres;
    TelemetryRanges::clampToPhysicalRanges(t);
    return t;
}
