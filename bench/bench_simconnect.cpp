// Cost of one data answer from the simulator on the telemetry thread: the native SimConnect
// client frames it out of the received bytes and hands it on, and the MSFS source decodes it
// into its record and title. Runs at most once per 20 ms poll.
#include "telemetry/msfsdata.h"
#include "telemetry/simconnect/simconnectprotocol.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

std::vector<unsigned char> dataAnswer() {
    std::vector<unsigned char> message(kMsfsDataOffset + kMsfsDataBlockSize, 0);
    const uint32_t header[10] = {
        uint32_t(message.size()), 5, SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, 0, 1, 0, 0, 1, 1, 19};
    std::memcpy(message.data(), header, sizeof header);
    const double values[18] = {0,   0.25, 0.75, 0.01, -0.02, 0.03, 1.25, 4.5, 210,
                               0.5, 0.25, 0.75, 4,    88,    87,   86,   85,  -3.5};
    std::memcpy(message.data() + kMsfsDataOffset, values, sizeof values);
    std::memcpy(message.data() + kMsfsDataOffset + kMsfsTitleOffset, "Cessna Skyhawk G1000", 20);
    return message;
}

SimConnectProtocol openProtocol() {
    SimConnectProtocol protocol(SimConnectProtocol::kKittyHawk, "Grovik");
    std::vector<unsigned char> answer(308, 0);
    const uint32_t header[3] = {308, 5, SimConnectProtocol::kRecvOpen};
    std::memcpy(answer.data(), header, sizeof header);
    protocol.receive(answer.data(), answer.size());
    protocol.advanceOpening();
    return protocol;
}

} // namespace

// Received in one read, as TCP usually delivers a 440-byte message.
static void BM_simconnectDataAnswer(benchmark::State& state) {
    const std::vector<unsigned char> message = dataAnswer();
    SimConnectProtocol protocol = openProtocol();
    for (auto _ : state) {
        protocol.receive(message.data(), message.size());
        const unsigned char* bytes = nullptr;
        size_t size = 0;
        if (!protocol.nextMessage(&bytes, &size)) {
            state.SkipWithError("no message");
            break;
        }
        const MsfsMessage decoded = decodeMsfsMessage(bytes, size);
        benchmark::DoNotOptimize(msfsRecordFromData(decoded.block, decoded.blockSize));
        benchmark::DoNotOptimize(msfsTitle(decoded.block, decoded.blockSize));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(message.size()));
}
BENCHMARK(BM_simconnectDataAnswer);

// Only the framing and handing on, the message split over three reads.
static void BM_simconnectFramingSplit(benchmark::State& state) {
    const std::vector<unsigned char> message = dataAnswer();
    SimConnectProtocol protocol = openProtocol();
    for (auto _ : state) {
        protocol.receive(message.data(), 3);
        protocol.receive(message.data() + 3, 200);
        protocol.receive(message.data() + 203, message.size() - 203);
        const unsigned char* bytes = nullptr;
        size_t size = 0;
        benchmark::DoNotOptimize(protocol.nextMessage(&bytes, &size));
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(BM_simconnectFramingSplit);

BENCHMARK_MAIN();
