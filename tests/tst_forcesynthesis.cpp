// The per-axis force synthesis: the common calculator's effects against hand-computed values,
// the landing jolt, and calculateForces of the control object with its record selection and
// its clamp, including a randomized sweep over hostile settings and telemetry.

#include "engine/mainbackgroundthread.h"
#include "forces/centrefollower.h"
#include "forces/commontelemetryforcecalculator.h"
#include "forces/condorshaker.h"
#include "forces/effectpreview.h"
#include "forces/shturmovikshaker.h"
#include "records/effectsprofile.h"
#include "records/metatypes.h"
#include "support/fakehid.h"
#include "support/loophelpers.h"
#include "support/reportbytes.h"
#include "telemetry/telemetrythread.h"

#include <QtTest>

#include <cmath>
#include <limits>
#include <random>

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

bool near(float actual, float expected, float tolerance = 1e-3f) {
    return std::fabs(actual - expected) <= tolerance * std::max(1.0f, std::fabs(expected));
}

QString show(float value) {
    return QString::number(static_cast<double>(value), 'g', 9);
}

bool finite(const Forces& f) {
    for (const AxisForce& a : f.axis) {
        if (!std::isfinite(a.force) || !std::isfinite(a.vibration) || !std::isfinite(a.springMagnitude)) {
            return false;
        }
    }
    return true;
}

bool sameForces(const Forces& a, const Forces& b) {
    for (int i = 0; i < 3; ++i) {
        if (a.axis[i].force != b.axis[i].force || a.axis[i].vibration != b.axis[i].vibration ||
            a.axis[i].springMagnitude != b.axis[i].springMagnitude) {
            return false;
        }
    }
    return true;
}

// Every effect at its defaults, that is, switched off.
EffectsSettings defaults() {
    EffectsSettings s;
    s.resetToDefaults();
    return s;
}

// The calculator with its landing-jolt state in view.
class ProbeCalculator : public CommonTelemetryForceCalculator {
public:
    float joltMagnitude(int axis) const { return axisStates_[axis].jolt.magnitude; }
    uint64_t joltTriggerTime(int axis) const { return axisStates_[axis].jolt.triggerTime; }
};

AxisForce axisForce(CommonTelemetryForceCalculator& calculator, int axis, uint64_t now, float position,
                    const Telemetry& t, const EffectsSettings& s) {
    AxisForce f;
    calculator.calculateAxis(f, axis, now, position, t, s);
    return f;
}

LandingEvent landing(uint64_t time, float verticalSpeed, float airspeed) {
    LandingEvent e;
    e.time = time;
    e.verticalSpeed = verticalSpeed;
    e.airspeed = airspeed;
    return e;
}

PositionInput positions(float roll, float pitch, float yaw) {
    PositionInput p;
    p.roll = roll;
    p.pitch = pitch;
    p.yaw = yaw;
    return p;
}

// A busy flight state: every field the synthesis reads is set.
Telemetry busyTelemetry() {
    Telemetry t;
    t.airspeed = 600.0f;
    t.verticalSpeed = 3.0f;
    t.aileronAoa = 2.0f;
    t.aoa = 12.0f;
    t.sideslip = -4.0f;
    t.rollRate = 30.0f;
    t.gForce = 2.5f;
    t.propAirflow = 80.0f;
    t.gear = 100.0f;
    t.airbrake = 50.0f;
    t.flaps = 30.0f;
    t.onGround = true;
    return t;
}

// Every effect of the synthesis active on every axis at full strength.
EffectsSettings everythingActive() {
    EffectsSettings s = defaults();
    for (AxisEffectsSettings& a : s.axes) {
        for (int type = 0; type < 13; ++type) {
            a.effect(type)->active = true;
            a.effect(type)->total_effect_strength = 100.0f;
        }
        a.airflow_spring.airspeed_force = 100.0f;
        a.airflow_spring.thrust_force = 50.0f;
        a.airflow_spring.local_aoa_influence_strength = 50.0f;
    }
    return s;
}

// One tick of the control object's loop, with its device links idle before and after, so that
// the test sees what the devices were sent.
void tickLoop(MainBackgroundThread& bg) {
    for (int i = 0; i < 2; ++i) {
        for (DeviceLink::Device d : {DeviceLink::Joystick, DeviceLink::Rudder}) {
            bg.link(d)->waitUntilIdle();
        }
        if (i == 0) {
            bg.tick();
        }
    }
}

// A control object whose run clock reads `clockMs`; its loop is stopped so that only the test
// computes forces.
void startStopped(MainBackgroundThread& bg, qint64& clockMs) {
    bg.setClock([&clockMs] { return clockMs; });
    bg.start();
    bg.shutDown();
}

} // namespace

class TestForceSynthesis : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void allEffectsInactive_data();
    void allEffectsInactive();
    void simpleSpring_data();
    void simpleSpring();
    void airflowSpring_data();
    void airflowSpring();
    void airflowSpringMagnitudeReplacesSimpleSpring();
    void elevatorWeight_data();
    void elevatorWeight();
    void levelShakers_data();
    void levelShakers();
    void aoaShaker_data();
    void aoaShaker();
    void joltAmplitude_data();
    void joltAmplitude();
    void landingStrength_data();
    void landingStrength();
    void secondLanding_data();
    void secondLanding();
    void gameShakers_data();
    void gameShakers();
    void previewMatchesSynthesis_data();
    void previewMatchesSynthesis();
    void previewCurvesSpanTheirSpeeds();
    void calculateForcesClampsAndKeepsSign();
    void recordSelection();
    void editorExtremes_data();
    void editorExtremes();
    void randomizedSweep();
    void centreFollowsAndGlides_data();
    void centreFollowsAndGlides();
    void trimHoldsTheStick_data();
    void trimHoldsTheStick();
};

void TestForceSynthesis::initTestCase() {
    registerMetaTypes();
    // No devices: the control object computes forces but writes nothing.
    FakeHid::reset();
}

void TestForceSynthesis::allEffectsInactive_data() {
    QTest::addColumn<Telemetry>("telemetry");
    QTest::addColumn<float>("position");
    QTest::newRow("zero flight state") << Telemetry() << 0.7f;
    QTest::newRow("busy flight state") << busyTelemetry() << -1.0f;
    Telemetry hostile = busyTelemetry();
    hostile.airspeed = kNaN;
    hostile.gForce = kInf;
    hostile.aoa = -kInf;
    QTest::newRow("non-finite flight state") << hostile << 0.3f;
}

void TestForceSynthesis::allEffectsInactive() {
    QFETCH(Telemetry, telemetry);
    QFETCH(float, position);
    // Strong parameters everywhere, but nothing switched on.
    EffectsSettings s = everythingActive();
    for (AxisEffectsSettings& a : s.axes) {
        for (int type = 0; type < 13; ++type) {
            a.effect(type)->active = false;
        }
    }
    ProbeCalculator calculator;
    calculator.land(landing(10, 20.0f, 1000.0f), s);
    for (int axis = 0; axis < 3; ++axis) {
        QCOMPARE(calculator.joltMagnitude(axis), 0.0f);
        for (uint64_t now = 10; now < 500; now += 5) {
            const AxisForce f = axisForce(calculator, axis, now, position, telemetry, s);
            QCOMPARE(f.force, 0.0f);
            QCOMPARE(f.vibration, 0.0f);
            QCOMPARE(f.springMagnitude, 0.0f);
        }
    }
}

void TestForceSynthesis::simpleSpring_data() {
    QTest::addColumn<int>("axis");
    QTest::addColumn<float>("strength");
    QTest::addColumn<float>("position");
    QTest::addColumn<float>("force");
    QTest::addColumn<float>("magnitude");
    QTest::newRow("50 % at 0.4") << 1 << 50.0f << 0.4f << -20.0f << 20.0f;
    QTest::newRow("ailerons full left pushes right") << 0 << 100.0f << -1.0f << 100.0f << 100.0f;
    QTest::newRow("rudder") << 2 << 30.0f << 0.5f << -15.0f << 15.0f;
    QTest::newRow("centred") << 1 << 100.0f << 0.0f << 0.0f << 0.0f;
    QTest::newRow("past full deflection, before the clamp") << 1 << 100.0f << 1.5f << -150.0f << 150.0f;
    QTest::newRow("NaN position reads as centred") << 1 << 100.0f << kNaN << 0.0f << 0.0f;
}

