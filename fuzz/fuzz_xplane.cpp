// Any bytes as an X-Plane RREF answer: the parser must stay inside them, and the record and the
// aircraft name built from what it took must be finite and bounded.

#include "fuzz/finitecheck.h"
#include "telemetry/xplane/xplanedatarefs.h"
#include "telemetry/xplane/xplanerref.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray datagram = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    XPlaneDatarefs::Table values;
    const int taken = XPlaneRref::parseAnswer(datagram, values);
    if (taken > static_cast<int>(size / XPlaneRref::PairSize)) {
        __builtin_trap();
    }
    trapUnlessFinite(XPlaneDatarefs::record(values));
    if (XPlaneDatarefs::aircraftName(values).size() > XPlaneDatarefs::NameBytes) {
        __builtin_trap();
    }
    return 0;
}
