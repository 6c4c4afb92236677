// Cost of the flight recorder's line (once per record, on the recorder's thread) and of reading
// a recording (once, when a replay starts, on the telemetry thread), and the force view's
// published sample on the control loop's tick.
#include "engine/mainbackgroundthread.h"
#include "records/metatypes.h"
#include "telemetry/recordingcsv.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <cmath>

namespace {

RecordingRow flightRow(int i) {
    RecordingRow r;
    r.time = 20 * i;
    r.source = Telemetry::TELEMETRY_SOURCE_DCS;
    r.aircraft = QStringLiteral("F-16C_50");
    r.telemetry.airspeed = 350.0f + std::sin(static_cast<float>(i)) * 40.0f;
    r.telemetry.aoa = 4.123f + std::cos(static_cast<float>(i));
    r.telemetry.gForce = 1.2345f;
    r.telemetry.propAirflow = 81.5f;
    r.force[0] = -3.25f;
    r.force[1] = 12.678f;
    r.force[2] = 0.125f;
    return r;
}

QByteArray recording(int rows) {
    QByteArray text = RecordingCsv::header();
    for (int i = 0; i < rows; ++i) {
        text += RecordingCsv::line(flightRow(i));
    }
    return text;
}

} // namespace

static void BM_recordingLine(benchmark::State& state) {
    const RecordingRow row = flightRow(7);
    for (auto _ : state) {
        benchmark::DoNotOptimize(RecordingCsv::line(row));
    }
}
BENCHMARK(BM_recordingLine);

// An hour of flight at 50 records a second is 180 000 rows.
static void BM_parseRecording(benchmark::State& state) {
    const QByteArray text = recording(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(RecordingCsv::parse(text));
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
    state.SetBytesProcessed(int64_t(state.iterations()) * text.size());
}
BENCHMARK(BM_parseRecording)->Arg(3000)->Arg(180000)->Unit(benchmark::kMillisecond);

// One control-loop tick without devices, with a receiver of the force view's samples connected
// (as while the Forces tab is shown) and without.
static void BM_loopTick(benchmark::State& state) {
    registerMetaTypes();
    // Ports the system picks, so that the benchmark never takes a game's own.
    TelemetryEndpoints nowhere;
    nowhere.dcsPort = 0;
    nowhere.il2Port = 0;
    nowhere.condorPort = 0;
    nowhere.warthunderUrl = QUrl(QStringLiteral("http://127.0.0.1:1/state"));
    nowhere.xplanePort = 9;
    MainBackgroundThread loop(nowhere);
    QObject receiver;
    if (state.range(0) != 0) {
        QObject::connect(&loop, &MainBackgroundThread::forcesSent, &receiver, [](const ForcesSample&) {});
    }
    for (auto _ : state) {
        loop.tick();
    }
}
BENCHMARK(BM_loopTick)->Arg(0)->Arg(1);

// The control object needs an application object for its timers and its telemetry worker.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
