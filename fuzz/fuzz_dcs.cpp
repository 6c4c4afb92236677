// Any bytes as a DCS datagram: the parser must stay inside them and give finite fields.

#include "fuzz/finitecheck.h"
#include "telemetry/dcsdatagram.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray datagram = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    trapUnlessFinite(parseDcsDatagram(datagram));
    (void)dcsStreamName(datagram);
    return 0;
}
