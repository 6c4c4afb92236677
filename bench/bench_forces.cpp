// Cost of one control-loop tick's force synthesis: the three axes with every effect active,
// each followed by the clamp, as calculateForces does it; and the same tick in the middle of
// the busiest glide (four settings fading out while a stream fades in). Prints nanoseconds.

#include "forces/commontelemetryforcecalculator.h"
#include "forces/forceramp.h"
#include "forces/settingscrossfade.h"
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

// A tick while the forces glide as far as they can at once: the settings changed five times
// within 500 ms (four sets fade) and the stream started, so the loop runs the synthesis six
// times and blends them.
struct BusiestGlide {
    Scenario scenario;
    SettingsCrossFade fade;
    Telemetry before; // what drove before the stream
    ForceRamp stream;

    BusiestGlide() {
        for (int i = 0; i < SettingsCrossFade::MaxFading; ++i) {
            EffectsSettings s = scenario.settings;
            s.axes[1].elevator_weight.total_effect_strength = 20.0f * static_cast<float>(i);
            fade.change(s, 1000 + 50 * i);
        }
        stream.restart(1000);
    }

    Forces step() {
        Forces forces = scenario.step();
        boundForces(forces, 100.0f);
        const qint64 now = 1200; // mid-glide on every call
        forces.scale(fade.currentShare(now));
        for (int i = 0; i < fade.size(); ++i) {
            Forces f = tick(scenario.calculator, scenario.now, scenario.position, scenario.telemetry,
                            fade.settings(i));
            boundForces(f, 100.0f);
            addWeighted(forces, f, fade.share(i, now));
        }
        Forces from = tick(scenario.calculator, scenario.now, scenario.position, before, scenario.settings);
        boundForces(from, 100.0f);
        return blendForces(from, forces, stream.factor(now));
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

static void BM_BusiestGlide(benchmark::State& state) {
    BusiestGlide glide;
    for (auto _ : state) {
        Forces f = glide.step();
        benchmark::DoNotOptimize(f);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BusiestGlide);

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
    BusiestGlide glide;
    const auto glideStart = std::chrono::steady_clock::now();
    for (int i = 0; i < runs / 10; ++i) {
        sink = sink + glide.step().axis[1].force;
    }
    const auto glideElapsed = std::chrono::steady_clock::now() - glideStart;
    std::printf("the same tick in the busiest glide: %.1f ns per call (%d calls)\n",
                std::chrono::duration<double, std::nano>(glideElapsed).count() / (runs / 10), runs / 10);
    return 0;
}

#endif