void TestForceSynthesis::simpleSpring() {
    QFETCH(int, axis);
    QFETCH(float, strength);
    QFETCH(float, position);
    QFETCH(float, force);
    QFETCH(float, magnitude);
    EffectsSettings s = defaults();
    s.axes[axis].simple_spring.active = true;
    s.axes[axis].simple_spring.total_effect_strength = strength;
    CommonTelemetryForceCalculator calculator;
    const AxisForce f = axisForce(calculator, axis, 100, position, busyTelemetry(), s);
    QVERIFY2(near(f.force, force), qPrintable(show(f.force)));
    QVERIFY2(near(f.springMagnitude, magnitude), qPrintable(show(f.springMagnitude)));
    QCOMPARE(f.vibration, 0.0f);
    // The other axes feel nothing of it.
    for (int other = 0; other < 3; ++other) {
        if (other != axis) {
            QCOMPARE(axisForce(calculator, other, 100, position, busyTelemetry(), s).force, 0.0f);
        }
    }
}

void TestForceSynthesis::airflowSpring_data() {
    QTest::addColumn<int>("axis");
    QTest::addColumn<float>("Fa");
    QTest::addColumn<float>("Ft");
    QTest::addColumn<float>("K");
    QTest::addColumn<float>("L");
    QTest::addColumn<float>("G");
    QTest::addColumn<float>("p");
    QTest::addColumn<float>("v");
    QTest::addColumn<float>("P");
    QTest::addColumn<float>("angle");
    QTest::addColumn<float>("force");
    QTest::addColumn<float>("magnitude");
    // Start 500 and end 1000 km/h throughout. Columns: axis, Fa, Ft, K, L, G, p, v, P, the
    // axis's local angle, then the expected force and spring magnitude.
    QTest::newRow("at the start airspeed")
        << 1 << 100.f << 0.f << 100.f << 0.f << 100.f << 1.f << 500.f << 0.f << 0.f << -50.f << 50.f;
    QTest::newRow("at the end airspeed")
        << 1 << 100.f << 0.f << 100.f << 0.f << 100.f << 1.f << 1000.f << 0.f << 0.f << -100.f << 100.f;
    QTest::newRow("Fa 200 at the end airspeed, before the clamp")
        << 1 << 200.f << 0.f << 100.f << 0.f << 100.f << 1.f << 1000.f << 0.f << 0.f << -200.f << 200.f;
    QTest::newRow("below the start airspeed")
        << 1 << 100.f << 0.f << 100.f << 0.f << 100.f << 1.f << 250.f << 0.f << 0.f << -12.5f << 12.5f;
    QTest::newRow("halfway, fully attenuated")
        << 1 << 100.f << 0.f << 100.f << 0.f << 100.f << 1.f << 750.f << 0.f << 0.f << -87.5f << 87.5f;
    QTest::newRow("halfway, not attenuated")
        << 1 << 100.f << 0.f << 0.f << 0.f << 100.f << 1.f << 750.f << 0.f << 0.f << -112.5f << 112.5f;
    QTest::newRow("halfway, half attenuated")
        << 1 << 100.f << 0.f << 50.f << 0.f << 100.f << 1.f << 750.f << 0.f << 0.f << -100.f << 100.f;
    QTest::newRow("K 0 far above the end: force stops at w 500, magnitude does not")
        << 1 << 100.f << 0.f << 0.f << 0.f << 100.f << 1.f << 2000.f << 0.f << 0.f << -500.f << 800.f;
    QTest::newRow("half deflection") << 1 << 100.f << 0.f << 100.f << 0.f << 100.f << 0.5f << 500.f << 0.f
                                     << 0.f << -25.78f << 50.f;
    QTest::newRow("past full deflection acts as full")
        << 1 << 100.f << 0.f << 100.f << 0.f << 100.f << 2.f << 500.f << 0.f << 0.f << -50.f << 50.f;
    QTest::newRow("pulled back pushes forward")
        << 1 << 100.f << 0.f << 100.f << 0.f << 100.f << -1.f << 500.f << 0.f << 0.f << 50.f << 50.f;
    QTest::newRow("half strength") << 1 << 100.f << 0.f << 100.f << 0.f << 50.f << 1.f << 500.f << 0.f << 0.f
                                   << -25.f << 25.f;
    QTest::newRow("propeller wash at standstill")
        << 1 << 0.f << 100.f << 100.f << 0.f << 100.f << 1.f << 0.f << 100.f << 0.f << -50.f << 50.f;
    QTest::newRow("propeller wash at half thrust, start airspeed")
        << 1 << 0.f << 100.f << 100.f << 0.f << 100.f << 1.f << 500.f << 50.f << 0.f << -12.5f << 12.5f;
    QTest::newRow("propeller wash turns negative above the end airspeed")
        << 1 << 0.f << 100.f << 100.f << 0.f << 100.f << 1.f << 2000.f << 100.f << 0.f << 50.f << -50.f;
    QTest::newRow("airspeed and wash together")
        << 1 << 100.f << 100.f << 100.f << 0.f << 100.f << 1.f << 500.f << 100.f << 0.f << -75.f << 75.f;
    QTest::newRow("airspeed and wash at half deflection")
        << 1 << 100.f << 100.f << 100.f << 0.f << 100.f << 0.5f << 500.f << 100.f << 0.f << -38.67f << 75.f;
    QTest::newRow("NaN airspeed reads as standstill")
        << 1 << 100.f << 100.f << 100.f << 0.f << 100.f << 1.f << kNaN << 100.f << 0.f << -50.f << 50.f;
    QTest::newRow("elevator angle of attack")
        << 1 << 100.f << 0.f << 100.f << 100.f << 100.f << 1.f << 500.f << 0.f << 10.f << -41.62363f << 50.f;
    QTest::newRow("aileron angle at half influence")
        << 0 << 100.f << 0.f << 100.f << 50.f << 100.f << 1.f << 500.f << 0.f << 10.f << -45.811815f << 50.f;
    QTest::newRow("sideslip beyond 90 degrees is taken whole")
        << 2 << 100.f << 0.f << 100.f << 100.f << 100.f << 1.f << 500.f << 0.f << 120.f << 100.f << 50.f;
}

void TestForceSynthesis::airflowSpring() {
    QFETCH(int, axis);
    QFETCH(float, Fa);
    QFETCH(float, Ft);
    QFETCH(float, K);
    QFETCH(float, L);
    QFETCH(float, G);
    QFETCH(float, p);
    QFETCH(float, v);
    QFETCH(float, P);
    QFETCH(float, angle);
    QFETCH(float, force);
    QFETCH(float, magnitude);
    EffectsSettings s = defaults();
    AirflowSpringSettings& spring = s.axes[axis].airflow_spring;
    spring.active = true;
    spring.total_effect_strength = G;
    spring.airspeed_force = Fa;
    spring.thrust_force = Ft;
    spring.attenuation_strength = K;
    spring.local_aoa_influence_strength = L;
    spring.setAttenuationAirspeeds(500.0f, 1000.0f);
    Telemetry t;
    t.airspeed = v;
    t.propAirflow = P;
    // Only the axis's own element of the local angle triple counts: the other two get a
    // large angle that would show if it were read.
    t.aileronAoa = axis == 0 ? angle : 60.0f;
    t.aoa = axis == 1 ? angle : 60.0f;
    t.sideslip = axis == 2 ? angle : 60.0f;
    CommonTelemetryForceCalculator calculator;
    const AxisForce f = axisForce(calculator, axis, 100, p, t, s);
    QVERIFY2(near(f.force, force), qPrintable(show(f.force)));
    QVERIFY2(near(f.springMagnitude, magnitude), qPrintable(show(f.springMagnitude)));
    QCOMPARE(f.vibration, 0.0f);
}

void TestForceSynthesis::airflowSpringMagnitudeReplacesSimpleSpring() {
    EffectsSettings s = defaults();
    s.axes[1].simple_spring.active = true;
    s.axes[1].simple_spring.total_effect_strength = 50.0f;
    AirflowSpringSettings& spring = s.axes[1].airflow_spring;
    spring.active = true;
    spring.total_effect_strength = 100.0f;
    spring.airspeed_force = 100.0f;
    Telemetry t;
    t.airspeed = 500.0f;
    CommonTelemetryForceCalculator calculator;
    // Both forces add up (-20 and -50 * sin 12 / sin 30); the magnitude is the airflow spring's.
    const AxisForce f = axisForce(calculator, 1, 100, 0.4f, t, s);
    QVERIFY2(near(f.force, -20.0f - 50.0f * 0.20728f / 0.5f), qPrintable(show(f.force)));
    QVERIFY(near(f.springMagnitude, 50.0f));
}

