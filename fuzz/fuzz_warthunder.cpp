// Any bytes as the body of a War Thunder "/state" answer, and the same bytes (split at '|') as
// the literal values of the three members read: the parser must return finite values. The JSON
// parser itself is not instrumented, so the second form is what reaches odd number texts.
#include "telemetry/warthunderstateparser.h"

#include <QList>

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

void check(const QByteArray& body) {
    const WarthunderTelemetry t = parseWarthunderAnswer(body).record;
    const float fields[] = {t.airspeed,   t.verticalSpeed, t.aileronAoa,  t.aoa,         t.sideslip,
                            t.rollRate,   t.gForce,        t.propAirflow, t.trimmerRoll, t.trimmerPitch,
                            t.trimmerYaw, t.gear,          t.airbrake,    t.flaps};
    for (float f : fields) {
        if (!std::isfinite(f)) {
            std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    check(bytes);
    const QList<QByteArray> values = bytes.split('|');
    static const char* const keys[] = {"IAS, km/h", "Ny", "AoA, deg"};
    QByteArray object = "{";
    for (qsizetype i = 0; i < values.size() && i < 3; ++i) {
        object += (i ? ", \"" : "\"") + QByteArray(keys[i]) + "\": " + values[i];
    }
    check(object + "}");
    return 0;
}
