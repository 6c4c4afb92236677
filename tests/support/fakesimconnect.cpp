#include "support/fakesimconnect.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>

namespace FakeSimConnect {
namespace {

struct Message {
    std::vector<uint8_t> bytes;
    bool needsRequest; // a data answer: waits for an outstanding request
    bool quit;
};

struct State {
    std::mutex mutex;
    bool running = false;
    int pendingOpens = 0;
    uintptr_t nextHandle = 1;
    std::vector<HANDLE> openHandles;
    HANDLE current = nullptr; // the live connection; a handle whose simulator quit is not
    int outstandingRequests = 0;
    std::deque<Message> queue;
    std::vector<uint8_t> delivered; // the last message handed out, valid until the next dispatch

    std::vector<OpenCall> opens;
    int openAttempts = 0;
    std::vector<HANDLE> closes;
    std::vector<DefinitionCall> definitions;
    std::vector<RequestCall> requests;
    std::vector<SubscriptionCall> subscriptions;
    std::vector<MappedEvent> mapped;
    std::vector<TransmitCall> transmits;
    int dispatches = 0;
    int misuse = 0;
};

State& state() {
    static State s;
    return s;
}

bool isOpen(State& s, HANDLE h) {
    if (h && std::find(s.openHandles.begin(), s.openHandles.end(), h) != s.openHandles.end()) {
        return true;
    }
    ++s.misuse;
    return false;
}

void put32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

void queueMessage(Message message) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.queue.push_back(std::move(message));
}

} // namespace

void reset() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    const uintptr_t nextHandle = s.nextHandle; // handles stay unique across tests
    s.running = false;
    s.pendingOpens = 0;
    s.openHandles.clear();
    s.current = nullptr;
    s.outstandingRequests = 0;
    s.queue.clear();
    s.delivered.clear();
    s.opens.clear();
    s.openAttempts = 0;
    s.closes.clear();
    s.definitions.clear();
    s.requests.clear();
    s.subscriptions.clear();
    s.mapped.clear();
    s.transmits.clear();
    s.dispatches = 0;
    s.misuse = 0;
    s.nextHandle = nextHandle;
}

void setSimulatorRunning(bool running) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.running = running;
}

void setOpenPending(int calls) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.pendingOpens = calls;
}

bool simulatorRunning() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.running;
}

void queueData(const DataValues& values, const std::string& title, DWORD requestId,
               const ExtraValues& extras) {
    constexpr size_t blockOffset = 40;
    constexpr size_t titleOffset = blockOffset + 18 * sizeof(double);
    constexpr size_t extrasOffset = titleOffset + 256;
    constexpr size_t size = extrasOffset + 4 * sizeof(double);
    std::vector<uint8_t> bytes(size, 0);
    put32(bytes, 0, static_cast<uint32_t>(size));
    put32(bytes, 4, 0);
    put32(bytes, 8, SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE);
    put32(bytes, 12, requestId);
    put32(bytes, 16, 1);  // object: the user aircraft
    put32(bytes, 20, 0);  // definition 0
    put32(bytes, 24, 0);  // flags
    put32(bytes, 28, 1);  // entry 1
    put32(bytes, 32, 1);  // of 1
    put32(bytes, 36, 23); // datums in the definition
    std::memcpy(bytes.data() + blockOffset, values.data(), 18 * sizeof(double));
    std::memcpy(bytes.data() + extrasOffset, extras.data(), 4 * sizeof(double));
    std::memcpy(bytes.data() + titleOffset, title.data(), std::min<size_t>(title.size(), 256));
    queueMessage({std::move(bytes), true, false});
}

void queueEvent(DWORD eventId) {
    std::vector<uint8_t> bytes(24, 0);
    put32(bytes, 0, 24);
    put32(bytes, 8, SIMCONNECT_RECV_ID_EVENT);
    put32(bytes, 12, SIMCONNECT_UNUSED); // no notification group
    put32(bytes, 16, eventId);
    queueMessage({std::move(bytes), false, false});
}

void queueSimStart() {
    queueEvent(0);
}

void queueSimStop() {
    queueEvent(1);
}

void queueQuit() {
    std::vector<uint8_t> bytes(12, 0);
    put32(bytes, 0, 12);
    put32(bytes, 8, SIMCONNECT_RECV_ID_QUIT);
    queueMessage({std::move(bytes), false, true});
}

void queueRaw(const std::vector<uint8_t>& bytes) {
    queueMessage({bytes, false, false});
}

int queuedMessages() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return static_cast<int>(s.queue.size());
}

std::vector<OpenCall> opens() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.opens;
}

int openAttempts() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.openAttempts;
}

std::vector<HANDLE> closes() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.closes;
}

std::vector<DefinitionCall> definitions() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.definitions;
}

std::vector<RequestCall> requests() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.requests;
}

