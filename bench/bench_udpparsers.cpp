// Cost of turning one game datagram into a record, per game, including the worst input a
// sender can make: a 64 KiB datagram. Every poll of the telemetry worker parses at most one
// datagram per source, 50 times a second.

#include "telemetry/condor2datagram.h"
#include "telemetry/dcsdatagram.h"
#include "telemetry/shturmovikindicators.h"
#include "telemetry/xplane/xplanedatarefs.h"
#include "telemetry/xplane/xplanerref.h"

#include <benchmark/benchmark.h>

namespace {
// One datagram of each game as it arrives in flight (the test fixtures).
const QByteArray kIl2Touchdown = QByteArray::fromHex(
    "01010054830055bc00000d0000010040b54401000100a68b470200019a99c1410300016f12833b0400030000803f0000803f0000"
    "803f05000352b81e3fe17a143f00000000060001cdcc2642070001295c0f3e0800039a9999bf33336b419a99993e090002000000"
    "00000000000a00019a99993f0b00010000803f0c00010000000000");
const QByteArray kCondorInFlight = "time=12.0274821691107\r\n"
                                   "airspeed=18.2518310546875\r\n"
                                   "altitude=921.0400390625\r\n"
                                   "vario=2.94780850410461\r\n"
                                   "evario=-4.92492914199829\r\n"
                                   "nettovario=-4.11020231246948\r\n"
                                   "integrator=-5.10884189605713\r\n"
                                   "compass=269.242828369141\r\n"
                                   "slipball=-0.0443850643932819\r\n"
                                   "turnrate=-0.329691261053085\r\n"
                                   "yawstringangle=0.298072576522827\r\n"
                                   "radiofrequency=123.5\r\n"
                                   "yaw=4.69917392730713\r\n"
                                   "pitch=0.331385463476181\r\n"
                                   "bank=0.200987860560417\r\n"
                                   "quaternionx=-0.0978995338082314\r\n"
                                   "quaterniony=0.164830029010773\r\n"
                                   "quaternionz=-0.00993972364813089\r\n"
                                   "quaternionw=0.981359660625458\r\n"
                                   "ax=-3.03251528739929\r\n"
                                   "ay=0.179045662283897\r\n"
                                   "az=-3.47918820381165\r\n"
                                   "vx=20.6327610015869\r\n"
                                   "vy=-2.43534064292908\r\n"
                                   "vz=4.13383197784424\r\n"
                                   "rollrate=-0.177867025136948\r\n"
                                   "pitchrate=-0.101789727807045\r\n"
                                   "yawrate=0.0678432583808899\r\n"
                                   "gforce=0.69383991603093\r\n"
                                   "height=416.286682128906\r\n"
                                   "wheelheight=415.140686035156\r\n"
                                   "turbulencestrength=0.504481792449951\r\n"
                                   "surfaceroughness=0\r\n";

void dcsTypical(benchmark::State& state) {
    const QByteArray d = "F-16C;250;-2.5;4;1.2;1;0.5;0.25;300;1";
    for (auto _ : state) {
        benchmark::DoNotOptimize(parseDcsDatagram(d));
    }
}
BENCHMARK(dcsTypical);

void dcsLargest(benchmark::State& state) {
    const QByteArray d = QByteArray(65000, 'N') + ";1;2;3;4;5;6;7;8;9" + QByteArray(490, ';');
    for (auto _ : state) {
        benchmark::DoNotOptimize(parseDcsDatagram(d));
    }
}
BENCHMARK(dcsLargest);

void condorFixture(benchmark::State& state) {
    const QByteArray d = kCondorInFlight;
    for (auto _ : state) {
        benchmark::DoNotOptimize(parseCondor2Datagram(d));
    }
}
BENCHMARK(condorFixture);

// Condor 3 sends the same lines without slipball and turnrate.
void condor3InFlight(benchmark::State& state) {
    QByteArray d = kCondorInFlight;
    d.replace("slipball=-0.0443850643932819\r\n", "").replace("turnrate=-0.329691261053085\r\n", "");
    for (auto _ : state) {
        benchmark::DoNotOptimize(parseCondor2Datagram(d));
    }
}
BENCHMARK(condor3InFlight);

void condorLargest(benchmark::State& state) {
    QByteArray d;
    while (d.size() < 65000) {
        d += "k=1\n";
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(parseCondor2Datagram(d));
    }
}
BENCHMARK(condorLargest);

void il2Fixture(benchmark::State& state) {
    const QByteArray d = kIl2Touchdown;
    ShturmovikIndicators indicators;
    for (auto _ : state) {
        applyShturmovikDatagram(indicators, d);
        benchmark::DoNotOptimize(shturmovikRecord(indicators));
    }
}
BENCHMARK(il2Fixture);

// The most records a datagram can announce (127), each a height reading, in 64 KiB.
void il2Largest(benchmark::State& state) {
    QByteArray d(10, '\0');
    d.append(char(127));
    while (d.size() < 65000) {
        d.append("\x0a\x00\x01\x00\x00\x80\x3f", 7);
    }
    ShturmovikIndicators indicators;
    for (auto _ : state) {
        applyShturmovikDatagram(indicators, d);
        benchmark::DoNotOptimize(shturmovikRecord(indicators));
    }
}
BENCHMARK(il2Largest);

// One X-Plane answer carrying every value asked for (the flight values at 60 Hz and the aircraft's
// name, gear and engines at 4 Hz share a datagram when their times meet), then the record.
void xplaneFullAnswer(benchmark::State& state) {
    QByteArray d("RREF,");
    for (qint32 i = 0; i < XPlaneDatarefs::Count; ++i) {
        const float v = i >= XPlaneDatarefs::UiName ? 65.0f : 0.5f;
        d.append(reinterpret_cast<const char*>(&i), 4).append(reinterpret_cast<const char*>(&v), 4);
    }
    XPlaneDatarefs::Table values;
    for (auto _ : state) {
        XPlaneRref::parseAnswer(d, values);
        benchmark::DoNotOptimize(XPlaneDatarefs::record(values));
    }
}
BENCHMARK(xplaneFullAnswer);

// The largest datagram a sender can make, every pair with an index not asked for.
void xplaneLargest(benchmark::State& state) {
    QByteArray d("RREF,");
    const qint32 index = 1 << 20;
    const float v = 1.0f;
    while (d.size() < 65000) {
        d.append(reinterpret_cast<const char*>(&index), 4).append(reinterpret_cast<const char*>(&v), 4);
    }
    XPlaneDatarefs::Table values;
    for (auto _ : state) {
        benchmark::DoNotOptimize(XPlaneRref::parseAnswer(d, values));
    }
}
BENCHMARK(xplaneLargest);
} // namespace

BENCHMARK_MAIN();
