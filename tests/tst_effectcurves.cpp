// The numeric tools of the force synthesis: table sine, exponent curve, range mapping, input
// fraction, attenuation curve, square-wave oscillator and the jitter generator.

#include "forces/effectcurves.h"
#include "forces/jittergenerator.h"
#include "forces/oscillator.h"
#include "records/attenuationcurve.h"

#include <QtTest>

#include <cmath>
#include <limits>

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

bool near(float actual, float expected, float tolerance = 1e-4f) {
    return std::fabs(actual - expected) <= tolerance;
}

EffectRange range(float min, float max, float exp) {
    EffectRange r;
    r.min = min;
    r.max = max;
    r.exp = exp;
    return r;
}

} // namespace

Q_DECLARE_METATYPE(EffectRange)

class TestEffectCurves : public QObject {
    Q_OBJECT

private slots:
    void sinDegTable_data();
    void sinDegTable();
    void sinDegStaysInTable();
    void cosDeg_data();
    void cosDeg();
    void shapeCurve_data();
    void shapeCurve();
    void mapRangeCurve_data();
    void mapRangeCurve();
    void fractionClamps_data();
    void fractionClamps();
    void attenuationCurveFor500And1000();
    void attenuationCurveDegenerate_data();
    void attenuationCurveDegenerate();
    void oscillatorSquareWaveAt10Hz();
    void oscillatorFirstCall_data();
    void oscillatorFirstCall();
    void oscillatorWithoutPeriod_data();
    void oscillatorWithoutPeriod();
    void oscillatorRecoversFromSpoilingJitter();
    void jitterFollowsMinimalStandardGenerator();
    void jitterIsDeterministic();
    void jitterPairs();
    void jitterSpread();
};

void TestEffectCurves::sinDegTable_data() {
    QTest::addColumn<float>("degrees");
    QTest::addColumn<float>("expected");
    QTest::newRow("0") << 0.0f << 0.0f;
    QTest::newRow("30 is exactly one half") << 30.0f << 0.5f;
    QTest::newRow("90") << 90.0f << 1.0f;
    QTest::newRow("-90") << -90.0f << -1.0f;
    QTest::newRow("270") << 270.0f << -1.0f;
    QTest::newRow("-30") << -30.0f << -0.5f;
    QTest::newRow("360 wraps to 0") << 360.0f << 0.0f;
    QTest::newRow("5 interpolates") << 5.0f << 0.0868f;
    QTest::newRow("725 is 5") << 725.0f << 0.0868f;
    QTest::newRow("-715 is 5") << -715.0f << 0.0868f;
    QTest::newRow("15 interpolates") << 15.0f << 0.2578f;
    QTest::newRow("355") << 355.0f << -0.0868f;
    QTest::newRow("tiny negative normalises to 360") << -1e-6f << 0.0f;
    QTest::newRow("smallest negative") << -std::numeric_limits<float>::denorm_min() << 0.0f;
    QTest::newRow("NaN") << kNaN << 0.0f;
    QTest::newRow("infinity") << kInf << 0.0f;
    QTest::newRow("-infinity") << -kInf << 0.0f;
}

void TestEffectCurves::sinDegTable() {
    QFETCH(float, degrees);
    QFETCH(float, expected);
    const float actual = sinDeg(degrees);
    QVERIFY2(near(actual, expected, 1e-6f), qPrintable(QString::number(actual, 'g', 9)));
}

void TestEffectCurves::sinDegStaysInTable() {
    // Exact table points and a sweep over huge and tiny angles: always inside -1..1 and equal to
    // the same angle a whole number of turns away.
    QVERIFY(sinDeg(30.0f) == 0.5f);
    QVERIFY(sinDeg(-90.0f) == -1.0f);
    QVERIFY(sinDeg(725.0f) == sinDeg(5.0f));
    for (double magnitude = 1e-9; magnitude < 1e15; magnitude *= 1.37) {
        for (float x : {static_cast<float>(magnitude), static_cast<float>(-magnitude)}) {
            const float s = sinDeg(x);
            QVERIFY2(s >= -1.0f && s <= 1.0f, qPrintable(QString::number(x, 'g', 9)));
        }
    }
    for (int degrees = -3600; degrees <= 3600; ++degrees) {
        const float s = sinDeg(static_cast<float>(degrees));
        QVERIFY(s >= -1.0f && s <= 1.0f);
        QVERIFY(near(s, sinDeg(static_cast<float>(((degrees % 360) + 360) % 360)), 1e-6f));
    }
    for (float x : {std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(), 2147483648.0f,
                    -2147483904.0f, 1.0e9f, -1.0e9f, 359.99999f, -359.99999f, -0.00001f}) {
        const float s = sinDeg(x);
        QVERIFY2(s >= -1.0f && s <= 1.0f, qPrintable(QString::number(x, 'g', 9)));
    }
}

