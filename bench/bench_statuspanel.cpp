// Cost of one status-panel update on the GUI thread while a game streams: a new record (or a new
// stick position) is shown and the window repaints what changed, as the event loop would.
// In the running program an update comes after the GUI thread has slept for a while, with its
// caches taken by the other threads and programs; the "cold" rows sleep 50 ms between updates
// to show that cost, which is several times the back-to-back one. Runs on the offscreen
// platform unless another is chosen.
#include "records/metatypes.h"
#include "ui/statuswidget.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QThread>

#include <cmath>
#include <memory>

namespace {

Telemetry flight(int i) {
    const float t = static_cast<float>(i) * 0.035f;
    Telemetry r;
    r.airspeed = 250.0f + 20.0f * std::sin(t / 3.0f);
    r.verticalSpeed = 5.0f * std::sin(t);
    r.aoa = 4.0f + std::sin(t * 1.7f);
    r.gForce = 1.0f + 0.2f * std::sin(t * 2.3f);
    r.propAirflow = 80.0f + std::sin(t / 5.0f);
    return r;
}

// The panel shown, as in the window, with everything it drew at first painted.
std::unique_ptr<StatusWidget> shownPanel() {
    auto panel = std::make_unique<StatusWidget>();
    panel->resize(420, 900);
    panel->show();
    QApplication::processEvents();
    return panel;
}

void coolDown(benchmark::State& state, bool cold) {
    if (cold) {
        state.PauseTiming();
        QThread::msleep(50);
        state.ResumeTiming();
    }
}

} // namespace

// Arg 0: the same record every time (a paused game); 1: a flight, five fields change each time.
// Arg 1: 1 for cold updates.
static void BM_statusPanelUpdate(benchmark::State& state) {
    const std::unique_ptr<StatusWidget> panel = shownPanel();
    int i = 0;
    for (auto _ : state) {
        coolDown(state, state.range(1) != 0);
        panel->changeTelemetry(flight(state.range(0) != 0 ? ++i : 0));
        QApplication::processEvents();
    }
}
BENCHMARK(BM_statusPanelUpdate)->Args({0, 0})->Args({1, 0})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_statusPanelUpdate)->Args({1, 1})->Iterations(100)->Unit(benchmark::kMicrosecond);

// A moving stick: the three position fields change each time.
static void BM_statusPanelPosition(benchmark::State& state) {
    const std::unique_ptr<StatusWidget> panel = shownPanel();
    int i = 0;
    for (auto _ : state) {
        coolDown(state, state.range(0) != 0);
        const float p = std::sin(static_cast<float>(++i) * 0.05f);
        panel->changePosition(PositionInput{p, -p, 0.5f * p});
        QApplication::processEvents();
    }
}
BENCHMARK(BM_statusPanelPosition)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_statusPanelPosition)->Arg(1)->Iterations(100)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    registerMetaTypes();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