void TestForceSynthesis::elevatorWeight_data() {
    QTest::addColumn<int>("axis");
    QTest::addColumn<float>("strength");
    QTest::addColumn<float>("gForce");
    QTest::addColumn<float>("force");
    QTest::newRow("100 % at 1 G") << 1 << 100.0f << 1.0f << -10.0f;
    QTest::newRow("on whichever axis has it") << 0 << 100.0f << 1.0f << -10.0f;
    QTest::newRow("negative G at half strength") << 2 << 50.0f << -2.0f << 10.0f;
    QTest::newRow("4.5 G") << 1 << 100.0f << 4.5f << -45.0f;
    QTest::newRow("NaN G reads as 0") << 1 << 100.0f << kNaN << 0.0f;
    QTest::newRow("infinite G reads as 0") << 1 << 100.0f << kInf << 0.0f;
}

void TestForceSynthesis::elevatorWeight() {
    QFETCH(int, axis);
    QFETCH(float, strength);
    QFETCH(float, gForce);
    QFETCH(float, force);
    EffectsSettings s = defaults();
    s.axes[axis].elevator_weight.active = true;
    s.axes[axis].elevator_weight.total_effect_strength = strength;
    Telemetry t;
    t.gForce = gForce;
    CommonTelemetryForceCalculator calculator;
    const AxisForce f = axisForce(calculator, axis, 100, 0.8f, t, s);
    QVERIFY2(near(f.force, force), qPrintable(show(f.force)));
    QCOMPARE(f.springMagnitude, 0.0f);
}

void TestForceSynthesis::levelShakers_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<float>("level");
    QTest::addColumn<float>("airspeed");
    QTest::addColumn<float>("amplitude");
    QTest::addColumn<int>("positiveSamples");
    const int ground = EffectsProfile::EFFECT_TYPE_ON_GROUND_ROLLING_SHAKER;
    const int gear = EffectsProfile::EFFECT_TYPE_EXTENDED_GEAR_SHAKER;
    const int flaps = EffectsProfile::EFFECT_TYPE_EXTENDED_FLAPS_SHAKER;
    const int airbrake = EffectsProfile::EFFECT_TYPE_EXTENDED_AIRBRAKES_SHAKER;
    // Speed range 0..1000 km/h and frequency range 10..20 Hz, both linear. At 20 Hz the first
    // five 5 ms samples of the period are positive, at 15 Hz the first six.
    QTest::newRow("on ground at speed max") << ground << 100.0f << 1000.0f << 2.0f << 5;
    QTest::newRow("on ground above speed max") << ground << 100.0f << 1500.0f << 2.0f << 5;
    QTest::newRow("on ground at half speed") << ground << 100.0f << 500.0f << 1.0f << 6;
    QTest::newRow("on ground standing still") << ground << 100.0f << 0.0f << 0.0f << 0;
    QTest::newRow("airborne") << ground << 0.0f << 1000.0f << 0.0f << 0;
    QTest::newRow("gear down") << gear << 100.0f << 1000.0f << 2.0f << 5;
    QTest::newRow("gear half out") << gear << 50.0f << 1000.0f << 1.0f << 5;
    QTest::newRow("gear NaN") << gear << kNaN << 1000.0f << 0.0f << 0;
    QTest::newRow("flaps out") << flaps << 100.0f << 1000.0f << 2.0f << 5;
    QTest::newRow("airbrake out at half speed") << airbrake << 100.0f << 500.0f << 1.0f << 6;
}

void TestForceSynthesis::levelShakers() {
    QFETCH(int, type);
    QFETCH(float, level);
    QFETCH(float, airspeed);
    QFETCH(float, amplitude);
    QFETCH(int, positiveSamples);
    EffectsSettings s = defaults();
    s.axes[1].effect(type)->active = true;
    s.axes[1].effect(type)->total_effect_strength = 100.0f;
    Telemetry t;
    t.airspeed = airspeed;
    t.gear = type == EffectsProfile::EFFECT_TYPE_EXTENDED_GEAR_SHAKER ? level : 100.0f;
    t.flaps = type == EffectsProfile::EFFECT_TYPE_EXTENDED_FLAPS_SHAKER ? level : 100.0f;
    t.airbrake = type == EffectsProfile::EFFECT_TYPE_EXTENDED_AIRBRAKES_SHAKER ? level : 100.0f;
    t.onGround = type == EffectsProfile::EFFECT_TYPE_ON_GROUND_ROLLING_SHAKER ? level > 0.0f : true;
    CommonTelemetryForceCalculator calculator;
    // The first period runs without jitter, so every sample is exactly +A or -A.
    for (int i = 1; i <= 9; ++i) {
        const AxisForce f = axisForce(calculator, 1, 5 * i, 0.5f, t, s);
        const float expected = i <= positiveSamples ? amplitude : -amplitude;
        QVERIFY2(f.vibration == expected,
                 qPrintable(QStringLiteral("sample %1: %2").arg(i).arg(f.vibration)));
        QCOMPARE(f.force, 0.0f);
        // The shaker lives on its own axis only.
        QCOMPARE(axisForce(calculator, 0, 5 * i, 0.5f, t, s).vibration, 0.0f);
    }
}

void TestForceSynthesis::aoaShaker_data() {
    QTest::addColumn<float>("airspeed");
    QTest::addColumn<float>("aoa");
    QTest::addColumn<float>("amplitude");
    QTest::addColumn<int>("positiveSamples");
    // AoA range 10..15 degrees, speed 0..1000 km/h, frequency 10..20 Hz, all linear.
    QTest::newRow("speed and aoa at max") << 1000.0f << 15.0f << 2.0f << 5;
    QTest::newRow("beyond both max") << 1800.0f << 40.0f << 2.0f << 5;
    QTest::newRow("aoa at min") << 1000.0f << 10.0f << 0.0f << 0;
    QTest::newRow("aoa below min") << 1000.0f << 2.0f << 0.0f << 0;
    QTest::newRow("aoa halfway") << 1000.0f << 12.5f << 1.0f << 5;
    QTest::newRow("half speed") << 500.0f << 15.0f << 1.0f << 6;
    QTest::newRow("standing still") << 0.0f << 15.0f << 0.0f << 0;
    QTest::newRow("aoa NaN") << 1000.0f << kNaN << 0.0f << 0;
}

void TestForceSynthesis::aoaShaker() {
    QFETCH(float, airspeed);
    QFETCH(float, aoa);
    QFETCH(float, amplitude);
    QFETCH(int, positiveSamples);
    EffectsSettings s = defaults();
    s.axes[1].aoa_shaker.active = true;
    s.axes[1].aoa_shaker.total_effect_strength = 100.0f;
    Telemetry t;
    t.airspeed = airspeed;
    t.aoa = aoa;
    CommonTelemetryForceCalculator calculator;
    for (int i = 1; i <= 9; ++i) {
        const AxisForce f = axisForce(calculator, 1, 5 * i, 0.0f, t, s);
        const float expected = i <= positiveSamples ? amplitude : -amplitude;
        QVERIFY2(f.vibration == expected,
                 qPrintable(QStringLiteral("sample %1: %2").arg(i).arg(f.vibration)));
    }
}

void TestForceSynthesis::joltAmplitude_data() {
    QTest::addColumn<float>("strength");
    QTest::addColumn<uint64_t>("now");
    QTest::addColumn<float>("amplitude");
    // A landing at 1000 ms arms the jolt with magnitude 1; effect time 250 ms.
    QTest::newRow("at the landing itself") << 100.0f << uint64_t(1000) << 0.0f;
    QTest::newRow("125 ms after") << 100.0f << uint64_t(1125) << 1.0f;
    QTest::newRow("125 ms after at half strength") << 50.0f << uint64_t(1125) << 0.5f;
    QTest::newRow("200 ms after") << 100.0f << uint64_t(1200) << 0.4f;
    QTest::newRow("249 ms after") << 100.0f << uint64_t(1249) << 0.008f;
    QTest::newRow("250 ms after") << 100.0f << uint64_t(1250) << 0.0f;
    QTest::newRow("long after") << 100.0f << uint64_t(90000) << 0.0f;
    QTest::newRow("before the landing") << 100.0f << uint64_t(999) << 0.0f;
}