void TestEffectCurves::cosDeg_data() {
    QTest::addColumn<float>("degrees");
    QTest::addColumn<float>("expected");
    QTest::newRow("0") << 0.0f << 1.0f;
    QTest::newRow("60") << 60.0f << 0.5f;
    QTest::newRow("90") << 90.0f << 0.0f;
    QTest::newRow("180") << 180.0f << -1.0f;
    QTest::newRow("-60") << -60.0f << 0.5f;
    QTest::newRow("20") << 20.0f << 0.9397f;
}

void TestEffectCurves::cosDeg() {
    QFETCH(float, degrees);
    QFETCH(float, expected);
    QVERIFY(near(::cosDeg(degrees), expected, 1e-6f));
}

void TestEffectCurves::shapeCurve_data() {
    QTest::addColumn<float>("t");
    QTest::addColumn<float>("e");
    QTest::addColumn<float>("expected");
    QTest::newRow("linear") << 0.5f << 0.0f << 0.5f;
    QTest::newRow("full ease-in") << 0.5f << 1.0f << 0.125f;
    QTest::newRow("full ease-out") << 0.5f << -1.0f << 0.875f;
    QTest::newRow("beyond +100 acts as +100") << 0.5f << 3.0f << 0.125f;
    QTest::newRow("beyond -100 acts as -100") << 0.5f << -3.0f << 0.875f;
    QTest::newRow("half ease-in") << 0.5f << 0.5f << 0.3125f;
    QTest::newRow("half ease-out") << 0.5f << -0.5f << 0.6875f;
    QTest::newRow("start of ease-in") << 0.0f << 1.0f << 0.0f;
    QTest::newRow("end of ease-in") << 1.0f << 1.0f << 1.0f;
    QTest::newRow("start of ease-out") << 0.0f << -1.0f << 0.0f;
    QTest::newRow("end of ease-out") << 1.0f << -1.0f << 1.0f;
    QTest::newRow("NaN exponent") << 0.5f << kNaN << 0.0f;
    QTest::newRow("NaN input") << kNaN << 0.5f << 0.0f;
}

void TestEffectCurves::shapeCurve() {
    QFETCH(float, t);
    QFETCH(float, e);
    QFETCH(float, expected);
    const float actual = shape(t, e);
    QVERIFY2(near(actual, expected, 1e-6f), qPrintable(QString::number(actual, 'g', 9)));
}

void TestEffectCurves::mapRangeCurve_data() {
    QTest::addColumn<float>("t");
    QTest::addColumn<EffectRange>("r");
    QTest::addColumn<float>("expected");
    QTest::newRow("top of linear range") << 1.0f << range(10, 20, 0) << 20.0f;
    QTest::newRow("bottom of ease-in range") << 0.0f << range(10, 20, 100) << 10.0f;
    QTest::newRow("middle of ease-in range") << 0.5f << range(10, 20, 100) << 11.25f;
    QTest::newRow("middle of ease-out range") << 0.5f << range(10, 20, -100) << 18.75f;
    QTest::newRow("falling range") << 0.5f << range(20, 10, 0) << 15.0f;
    QTest::newRow("zero-width range") << 0.7f << range(15, 15, 0) << 15.0f;
    QTest::newRow("overflowing width") << 0.5f << range(-3e38f, 3e38f, 0) << 0.0f;
    QTest::newRow("infinite bound") << 0.5f << range(0, kInf, 0) << 0.0f;
}

void TestEffectCurves::mapRangeCurve() {
    QFETCH(float, t);
    QFETCH(EffectRange, r);
    QFETCH(float, expected);
    QVERIFY(near(mapRange(t, r), expected, 1e-5f));
}

