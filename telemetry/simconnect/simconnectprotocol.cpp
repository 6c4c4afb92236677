#include "telemetry/simconnect/simconnectprotocol.h"

#include <algorithm>
#include <cstring>

const SimConnectProtocol::Version SimConnectProtocol::kKittyHawk = {5, 0x004B4800u, 11, 0, 62651, 3};
const SimConnectProtocol::Version SimConnectProtocol::kFsxSp2 = {4, 0x46535800u, 10, 0, 61259, 0};

namespace {

// Packet types of the requests; the simulator expects the high nibble set on every one.
constexpr uint32_t kTypeFlag = 0xF0000000u;
constexpr uint32_t kTypeOpen = 0x01;
constexpr uint32_t kTypeMapClientEventToSimEvent = 0x04;
constexpr uint32_t kTypeTransmitClientEvent = 0x05;
constexpr uint32_t kTypeAddToDataDefinition = 0x0C;
constexpr uint32_t kTypeRequestDataOnSimObjectType = 0x0F;
constexpr uint32_t kTypeSubscribeToSystemEvent = 0x17;

void put32(unsigned char* at, uint32_t value) {
    std::memcpy(at, &value, sizeof value);
}

uint32_t read32(const unsigned char* at) {
    uint32_t value = 0;
    std::memcpy(&value, at, sizeof value);
    return value;
}

} // namespace

SimConnectProtocol::SimConnectProtocol(const Version& version, const char* applicationName)
    : version_(version) {
    unsigned char* p = beginPacket(kOpenPacketSize, kTypeOpen);
    putString(p + 16, kStringSize, applicationName);
    put32(p + 272, 0);
    put32(p + 276, version_.alias);
    put32(p + 280, version_.major);
    put32(p + 284, version_.minor);
    put32(p + 288, version_.buildMajor);
    put32(p + 292, version_.buildMinor);
    put32(quit_, sizeof quit_);
    put32(quit_ + 4, version_.protocol);
    put32(quit_ + 8, kRecvQuit);
}

void SimConnectProtocol::putString(unsigned char* field, size_t size, const char* text) {
    std::memset(field, 0, size);
    for (size_t i = 0; text && i + 1 < size && text[i] != '\0'; ++i) {
        field[i] = static_cast<unsigned char>(text[i]);
    }
}

size_t SimConnectProtocol::minimumMessageSize(uint32_t id) {
    switch (id) {
    case kRecvException:
        return 24;
    case kRecvOpen:
        return 308;
    case 4: // EVENT
        return 24;
    case 5: // EVENT_OBJECT_ADDREMOVE
        return 28;
    case 6: // EVENT_FILENAME
        return 288;
    case 7: // EVENT_FRAME
        return 32;
    case 8: // SIMOBJECT_DATA
    case 9: // SIMOBJECT_DATA_BYTYPE
        return 40;
    default:
        return SimConnectStream::kHeaderSize;
    }
}

bool SimConnectProtocol::canSend(size_t size) const {
    return state_ == State::Open && output_.size() + size <= kMaxOutput;
}

unsigned char* SimConnectProtocol::beginPacket(size_t size, uint32_t type) {
    const size_t at = output_.size();
    output_.resize(at + size, 0);
    unsigned char* p = output_.data() + at;
    put32(p, static_cast<uint32_t>(size));
    put32(p + 4, version_.protocol);
    put32(p + 8, kTypeFlag | type);
    put32(p + 12, nextSendId_++);
    return p;
}

bool SimConnectProtocol::addToDataDefinition(uint32_t defineId, const char* datumName, const char* unitsName,
                                             uint32_t datumType, float epsilon, uint32_t datumId) {
    if (!canSend(kDefinitionPacketSize)) {
        return false;
    }
    unsigned char* p = beginPacket(kDefinitionPacketSize, kTypeAddToDataDefinition);
    put32(p + 16, defineId);
    putString(p + 20, kStringSize, datumName);
    putString(p + 276, kStringSize, unitsName);
    put32(p + 532, datumType);
    std::memcpy(p + 536, &epsilon, sizeof epsilon);
    put32(p + 540, datumId);
    return true;
}

