#pragma once

#include "telemetry/simconnect/simconnectprotocol.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// One SimConnect connection over TCP to the simulator's IPv4 listener. Every call returns at
// once: the socket is non-blocking, so connecting, the Open handshake (which the simulator may
// hold back for seconds while it loads) and reading advance a step at each call. A simulator
// that refuses the MSFS 2020 client version is asked again, on a new connection, as FSX SP2.
// A connection that is not open within kOpenDeadline of its start fails, so that the caller
// tries afresh. TCP keep-alive probes and a user time-out notice a simulator PC that vanished
// without closing the connection within a few seconds.
//
// Threading: used from one thread (the telemetry thread); never blocks.
class SimConnectClient {
public:
    enum class OpenStatus { Pending, Open, Failed };
    // How long connecting and the Open handshake may take on one connection.
    static constexpr std::chrono::milliseconds kOpenDeadline{3000};

    // address: an IPv4 address in dotted form.
    SimConnectClient(std::string address, uint16_t port, std::string applicationName);
    ~SimConnectClient();
    SimConnectClient(const SimConnectClient&) = delete;
    SimConnectClient& operator=(const SimConnectClient&) = delete;

    // One step of connecting and opening; Open once the simulator's answer to Open arrived.
    OpenStatus advanceOpen();

    // Requests: queued and sent as far as the socket takes them now; false when not open.
    bool addToDataDefinition(uint32_t defineId, const char* datumName, const char* unitsName,
                             uint32_t datumType, float epsilon, uint32_t datumId);
    bool requestDataOnSimObjectType(uint32_t requestId, uint32_t defineId, uint32_t radiusMeters,
                                    uint32_t objectType);
    bool subscribeToSystemEvent(uint32_t eventId, const char* eventName);
    bool mapClientEventToSimEvent(uint32_t eventId, const char* eventName);
    bool transmitClientEvent(uint32_t objectId, uint32_t eventId, uint32_t data, uint32_t groupId,
                             uint32_t flags);

    // Reads what arrived and gives the next whole message from the simulator, valid until the
    // next call; a lost or broken connection gives one quit message, then nothing.
    bool nextDispatch(const unsigned char** message, size_t* size);

    uint32_t protocolVersion() const { return protocol_->version().protocol; }
    const std::string& address() const { return address_; }
    uint16_t port() const { return port_; }

private:
    bool connect();
    void closeSocket();
    void pump();
    void flush();

    std::string address_;
    uint16_t port_;
    std::string applicationName_;
    std::unique_ptr<SimConnectProtocol> protocol_;
    intptr_t socket_ = -1;
    bool connected_ = false;
    std::chrono::steady_clock::time_point attemptStarted_;
};
