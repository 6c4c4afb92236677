#include "telemetry/msfsdata.h"

#include "records/finite.h"
#include "telemetry/telemetryranges.h"

#include <algorithm>
#include <cstring>

const MsfsDatum kMsfsDataDefinition[kMsfsDatumCount] = {
    {"SIM ON GROUND", "Bool", SIMCONNECT_DATATYPE_FLOAT64},
    {"TRAILING EDGE FLAPS LEFT PERCENT", "percent over 100", SIMCONNECT_DATATYPE_FLOAT64},
    {"TRAILING EDGE FLAPS RIGHT PERCENT", "percent over 100", SIMCONNECT_DATATYPE_FLOAT64},
    {"AILERON TRIM PCT", "percent over 100", SIMCONNECT_DATATYPE_FLOAT64},
    {"ELEVATOR TRIM PCT", "percent over 100", SIMCONNECT_DATATYPE_FLOAT64},
    {"RUDDER TRIM PCT", "percent over 100", SIMCONNECT_DATATYPE_FLOAT64},
    {"G FORCE", "GForce", SIMCONNECT_DATATYPE_FLOAT64},
    {"INCIDENCE ALPHA", "degree", SIMCONNECT_DATATYPE_FLOAT64},
    {"AIRSPEED INDICATED", "kilometer per hour", SIMCONNECT_DATATYPE_FLOAT64},
    {"GEAR CENTER POSITION", "percent over 100", SIMCONNECT_DATATYPE_FLOAT64},
    {"GEAR LEFT POSITION", "percent over 100", SIMCONNECT_DATATYPE_FLOAT64},
    {"GEAR RIGHT POSITION", "percent over 100", SIMCONNECT_DATATYPE_FLOAT64},
    {"NUMBER OF ENGINES", "Number", SIMCONNECT_DATATYPE_FLOAT64},
    {"PROP MAX RPM PERCENT:1", "percent", SIMCONNECT_DATATYPE_FLOAT64},
    {"PROP MAX RPM PERCENT:2", "percent", SIMCONNECT_DATATYPE_FLOAT64},
    {"PROP MAX RPM PERCENT:3", "percent", SIMCONNECT_DATATYPE_FLOAT64},
    {"PROP MAX RPM PERCENT:4", "percent", SIMCONNECT_DATATYPE_FLOAT64},
    {"VERTICAL SPEED", "m/s", SIMCONNECT_DATATYPE_FLOAT64},
    {"TITLE", nullptr, SIMCONNECT_DATATYPE_STRING256},
    {"AUTOPILOT MASTER", "Bool", SIMCONNECT_DATATYPE_FLOAT64},
    {"AILERON POSITION", "position", SIMCONNECT_DATATYPE_FLOAT64},
    {"ELEVATOR POSITION", "position", SIMCONNECT_DATATYPE_FLOAT64},
    {"RUDDER POSITION", "position", SIMCONNECT_DATATYPE_FLOAT64},
};

namespace {

// Positions of the doubles in the data block, in the order of the definition.
enum Datum {
    SIM_ON_GROUND,
    FLAPS_LEFT,
    FLAPS_RIGHT,
    AILERON_TRIM,
    ELEVATOR_TRIM,
    RUDDER_TRIM,
    G_FORCE,
    INCIDENCE_ALPHA,
    AIRSPEED_INDICATED,
    GEAR_CENTER,
    GEAR_LEFT,
    GEAR_RIGHT,
    NUMBER_OF_ENGINES,
    PROP_RPM_1,
    VERTICAL_SPEED = PROP_RPM_1 + 4,
    // After the 256-byte title, which ends at byte 400.
    AUTOPILOT_MASTER = 50,
    AILERON_POSITION,
    ELEVATOR_POSITION,
    RUDDER_POSITION,
};

uint32_t readDword(const unsigned char* bytes, size_t size, size_t offset) {
    uint32_t value = 0;
    if (offset + sizeof value <= size) {
        std::memcpy(&value, bytes + offset, sizeof value);
    }
    return value;
}

// Double number `index` of the block; 0 when it lies (even partly) beyond the block or is not finite.
double readDouble(const unsigned char* block, size_t size, int index) {
    const size_t offset = static_cast<size_t>(index) * sizeof(double);
    double value = 0.0;
    if (block && offset + sizeof value <= size) {
        std::memcpy(&value, block + offset, sizeof value);
    }
    return finiteOrZero(value);
}

float toFloat(double value) {
    return finiteOrZero(static_cast<float>(finiteOrZero(value)));
}

} // namespace

