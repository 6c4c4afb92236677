// Any bytes as IL-2 Sturmovik datagrams: the walk must stay inside them, keep at most four
// values per indicator and a valid ring index, and the record must stay finite; the events after
// the indicators are read within the datagram too, into a name of printable ASCII. The input is
// applied twice so that the second pass meets the state the first one left.

#include "fuzz/finitecheck.h"
#include "telemetry/shturmovikindicators.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray datagram = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    ShturmovikIndicators state;
    ShturmovikEvents events;
    for (int pass = 0; pass < 2; ++pass) {
        applyShturmovikDatagram(state, datagram);
        readShturmovikEvents(events, datagram);
        if (events.vehicleName.size() > 128) {
            __builtin_trap();
        }
        for (const QChar c : events.vehicleName) {
            if (c.unicode() < 0x20 || c.unicode() >= 0x7f) {
                __builtin_trap();
            }
        }
        for (int count :
             {state.indicator0Count, state.indicator1Count, state.indicator4Count, state.indicator5Count}) {
            if (count > ShturmovikIndicators::kMaxValues) {
                __builtin_trap();
            }
        }
        if (state.verticalSpeedRingIndex < 0 ||
            state.verticalSpeedRingIndex >= ShturmovikIndicators::kRingSize) {
            __builtin_trap();
        }
        const ShturmovikTelemetry t = shturmovikRecord(state);
        trapUnlessFinite(t);
        trapUnlessFinite(t.indicator9Value0);
        trapUnlessFinite(t.indicator9Value1);
    }
    return 0;
}