void TestForceSynthesis::joltAmplitude() {
    QFETCH(float, strength);
    QFETCH(uint64_t, now);
    QFETCH(float, amplitude);
    EffectsSettings s = defaults();
    s.axes[1].landing_jolt.active = true;
    s.axes[1].landing_jolt.total_effect_strength = strength;
    ProbeCalculator calculator;
    calculator.land(landing(1000, 10.0f, 1000.0f), s);
    QCOMPARE(calculator.joltMagnitude(1), 1.0f);
    // A fresh oscillator's first step has no jitter: the output is exactly +/- the amplitude.
    const AxisForce f = axisForce(calculator, 1, now, 0.0f, Telemetry(), s);
    QVERIFY2(near(std::fabs(f.vibration), amplitude, 1e-5f), qPrintable(show(f.vibration)));
    QCOMPARE(f.force, 0.0f);
}

void TestForceSynthesis::landingStrength_data() {
    QTest::addColumn<float>("verticalSpeed");
    QTest::addColumn<float>("airspeed");
    QTest::addColumn<float>("speedExp");
    QTest::addColumn<float>("magnitude");
    // Speed range 0..1000 km/h.
    QTest::newRow("no sink rate") << 0.0f << 1000.0f << 0.0f << 0.0f;
    QTest::newRow("climbing away") << -5.0f << 1000.0f << 0.0f << 0.0f;
    QTest::newRow("10 m/s at speed max") << 10.0f << 1000.0f << 0.0f << 1.0f;
    QTest::newRow("20 m/s above speed max") << 20.0f << 2000.0f << 0.0f << 1.0f;
    QTest::newRow("5 m/s at speed max") << 5.0f << 1000.0f << 0.0f << 0.5f;
    QTest::newRow("10 m/s at half speed") << 10.0f << 500.0f << 0.0f << 0.5f;
    QTest::newRow("5 m/s at half speed") << 5.0f << 500.0f << 0.0f << 0.25f;
    QTest::newRow("half speed, ease-in") << 10.0f << 500.0f << 100.0f << 0.125f;
    QTest::newRow("NaN sink rate") << kNaN << 1000.0f << 0.0f << 0.0f;
    QTest::newRow("NaN airspeed") << 10.0f << kNaN << 0.0f << 0.0f;
}

void TestForceSynthesis::landingStrength() {
    QFETCH(float, verticalSpeed);
    QFETCH(float, airspeed);
    QFETCH(float, speedExp);
    QFETCH(float, magnitude);
    EffectsSettings s = defaults();
    s.axes[0].landing_jolt.active = true;
    s.axes[0].landing_jolt.speed.exp = speedExp;
    s.axes[2].landing_jolt.active = true;
    s.axes[2].landing_jolt.speed.exp = speedExp;
    ProbeCalculator calculator;
    calculator.land(landing(700, verticalSpeed, airspeed), s);
    for (int axis : {0, 2}) {
        QVERIFY2(near(calculator.joltMagnitude(axis), magnitude, 1e-6f),
                 qPrintable(show(calculator.joltMagnitude(axis))));
        QCOMPARE(calculator.joltTriggerTime(axis), magnitude > 0.0f ? uint64_t(700) : uint64_t(0));
    }
    // The elevator's jolt is off and stays unarmed.
    QCOMPARE(calculator.joltMagnitude(1), 0.0f);
    QCOMPARE(calculator.joltTriggerTime(1), uint64_t(0));
}

void TestForceSynthesis::secondLanding_data() {
    QTest::addColumn<uint64_t>("delay");
    QTest::addColumn<float>("verticalSpeed");
    QTest::addColumn<bool>("replaces");
    // The first landing (magnitude 1) leaves 1 - delay / 250 of itself.
    QTest::newRow("100 ms later, weaker than 0.6") << uint64_t(100) << 5.9f << false;
    QTest::newRow("100 ms later, stronger than 0.6") << uint64_t(100) << 6.1f << true;
    QTest::newRow("200 ms later, 0.3 beats 0.2") << uint64_t(200) << 3.0f << true;
    QTest::newRow("200 ms later, 0.1 does not") << uint64_t(200) << 1.0f << false;
    QTest::newRow("after the first has ended") << uint64_t(250) << 1.0f << true;
    QTest::newRow("same instant, weaker") << uint64_t(0) << 9.0f << false;
}

void TestForceSynthesis::secondLanding() {
    QFETCH(uint64_t, delay);
    QFETCH(float, verticalSpeed);
    QFETCH(bool, replaces);
    EffectsSettings s = defaults();
    s.axes[1].landing_jolt.active = true;
    s.axes[1].landing_jolt.total_effect_strength = 100.0f;
    ProbeCalculator calculator;
    calculator.land(landing(5000, 10.0f, 1000.0f), s);
    calculator.land(landing(5000 + delay, verticalSpeed, 1000.0f), s);
    if (replaces) {
        QVERIFY(near(calculator.joltMagnitude(1), verticalSpeed / 10.0f, 1e-6f));
        QCOMPARE(calculator.joltTriggerTime(1), 5000 + delay);
    } else {
        QCOMPARE(calculator.joltMagnitude(1), 1.0f);
        QCOMPARE(calculator.joltTriggerTime(1), uint64_t(5000));
    }
}

// The panels' curves against the synthesis at the same flight state: the spring's force at full
// deflection, a shaker's amplitude (the first half period of a fresh oscillator is exactly
// +A) and its frequency (the first sign change comes after half a period).
// IL-2's and Condor's own shaking on the elevator axis at 100 %. From 1000 ms on, IL-2 shots come
// every 20 ms until `shotsUntil` and a hit at `hitAt`; `value1` (IL-2's buffet amplitude, Condor's
// turbulence) drops to 0 at `endsAt`. `amplitude` is the peak expected in the 100 ms from `window`.
void TestForceSynthesis::gameShakers_data() {
    QTest::addColumn<int>("game");
    QTest::addColumn<float>("value0");
    QTest::addColumn<float>("value1");
    QTest::addColumn<int>("shotsUntil");
    QTest::addColumn<int>("hitAt");
    QTest::addColumn<int>("endsAt");
    QTest::addColumn<int>("window");
    QTest::addColumn<float>("amplitude");
    QTest::newRow("IL-2 buffet 24 Hz at 0.3: full") << 3 << 24.0f << 0.3f << 0 << 0 << 0 << 1000 << 2.0f;
    QTest::newRow("IL-2 light buffet 0.05 is felt")
        << 3 << 24.0f << 0.05f << 0 << 0 << 0 << 1000 << 2.0f * std::sqrt(0.05f / 0.3f);
    QTest::newRow("IL-2 buffet ends") << 3 << 24.0f << 0.2f << 0 << 0 << 1000 << 1050 << 0.0f;
    QTest::newRow("IL-2 gun burst") << 3 << 0.0f << 0.0f << 1400 << 0 << 0 << 1300 << 1.5f;
    QTest::newRow("IL-2 gun burst over 0.2 s after the last shot")
        << 3 << 0.0f << 0.0f << 1400 << 0 << 0 << 1600 << 0.0f;
    QTest::newRow("IL-2 hit kick") << 3 << 0.0f << 0.0f << 0 << 1000 << 0 << 1000 << 2.0f;
    QTest::newRow("IL-2 hit kick over") << 3 << 0.0f << 0.0f << 0 << 1000 << 0 << 1200 << 0.0f;
    QTest::newRow("Condor turbulence zero") << 5 << 0.0f << 0.0f << 0 << 0 << 0 << 1000 << 0.0f;
    QTest::newRow("Condor turbulence strong") << 5 << 0.0f << 1.04f << 0 << 0 << 0 << 1000 << 2.0f;
    QTest::newRow("Condor turbulence ends") << 5 << 0.0f << 0.8f << 0 << 0 << 1000 << 1050 << 0.0f;
}

