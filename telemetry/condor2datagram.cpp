#include "telemetry/condor2datagram.h"

#include "forces/effectcurves.h"
#include "telemetry/telemetryranges.h"

#include <QByteArrayView>

namespace {
constexpr int kLastLineUsed = 31;

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
    return finiteOrZero(value.toFloat());
}
} // namespace

Condor2Telemetry parseCondor2Datagram(const QByteArray& datagram) {
    // A line feed never occurs inside a UTF-8 sequence, so the lines are found in the bytes,
    // and only the used ones are read: the cost stays small however long the datagram.
    QByteArrayView lines[kLastLineUsed + 1];
    const QByteArrayView bytes(datagram);
    qsizetype start = 0;
    for (int i = 0; i <= kLastLineUsed && start <= bytes.size(); ++i) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0) {
            end = bytes.size();
        }
        lines[i] = bytes.sliced(start, end - start);
        start = end + 1;
    }
    Condor2Telemetry t;
    // m/s to km/h, multiplied in double precision.
    t.airspeed = finiteOrZero(static_cast<float>(static_cast<double>(lineValue(lines[1])) * 3.6));
    t.gForce = lineValue(lines[28]);
    t.line31Value = lineValue(lines[kLastLineUsed]);
    TelemetryRanges::clampToPhysicalRanges(t);
    return t;
}
