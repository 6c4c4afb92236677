#include "telemetry/dcsdatagram.h"

#include "records/finite.h"
#include "telemetry/aircraftname.h"
#include "telemetry/asciinumber.h"
#include "telemetry/telemetryranges.h"

#include <QByteArrayView>

namespace {
constexpr int kFields = 10;

// "nan", "inf" and numbers beyond the float range read as 0 like any other unreadable text.
// The numbers are ASCII: they are read from the bytes, without decoding the datagram.
float number(QByteArrayView field) {
    return asciiNumber(field);
}

float percent(QByteArrayView field) {
    return finiteOrZero(number(field) * 100.0f);
}
} // namespace

DCSTelemetry parseDcsDatagram(const QByteArray& datagram) {
    // A ";" never occurs inside a UTF-8 sequence, so the fields are found in the bytes. A field
    // the datagram does not carry stays empty and reads as 0.
    QByteArrayView fields[kFields];
    const QByteArrayView bytes(datagram);
    qsizetype start = 0;
    for (int i = 0; i < kFields && start <= bytes.size(); ++i) {
        qsizetype end = bytes.indexOf(';', start);
        if (end < 0) {
            end = bytes.size();
        }
        fields[i] = bytes.sliced(start, end - start);
        start = end + 1;
    }
    DCSTelemetry t;
    t.airspeed = number(fields[1]);
    t.verticalSpeed = number(fields[2]);
    t.aoa = number(fields[3]);
    t.gForce = number(fields[4]);
    t.gear = percent(fields[5]);
    t.airbrake = percent(fields[6]);
    t.flaps = percent(fields[7]);
    t.propAirflow = number(fields[8]);
    // Only a base-10 integer that fits in 32 bits counts; "1.0" or "yes" mean airborne.
    t.onGround = fields[9].toInt(nullptr, 10) != 0;
    TelemetryRanges::clampToPhysicalRanges(t);
    return t;
}

QString dcsStreamName(const QByteArray& datagram) {
    const qsizetype end = datagram.indexOf(';');
    return AircraftName::cut(QString::fromUtf8(end < 0 ? datagram : datagram.left(end)));
}