void TestForceSynthesis::gameShakers() {
    QFETCH(int, game);
    QFETCH(float, value0);
    QFETCH(float, value1);
    QFETCH(int, shotsUntil);
    QFETCH(int, hitAt);
    QFETCH(int, endsAt);
    QFETCH(int, window);
    QFETCH(float, amplitude);
    EffectsSettings s = defaults();
    s.axes[1].il2_shaker.active = true;
    s.axes[1].il2_shaker.total_effect_strength = 100.0f;
    s.axes[1].condor_shaker.active = true;
    s.axes[1].condor_shaker.total_effect_strength = 100.0f;
    ShturmovikShaker il2;
    CondorShaker condor;
    ShturmovikTelemetry record;
    record.gunShots = 4000000000u; // counts from earlier streams set nothing off
    Condor2Telemetry glider;
    float peak = 0.0f;
    for (int t = 900; t < window + 100; t += 5) {
        if (t % 20 == 0) {
            const float v1 = endsAt > 0 && t >= endsAt ? 0.0f : value1;
            record.indicator9Value0 = value0;
            record.indicator9Value1 = v1;
            glider.line31Value = v1;
            record.gunShots += (t >= 1000 && t <= shotsUntil) ? 1 : 0;
            record.hits += t == hitAt ? 1 : 0;
        }
        Forces f;
        if (game == 3) {
            il2.addTo(f, uint64_t(t), record, s);
        } else {
            condor.addTo(f, uint64_t(t), glider, s);
        }
        QCOMPARE(f.axis[0].vibration, 0.0f); // only where the effect is active
        QVERIFY(std::isfinite(f.axis[1].vibration));
        if (t >= window) {
            peak = std::max(peak, std::fabs(f.axis[1].vibration));
        }
    }
    // The jitter moves each period's amplitude a little.
    QVERIFY2(amplitude == 0.0f ? peak == 0.0f : (peak > 0.6f * amplitude && peak < 1.7f * amplitude),
             qPrintable(show(peak)));
}

void TestForceSynthesis::previewMatchesSynthesis_data() {
    QTest::addColumn<QString>("effect");
    QTest::addColumn<float>("airspeed");
    QTest::addColumn<float>("thrust");
    QTest::addColumn<float>("value");     // force, or amplitude
    QTest::addColumn<float>("frequency"); // Hz; unused for the spring
    // Spring: Fa 100, Ft 100, G 100, attenuation 500..1000 km/h at 100 %.
    QTest::newRow("spring at standstill") << "spring" << 0.0f << 0.0f << 0.0f << 0.0f;
    QTest::newRow("spring below start") << "spring" << 250.0f << 0.0f << 12.5f << 0.0f;
    QTest::newRow("spring at start") << "spring" << 500.0f << 0.0f << 50.0f << 0.0f;
    QTest::newRow("spring halfway") << "spring" << 750.0f << 0.0f << 87.5f << 0.0f;
    QTest::newRow("spring at end") << "spring" << 1000.0f << 0.0f << 100.0f << 0.0f;
    QTest::newRow("spring at start, full thrust") << "spring" << 500.0f << 100.0f << 75.0f << 0.0f;
    QTest::newRow("spring past the end") << "spring" << 1500.0f << 0.0f << 100.0f << 0.0f;
    // Shakers: strength 100, speed 0..1000 km/h, frequency 10..20 Hz, linear.
    QTest::newRow("gear at half speed") << "gear" << 500.0f << 0.0f << 1.0f << 15.0f;
    QTest::newRow("gear at full speed") << "gear" << 1000.0f << 0.0f << 2.0f << 20.0f;
    QTest::newRow("gear past full speed") << "gear" << 1500.0f << 0.0f << 2.0f << 20.0f;
    QTest::newRow("ground at a quarter") << "ground" << 250.0f << 0.0f << 0.5f << 12.5f;
    QTest::newRow("aoa at half speed") << "aoa" << 500.0f << 0.0f << 1.0f << 15.0f;
    QTest::newRow("aoa at full speed") << "aoa" << 1000.0f << 0.0f << 2.0f << 20.0f;
    // Landing jolt: a hard landing at the airspeed, at touch-down.
    QTest::newRow("jolt at half speed") << "jolt" << 500.0f << 0.0f << 1.0f << 15.0f;
    QTest::newRow("jolt at full speed") << "jolt" << 1000.0f << 0.0f << 2.0f << 20.0f;
    QTest::newRow("jolt at standstill") << "jolt" << 0.0f << 0.0f << 0.0f << 10.0f;
}

void TestForceSynthesis::previewMatchesSynthesis() {
    QFETCH(QString, effect);
    QFETCH(float, airspeed);
    QFETCH(float, thrust);
    QFETCH(float, value);
    QFETCH(float, frequency);
    EffectsSettings s = defaults();
    Telemetry t;
    t.airspeed = airspeed;
    t.propAirflow = thrust;
    CommonTelemetryForceCalculator calculator;
    if (effect == "spring") {
        AirflowSpringSettings& spring = s.axes[0].airflow_spring;
        spring.active = true;
        spring.total_effect_strength = 100.0f;
        spring.airspeed_force = 100.0f;
        spring.thrust_force = 100.0f;
        spring.attenuation_strength = 100.0f;
        spring.setAttenuationAirspeeds(500.0f, 1000.0f);
        const float preview = airflowSpringFullDeflectionForce(spring, airspeed, thrust);
        QVERIFY2(near(preview, value), qPrintable(show(preview)));
        // The loop's force at full deflection, clamped as sent, pushes back by as much.
        const float sent = std::clamp(axisForce(calculator, 0, 100, 1.0f, t, s).force, -100.0f, 100.0f);
        QCOMPARE(preview, -sent);
        return;
    }
    ShakerDrive drive;
    if (effect == "jolt") {
        JoltSettings& jolt = s.axes[1].landing_jolt;
        jolt.active = true;
        jolt.total_effect_strength = 100.0f;
        const ShakerCurves c = joltCurves(jolt, airspeed, 2);
        QVERIFY2(near(static_cast<float>(c.amplitude.last().y()), value),
                 qPrintable(show(c.amplitude.last().y())));
        QVERIFY2(near(static_cast<float>(c.frequency.last().y()), frequency),
                 qPrintable(show(c.frequency.last().y())));
        // The loop after a hard landing: one millisecond in, 249 of the jolt's 250 ms are left.
        calculator.land(landing(1000, 12.0f, airspeed), s);
        const float v = axisForce(calculator, 1, 1001, 0.0f, t, s).vibration;
        QVERIFY2(near(std::fabs(v), value * 249.0f / 250.0f), qPrintable(show(v)));
        return;
    }
    if (effect == "aoa") {
        AoAShakerSettings& aoa = s.axes[1].aoa_shaker;
        aoa.active = true;
        aoa.total_effect_strength = 100.0f;
        t.aoa = aoa.aoa.max;
        const ShakerCurves c = aoaShakerCurves(aoa, airspeed, 2);
        drive.amplitude = static_cast<float>(c.amplitude.last().y());
        drive.frequency = static_cast<float>(c.frequency.last().y());
    } else {
        GenericSpeedDependantShakerSettings& shaker =
            effect == "gear" ? s.axes[1].gear_shaker : s.axes[1].on_ground_shaker;
        shaker.active = true;
        shaker.total_effect_strength = 100.0f;
        t.gear = 100.0f;
        t.onGround = true;
        const ShakerCurves c = levelShakerCurves(shaker, airspeed, 2);
        drive.amplitude = static_cast<float>(c.amplitude.last().y());
        drive.frequency = static_cast<float>(c.frequency.last().y());
    }
    QVERIFY2(near(drive.amplitude, value), qPrintable(show(drive.amplitude)));
    QVERIFY2(near(drive.frequency, frequency), qPrintable(show(drive.frequency)));
    // The synthesis, millisecond by millisecond from a fresh oscillator.
    int firstNegative = 0;
    for (int ms = 1; ms <= 200 && firstNegative == 0; ++ms) {
        const float v = axisForce(calculator, 1, static_cast<uint64_t>(ms), 0.0f, t, s).vibration;
        if (ms == 1) {
            QCOMPARE(v, drive.amplitude);
        }
        if (v < 0.0f) {
            firstNegative = ms;
        }
    }
    QVERIFY(firstNegative > 0);
    const float halfPeriod = 500.0f / drive.frequency;
    QVERIFY2(
        std::fabs(static_cast<float>(firstNegative) - halfPeriod) <= 1.5f,
        qPrintable(
            QStringLiteral("first negative at %1 ms, half period %2 ms").arg(firstNegative).arg(halfPeriod)));
}