bool SimConnectProtocol::requestDataOnSimObjectType(uint32_t requestId, uint32_t defineId,
                                                    uint32_t radiusMeters, uint32_t objectType) {
    if (!canSend(kRequestPacketSize)) {
        return false;
    }
    unsigned char* p = beginPacket(kRequestPacketSize, kTypeRequestDataOnSimObjectType);
    put32(p + 16, requestId);
    put32(p + 20, defineId);
    put32(p + 24, radiusMeters);
    put32(p + 28, objectType);
    return true;
}

bool SimConnectProtocol::subscribeToSystemEvent(uint32_t eventId, const char* eventName) {
    if (!canSend(kSubscriptionPacketSize)) {
        return false;
    }
    unsigned char* p = beginPacket(kSubscriptionPacketSize, kTypeSubscribeToSystemEvent);
    put32(p + 16, eventId);
    putString(p + 20, kStringSize, eventName);
    return true;
}

bool SimConnectProtocol::mapClientEventToSimEvent(uint32_t eventId, const char* eventName) {
    if (!canSend(kMapEventPacketSize)) {
        return false;
    }
    unsigned char* p = beginPacket(kMapEventPacketSize, kTypeMapClientEventToSimEvent);
    put32(p + 16, eventId);
    putString(p + 20, kStringSize, eventName);
    return true;
}

bool SimConnectProtocol::transmitClientEvent(uint32_t objectId, uint32_t eventId, uint32_t data,
                                             uint32_t groupId, uint32_t flags) {
    if (!canSend(kTransmitEventPacketSize)) {
        return false;
    }
    unsigned char* p = beginPacket(kTransmitEventPacketSize, kTypeTransmitClientEvent);
    put32(p + 16, objectId);
    put32(p + 20, eventId);
    put32(p + 24, data);
    put32(p + 28, groupId);
    put32(p + 32, flags);
    return true;
}

void SimConnectProtocol::consumeOutput(size_t count) {
    output_.erase(output_.begin(),
                  output_.begin() + static_cast<std::ptrdiff_t>(std::min(count, output_.size())));
}

void SimConnectProtocol::receive(const unsigned char* data, size_t size) {
    if ((state_ == State::Opening || state_ == State::Open) && !lost_) {
        stream_.append(data, size);
    }
}

void SimConnectProtocol::lost() {
    lost_ = true;
}

bool SimConnectProtocol::takeMessage(const unsigned char** message, size_t* size) {
    const unsigned char* bytes = nullptr;
    size_t length = 0;
    if (broken_ || stream_.next(&bytes, &length) != SimConnectStream::Result::Message) {
        return false;
    }
    if (length < minimumMessageSize(read32(bytes + 8))) {
        // A size that lies about the body: the rest of the stream is out of step.
        broken_ = true;
        return false;
    }
    *message = bytes;
    *size = length;
    return true;
}

void SimConnectProtocol::advanceOpening() {
    const unsigned char* message = nullptr;
    size_t size = 0;
    while (state_ == State::Opening && takeMessage(&message, &size)) {
        const uint32_t id = read32(message + 8);
        if (id == kRecvOpen) {
            state_ = State::Open;
        } else if (id == kRecvException) {
            state_ =
                read32(message + 12) == kExceptionVersionMismatch ? State::VersionRefused : State::Failed;
        }
        // Anything else before the answer to Open means nothing to this client.
    }
    if (state_ == State::Opening && (broken_ || stream_.corrupt() || lost_)) {
        state_ = State::Failed;
    }
    if (state_ == State::VersionRefused || state_ == State::Failed) {
        stream_.clear();
        output_.clear();
    }
}

bool SimConnectProtocol::nextMessage(const unsigned char** message, size_t* size) {
    if (state_ != State::Open) {
        return false;
    }
    if (!broken_ && takeMessage(message, size)) {
        if (read32(*message + 8) == kRecvQuit) {
            state_ = State::Ended;
        }
        return true;
    }
    if (broken_ || stream_.corrupt() || lost_) {
        // The connection is gone without a word from the simulator: hand on a quit for it.
        state_ = State::Ended;
        stream_.clear();
        output_.clear();
        *message = quit_;
        *size = sizeof quit_;
        return true;
    }
    return false;
}
