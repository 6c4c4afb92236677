// Any bytes as a SimConnect message and as a data block of that length: decoding, the record and
// the title must stay inside the bytes and give finite values.
#include "telemetry/msfsdata.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const MsfsMessage message = decodeMsfsMessage(data, size);
    if (message.block && (message.block < data || message.block + message.blockSize > data + size)) {
        std::abort();
    }
    for (int i = 0; i < 2; ++i) {
        const unsigned char* block = i == 0 ? data : message.block;
        const size_t blockSize = i == 0 ? size : message.blockSize;
        const MSFSTelemetry t = msfsRecordFromData(block, blockSize);
        const float fields[] = {t.airspeed,     t.verticalSpeed, t.aileronAoa,  t.aoa,         t.sideslip,
                                t.rollRate,     t.gForce,        t.propAirflow, t.trimmerRoll, t.trimmerPitch,
                                t.trimmerYaw,   t.gear,          t.airbrake,    t.flaps,       t.aileronTrim,
                                t.elevatorTrim, t.rudderTrim};
        for (float f : fields) {
            if (!std::isfinite(f)) {
                std::abort();
            }
        }
        // The controls' positions become the stick's centre under the autopilot: within full deflection.
        for (float f : {t.aileronPosition, t.elevatorPosition, t.rudderPosition}) {
            if (!(f >= -1.0f && f <= 1.0f)) {
                std::abort();
            }
        }
        const QString title = msfsTitle(block, blockSize);
        if (title.size() > 256) {
            std::abort();
        }
    }
    return 0;
}