void TestForceSynthesis::previewCurvesSpanTheirSpeeds() {
    AirflowSpringSettings spring;
    spring.resetToDefaults();
    spring.setAttenuationAirspeeds(300.0f, 800.0f);
    spring.total_effect_strength = 100.0f;
    spring.airspeed_force = 50.0f;
    const QVector<QPointF> curve = airflowSpringForceCurve(spring, 0.0f, 61);
    QCOMPARE(curve.size(), 61);
    QCOMPARE(curve.first().x(), 0.0);
    QCOMPARE(curve.last().x(), 1200.0);
    for (int i = 1; i < curve.size(); ++i) {
        QVERIFY(curve[i].x() > curve[i - 1].x());
        QVERIFY(std::isfinite(curve[i].y()));
        QVERIFY(curve[i].y() >= curve[i - 1].y()); // without thrust the spring only stiffens
    }
    QCOMPARE(shakerPreviewTopSpeed(400.0f), 600.0f);
    QCOMPARE(shakerPreviewTopSpeed(0.0f), 100.0f);
    QCOMPARE(shakerPreviewTopSpeed(kNaN), 100.0f);
    // Hostile settings and point counts still give finite, bounded curves.
    GenericSpeedDependantShakerSettings shaker;
    shaker.speed.min = kInf;
    shaker.speed.max = kNaN;
    shaker.frequency.max = kInf;
    shaker.total_effect_strength = 1e30f;
    const ShakerCurves c = levelShakerCurves(shaker, kInf, 1000000);
    QVERIFY(c.amplitude.size() <= 2000 && c.amplitude.size() >= 2);
    for (int i = 0; i < c.amplitude.size(); ++i) {
        QVERIFY(std::isfinite(c.amplitude[i].x()) && std::isfinite(c.amplitude[i].y()));
        QVERIFY(std::isfinite(c.frequency[i].y()));
    }
}

void TestForceSynthesis::calculateForcesClampsAndKeepsSign() {
    qint64 clockMs = 50000;
    MainBackgroundThread bg(freeEndpoints());
    startStopped(bg, clockMs);
    clockMs += 1000;

    EffectsSettings s = defaults();
    AirflowSpringSettings& spring = s.axes[1].airflow_spring;
    spring.active = true;
    spring.total_effect_strength = 100.0f;
    spring.airspeed_force = 200.0f;
    // 1e30 from a hand-edited profile: finite, so it pulls to the limit.
    s.axes[0].simple_spring.active = true;
    s.axes[0].simple_spring.total_effect_strength = 1e30f;
    // Near the float limit three effects overflow the sum; the force still ends at the limit.
    AxisEffectsSettings& rudder = s.axes[2];
    for (SimpleEffectSettings* e : {static_cast<SimpleEffectSettings*>(&rudder.simple_spring),
                                    static_cast<SimpleEffectSettings*>(&rudder.airflow_spring),
                                    static_cast<SimpleEffectSettings*>(&rudder.elevator_weight)}) {
        e->active = true;
        e->total_effect_strength = 3.4e38f;
    }
    rudder.airflow_spring.airspeed_force = 100.0f;
    bg.changeSettingsSuddenly(s);

    DCSTelemetry t;
    t.airspeed = 1000.0f;
    t.gForce = 0.1f;
    bg.setDcsTelemetry(t);

    // Stick pushed forward (positive) is pulled back (negative force), and the other way round.
    Forces f = calculateForces(bg, positions(0.5f, 1.0f, 1.0f));
    QCOMPARE(f.axis[1].force, -100.0f);
    QVERIFY(near(f.axis[1].springMagnitude, 200.0f));
    QCOMPARE(f.axis[0].force, -100.0f);
    QCOMPARE(f.axis[2].force, -100.0f);
    QVERIFY(finite(f));

    f = calculateForces(bg, positions(-0.5f, -1.0f, -1.0f));
    QCOMPARE(f.axis[1].force, 100.0f);
    QCOMPARE(f.axis[0].force, 100.0f);
    QCOMPARE(f.axis[2].force, 100.0f);
    QVERIFY(finite(f));

    // Inside the limits the synthesis passes through unchanged: 50 % spring at 0.4 is -20.
    EffectsSettings gentle = defaults();
    gentle.axes[1].simple_spring.active = true;
    gentle.axes[1].simple_spring.total_effect_strength = 50.0f;
    bg.changeSettingsModerately(gentle);
    f = calculateForces(bg, positions(0.0f, 0.4f, 0.0f));
    QVERIFY(near(f.axis[1].force, -20.0f));
    QVERIFY(near(f.axis[1].springMagnitude, 20.0f));
    QCOMPARE(f.axis[0].force, 0.0f);
    QCOMPARE(f.axis[2].force, 0.0f);
}

void TestForceSynthesis::recordSelection() {
    qint64 clockMs = 20000;
    MainBackgroundThread bg(freeEndpoints());
    startStopped(bg, clockMs);
    clockMs += 3217;
    bg.changeSettingsSuddenly(everythingActive());
    const PositionInput p = positions(0.3f, -0.6f, 0.2f);

    MSFSTelemetry msfs;
    static_cast<Telemetry&>(msfs) = busyTelemetry();
    bg.setMsfsTelemetry(msfs);
    const Forces plain = calculateForces(bg, p);
    QVERIFY(finite(plain));
    QVERIFY(plain.axis[1].vibration != 0.0f);

    // Another call at the same instant leaves every oscillator where it was.
    QVERIFY(sameForces(calculateForces(bg, p), plain));

    // The MSFS trims after the flight state, and the trim fields inside it, drive nothing.
    MSFSTelemetry trimmed = msfs;
    trimmed.aileronTrim = 0.4f;
    trimmed.elevatorTrim = -0.3f;
    trimmed.rudderTrim = 0.2f;
    bg.setMsfsTelemetry(trimmed);
    QVERIFY(sameForces(calculateForces(bg, p), plain));
    trimmed.trimmerRoll = 40.0f;
    trimmed.trimmerPitch = -30.0f;
    trimmed.trimmerYaw = 20.0f;
    bg.setMsfsTelemetry(trimmed);
    QVERIFY(sameForces(calculateForces(bg, p), plain));

    // Every source goes through the same synthesis: the same flight state, the same forces.
    DCSTelemetry dcs;
    static_cast<Telemetry&>(dcs) = busyTelemetry();
    bg.setDcsTelemetry(dcs);
    QVERIFY(sameForces(calculateForces(bg, p), plain));

    // A Condor record takes over at once.
    Condor2Telemetry condor;
    condor.airspeed = 100.0f;
    condor.line31Value = 7.0f;
    bg.setCondor2Telemetry(condor);
    const Forces glider = calculateForces(bg, p);
    QVERIFY(!sameForces(glider, plain));
    QVERIFY(glider.axis[1].force != plain.axis[1].force);

    // The override record drives the forces while the override is on, and afterwards until a
    // game's record arrives.
    bg.enableTelemetryOverride();
    Telemetry manual = busyTelemetry();
    bg.overrideTelemetry(manual);
    bg.setCondor2Telemetry(condor);
    QVERIFY(sameForces(calculateForces(bg, p), plain));
    bg.disableTelemetryOverride();
    QVERIFY(sameForces(calculateForces(bg, p), plain));
    bg.setCondor2Telemetry(condor);
    QVERIFY(sameForces(calculateForces(bg, p), glider));
}

void TestForceSynthesis::editorExtremes_data() {
    QTest::addColumn<int>("edit");
    QTest::addColumn<float>("pitchForce");
    QTest::addColumn<bool>("silent");
    // Each row edits every axis of an all-active profile one way and flies a busy state at 600
    // km/h, stick 0.5 forward. pitchForce is the expected elevator force (NaN: only finite
    // and in range is asserted); silent: no vibration at all.
    QTest::newRow("start airspeed 0") << 0 << kNaN << false;
    QTest::newRow("end airspeed equal to start") << 1 << kNaN << false;
    QTest::newRow("speed min equal to max") << 2 << kNaN << true;
    QTest::newRow("frequency 0") << 3 << kNaN << true;
    QTest::newRow("frequency above 1000 Hz") << 4 << kNaN << true;
    QTest::newRow("strength 1e30") << 5 << -100.0f << false;
    QTest::newRow("strength near the float limit") << 6 << -100.0f << false;
    QTest::newRow("negative strengths") << 7 << 100.0f << false;
    QTest::newRow("effect time 0 and huge") << 8 << kNaN << false;
    QTest::newRow("exponents 1e30") << 9 << kNaN << false;
    QTest::newRow("airspeed forces 1e30") << 10 << -100.0f << false;
    QTest::newRow("infinite strength counts as 0") << 11 << 0.0f << true;
}

