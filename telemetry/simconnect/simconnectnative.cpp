// The SimConnect calls of the MSFS source, answered by this program's own client of the
// simulator's network protocol. A handle is a SimConnectClient. Open never waits: while the
// connection or the simulator's answer is on its way it reports E_PENDING and keeps the attempt
// for the next call; E_FAIL means nothing answered and a later call starts afresh.
#include "telemetry/simconnect/simconnect.h"
#include "telemetry/simconnect/simconnectclient.h"
#include "telemetry/simconnect/simconnectconfig.h"

#include <memory>

namespace {

// The Open in progress; the source opens one connection at a time, from one thread.
std::unique_ptr<SimConnectClient>& pendingOpen() {
    static std::unique_ptr<SimConnectClient> client;
    return client;
}

SimConnectClient* client(HANDLE handle) {
    return static_cast<SimConnectClient*>(handle);
}

} // namespace

SIMCONNECTAPI SimConnect_Open(HANDLE* phSimConnect, const char* szName, HWND, DWORD, HANDLE, DWORD) {
    if (!phSimConnect) {
        return E_FAIL;
    }
    *phSimConnect = nullptr;
    std::unique_ptr<SimConnectClient>& pending = pendingOpen();
    const SimConnectEndpoint endpoint = simConnectEndpoint();
    if (pending &&
        (pending->address() != endpoint.address.toStdString() || pending->port() != endpoint.port)) {
        pending.reset(); // the endpoint changed while opening: start over at the new one
    }
    if (!pending) {
        pending = std::make_unique<SimConnectClient>(endpoint.address.toStdString(), endpoint.port,
                                                     szName ? szName : "");
    }
    switch (pending->advanceOpen()) {
    case SimConnectClient::OpenStatus::Open:
        *phSimConnect = pending.release();
        return S_OK;
    case SimConnectClient::OpenStatus::Pending:
        return E_PENDING;
    case SimConnectClient::OpenStatus::Failed:
        break;
    }
    pending.reset();
    return E_FAIL;
}

SIMCONNECTAPI SimConnect_Close(HANDLE hSimConnect) {
    if (!hSimConnect) {
        return E_FAIL;
    }
    delete client(hSimConnect);
    return S_OK;
}

SIMCONNECTAPI SimConnect_AddToDataDefinition(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                             const char* DatumName, const char* UnitsName,
                                             SIMCONNECT_DATATYPE DatumType, float fEpsilon, DWORD DatumID) {
    return hSimConnect &&
                   client(hSimConnect)
                       ->addToDataDefinition(DefineID, DatumName, UnitsName, DatumType, fEpsilon, DatumID)
               ? S_OK
               : E_FAIL;
}

SIMCONNECTAPI SimConnect_RequestDataOnSimObjectType(HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                                    SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                                    DWORD dwRadiusMeters, SIMCONNECT_SIMOBJECT_TYPE type) {
    return hSimConnect &&
                   client(hSimConnect)->requestDataOnSimObjectType(RequestID, DefineID, dwRadiusMeters, type)
               ? S_OK
               : E_FAIL;
}

SIMCONNECTAPI SimConnect_SubscribeToSystemEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                                const char* SystemEventName) {
    return hSimConnect && client(hSimConnect)->subscribeToSystemEvent(EventID, SystemEventName) ? S_OK
                                                                                                : E_FAIL;
}

SIMCONNECTAPI SimConnect_MapClientEventToSimEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                                  const char* EventName) {
    return hSimConnect && client(hSimConnect)->mapClientEventToSimEvent(EventID, EventName) ? S_OK : E_FAIL;
}

SIMCONNECTAPI SimConnect_TransmitClientEvent(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                             SIMCONNECT_CLIENT_EVENT_ID EventID, DWORD dwData,
                                             SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                             SIMCONNECT_EVENT_FLAG Flags) {
    return hSimConnect && client(hSimConnect)->transmitClientEvent(ObjectID, EventID, dwData, GroupID, Flags)
               ? S_OK
               : E_FAIL;
}

SIMCONNECTAPI SimConnect_GetNextDispatch(HANDLE hSimConnect, SIMCONNECT_RECV** ppData, DWORD* pcbData) {
    const unsigned char* message = nullptr;
    size_t size = 0;
    if (!hSimConnect || !ppData || !pcbData || !client(hSimConnect)->nextDispatch(&message, &size)) {
        return E_FAIL;
    }
    // The simulator's message as it came; the source reads it through the SDK's structures.
    *ppData = reinterpret_cast<SIMCONNECT_RECV*>(const_cast<unsigned char*>(message));
    *pcbData = static_cast<DWORD>(size);
    return S_OK;
}
