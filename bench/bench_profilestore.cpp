// Times of the profile document and the profile directory: writing and reading one full
// profile, and scanning, saving and loading in a directory of many profiles.
#include "profiles/profilejson.h"
#include "profiles/profilestore.h"

#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

// Every effect active on every axis: the largest document the editor can produce.
EffectsProfile fullProfile(int index) {
    EffectsProfile profile;
    profile.resetToDefaults();
    profile.metadata.flight_data_source = Telemetry::TELEMETRY_SOURCE_DCS;
    profile.metadata.flight_module = QStringLiteral("Module %1").arg(index);
    profile.metadata.comment = QStringLiteral("bench");
    for (AxisEffectsSettings& axis : profile.effects.axes) {
        for (int type = 0; type < EffectsProfile::EffectTypeCount; ++type) {
            axis.effect(type)->active = true;
            axis.effect(type)->total_effect_strength = 0.1f * float(type + index);
        }
    }
    return profile;
}

void BM_ToDocument(benchmark::State& state) {
    const EffectsProfile profile = fullProfile(1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ProfileJson::toDocument(profile));
    }
}
BENCHMARK(BM_ToDocument);

void BM_FromDocument(benchmark::State& state) {
    const QByteArray bytes = ProfileJson::toDocument(fullProfile(1));
    EffectsProfile profile;
    for (auto _ : state) {
        ProfileJson::fromDocument(bytes, profile);
        benchmark::DoNotOptimize(profile.effects.axes[2].smart_damper.total_effect_strength);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
}
BENCHMARK(BM_FromDocument);

// A working directory of its own holding `count` full profiles.
struct Directory {
    explicit Directory(int count) {
        previous = QDir::currentPath();
        QDir::setCurrent(temporary.path());
        ProfileStore store;
        for (int i = 0; i < count; ++i) {
            store.save(fullProfile(i));
        }
    }
    ~Directory() { QDir::setCurrent(previous); }
    QTemporaryDir temporary;
    QString previous;
};

void BM_Scan(benchmark::State& state) {
    Directory directory(int(state.range(0)));
    ProfileStore store;
    for (auto _ : state) {
        store.scan();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Scan)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

void BM_SaveWithRescan(benchmark::State& state) {
    Directory directory(int(state.range(0)));
    ProfileStore store;
    const EffectsProfile profile = fullProfile(0);
    for (auto _ : state) {
        store.save(profile);
    }
}
BENCHMARK(BM_SaveWithRescan)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

void BM_AutoSelect(benchmark::State& state) {
    Directory directory(100);
    ProfileStore store;
    store.scan();
    const QString module = QStringLiteral("Module 99");
    for (auto _ : state) {
        benchmark::DoNotOptimize(store.autoSelect(Telemetry::TELEMETRY_SOURCE_DCS, module));
    }
}
BENCHMARK(BM_AutoSelect);

} // namespace

BENCHMARK_MAIN();