void TestEffectCurves::fractionClamps_data() {
    QTest::addColumn<float>("v");
    QTest::addColumn<float>("lo");
    QTest::addColumn<float>("hi");
    QTest::addColumn<float>("expected");
    QTest::newRow("inside") << 250.0f << 0.0f << 1000.0f << 0.25f;
    QTest::newRow("at lo") << 10.0f << 10.0f << 15.0f << 0.0f;
    QTest::newRow("at hi") << 15.0f << 10.0f << 15.0f << 1.0f;
    QTest::newRow("below") << -5.0f << 0.0f << 10.0f << 0.0f;
    QTest::newRow("above") << 50.0f << 0.0f << 10.0f << 1.0f;
    QTest::newRow("falling range") << 5.0f << 10.0f << 0.0f << 0.5f;
    QTest::newRow("zero width, inside") << 5.0f << 5.0f << 5.0f << 0.0f;
    QTest::newRow("zero width, above") << 50.0f << 5.0f << 5.0f << 0.0f;
    QTest::newRow("NaN value") << kNaN << 0.0f << 10.0f << 0.0f;
    QTest::newRow("NaN bound") << 5.0f << kNaN << 10.0f << 0.0f;
    QTest::newRow("infinite value") << kInf << 0.0f << 10.0f << 1.0f;
    QTest::newRow("infinite range") << 5.0f << -kInf << kInf << 0.0f;
}

void TestEffectCurves::fractionClamps() {
    QFETCH(float, v);
    QFETCH(float, lo);
    QFETCH(float, hi);
    QFETCH(float, expected);
    QCOMPARE(fraction(v, lo, hi), expected);
}

void TestEffectCurves::attenuationCurveFor500And1000() {
    const AttenuationCurve curve = AttenuationCurve::build(500.0f, 1000.0f);
    // c = 0.5 * 500 / 500 = 0.5, which puts every sample's x at its t.
    for (int k = 0; k <= 10; ++k) {
        const float t = k / 10.0f;
        QVERIFY(near(curve.x[k], t, 1e-6f));
        QVERIFY(near(curve.y[k], 2.0f * (1.0f - t) * t + t * t, 1e-6f));
    }
    QVERIFY(near(curve.x[5], 0.5f, 1e-6f));
    QVERIFY(near(curve.y[5], 0.75f, 1e-6f));
    QCOMPARE(curve.x[10], 1.0f);
    QCOMPARE(curve.y[10], 1.0f);
    QVERIFY(near(curve.lookup(0.5f), 0.75f, 1e-6f));
    QCOMPARE(curve.lookup(0.0f), 0.0f);
    QCOMPARE(curve.lookup(-1.0f), 0.0f);
    QCOMPARE(curve.lookup(1.0f), 1.0f);
    QCOMPARE(curve.lookup(7.0f), 1.0f);
    // Between samples 2 (0.2, 0.36) and 3 (0.3, 0.51).
    QVERIFY(near(curve.lookup(0.25f), 0.435f, 1e-5f));

    // For 400..1000 the curve leans further right (c = 1/3), still from (0,0) to (1,1).
    const AttenuationCurve wider = AttenuationCurve::build(400.0f, 1000.0f);
    QVERIFY(near(wider.x[5], 0.5f * 0.5f * (1.0f / 3.0f) * 2.0f + 0.25f, 1e-6f));
    QCOMPARE(wider.x[10], 1.0f);
    QVERIFY(wider.lookup(0.5f) > curve.lookup(0.5f));
}

void TestEffectCurves::attenuationCurveDegenerate_data() {
    QTest::addColumn<float>("start");
    QTest::addColumn<float>("end");
    QTest::addColumn<bool>("built");
    QTest::newRow("never built") << 0.0f << 0.0f << false;
    QTest::newRow("equal airspeeds") << 500.0f << 500.0f << true;
    QTest::newRow("both zero") << 0.0f << 0.0f << true;
    QTest::newRow("start zero") << 0.0f << 1000.0f << true;
    QTest::newRow("end below start") << 1000.0f << 500.0f << true;
    QTest::newRow("huge start") << 1e30f << 1000.0f << true;
    QTest::newRow("nearly equal huge") << 3e38f << -3e38f << true;
    QTest::newRow("NaN") << kNaN << 1000.0f << true;
}

void TestEffectCurves::attenuationCurveDegenerate() {
    QFETCH(float, start);
    QFETCH(float, end);
    QFETCH(bool, built);
    const AttenuationCurve curve = built ? AttenuationCurve::build(start, end) : AttenuationCurve();
    for (int k = 0; k <= 10; ++k) {
        QVERIFY(std::isfinite(curve.x[k]));
        QVERIFY(std::isfinite(curve.y[k]));
    }
    for (float x : {-kInf, -1.0f, 0.0f, 0.05f, 0.5f, 0.99f, 1.0f, 2.0f, kInf, kNaN}) {
        const float y = curve.lookup(x);
        QVERIFY2(std::isfinite(y), qPrintable(QString::number(x)));
        if (!built) {
            QCOMPARE(y, 0.0f);
        }
    }
    if (built && start == end) {
        // Equal airspeeds give the curve of c = 0: x = t^2, y = 2t - t^2.
        QVERIFY(near(curve.x[5], 0.25f, 1e-6f));
        QVERIFY(near(curve.y[5], 0.75f, 1e-6f));
    }
}

