// Any bytes as a Condor 2 datagram: the parser must stay inside them and give finite fields.

#include "fuzz/finitecheck.h"
#include "telemetry/condor2datagram.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray datagram = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const Condor2Telemetry t = parseCondor2Datagram(datagram);
    trapUnlessFinite(t);
    trapUnlessFinite(t.line31Value);
    return 0;
}
