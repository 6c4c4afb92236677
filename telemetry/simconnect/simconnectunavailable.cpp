// The SimConnect implementation of a build without the simulator's SDK: no simulator can be
// reached, so opening always fails and the MSFS source stays silent.
#include "telemetry/simconnect/simconnect.h"

SIMCONNECTAPI SimConnect_Open(HANDLE* phSimConnect, const char*, HWND, DWORD, HANDLE, DWORD) {
    if (phSimConnect) {
        *phSimConnect = nullptr;
    }
    return E_FAIL;
}
SIMCONNECTAPI SimConnect_Close(HANDLE) {
    return S_OK;
}
SIMCONNECTAPI SimConnect_AddToDataDefinition(HANDLE, SIMCONNECT_DATA_DEFINITION_ID, const char*, const char*,
                                             SIMCONNECT_DATATYPE, float, DWORD) {
    return E_FAIL;
}
SIMCONNECTAPI SimConnect_RequestDataOnSimObjectType(HANDLE, SIMCONNECT_DATA_REQUEST_ID,
                                                    SIMCONNECT_DATA_DEFINITION_ID, DWORD,
                                                    SIMCONNECT_SIMOBJECT_TYPE) {
    return E_FAIL;
}
SIMCONNECTAPI SimConnect_SubscribeToSystemEvent(HANDLE, SIMCONNECT_CLIENT_EVENT_ID, const char*) {
    return E_FAIL;
}
SIMCONNECTAPI SimConnect_GetNextDispatch(HANDLE, SIMCONNECT_RECV**, DWORD*) {
    return E_FAIL;
}
