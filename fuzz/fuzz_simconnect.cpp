// Any byte stream from a SimConnect server, cut into reads of varying size: the framing and the
// handing on of messages must stay inside the buffer, give only messages of 12 bytes to the cap
// whose length field matches, end with exactly one quit, and the MSFS decoding of every message
// must give finite values. The same bytes also go through the SimConnect.cfg parser.
//
// Input: byte 0 picks the read sizes (low 7 bits) and whether the server's answer to Open comes
// first (high bit); the rest is the stream.
#include "fuzz/finitecheck.h"
#include "telemetry/msfsdata.h"
#include "telemetry/simconnect/simconnectconfig.h"
#include "telemetry/simconnect/simconnectprotocol.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

void check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

void takeMessages(SimConnectProtocol& protocol, int* quits) {
    const unsigned char* message = nullptr;
    size_t size = 0;
    while (protocol.nextMessage(&message, &size)) {
        check(size >= 12 && size <= SimConnectStream::kMaxMessageSize);
        uint32_t length = 0;
        uint32_t id = 0;
        std::memcpy(&length, message, 4);
        std::memcpy(&id, message + 8, 4);
        check(length == size);
        check(size >= SimConnectProtocol::minimumMessageSize(id));
        if (id == SimConnectProtocol::kRecvQuit) {
            ++*quits;
        }
        const MsfsMessage decoded = decodeMsfsMessage(message, size);
        check(!decoded.block ||
              (decoded.block >= message && decoded.block + decoded.blockSize <= message + size));
        trapUnlessFinite(msfsRecordFromData(decoded.block, decoded.blockSize));
        check(msfsTitle(decoded.block, decoded.blockSize).size() <= 256);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    (void)parseSimConnectConfig(
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (size == 0) {
        return 0;
    }
    const unsigned step = (data[0] & 0x7F) + 1u;
    std::vector<unsigned char> stream;
    if (data[0] & 0x80) {
        std::vector<unsigned char> open(308, 0);
        const uint32_t header[3] = {308, 5, SimConnectProtocol::kRecvOpen};
        std::memcpy(open.data(), header, sizeof header);
        stream = open;
    }
    stream.insert(stream.end(), data + 1, data + size);

    SimConnectProtocol protocol(SimConnectProtocol::kKittyHawk, "Grovik");
    int quits = 0;
    size_t offset = 0;
    unsigned round = 0;
    while (offset < stream.size()) {
        // Reads of 1 to 128 bytes, varying from one read to the next.
        const size_t length = std::min<size_t>(stream.size() - offset, 1 + (step * ++round) % 128);
        protocol.receive(stream.data() + offset, length);
        offset += length;
        if (protocol.state() == SimConnectProtocol::State::Opening) {
            protocol.advanceOpening();
        }
        takeMessages(protocol, &quits);
    }
    protocol.lost();
    protocol.advanceOpening();
    takeMessages(protocol, &quits);
    const bool wasOpen = protocol.state() == SimConnectProtocol::State::Ended;
    check(wasOpen ? quits == 1 : quits == 0);
    const unsigned char* message = nullptr;
    size_t messageSize = 0;
    check(!protocol.nextMessage(&message, &messageSize));
    return 0;
}