void TestEffectCurves::oscillatorSquareWaveAt10Hz() {
    // With the jitter held at 0 a 10 Hz wave has a 100 ms period: +A for its first half and -A
    // for its second, sampled every 5 ms. Each period's end draws the next two jitters, first
    // the amplitude's and then the frequency's, from the generator.
    OscillatorState state;
    JitterGenerator generator;
    JitterGenerator reference;
    int draws = 0;
    for (uint64_t now = 5; now <= 1000; now += 5) {
        const float out = oscillatorStep(state, now, 10.0f, 1.5f, generator);
        const float expected = (now % 100) < 50 ? 1.5f : -1.5f;
        QVERIFY2(out == expected, qPrintable(QStringLiteral("at %1 ms: %2").arg(now).arg(out)));
        QCOMPARE(state.lastTime, now);
        QVERIFY(state.phase >= 0.0f && state.phase < 1.0f);
        if (state.amplitudeJitter != 0.0f || state.frequencyJitter != 0.0f) {
            ++draws;
            QCOMPARE(now % 100, uint64_t(0));
            const float amplitudeJitter = reference.next();
            const float frequencyJitter = reference.next();
            QCOMPARE(state.amplitudeJitter, amplitudeJitter);
            QCOMPARE(state.frequencyJitter, frequencyJitter);
            state.amplitudeJitter = 0.0f;
            state.frequencyJitter = 0.0f;
        }
    }
    QVERIFY(draws >= 9);
}

void TestEffectCurves::oscillatorFirstCall_data() {
    QTest::addColumn<uint64_t>("now");
    QTest::addColumn<float>("phase");
    QTest::addColumn<float>("output");
    // The first call takes now modulo N + 1 (101 at 10 Hz) as the elapsed part of the period.
    QTest::newRow("250 ms") << uint64_t(250) << 0.48f << 2.0f;
    QTest::newRow("260 ms") << uint64_t(260) << 0.58f << -2.0f;
    QTest::newRow("1000 ms") << uint64_t(1000) << 0.91f << -2.0f;
    QTest::newRow("101 ms") << uint64_t(101) << 0.0f << 2.0f;
    QTest::newRow("0 ms") << uint64_t(0) << 0.0f << 2.0f;
}

void TestEffectCurves::oscillatorFirstCall() {
    QFETCH(uint64_t, now);
    QFETCH(float, phase);
    QFETCH(float, output);
    OscillatorState state;
    JitterGenerator generator;
    QCOMPARE(oscillatorStep(state, now, 10.0f, 2.0f, generator), output);
    QVERIFY(near(state.phase, phase, 1e-6f));
    QCOMPARE(state.amplitudeJitter, 0.0f);
}

void TestEffectCurves::oscillatorWithoutPeriod_data() {
    QTest::addColumn<float>("frequency");
    QTest::addColumn<float>("frequencyJitter");
    QTest::addColumn<float>("amplitude");
    QTest::newRow("0 Hz") << 0.0f << 0.0f << 2.0f;
    QTest::newRow("2000 Hz") << 2000.0f << 0.0f << 2.0f;
    QTest::newRow("1001 Hz") << 1001.0f << 0.0f << 2.0f;
    QTest::newRow("negative") << -10.0f << 0.0f << 2.0f;
    QTest::newRow("NaN") << kNaN << 0.0f << 2.0f;
    QTest::newRow("infinite") << kInf << 0.0f << 2.0f;
    QTest::newRow("period beyond float range") << 1e-40f << 0.0f << 2.0f;
    QTest::newRow("jitter of exactly -1") << 10.0f << -1.0f << 2.0f;
    QTest::newRow("jitter below -1") << 10.0f << -1.5f << 2.0f;
    QTest::newRow("jitter pushing past 1000 Hz") << 900.0f << 0.5f << 2.0f;
}