std::vector<SubscriptionCall> subscriptions() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.subscriptions;
}

std::vector<MappedEvent> mappedEvents() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.mapped;
}

std::vector<TransmitCall> transmits() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.transmits;
}

int dispatchCalls() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.dispatches;
}

int misuseCount() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.misuse;
}

} // namespace FakeSimConnect

using namespace FakeSimConnect;

SIMCONNECTAPI SimConnect_Open(HANDLE* phSimConnect, const char* szName, HWND hWnd, DWORD UserEventWin32,
                              HANDLE hEventHandle, DWORD ConfigIndex) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    ++s.openAttempts;
    HANDLE handle = nullptr;
    const bool pending = s.pendingOpens > 0;
    if (pending) {
        --s.pendingOpens;
    } else if (s.running) {
        handle = reinterpret_cast<HANDLE>(s.nextHandle++);
        s.openHandles.push_back(handle);
        s.current = handle;
        s.outstandingRequests = 0;
    }
    s.opens.push_back({szName ? szName : "", hWnd, UserEventWin32, hEventHandle, ConfigIndex, handle});
    if (phSimConnect) {
        *phSimConnect = handle;
    }
    return handle ? S_OK : (pending ? E_PENDING : E_FAIL);
}

SIMCONNECTAPI SimConnect_Close(HANDLE hSimConnect) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!isOpen(s, hSimConnect)) {
        return E_FAIL;
    }
    s.openHandles.erase(std::find(s.openHandles.begin(), s.openHandles.end(), hSimConnect));
    s.closes.push_back(hSimConnect);
    if (s.current == hSimConnect) {
        s.current = nullptr;
    }
    return S_OK;
}

SIMCONNECTAPI SimConnect_AddToDataDefinition(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                             const char* DatumName, const char* UnitsName,
                                             SIMCONNECT_DATATYPE DatumType, float fEpsilon, DWORD DatumID) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!isOpen(s, hSimConnect)) {
        return E_FAIL;
    }
    s.definitions.push_back({hSimConnect, DefineID, DatumName ? DatumName : "", UnitsName ? UnitsName : "",
                             UnitsName == nullptr, DatumType, fEpsilon, DatumID});
    return S_OK;
}

SIMCONNECTAPI SimConnect_RequestDataOnSimObjectType(HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                                    SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                                    DWORD dwRadiusMeters, SIMCONNECT_SIMOBJECT_TYPE type) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!isOpen(s, hSimConnect)) {
        return E_FAIL;
    }
    s.requests.push_back({hSimConnect, RequestID, DefineID, dwRadiusMeters, type});
    if (hSimConnect == s.current) {
        ++s.outstandingRequests;
    }
    return S_OK;
}

SIMCONNECTAPI SimConnect_SubscribeToSystemEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                                const char* SystemEventName) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!isOpen(s, hSimConnect)) {
        return E_FAIL;
    }
    s.subscriptions.push_back({hSimConnect, EventID, SystemEventName ? SystemEventName : ""});
    return S_OK;
}

SIMCONNECTAPI SimConnect_MapClientEventToSimEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                                  const char* EventName) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!isOpen(s, hSimConnect)) {
        return E_FAIL;
    }
    s.mapped.push_back({hSimConnect, EventID, EventName ? EventName : ""});
    return S_OK;
}

SIMCONNECTAPI SimConnect_TransmitClientEvent(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                             SIMCONNECT_CLIENT_EVENT_ID EventID, DWORD dwData,
                                             SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                             SIMCONNECT_EVENT_FLAG Flags) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!isOpen(s, hSimConnect)) {
        return E_FAIL;
    }
    int32_t value = 0;
    std::memcpy(&value, &dwData, sizeof value);
    s.transmits.push_back({hSimConnect, ObjectID, EventID, value, GroupID, Flags});
    return S_OK;
}

SIMCONNECTAPI SimConnect_GetNextDispatch(HANDLE hSimConnect, SIMCONNECT_RECV** ppData, DWORD* pcbData) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    ++s.dispatches;
    if (!isOpen(s, hSimConnect) || !ppData || !pcbData) {
        return E_FAIL;
    }
    // A connection whose simulator has quit delivers nothing more; neither does an empty queue
    // or a data answer nobody asked for yet.
    if (hSimConnect != s.current || s.queue.empty()) {
        return E_FAIL;
    }
    Message& next = s.queue.front();
    if (next.needsRequest) {
        if (s.outstandingRequests <= 0) {
            return E_FAIL;
        }
        --s.outstandingRequests;
    }
    if (next.quit) {
        s.running = false;
        s.current = nullptr;
    }
    s.delivered = std::move(next.bytes);
    s.queue.pop_front();
    *ppData = reinterpret_cast<SIMCONNECT_RECV*>(s.delivered.data());
    *pcbData = static_cast<DWORD>(s.delivered.size());
    return S_OK;
}
