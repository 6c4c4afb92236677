#include "telemetry/condor2datagram.h"

#include "forces/effectcurves.h"

#include <QList>
#include <QString>
#include <QStringView>

namespace {
// The text after the first "=" of line i, up to a second "=" if there is one.
float lineValue(const QList<QStringView>& lines, int i) {
    if (i >= lines.size()) {
        return 0.0f;
    }
    const QList<QStringView> parts = lines.at(i).trimmed().split(u'=');
    if (parts.size() < 2) {
        return 0.0f;
    }
    return finiteOrZero(parts.at(1).toFloat());
}
} // namespace

Condor2Telemetry parseCondor2Datagram(const QByteArray& datagram) {
    const QString text = QString::fromUtf8(datagram);
    const QList<QStringView> lines = QStringView(text).split(u'\n');
    Condor2Telemetry t;
    // m/s to km/h, multiplied in double precision.
    t.airspeed = finiteOrZero(static_cast<float>(static_cast<double>(lineValue(lines, 1)) * 3.6));
    t.gForce = lineValue(lines, 28);
    t.line31Value = lineValue(lines, 31);
    return t;
}