void TestEffectCurves::oscillatorWithoutPeriod() {
    QFETCH(float, frequency);
    QFETCH(float, frequencyJitter);
    QFETCH(float, amplitude);
    OscillatorState state;
    state.frequencyJitter = frequencyJitter;
    state.phase = 0.25f;
    JitterGenerator generator;
    const float out = oscillatorStep(state, 40, frequency, amplitude, generator);
    QCOMPARE(out, 0.0f);
    QVERIFY(std::isfinite(state.phase) && state.phase >= 0.0f && state.phase < 1.0f);
    QVERIFY(std::isfinite(state.frequencyJitter));
    QVERIFY(std::isfinite(state.amplitudeJitter));
}

void TestEffectCurves::oscillatorRecoversFromSpoilingJitter() {
    // A jitter that leaves a valid frequency without a whole-millisecond period silences one
    // step only: new jitters are drawn and the wave resumes.
    OscillatorState state;
    state.frequencyJitter = -1.5f;
    JitterGenerator generator;
    QCOMPARE(oscillatorStep(state, 5, 10.0f, 2.0f, generator), 0.0f);
    JitterGenerator reference;
    QCOMPARE(state.amplitudeJitter, reference.next());
    QCOMPARE(state.frequencyJitter, reference.next());
    const float amplitudeJitter = state.amplitudeJitter;
    const float out = oscillatorStep(state, 10, 10.0f, 2.0f, generator);
    QVERIFY(out != 0.0f);
    QVERIFY(near(std::fabs(out), std::fabs(2.0f * (1.0f + amplitudeJitter)), 1e-6f));

    // A frequency that has no period of its own draws nothing.
    OscillatorState silent;
    JitterGenerator untouched;
    QCOMPARE(oscillatorStep(silent, 5, 0.0f, 2.0f, untouched), 0.0f);
    QCOMPARE(silent.amplitudeJitter, 0.0f);
    QCOMPARE(untouched.uniform(), JitterGenerator().uniform());
}

void TestEffectCurves::jitterFollowsMinimalStandardGenerator() {
    // The first states of the 16807 / 2^31 - 1 generator from seed 1.
    const uint32_t states[] = {16807u,     282475249u, 1622650073u, 984943658u,  1144108930u,
                               470211272u, 101027544u, 1457850878u, 1458777923u, 2007237709u};
    JitterGenerator generator;
    for (uint32_t x : states) {
        const float expected = static_cast<float>(static_cast<double>(x - 1u) / 2147483648.0);
        QCOMPARE(generator.uniform(), expected);
    }
    // Every uniform value stays below 1, also where single precision would round up.
    JitterGenerator many;
    for (int i = 0; i < 100000; ++i) {
        const float u = many.uniform();
        QVERIFY(u >= 0.0f && u < 1.0f);
    }
}

void TestEffectCurves::jitterIsDeterministic() {
    JitterGenerator a;
    JitterGenerator b;
    for (int i = 0; i < 1000; ++i) {
        QCOMPARE(a.next(), b.next());
    }
    QCOMPARE(&JitterGenerator::instance(), &JitterGenerator::instance());
}

void TestEffectCurves::jitterPairs() {
    // From seed 1 the first pair of uniforms lies outside the unit circle and is redrawn; the
    // second pair (states 3 and 4) gives the first two normal values: v * m first, u * m kept.
    const double u = 2.0 * (1622650073.0 - 1.0) / 2147483648.0 - 1.0;
    const double v = 2.0 * (984943658.0 - 1.0) / 2147483648.0 - 1.0;
    const double s = u * u + v * v;
    const double m = std::sqrt(-2.0 * std::log(s) / s);
    JitterGenerator generator;
    QVERIFY(near(generator.next(), static_cast<float>(v * m * 0.2), 1e-5f));
    QVERIFY(near(generator.next(), static_cast<float>(u * m * 0.2), 1e-5f));

    // The second call of a pair returns the kept value without advancing the generator.
    JitterGenerator twice;
    JitterGenerator once;
    twice.next();
    twice.next();
    once.next();
    QCOMPARE(twice.uniform(), once.uniform());
}

void TestEffectCurves::jitterSpread() {
    JitterGenerator generator;
    const int count = 200000;
    double sum = 0.0;
    double squares = 0.0;
    for (int i = 0; i < count; ++i) {
        const double x = generator.next();
        QVERIFY(std::isfinite(x));
        sum += x;
        squares += x * x;
    }
    const double mean = sum / count;
    const double sd = std::sqrt(squares / count - mean * mean);
    QVERIFY2(std::fabs(mean) < 0.005, qPrintable(QString::number(mean)));
    QVERIFY2(sd > 0.195 && sd < 0.205, qPrintable(QString::number(sd)));
}

QTEST_GUILESS_MAIN(TestEffectCurves)
#include "tst_effectcurves.moc"
