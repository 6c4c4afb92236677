#pragma once

#include "telemetry/simconnect/simconnect.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// A scriptable stand-in for the SimConnect client library behind its C functions. Tests link it
// instead of the library and drive it through this API: whether the simulator runs, which
// messages it sends (data answers, "SimStart", "SimStop", quit), and the log of every call the
// program made. GetNextDispatch hands out one queued message per call and fails when none is
// ready. It is safe to use from the test thread while the telemetry worker runs on its own.
namespace FakeSimConnect {

// The eighteen doubles of a data answer, in the order of the MSFS data definition.
using DataValues = std::array<double, 18>;
// The four doubles after the title: autopilot master, aileron, elevator and rudder positions.
using ExtraValues = std::array<double, 4>;

struct OpenCall {
    std::string name;
    HWND window;
    DWORD userEvent;
    HANDLE eventHandle;
    DWORD configIndex;
    HANDLE result; // null when the open failed
};

struct DefinitionCall {
    HANDLE handle;
    DWORD defineId;
    std::string name;
    std::string units; // empty when null was passed
    bool unitsNull;
    SIMCONNECT_DATATYPE type;
    float epsilon;
    DWORD datumId;
};

struct RequestCall {
    HANDLE handle;
    DWORD requestId;
    DWORD defineId;
    DWORD radius;
    SIMCONNECT_SIMOBJECT_TYPE objectType;
};

struct MappedEvent {
    HANDLE handle;
    DWORD eventId;
    std::string name;
};

struct TransmitCall {
    HANDLE handle;
    DWORD objectId;
    DWORD eventId;
    int32_t data; // the DWORD as the signed value the simulator reads
    DWORD groupId;
    DWORD flags;
};

struct SubscriptionCall {
    HANDLE handle;
    DWORD eventId;
    std::string name;
};

// Back to the start state: simulator not running, no handle open, empty queue and logs.
void reset();

// SimConnect_Open succeeds only while the simulator runs; each success gives a new handle.
void setSimulatorRunning(bool running);
// The next `calls` opens answer E_PENDING with no handle, as a client still connecting does;
// later ones answer as the simulator's state says.
void setOpenPending(int calls);
bool simulatorRunning();

// A data answer as the simulator sends it: a SIMCONNECT_RECV_SIMOBJECT_DATA_BYTYPE message with
// the request id and a 432-byte data block at offset 40 (the doubles, then the title in 256
// zero-filled bytes, then the extras; a longer title is cut to 256 bytes with no terminator). Data answers
// wait in the queue until a data request is outstanding on the open connection; each one delivered uses up
// one request.
void queueData(const DataValues& values, const std::string& title, DWORD requestId = 0,
               const ExtraValues& extras = {});
// A SIMCONNECT_RECV_EVENT with the given client event id (0 = "SimStart", 1 = "SimStop").
void queueEvent(DWORD eventId);
void queueSimStart();
void queueSimStop();
// SIMCONNECT_RECV_ID_QUIT. Once delivered the simulator counts as no longer running and the
// connection it came on is dead: further dispatches on it fail.
void queueQuit();
// Any bytes, delivered as they are with cbData = their size and no request needed, to try
// malformed messages.
void queueRaw(const std::vector<uint8_t>& bytes);
int queuedMessages();

std::vector<OpenCall> opens();
int openAttempts();
std::vector<HANDLE> closes();
std::vector<DefinitionCall> definitions();
std::vector<RequestCall> requests();
std::vector<SubscriptionCall> subscriptions();
std::vector<MappedEvent> mappedEvents();
std::vector<TransmitCall> transmits();
int dispatchCalls();
// Calls made with a null handle, a closed one, or one this fake never gave out: must stay 0.
int misuseCount();

} // namespace FakeSimConnect
