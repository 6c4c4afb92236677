// Cost of one control-loop tick's force synthesis: the three axes with every effect active,
// each followed by the clamp, as calculateForces does it. Prints nanoseconds per tick.

#include "forces/commontelemetryforcecalculator.h"
#include "records/effectssettings.h"
#include "records/forces.h"

#include <chrono>
#include <cstdint>
#include <cstdio>

#if __has_include(<benchmark/benchmark.h>)
#include <benchmark/benchmark.h>
#define TRENNAL_HAVE_BENCHMARK 1
#endif

namespace {

EffectsSettings everyEffectActive() {
    EffectsSettings s;
    s.resetToDefaults();
    for (AxisEffectsSettings& a : s.axes) {
        for (int type = 0; type < 13; ++type) {
            a.effect(type)->active = true;
            a.effect(type)->total_effect_strength = 80.0f;
        }
        a.airflow_spring.airspeed_force = 100.0f;
        a.airflow_spring.thrust_force = 50.0f;
        a.airflow_spring.local_aoa_influence_strength = 50.0f;
        a.aoa_shaker.speed.exp = 40.0f;
        a.gear_shaker.frequency.exp = -30.0f;
    }
    return s;
}

// A fast, loaded approach on the ground roll: above the start airspeed (so the attenuation
// curve is looked up), every extension out and every shaker inside its ranges.
Telemetry busyTelemetry() {
    Telemetry t;
    t.airspeed = 640.0f;
    t.verticalSpeed = 4.0f;
    t.aileronAoa = 1.5f;
    t.aoa = 13.0f;
    t.sideslip = -3.0f;
    t.gForce = 2.2f;
    t.propAirflow = 75.0f;
    t.gear = 100.0f;
    t.airbrake = 60.0f;
    t.flaps = 40.0f;
    t.onGround = true;
    return t;
}

// What calculateForces does for one tick, minus reading the clock.
Forces tick(CommonTelemetryForceCalculator& calculator, uint64_t now, const float position[3],
            const Telemetry& telemetry, const EffectsSettings& settings) {
    Forces forces;
    for (int axis = 0; axis < 3; ++axis) {
        AxisForce& f = forces.axis[axis];
        calculator.calculateAxis(f, axis, now, position[axis], telemetry, settings);
        f.force = f.force > 100.0f ? 100.0f : (f.force < -100.0f ? -100.0f : f.force);
    }
    return forces;
}

struct Scenario {
    EffectsSettings settings = everyEffectActive();
    Telemetry telemetry = busyTelemetry();
    float position[3] = {0.3f, -0.45f, 0.1f};
    CommonTelemetryForceCalculator calculator;
    uint64_t now = 1000;

    // One 5 ms tick; a landing every second keeps the jolts running.
    Forces step() {
        now += 5;
        if (now % 1000 == 0) {
            LandingEvent landing;
            landing.time = now;
            landing.airspeed = telemetry.airspeed;
            landing.verticalSpeed = 6.0f;
            calculator.land(landing, settings);
        }
        return tick(calculator, now, position, telemetry, settings);
    }
};

} // namespace

#ifdef TRENNAL_HAVE_BENCHMARK

static void BM_ThreeAxisSynthesisAllEffects(benchmark::State& state) {
    Scenario scenario;
    for (auto _ : state) {
        Forces f = scenario.step();
        benchmark::DoNotOptimize(f);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ThreeAxisSynthesisAllEffects);

BENCHMARK_MAIN();

#else

int main() {
    Scenario scenario;
    const int warmUp = 10000;
    const int runs = 1000000;
    volatile float sink = 0.0f;
    for (int i = 0; i < warmUp; ++i) {
        sink = sink + scenario.step().axis[1].force;
    }
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < runs; ++i) {
        sink = sink + scenario.step().axis[1].force;
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    const double ns = std::chrono::duration<double, std::nano>(elapsed).count() / runs;
    std::printf("three-axis synthesis, all effects active: %.1f ns per call (%d calls)\n", ns, runs);
    return 0;
}

#endif
