// Cost of turning one War Thunder answer and one MSFS data answer into records: both run on the
// telemetry thread at most once per 20 ms poll.
#include "telemetry/msfsdata.h"
#include "telemetry/warthunderstateparser.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

static void BM_parseWarthunderState(benchmark::State& state) {
    // The game's answer in flight (tests/fixtures/warthunder_state_jet.json).
    const QByteArray body =
        R"({"valid": true, "aileron, %": -0, "elevator, %": -7, "rudder, %": 2, "flaps, %": 0, "gear, %": 0, "airbrake, %": 0, "H, m": 5194, "TAS, km/h": 1544, "IAS, km/h": 1185, "M": 1.34, "AoA, deg": -0.8, "AoS, deg": 0.1, "Ny": 1.34, "Vy, m/s": 80.3, "Wx, deg/s": 0, "Mfuel, kg": 3341, "Mfuel0, kg": 9400, "throttle 1, %": 110, "power 1, hp": 0, "RPM 1": 8350, "manifold pressure 1, atm": 1, "oil temp 1, C": 92, "thrust 1, kgs": 16535, "efficiency 1, %": 0, "throttle 2, %": 110, "power 2, hp": 0, "RPM 2": 8350, "manifold pressure 2, atm": 1, "oil temp 2, C": 92, "thrust 2, kgs": 16535, "efficiency 2, %": 0})";
    for (auto _ : state) {
        benchmark::DoNotOptimize(parseWarthunderState(body));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * body.size());
}
BENCHMARK(BM_parseWarthunderState);

static void BM_msfsDataAnswer(benchmark::State& state) {
    std::vector<unsigned char> message(kMsfsDataOffset + kMsfsDataBlockSize, 0);
    const uint32_t header[10] = {
        uint32_t(message.size()), 0, SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, 0, 1, 0, 0, 1, 1, 19};
    std::memcpy(message.data(), header, sizeof header);
    const double values[18] = {0,   0.25, 0.75, 0.01, -0.02, 0.03, 1.25, 4.5, 210,
                               0.5, 0.25, 0.75, 4,    88,    87,   86,   85,  -3.5};
    std::memcpy(message.data() + kMsfsDataOffset, values, sizeof values);
    std::memcpy(message.data() + kMsfsDataOffset + kMsfsTitleOffset, "Cessna Skyhawk G1000", 20);
    for (auto _ : state) {
        const MsfsMessage decoded = decodeMsfsMessage(message.data(), message.size());
        benchmark::DoNotOptimize(msfsRecordFromData(decoded.block, decoded.blockSize));
        benchmark::DoNotOptimize(msfsTitle(decoded.block, decoded.blockSize));
    }
}
BENCHMARK(BM_msfsDataAnswer);

BENCHMARK_MAIN();
