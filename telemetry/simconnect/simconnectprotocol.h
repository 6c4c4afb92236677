#pragma once

#include "telemetry/simconnect/simconnectstream.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The client side of one SimConnect connection without its socket: the packets this program
// sends (Open, AddToDataDefinition, RequestDataOnSimObjectType, SubscribeToSystemEvent,
// MapClientEventToSimEvent, TransmitClientEvent), the
// reading of the simulator's answer to Open, and the messages handed on afterwards exactly as the
// simulator sent them. A stream that cannot be trusted (a corrupt length, a message shorter than
// its kind, a lost connection) ends the connection: once open, that end is handed on as a quit
// message, so whoever reads the messages treats it like the simulator quitting.
//
// Threading: owned by one connection and used from one thread; no I/O, no blocking.
class SimConnectProtocol {
public:
    // What the client announces in Open: the protocol number of every packet header, then the
    // alias and version fields of the Open packet.
    struct Version {
        uint32_t protocol;
        uint32_t alias;
        uint32_t major;
        uint32_t minor;
        uint32_t buildMajor;
        uint32_t buildMinor;
    };
    // MSFS 2020's client, which MSFS 2024 serves too.
    static const Version kKittyHawk;
    // The FSX SP2 client, for a simulator that refuses the newer one.
    static const Version kFsxSp2;

    enum class State {
        Opening,        // Open sent, the simulator's answer not yet read
        Open,           // answered: requests go out, messages come in
        VersionRefused, // the simulator refused the announced version
        Failed,         // the connection died or misbehaved before it was open
        Ended,          // the quit (real or standing in for a lost connection) was handed on
    };

    static constexpr uint32_t kRecvException = 1;
    static constexpr uint32_t kRecvOpen = 2;
    static constexpr uint32_t kRecvQuit = 3;
    static constexpr uint32_t kExceptionVersionMismatch = 5;
    static constexpr size_t kOpenPacketSize = 296;
    static constexpr size_t kDefinitionPacketSize = 544;
    static constexpr size_t kRequestPacketSize = 32;
    static constexpr size_t kSubscriptionPacketSize = 276;
    static constexpr size_t kMapEventPacketSize = 276;
    static constexpr size_t kTransmitEventPacketSize = 36;
    static constexpr size_t kStringSize = 256;
    // Requests are dropped rather than queued past this many unsent bytes.
    static constexpr size_t kMaxOutput = 64 * 1024;

    // Queues the Open packet (send id 1) for an application of this name.
    SimConnectProtocol(const Version& version, const char* applicationName);

    State state() const { return state_; }
    const Version& version() const { return version_; }

    // Each queues one packet; false when the connection is not open or the output is full.
    bool addToDataDefinition(uint32_t defineId, const char* datumName, const char* unitsName,
                             uint32_t datumType, float epsilon, uint32_t datumId);
    bool requestDataOnSimObjectType(uint32_t requestId, uint32_t defineId, uint32_t radiusMeters,
                                    uint32_t objectType);
    bool subscribeToSystemEvent(uint32_t eventId, const char* eventName);
    // Type 0x04: the client's event id, then the simulator's event name in a 256-byte field.
    bool mapClientEventToSimEvent(uint32_t eventId, const char* eventName);
    // Type 0x05: object id, client event id, the event's 32-bit value, group id (or priority,
    // as the flags say), flags; five 32-bit fields after the header.
    bool transmitClientEvent(uint32_t objectId, uint32_t eventId, uint32_t data, uint32_t groupId,
                             uint32_t flags);

    // The bytes not yet sent, and how many of them went out.
    const unsigned char* output() const { return output_.data(); }
    size_t outputSize() const { return output_.size(); }
    void consumeOutput(size_t count);

    // Bytes received; at most receiveRoom() of them are kept.
    size_t receiveRoom() const { return stream_.room(); }
    void receive(const unsigned char* data, size_t size);
    // The connection closed or failed.
    void lost();

    // While opening: reads what arrived for the answer to Open and moves to Open, VersionRefused
    // or Failed accordingly.
    void advanceOpening();
    // Once open: the next message, valid until the next call of receive() or nextMessage();
    // false when none is complete yet or the connection has ended.
    bool nextMessage(const unsigned char** message, size_t* size);

    // A fixed-width text field as the simulator reads it: single-byte text cut to size - 1
    // bytes and zero-padded to size bytes.
    static void putString(unsigned char* field, size_t size, const char* text);
    // The smallest whole message of a kind this client knows; 12 (a bare header) otherwise.
    static size_t minimumMessageSize(uint32_t id);

private:
    unsigned char* beginPacket(size_t size, uint32_t type);
    bool canSend(size_t size) const;
    bool takeMessage(const unsigned char** message, size_t* size);

    Version version_;
    State state_ = State::Opening;
    uint32_t nextSendId_ = 1;
    bool lost_ = false;   // the socket closed or failed
    bool broken_ = false; // a message shorter than its kind: nothing after it can be read
    SimConnectStream stream_;
    std::vector<unsigned char> output_;
    unsigned char quit_[12] = {};
};
