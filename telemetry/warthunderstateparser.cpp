#include "telemetry/warthunderstateparser.h"

#include "records/finite.h"
#include "telemetry/telemetryranges.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

namespace {

// A member read as a double, narrowed to float; out-of-range values (1e39 becomes inf as a
// float) and anything non-finite become 0 so no NaN or infinity reaches the forces.
float member(const QJsonObject& object, const QString& key) {
    const double value = finiteOrZero(object.value(key).toDouble(0.0));
    return finiteOrZero(static_cast<float>(value));
}

} // namespace

WarthunderAnswer parseWarthunderAnswer(const QByteArray& body) {
    // A parse error leaves a null document, whose object() is empty: every member then reads 0.
    const QJsonDocument document = QJsonDocument::fromJson(body);
    const QJsonObject object = document.object();
    WarthunderAnswer answer;
    const QJsonValue valid = object.value(QStringLiteral("valid"));
    answer.inFlight = document.isObject() && valid.isBool() && valid.toBool();
    answer.record.airspeed = member(object, QStringLiteral("IAS, km/h"));
    answer.record.gForce = member(object, QStringLiteral("Ny"));
    answer.record.aoa = member(object, QStringLiteral("AoA, deg"));
    TelemetryRanges::clampToPhysicalRanges(answer.record);
    return answer;
}

WarthunderTelemetry parseWarthunderState(const QByteArray& body) {
    return parseWarthunderAnswer(body).record;
}