MsfsMessage decodeMsfsMessage(const unsigned char* bytes, size_t cbData) {
    MsfsMessage message;
    if (!bytes || cbData < sizeof(SIMCONNECT_RECV)) {
        return message;
    }
    size_t size = cbData;
    const uint32_t dwSize = readDword(bytes, cbData, 0);
    if (dwSize < size) {
        size = dwSize;
    }
    if (size < sizeof(SIMCONNECT_RECV)) {
        return message;
    }
    message.valid = true;
    message.id = readDword(bytes, size, 8);
    if (message.id == SIMCONNECT_RECV_ID_SIMOBJECT_DATA ||
        message.id == SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE) {
        message.hasRequestId = size >= 16;
        message.requestId = readDword(bytes, size, 12);
        if (size > kMsfsDataOffset) {
            message.block = bytes + kMsfsDataOffset;
            message.blockSize = size - kMsfsDataOffset;
        }
    } else if (message.id == SIMCONNECT_RECV_ID_EVENT) {
        message.hasEventId = size >= 20;
        message.eventId = readDword(bytes, size, 16);
    }
    return message;
}

MSFSTelemetry msfsRecordFromData(const unsigned char* block, size_t size) {
    auto at = [block, size](int index) { return readDouble(block, size, index); };

    MSFSTelemetry record;
    record.airspeed = toFloat(at(AIRSPEED_INDICATED));
    record.verticalSpeed = toFloat(at(VERTICAL_SPEED));
    record.aoa = toFloat(at(INCIDENCE_ALPHA));
    record.gForce = toFloat(at(G_FORCE));

    // The engine count is truncated and limited to the four propellers asked for. An aircraft
    // with no engine (or a nonsensical count) has no propeller wash: 0 instead of 0/0.
    const double engines = at(NUMBER_OF_ENGINES);
    const int count = engines >= 4.0 ? 4 : (engines >= 1.0 ? static_cast<int>(engines) : 0);
    double sum = 0.0;
    for (int i = 0; i < count; ++i) {
        sum += at(PROP_RPM_1 + i);
    }
    record.propAirflow = count > 0 ? toFloat(sum / count) : 0.0f;

    // The simulator gives gear and flaps as fractions; the record holds percent, as every game's
    // source fills it. No air brake is asked for, so that field stays 0.
    record.gear = toFloat((at(GEAR_LEFT) + at(GEAR_RIGHT) + at(GEAR_CENTER)) / 3.0 * 100.0);
    record.flaps = toFloat((at(FLAPS_LEFT) + at(FLAPS_RIGHT)) * 0.5 * 100.0);
    record.onGround = at(SIM_ON_GROUND) > 0.0;

    record.aileronTrim = toFloat(at(AILERON_TRIM));
    record.elevatorTrim = toFloat(at(ELEVATOR_TRIM));
    record.rudderTrim = toFloat(at(RUDDER_TRIM));
    // The common record's trims are in percent, as every game that reports trims fills them.
    record.trimmerRoll = toFloat(at(AILERON_TRIM) * 100.0);
    record.trimmerPitch = toFloat(at(ELEVATOR_TRIM) * 100.0);
    record.trimmerYaw = toFloat(at(RUDDER_TRIM) * 100.0);

    record.autopilotMaster = at(AUTOPILOT_MASTER) > 0.0;
    auto position = [&at](int index) { return toFloat(std::clamp(at(index), -1.0, 1.0)); };
    record.aileronPosition = position(AILERON_POSITION);
    record.elevatorPosition = position(ELEVATOR_POSITION);
    record.rudderPosition = position(RUDDER_POSITION);
    TelemetryRanges::clampToPhysicalRanges(record);
    return record;
}

QString msfsTitle(const unsigned char* block, size_t size) {
    if (!block || size <= kMsfsTitleOffset) {
        return QString();
    }
    const size_t available =
        size - kMsfsTitleOffset < kMsfsTitleSize ? size - kMsfsTitleOffset : kMsfsTitleSize;
    const unsigned char* title = block + kMsfsTitleOffset;
    const void* zero = std::memchr(title, 0, available);
    const size_t length =
        zero ? static_cast<size_t>(static_cast<const unsigned char*>(zero) - title) : available;
    return QString::fromUtf8(reinterpret_cast<const char*>(title), static_cast<qsizetype>(length));
}
