#include "telemetry/dcsdatagram.h"

#include "forces/effectcurves.h"

#include <QList>
#include <QStringView>

namespace {
// Field i of the split datagram; a field the datagram does not carry reads as empty.
QStringView field(const QList<QStringView>& fields, int i) {
    return i < fields.size() ? fields.at(i) : QStringView();
}

// "nan", "inf" and numbers beyond the float range read as 0 like any other unreadable text.
float number(const QList<QStringView>& fields, int i) {
    return finiteOrZero(field(fields, i).toFloat());
}

float percent(const QList<QStringView>& fields, int i) {
    return finiteOrZero(number(fields, i) * 100.0f);
}
} // namespace

DCSTelemetry parseDcsDatagram(const QByteArray& datagram) {
    const QString text = QString::fromUtf8(datagram);
    const QList<QStringView> fields = QStringView(text).split(u';');
    DCSTelemetry t;
    t.airspeed = number(fields, 1);
    t.verticalSpeed = number(fields, 2);
    t.aoa = number(fields, 3);
    t.gForce = number(fields, 4);
    t.gear = percent(fields, 5);
    t.airbrake = percent(fields, 6);
    t.flaps = percent(fields, 7);
    t.propAirflow = number(fields, 8);
    // Only a base-10 integer that fits in 32 bits counts; "1.0" or "yes" mean airborne.
    t.onGround = field(fields, 9).toInt(nullptr, 10) != 0;
    return t;
}

QString dcsStreamName(const QByteArray& datagram) {
    const QString text = QString::fromUtf8(datagram);
    const qsizetype end = text.indexOf(u';');
    return end < 0 ? text : text.left(end);
}
