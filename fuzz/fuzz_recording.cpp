// Any bytes as a flight recording: the reader must stay inside them, answer with rows or an
// error, never both, and every row it keeps must be playable: finite values, a game source,
// times from zero that never go back.

#include "fuzz/finitecheck.h"
#include "telemetry/recordingcsv.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const RecordingFile file = RecordingCsv::parse(text);
    if (file.ok() == file.rows.isEmpty()) {
        __builtin_trap();
    }
    qint64 previous = 0;
    for (const RecordingRow& row : file.rows) {
        trapUnlessFinite(row.telemetry);
        for (float f : row.force) {
            trapUnlessFinite(f);
        }
        if (row.time < previous || row.source < Telemetry::TELEMETRY_SOURCE_MSFS ||
            row.source >= Telemetry::SourceCount) {
            __builtin_trap();
        }
        previous = row.time;
    }
    if (!file.rows.isEmpty() && file.rows.first().time != 0) {
        __builtin_trap();
    }
    return 0;
}
