#include "telemetry/telemetrysourcemsfs.h"

#include "records/logcategories.h"
#include "telemetry/msfsdata.h"

#include "records/finite.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// SimConnect identifiers of this client.
constexpr SIMCONNECT_DATA_DEFINITION_ID kDefinition = 0;
constexpr SIMCONNECT_DATA_REQUEST_ID kRequest = 0;
constexpr SIMCONNECT_CLIENT_EVENT_ID kEventSimStart = 0;
constexpr SIMCONNECT_CLIENT_EVENT_ID kEventSimStop = 1;
// The simulator's axis events, mapped to these ids when the connection opens.
constexpr SIMCONNECT_CLIENT_EVENT_ID kEventAxis[3] = {2, 3, 4};
constexpr const char* kAxisEventNames[3] = {"AXIS_AILERONS_SET", "AXIS_ELEVATOR_SET", "AXIS_RUDDER_SET"};
constexpr float kAxisEventRange = 16383.0f;

// Poll period while a connection is open or being made: at most one message per poll.
constexpr qint64 kDispatchIntervalMs = 20;
// Open attempts while the simulator is not there: a simulator that starts is still found within
// about a second.
constexpr qint64 kOpenRetryMs = 1000;
// A stream ends once no data answer has come for this long on an open connection (a simulator
// that hangs, or a network cut); the connection stays, and the next answer starts a new stream.
constexpr qint64 kSilenceTimeoutMs = 1000;

} // namespace

TelemetrySourceMSFS::TelemetrySourceMSFS(QObject* parent) : TelemetrySource(parent) {}

TelemetrySourceMSFS::~TelemetrySourceMSFS() {
    if (connection_) {
        SimConnect_Close(connection_);
    }
}

qint64 TelemetrySourceMSFS::pollDelay() const {
    return std::max<qint64>(0, nextPollAt_ - now());
}

void TelemetrySourceMSFS::open(qint64 at) {
    HANDLE handle = nullptr;
    const HRESULT result = SimConnect_Open(&handle, "Grovik", nullptr, 0, nullptr, 0);
    if (result < 0 || !handle) {
        // A connection still being made is asked again at the next poll; a simulator that is
        // not there, about once a second.
        nextOpenAt_ = result == E_PENDING ? at : at + kOpenRetryMs;
        nextPollAt_ = std::max(nextPollAt_, nextOpenAt_);
        return;
    }
    connection_ = handle;
    qCInfo(lcTelemetryMsfs) << "Connected to the simulator through SimConnect";
    for (const MsfsDatum& datum : kMsfsDataDefinition) {
        SimConnect_AddToDataDefinition(connection_, kDefinition, datum.name, datum.units, datum.type, 0.0f,
                                       SIMCONNECT_UNUSED);
    }
    requestData();
    SimConnect_SubscribeToSystemEvent(connection_, kEventSimStart, "SimStart");
    SimConnect_SubscribeToSystemEvent(connection_, kEventSimStop, "SimStop");
    for (int axis = 0; axis < 3; ++axis) {
        SimConnect_MapClientEventToSimEvent(connection_, kEventAxis[axis], kAxisEventNames[axis]);
    }
}

int32_t TelemetrySourceMSFS::axisEventValue(float position) {
    const float p = std::clamp(finiteOrZero(position), -1.0f, 1.0f);
    // MSFS reads its axis events the other way round from the stick: -16383 is full right
    // aileron, full up elevator (stick pulled back) and full right rudder.
    return static_cast<int32_t>(std::lround(-p * kAxisEventRange));
}

void TelemetrySourceMSFS::sendAxes(const PositionInput& axes, bool joystick, bool rudder) {
    if (!connection_ || !active_) {
        return;
    }
    const bool present[3] = {joystick, joystick, rudder};
    for (int axis = 0; axis < 3; ++axis) {
        if (!present[axis]) {
            continue;
        }
        const int32_t value = axisEventValue(axes.axis(axis));
        DWORD data = 0;
        std::memcpy(&data, &value, sizeof data);
        SimConnect_TransmitClientEvent(connection_, SIMCONNECT_OBJECT_ID_USER, kEventAxis[axis], data,
                                       SIMCONNECT_GROUP_PRIORITY_HIGHEST,
                                       SIMCONNECT_EVENT_FLAG_GROUPID_IS_PRIORITY);
    }
}

void TelemetrySourceMSFS::requestData() {
    SimConnect_RequestDataOnSimObjectType(connection_, kRequest, kDefinition, 0,
                                          SIMCONNECT_SIMOBJECT_TYPE_USER);
}

void TelemetrySourceMSFS::endStream() {
    active_ = false;
    emit telemetryChanged(default_);
    emit telemetryEnded();
}

void TelemetrySourceMSFS::poll() {
    const qint64 t = now();
    nextPollAt_ = t + kDispatchIntervalMs;
    if (!connection_) {
        if (t < nextOpenAt_) {
            nextPollAt_ = nextOpenAt_;
            return;
        }
        open(t);
        if (!connection_) {
            return;
        }
    }

    SIMCONNECT_RECV* received = nullptr;
    DWORD cbData = 0;
    // Checked before the next message, so that a stream of events without data still ends.
    if (active_ && t - lastDataAt_ > kSilenceTimeoutMs) {
        endStream();
    }
    if (SimConnect_GetNextDispatch(connection_, &received, &cbData) < 0 || !received) {
        return; // nothing waiting
    }
    const MsfsMessage message = decodeMsfsMessage(reinterpret_cast<const unsigned char*>(received), cbData);
    if (!message.valid) {
        return;
    }

    switch (message.id) {
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE:
        if (!message.hasRequestId || message.requestId != kRequest) {
            return;
        }
        lastDataAt_ = t;
        if (!active_) {
            // The first answer only starts the stream; its values are not published.
            active_ = true;
            aircraft_.start(msfsTitle(message.block, message.blockSize));
            emit telemetrySourceChanged(Telemetry::TELEMETRY_SOURCE_MSFS, aircraft_.name());
        } else {
            // Another aircraft chosen without ending the flight: announced as a new stream would be.
            if (aircraft_.observe(msfsTitle(message.block, message.blockSize))) {
                emit telemetrySourceChanged(Telemetry::TELEMETRY_SOURCE_MSFS, aircraft_.name());
            }
            emit telemetryChanged(msfsRecordFromData(message.block, message.blockSize));
        }
        // One answer per request: ask for the next one, which arrives at a later poll.
        requestData();
        break;
    case SIMCONNECT_RECV_ID_EVENT:
        if (!message.hasEventId) {
            return;
        }
        if (message.eventId == kEventSimStart) {
            requestData();
        } else if (message.eventId == kEventSimStop) {
            endStream();
        }
        break;
    case SIMCONNECT_RECV_ID_QUIT:
        // The simulator is gone and its connection with it: close it, and open a new one at the
        // next poll so that a restarted simulator is found again.
        SimConnect_Close(connection_);
        connection_ = nullptr;
        qCInfo(lcTelemetryMsfs) << "The simulator closed its SimConnect connection";
        endStream();
        break;
    default:
        break;
    }
}