void TestForceSynthesis::editorExtremes() {
    QFETCH(int, edit);
    QFETCH(float, pitchForce);
    QFETCH(bool, silent);
    EffectsSettings s = everythingActive();
    for (AxisEffectsSettings& a : s.axes) {
        GenericSpeedDependantShakerSettings* shakers[] = {&a.aoa_shaker,       &a.gear_shaker,
                                                          &a.flaps_shaker,     &a.airbrake_shaker,
                                                          &a.on_ground_shaker, &a.landing_jolt};
        switch (edit) {
        case 0:
            a.airflow_spring.setAttenuationAirspeeds(0.0f, 1000.0f);
            break;
        case 1:
            a.airflow_spring.setAttenuationAirspeeds(500.0f, 500.0f);
            break;
        case 2:
            for (auto* shaker : shakers) {
                shaker->speed.min = 300.0f;
                shaker->speed.max = 300.0f;
            }
            a.aoa_shaker.aoa.min = a.aoa_shaker.aoa.max = 12.0f;
            break;
        case 3:
        case 4:
            for (auto* shaker : shakers) {
                shaker->frequency.min = shaker->frequency.max = edit == 3 ? 0.0f : 1500.0f;
            }
            break;
        case 5:
        case 6:
        case 7:
        case 11:
            for (int type = 0; type < 13; ++type) {
                a.effect(type)->total_effect_strength = edit == 5   ? 1e30f
                                                        : edit == 6 ? 3.4e38f
                                                        : edit == 7 ? -100.0f
                                                                    : kInf;
            }
            break;
        case 8:
            a.landing_jolt.effect_time = 0;
            break;
        case 9:
            for (auto* shaker : shakers) {
                shaker->speed.exp = 1e30f;
                shaker->frequency.exp = -1e30f;
            }
            break;
        case 10:
            a.airflow_spring.airspeed_force = 1e30f;
            a.airflow_spring.thrust_force = 1e30f;
            break;
        }
    }
    if (edit == 8) {
        s.axes[2].landing_jolt.effect_time = std::numeric_limits<uint64_t>::max();
    }

    qint64 clockMs = 1000;
    MainBackgroundThread bg(freeEndpoints());
    startStopped(bg, clockMs);
    bg.changeSettingsSuddenly(s);
    Telemetry t = busyTelemetry();
    t.onGround = true;
    t.aoa = 14.0f;
    bg.enableTelemetryOverride();
    bg.overrideTelemetry(t);
    for (int tick = 0; tick < 400; ++tick) {
        clockMs += 5;
        if (tick % 97 == 3) {
            bg.setLanded(12.0f, 600.0f);
        }
        const Forces f = calculateForces(bg, positions(0.5f, 0.5f, 0.5f));
        QVERIFY2(finite(f), qPrintable(QStringLiteral("tick %1").arg(tick)));
        for (const AxisForce& a : f.axis) {
            QVERIFY(a.force >= -100.0f && a.force <= 100.0f);
            if (silent) {
                QCOMPARE(a.vibration, 0.0f);
            }
        }
        if (!std::isnan(pitchForce)) {
            QVERIFY2(f.axis[1].force == pitchForce, qPrintable(show(f.axis[1].force)));
        }
    }
}

void TestForceSynthesis::randomizedSweep() {
    // Hostile and ordinary values, drawn with a fixed seed so a failure can be replayed.
    const float pool[] = {0.0f,    1.0f,     -1.0f,   0.5f,    10.0f, 50.0f,  100.0f,
                          500.0f,  1000.0f,  1500.0f, -500.0f, 1e30f, -1e30f, 1e-30f,
                          3.4e38f, -3.4e38f, kNaN,    kInf,    -kInf, 2000.0f};
    std::mt19937 random(20261207u);
    auto pick = [&](bool ordinary = false) {
        std::uniform_int_distribution<int> index(0, ordinary ? 9 : 19);
        return pool[index(random)];
    };
    auto coin = [&](int oneIn) { return std::uniform_int_distribution<int>(0, oneIn - 1)(random) == 0; };
    auto value = [&] {
        return coin(3) ? pick() : std::uniform_real_distribution<float>(-200.0f, 1200.0f)(random);
    };

    qint64 clockMs = 7000;
    MainBackgroundThread bg(freeEndpoints());
    startStopped(bg, clockMs);

    int atLimit = 0;
    int vibrating = 0;
    for (int round = 0; round < 300; ++round) {
        EffectsSettings s = defaults();
        for (AxisEffectsSettings& a : s.axes) {
            for (int type = 0; type < 13; ++type) {
                SimpleEffectSettings* e = a.effect(type);
                e->active = !coin(4);
                e->total_effect_strength = coin(2) ? pick(true) : value();
            }
            AirflowSpringSettings& spring = a.airflow_spring;
            spring.airspeed_force = value();
            spring.thrust_force = value();
            spring.attenuation_strength = value();
            spring.local_aoa_influence_strength = value();
            spring.setAttenuationAirspeeds(value(), coin(5) ? spring.attenuation_start_airspeed : value());
            for (GenericSpeedDependantShakerSettings* shaker :
                 {static_cast<GenericSpeedDependantShakerSettings*>(&a.aoa_shaker), &a.gear_shaker,
                  &a.flaps_shaker, &a.airbrake_shaker, &a.on_ground_shaker,
                  static_cast<GenericSpeedDependantShakerSettings*>(&a.landing_jolt)}) {
                for (EffectRange* r : {&shaker->speed, &shaker->frequency}) {
                    r->min = value();
                    r->max = coin(5) ? r->min : value();
                    r->exp = coin(2) ? 0.0f : value();
                }
            }
            a.aoa_shaker.aoa.min = value();
            a.aoa_shaker.aoa.max = coin(5) ? a.aoa_shaker.aoa.min : value();
            a.aoa_shaker.aoa.exp = value();
            a.landing_jolt.effect_time = coin(6) ? std::uniform_int_distribution<uint64_t>()(random)
                                                 : std::uniform_int_distribution<uint64_t>(0, 2000)(random);
        }
        if (coin(2)) {
            bg.changeSettingsSuddenly(s);
        } else {
            bg.changeSettingsModerately(s);
        }

        for (int step = 0; step < 20; ++step) {
            Telemetry t;
            for (float* field : {&t.airspeed, &t.verticalSpeed, &t.aileronAoa, &t.aoa, &t.sideslip,
                                 &t.rollRate, &t.gForce, &t.propAirflow, &t.trimmerRoll, &t.trimmerPitch,
                                 &t.trimmerYaw, &t.gear, &t.airbrake, &t.flaps}) {
                *field = coin(4) ? pick() : std::uniform_real_distribution<float>(-50.0f, 1200.0f)(random);
            }
            t.onGround = coin(2);
            switch (std::uniform_int_distribution<int>(0, 5)(random)) {
            case 0: {
                MSFSTelemetry r;
                static_cast<Telemetry&>(r) = t;
                r.aileronTrim = pick();
                bg.setMsfsTelemetry(r);
                break;
            }
            case 1: {
                DCSTelemetry r;
                static_cast<Telemetry&>(r) = t;
                bg.setDcsTelemetry(r);
                break;
            }
            case 2: {
                ShturmovikTelemetry r;
                static_cast<Telemetry&>(r) = t;
                bg.setShturmovikTelemetry(r);
                break;
            }
            case 3: {
                WarthunderTelemetry r;
                static_cast<Telemetry&>(r) = t;
                bg.setWarthunderTelemetry(r);
                break;
            }
            case 4: {
                Condor2Telemetry r;
                static_cast<Telemetry&>(r) = t;
                bg.setCondor2Telemetry(r);
                break;
            }
            default:
                bg.enableTelemetryOverride();
                bg.overrideTelemetry(t);
                bg.disableTelemetryOverride();
                break;
            }
            if (coin(8)) {
                bg.setLanded(pick(), pick());
            }
            clockMs += coin(20) ? std::uniform_int_distribution<qint64>(0, 100000000)(random)
                                : std::uniform_int_distribution<qint64>(0, 12)(random);
            const PositionInput p =
                coin(10) ? positions(pick(), pick(), pick())
                         : positions(std::uniform_real_distribution<float>(-1.2f, 1.2f)(random),
                                     std::uniform_real_distribution<float>(-1.2f, 1.2f)(random),
                                     std::uniform_real_distribution<float>(-1.2f, 1.2f)(random));
            const Forces f = calculateForces(bg, p);
            QVERIFY2(finite(f), qPrintable(QStringLiteral("round %1 step %2").arg(round).arg(step)));
            for (const AxisForce& a : f.axis) {
                QVERIFY2(a.force >= -100.0f && a.force <= 100.0f, qPrintable(show(a.force)));
                atLimit += std::fabs(a.force) == 100.0f ? 1 : 0;
                vibrating += a.vibration != 0.0f ? 1 : 0;
            }
        }
    }
    // The sweep reached the clamp and the shakers, so it did exercise the synthesis.
    QVERIFY(atLimit > 100);
    QVERIFY(vibrating > 100);
}

