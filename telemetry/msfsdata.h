#pragma once

#include "records/msfstelemetry.h"
#include "telemetry/simconnect/simconnect.h"

#include <QString>

#include <cstddef>
#include <cstdint>

// The simulation variables the MSFS source asks SimConnect for, and pure functions that turn
// the bytes SimConnect hands back into records. Every function here is total: it reads only the
// bytes it is given, however few, and what is missing reads as 0.

struct MsfsDatum {
    const char* name;
    const char* units; // null for the title, which has none
    SIMCONNECT_DATATYPE type;
};

// Data definition 0, in the order SimConnect lays out the answer: eighteen doubles (8 bytes each,
// offsets 0 to 136), the 256-byte zero-terminated title at offset 144, then four more doubles
// (offsets 400 to 424): the autopilot master and the three controls' positions. Those come after
// the title so that a block from a client that stops at the title still reads the same.
constexpr int kMsfsDatumCount = 23;
extern const MsfsDatum kMsfsDataDefinition[kMsfsDatumCount];
constexpr size_t kMsfsTitleOffset = 144;
constexpr size_t kMsfsTitleSize = 256;
constexpr size_t kMsfsDataBlockSize = kMsfsTitleOffset + kMsfsTitleSize + 4 * sizeof(double);
// Where the data block begins inside a SIMCONNECT_RECV_SIMOBJECT_DATA message.
constexpr size_t kMsfsDataOffset = 40;

// One message from SimConnect_GetNextDispatch, with the fields the source looks at. A field that
// lies beyond the message keeps its default here.
struct MsfsMessage {
    bool valid = false; // the message holds at least its 12-byte header
    uint32_t id = SIMCONNECT_RECV_ID_NULL;
    bool hasRequestId = false;
    uint32_t requestId = 0; // data messages
    bool hasEventId = false;
    uint32_t eventId = 0;                 // event messages
    const unsigned char* block = nullptr; // data messages: the data block, or null
    size_t blockSize = 0;
};

// Reads a message of cbData bytes; its own dwSize bounds it further when smaller.
MsfsMessage decodeMsfsMessage(const unsigned char* bytes, size_t cbData);

// The record of one data block of `size` bytes. Non-finite values read as 0; propAirflow is the
// mean of the first NUMBER OF ENGINES (at most 4) propeller values, and 0 for no engine; gear
// and flaps are in percent (0 to 100); the trimmer fields hold the trims in percent. Each value is held to
// what an aircraft reaches (telemetry/telemetryranges.h).
MSFSTelemetry msfsRecordFromData(const unsigned char* block, size_t size);

// The aircraft title of a data block: its bytes up to the first zero, within the 256 bytes of
// the title and within `size`, as UTF-8.
QString msfsTitle(const unsigned char* block, size_t size);