// The centre of one axis stepped every 5 ms: following its goal for `followMs` (then, when
// `jumpTo` is a number, that trim for 400 ms), then not for `offMs`. It never moves more than
// 0.05 in a tick, and ends where `expected` says.
void TestForceSynthesis::centreFollowsAndGlides_data() {
    QTest::addColumn<float>("trim"); // percent
    QTest::addColumn<float>("strength");
    QTest::addColumn<int>("followMs");
    QTest::addColumn<float>("jumpTo");
    QTest::addColumn<int>("offMs");
    QTest::addColumn<float>("expected");
    QTest::addColumn<float>("tolerance");
    QTest::newRow("20 % trim at 100 %: reached") << 20.0f << 100.0f << 2500 << kNaN << 0 << 0.2f << 1e-4f;
    QTest::newRow("20 % trim at 50 %") << 20.0f << 50.0f << 2500 << kNaN << 0 << 0.1f << 1e-4f;
    QTest::newRow("fades in: half way after half a second")
        << 40.0f << 100.0f << 500 << kNaN << 0 << 0.2f << 0.02f;
    QTest::newRow("trim wheel spun end to end: slewed, there in 400 ms")
        << -100.0f << 100.0f << 2500 << 100.0f << 0 << 1.0f << 1e-3f;
    QTest::newRow("beyond full: held to 1") << 300.0f << 100.0f << 2500 << kNaN << 0 << 1.0f << 1e-4f;
    QTest::newRow("NaN trim: centred") << kNaN << 100.0f << 2500 << kNaN << 0 << 0.0f << 0.0f;
    QTest::newRow("infinite strength: centred") << 20.0f << kInf << 2500 << kNaN << 0 << 0.0f << 0.0f;
    QTest::newRow("glide: half way home after half a second")
        << 40.0f << 100.0f << 2500 << kNaN << 500 << 0.2f << 0.02f;
    QTest::newRow("glide: home after a second") << 40.0f << 100.0f << 2500 << kNaN << 1200 << 0.0f << 0.0f;
    QTest::newRow("never followed: stays home") << 40.0f << 100.0f << 0 << kNaN << 1000 << 0.0f << 0.0f;
}

void TestForceSynthesis::centreFollowsAndGlides() {
    QFETCH(float, trim);
    QFETCH(float, strength);
    QFETCH(int, followMs);
    QFETCH(float, jumpTo);
    QFETCH(int, offMs);
    QFETCH(float, expected);
    QFETCH(float, tolerance);
    CentreFollower follower;
    float goal[3] = {0.0f, CentreFollower::goal(trim, strength), 0.0f};
    uint64_t now = 777;
    float previous = 0.0f;
    float largestStep = 0.0f;
    const auto run = [&](int ms, bool on) {
        const bool following[3] = {false, on, false};
        for (int t = 0; t < ms; t += 5) {
            follower.step(now += 5, following, goal);
            largestStep = std::max(largestStep, std::fabs(follower.centre(1) - previous));
            previous = follower.centre(1);
        }
    };
    const bool none[3] = {false, false, false};
    follower.step(now, none, goal);
    run(followMs, true);
    if (!std::isnan(jumpTo)) {
        goal[1] = CentreFollower::goal(jumpTo, strength);
        run(400, true);
        QVERIFY(near(largestStep, 0.05f, 1e-3f)); // the slew limit held the jump back
    }
    run(offMs, false);
    QVERIFY2(largestStep <= 0.05f + 1e-6f, qPrintable(show(largestStep)));
    QVERIFY2(near(follower.centre(1), expected, tolerance), qPrintable(show(follower.centre(1))));
    QCOMPARE(follower.centre(0), 0.0f);
    QCOMPARE(follower.centre(2), 0.0f);
}

// In an MSFS stream the elevator's spring holds the stick where the trim (or, under the
// autopilot, the elevator) puts it, the report carries the centre as a negative offset, and the
// centre glides home within a second of the stream's end.
void TestForceSynthesis::trimHoldsTheStick_data() {
    QTest::addColumn<bool>("active");
    QTest::addColumn<float>("strength");
    QTest::addColumn<bool>("autopilot");
    QTest::addColumn<float>("centre"); // where the elevator's centre settles
    QTest::addColumn<int>("game");
    const int msfs = Telemetry::TELEMETRY_SOURCE_MSFS;
    QTest::newRow("20 % trim, following at 100 %") << true << 100.0f << false << 0.2f << msfs;
    QTest::newRow("following at 50 %") << true << 50.0f << false << 0.1f << msfs;
    QTest::newRow("autopilot: the elevator's position") << true << 100.0f << true << -0.5f << msfs;
    QTest::newRow("effect off: centred") << false << 100.0f << false << 0.0f << msfs;
    // X-Plane's elevator trim is positive nose up, as MSFS's: the stick is held pulled back.
    const int xplane = Telemetry::TELEMETRY_SOURCE_XPLANE;
    QTest::newRow("X-Plane: 20 % trim") << true << 100.0f << false << 0.2f << xplane;
    QTest::newRow("X-Plane has no autopilot fields: the trim") << true << 100.0f << true << 0.2f << xplane;
}

void TestForceSynthesis::trimHoldsTheStick() {
    QFETCH(bool, active);
    QFETCH(float, strength);
    QFETCH(bool, autopilot);
    QFETCH(float, centre);
    QFETCH(int, game);
    const auto source = static_cast<Telemetry::Source>(game);
    FakeHid::reset();
    FakeHid::plug(FakeHid::Device::Joystick);
    qint64 clockMs = 100000;
    MainBackgroundThread bg(freeEndpoints());
    bg.setClock([&clockMs] { return clockMs; });
    bg.start();
    QSignalSpy samples(&bg, &MainBackgroundThread::forcesSent);
    EffectsSettings s = defaults();
    s.axes[1].simple_spring.active = s.axes[1].trim_following.active = active;
    s.axes[1].simple_spring.total_effect_strength = 100.0f;
    s.axes[1].trim_following.total_effect_strength = strength;
    bg.changeSettingsModerately(s);
    MSFSTelemetry msfs;
    msfs.trimmerPitch = 20.0f;
    msfs.autopilotMaster = autopilot;
    msfs.elevatorPosition = -0.5f;
    // Posted as the telemetry thread posts it: taken at the next tick.
    emit bg.telemetry()->telemetryRecordChanged(source == Telemetry::TELEMETRY_SOURCE_MSFS
                                                    ? TelemetryRecord(source, msfs)
                                                    : TelemetryRecord::fromCommon(source, msfs));
    const auto run = [&](int ms) {
        for (int t = 0; t < ms; t += 5) {
            clockMs += 5;
            tickLoop(bg);
        }
        return samples.last().at(0).value<ForcesSample>();
    };
    const ForcesSample held = run(3000); // the start ramp is over and the centre has settled
    QVERIFY2(near(held.centre[1], centre, 1e-4f), qPrintable(show(held.centre[1])));
    // The stick at 0 is pulled towards the centre: -(0 - c) x 100 %.
    QVERIFY2(near(held.force[1], 100.0f * centre, 1e-2f), qPrintable(show(held.force[1])));
    QCOMPARE(reportFloat(FakeHid::writes(FakeHid::Device::Joystick).back().bytes, 46), -held.centre[1]);

    // The stream's all-zero record, then its end.
    QSignalSpy ended(&bg, &MainBackgroundThread::telemetryEnded);
    TelemetryThread* telemetry = bg.telemetry();
    QMetaObject::invokeMethod(telemetry, [telemetry, source] {
        emit telemetry->telemetryRecordChanged(TelemetryRecord::fromCommon(source, Telemetry()));
        emit telemetry->telemetryEnded();
    });
    QTRY_COMPARE(ended.size(), 1);
    const float gliding = run(405).centre[1];
    QVERIFY2(near(gliding, 0.6f * centre, 0.025f), qPrintable(show(gliding)));
    QCOMPARE(run(800).centre[1], 0.0f);
    QCOMPARE(reportFloat(FakeHid::writes(FakeHid::Device::Joystick).back().bytes, 46), 0.0f);
    bg.shutDown();
}

QTEST_GUILESS_MAIN(TestForceSynthesis)
#include "tst_forcesynthesis.moc"
