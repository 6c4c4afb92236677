#include "device/hidreports.h"
#include "support/reportbytes.h"

#include <QtTest>

#include <cfloat>
#include <cmath>
#include <limits>

using namespace HidReports;

namespace {

const float kNoOffset[3] = {0.0f, 0.0f, 0.0f};

// Every byte from `from` to the end is zero.
bool zeroFrom(const Report& r, int from) {
    for (int i = from; i < ReportSize; ++i) {
        if (r[i] != 0) {
            return false;
        }
    }
    return true;
}

// Every float of a direct-control report is finite and inside its slot's bounds: spring
// magnitude, force and vibration +/-100, damper gains 0..1, position offsets +/-1.
bool directControlInBounds(const Report& r) {
    for (int offset = 2; offset < 50; offset += 4) {
        const float v = reportFloat(r, offset);
        const bool gain = offset >= 26 && offset < 42;
        const float lo = gain ? 0.0f : (offset >= 42 ? -1.0f : -100.0f);
        const float hi = gain ? 1.0f : (offset >= 42 ? 1.0f : 100.0f);
        if (!std::isfinite(v) || v < lo || v > hi) {
            return false;
        }
    }
    return zeroFrom(r, 50);
}

bool directXInBounds(const Report& r) {
    for (int offset = 2; offset < 26; offset += 4) {
        const float v = reportFloat(r, offset);
        if (!std::isfinite(v) || v < 0.0f || v > 1.0f) {
            return false;
        }
    }
    return zeroFrom(r, 26);
}

Forces distinctForces() {
    Forces f;
    for (int a = 0; a < 3; ++a) {
        f.axis[a].springMagnitude = 10.0f * (a + 1) + 0.5f;
        f.axis[a].force = -20.0f * (a + 1) - 0.25f;
        f.axis[a].vibration = 1.5f * (a + 1);
    }
    return f;
}

} // namespace

class TestHidReports : public QObject {
    Q_OBJECT

private slots:
    void idleDirectControlIsAllZero() {
        const EffectsSettings settings;
        for (const Report& r : {joystickDirectControl(Forces{}, kNoOffset, settings),
                                rudderDirectControl(Forces{}, kNoOffset, settings)}) {
            QCOMPARE(r[0], uint8_t(0x02));
            QCOMPARE(r[1], uint8_t(0x20));
            QVERIFY(zeroFrom(r, 2));
        }
    }

    void joystickLayout() {
        EffectsSettings settings;
        settings.axes[0].smart_damper.active = true;
        settings.axes[0].smart_damper.total_effect_strength = 50.0f;
        settings.axes[0].smart_damper.static_dampening = 40.0f;
        settings.axes[0].smart_damper.dynamic_dampening = 100.0f;
        settings.axes[1].smart_damper.active = true;
        settings.axes[1].smart_damper.total_effect_strength = 100.0f;
        settings.axes[1].smart_damper.static_dampening = 300.0f;
        settings.axes[1].smart_damper.dynamic_dampening = 7.0f;
        // The rudder's damper must not leak into the joystick's report.
        settings.axes[2].smart_damper.active = true;
        settings.axes[2].smart_damper.total_effect_strength = 100.0f;
        settings.axes[2].smart_damper.static_dampening = 99.0f;
        const float offset[3] = {0.125f, -0.25f, 0.5f};
        const Forces f = distinctForces();
        const Report r = joystickDirectControl(f, offset, settings);

        QCOMPARE(r[0], uint8_t(0x02));
        QCOMPARE(r[1], uint8_t(0x20));
        QCOMPARE(reportFloat(r, 2), f.axis[0].springMagnitude);
        QCOMPARE(reportFloat(r, 6), f.axis[1].springMagnitude);
        QCOMPARE(reportFloat(r, 10), f.axis[0].force);
        QCOMPARE(reportFloat(r, 14), f.axis[1].force);
        QCOMPARE(reportFloat(r, 18), f.axis[0].vibration);
        QCOMPARE(reportFloat(r, 22), f.axis[1].vibration);
        QCOMPARE(reportFloat(r, 26), 0.2f);
        QCOMPARE(reportFloat(r, 30), 1.0f); // 300 % of 100 %: a gain never passes 1
        QCOMPARE(reportFloat(r, 34), 0.5f);
        QCOMPARE(reportFloat(r, 38), 0.07f);
        QCOMPARE(reportFloat(r, 42), 0.125f);
        QCOMPARE(reportFloat(r, 46), -0.25f);
        QVERIFY(zeroFrom(r, 50));
    }

    void rudderLayoutKeepsYSlotsZero() {
        EffectsSettings settings;
        for (auto& axis : settings.axes) {
            axis.smart_damper.active = true;
            axis.smart_damper.total_effect_strength = 80.0f;
            axis.smart_damper.static_dampening = 25.0f;
            axis.smart_damper.dynamic_dampening = 50.0f;
        }
        const float offset[3] = {0.125f, -0.25f, 0.5f};
        const Forces f = distinctForces();
        const Report r = rudderDirectControl(f, offset, settings);

        QCOMPARE(reportFloat(r, 2), f.axis[2].springMagnitude);
        QCOMPARE(reportFloat(r, 10), f.axis[2].force);
        QCOMPARE(reportFloat(r, 18), f.axis[2].vibration);
        QCOMPARE(reportFloat(r, 26), 0.2f);
        QCOMPARE(reportFloat(r, 34), 0.4f);
        QCOMPARE(reportFloat(r, 42), 0.5f);
        for (int y : {6, 14, 22, 30, 38}) {
            QCOMPARE(floatBits(reportFloat(r, y)), 0u);
        }
        QVERIFY(zeroFrom(r, 46));
    }

    void damperGain_data() {
        QTest::addColumn<bool>("active");
        QTest::addColumn<float>("total");
        QTest::addColumn<float>("dampening");
        QTest::addColumn<float>("gain");
        QTest::newRow("40 % at total 50") << true << 50.0f << 40.0f << 0.2f;
        QTest::newRow("500 % at total 100 held to 1") << true << 100.0f << 500.0f << 1.0f;
        QTest::newRow("100 % at total 100") << true << 100.0f << 100.0f << 1.0f;
        QTest::newRow("total 1e30 held to 1") << true << 1e30f << 50.0f << 1.0f;
        QTest::newRow("negative dampening held to 0") << true << 100.0f << -40.0f << 0.0f;
        QTest::newRow("negative total held to 0") << true << -1e30f << 40.0f << 0.0f;
        QTest::newRow("total 0") << true << 0.0f << 80.0f << 0.0f;
        QTest::newRow("inactive") << false << 100.0f << 80.0f << 0.0f;
        // Multiply first, then two divisions by 100, each in single precision.
        QTest::newRow("rounding order") << true << 33.0f << 7.0f << (33.0f * 7.0f) / 100.0f / 100.0f;
        QTest::newRow("hand-edited overflow") << true << 1e30f << 1e30f << 0.0f;
        QTest::newRow("NaN strength") << true << std::numeric_limits<float>::quiet_NaN() << 10.0f << 0.0f;
    }

    void damperGain() {
        QFETCH(bool, active);
        QFETCH(float, total);
        QFETCH(float, dampening);
        QFETCH(float, gain);
        SmartDamperSettings d;
        d.active = active;
        d.total_effect_strength = total;
        d.static_dampening = dampening;
        d.dynamic_dampening = dampening;
        QCOMPARE(floatBits(staticDamperGain(d)), floatBits(gain));
        QCOMPARE(floatBits(dynamicDamperGain(d)), floatBits(gain));
    }

    void directXGains_data() {
        QTest::addColumn<bool>("active");
        QTest::addColumn<float>("total");
        QTest::addColumn<float>("trimmer");
        QTest::addColumn<float>("spring");
        QTest::addColumn<float>("periodic");
        QTest::addColumn<float>("trimmerGain");
        QTest::addColumn<float>("springGain");
        QTest::addColumn<float>("periodicGain");
        // The trimmer gain is not scaled by the total strength.
        QTest::newRow("trimmer 80 at total 50")
            << true << 50.0f << 80.0f << 60.0f << 20.0f << 0.8f << 0.3f << 0.1f;
        QTest::newRow("full") << true << 100.0f << 100.0f << 100.0f << 100.0f << 1.0f << 1.0f << 1.0f;
        QTest::newRow("inactive") << false << 100.0f << 80.0f << 60.0f << 20.0f << 0.0f << 0.0f << 0.0f;
        QTest::newRow("overflow") << true << 1e30f << std::numeric_limits<float>::infinity() << 1e30f << 1e30f
                                  << 0.0f << 0.0f << 0.0f;
        // A hand-edited total of 1e30 once sent gains of 1e28.
        QTest::newRow("total 1e30 held to 1")
            << true << 1e30f << 50.0f << 100.0f << 1.0f << 0.5f << 1.0f << 1.0f;
        QTest::newRow("above 100 % held to 1")
            << true << 100.0f << 250.0f << 150.0f << 101.0f << 1.0f << 1.0f << 1.0f;
        QTest::newRow("negative held to 0")
            << true << 100.0f << -80.0f << -60.0f << -0.5f << 0.0f << 0.0f << 0.0f;
    }

    void directXGains() {
        QFETCH(bool, active);
        QFETCH(float, total);
        QFETCH(float, trimmer);
        QFETCH(float, spring);
        QFETCH(float, periodic);
        QFETCH(float, trimmerGain);
        QFETCH(float, springGain);
        QFETCH(float, periodicGain);
        EffectsSettings settings;
        // Only the elevator (joystick Y) carries the effect.
        DirectXSettings& dx = settings.axes[1].direct_x;
        dx.active = active;
        dx.total_effect_strength = total;
        dx.trimmer = trimmer;
        dx.force = spring;
        dx.periodic = periodic;

        const Report r = directXOverride(joystickDirectXOverride(settings));
        QCOMPARE(r[0], uint8_t(0x02));
        QCOMPARE(r[1], uint8_t(0x21));
        QCOMPARE(floatBits(reportFloat(r, 2)), 0u);
        QCOMPARE(floatBits(reportFloat(r, 6)), floatBits(trimmerGain));
        QCOMPARE(floatBits(reportFloat(r, 10)), 0u);
        QCOMPARE(floatBits(reportFloat(r, 14)), floatBits(springGain));
        QCOMPARE(floatBits(reportFloat(r, 18)), 0u);
        QCOMPARE(floatBits(reportFloat(r, 22)), floatBits(periodicGain));
        QVERIFY(zeroFrom(r, 26));
    }

    void rudderDirectXUsesAxisTwoInX() {
        EffectsSettings settings;
        for (auto& axis : settings.axes) {
            axis.direct_x.active = true;
            axis.direct_x.total_effect_strength = 100.0f;
            axis.direct_x.trimmer = 50.0f;
            axis.direct_x.force = 50.0f;
            axis.direct_x.periodic = 50.0f;
        }
        settings.axes[2].direct_x.trimmer = 10.0f;
        const DirectXOverrideTypeDef d = rudderDirectXOverride(settings);
        QCOMPARE(d.trimmerX, 0.1f);
        QCOMPARE(d.springX, 0.5f);
        QCOMPARE(d.periodicX, 0.5f);
        QCOMPARE(d.trimmerY, 0.0f);
        QCOMPARE(d.springY, 0.0f);
        QCOMPARE(d.periodicY, 0.0f);
    }

    void overrideReportCarriesTheSixGainsInOrder() {
        const DirectXOverrideTypeDef d{0.125f, 0.25f, 0.375f, 0.5f, 0.625f, 1.0f};
        const Report r = directXOverride(d);
        const float expected[6] = {0.125f, 0.25f, 0.375f, 0.5f, 0.625f, 1.0f};
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(reportFloat(r, 2 + 4 * i), expected[i]);
        }
        QVERIFY(zeroFrom(r, 26));
    }

    // Whatever number reaches a report builder, in any one field or in all at once, every float
    // that leaves is finite and inside its bounds; a number past a bound goes out as that bound
    // (the same sign), and NaN and infinities as 0.
    void everyFieldBounded_data() {
        QTest::addColumn<float>("value");
        QTest::addColumn<float>("force");  // sent for a force, vibration or spring magnitude
        QTest::addColumn<float>("offset"); // sent for a position offset
        QTest::addColumn<float>("gain");   // sent for a DirectX gain given directly
        const float inf = std::numeric_limits<float>::infinity();
        QTest::newRow("+FLT_MAX") << FLT_MAX << 100.0f << 1.0f << 1.0f;
        QTest::newRow("-FLT_MAX") << -FLT_MAX << -100.0f << -1.0f << 0.0f;
        QTest::newRow("+inf") << inf << 0.0f << 0.0f << 0.0f;
        QTest::newRow("-inf") << -inf << 0.0f << 0.0f << 0.0f;
        QTest::newRow("NaN") << std::numeric_limits<float>::quiet_NaN() << 0.0f << 0.0f << 0.0f;
        QTest::newRow("1e30") << 1e30f << 100.0f << 1.0f << 1.0f;
        QTest::newRow("-100.5") << -100.5f << -100.0f << -1.0f << 0.0f;
        QTest::newRow("100 kept") << 100.0f << 100.0f << 1.0f << 1.0f;
        QTest::newRow("-0.75 kept") << -0.75f << -0.75f << -0.75f << 0.0f;
        QTest::newRow("0.75 kept") << 0.75f << 0.75f << 0.75f << 0.75f;
        QTest::newRow("smallest subnormal kept") << 1e-45f << 1e-45f << 1e-45f << 1e-45f;
    }

    void everyFieldBounded() {
        QFETCH(float, value);
        QFETCH(float, force);
        QFETCH(float, offset);
        QFETCH(float, gain);
        // Field -1 sets every field at once; fields 0..N-1 one at a time over ordinary values.
        constexpr int kForceFields = 9, kOffsetFields = 3, kSettingFields = 3 * 7;
        for (int field = -1; field < kForceFields + kOffsetFields + kSettingFields; ++field) {
            const bool all = field < 0;
            Forces f = distinctForces();
            float offsets[3] = {0.125f, -0.25f, 0.5f};
            EffectsSettings settings;
            int k = 0;
            for (AxisForce& a : f.axis) {
                for (float* v : {&a.force, &a.vibration, &a.springMagnitude}) {
                    *v = all || field == k ? value : *v;
                    ++k;
                }
            }
            for (float& o : offsets) {
                o = all || field == k ? value : o;
                ++k;
            }
            for (AxisEffectsSettings& axis : settings.axes) {
                SmartDamperSettings& d = axis.smart_damper;
                DirectXSettings& dx = axis.direct_x;
                d.active = dx.active = true;
                for (float* v : {&d.total_effect_strength, &d.static_dampening, &d.dynamic_dampening,
                                 &dx.total_effect_strength, &dx.trimmer, &dx.force, &dx.periodic}) {
                    *v = all || field == k ? value : 60.0f;
                    ++k;
                }
            }
            const QByteArray at = QByteArray("field ") + QByteArray::number(field);
            const Report joystick = joystickDirectControl(f, offsets, settings);
            const Report rudder = rudderDirectControl(f, offsets, settings);
            QVERIFY2(directControlInBounds(joystick), at.constData());
            QVERIFY2(directControlInBounds(rudder), at.constData());
            QVERIFY2(directXInBounds(directXOverride(joystickDirectXOverride(settings))), at.constData());
            QVERIFY2(directXInBounds(directXOverride(rudderDirectXOverride(settings))), at.constData());
            if (all) {
                // Elevator force (offset 14) and rudder offset (offset 42 of the rudder report).
                QCOMPARE(floatBits(reportFloat(joystick, 14)), floatBits(force));
                QCOMPARE(floatBits(reportFloat(joystick, 22)), floatBits(force));
                QCOMPARE(floatBits(reportFloat(rudder, 2)), floatBits(force));
                QCOMPARE(floatBits(reportFloat(joystick, 46)), floatBits(offset));
                QCOMPARE(floatBits(reportFloat(rudder, 42)), floatBits(offset));
            }
        }
        const DirectXOverrideTypeDef d{value, value, value, value, value, value};
        const Report r = directXOverride(d);
        QVERIFY(directXInBounds(r));
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(floatBits(reportFloat(r, 2 + 4 * i)), floatBits(gain));
        }
    }

    void nonFiniteNeverReachesTheWire() {
        Forces f;
        f.axis[0].force = std::numeric_limits<float>::quiet_NaN();
        f.axis[0].vibration = std::numeric_limits<float>::infinity();
        f.axis[1].springMagnitude = -std::numeric_limits<float>::infinity();
        f.axis[2].force = std::numeric_limits<float>::quiet_NaN();
        const EffectsSettings settings;
        const Report j = joystickDirectControl(f, kNoOffset, settings);
        const Report r = rudderDirectControl(f, kNoOffset, settings);
        QVERIFY(zeroFrom(j, 2));
        QVERIFY(zeroFrom(r, 2));
    }

    void versionValue_data() {
        QTest::addColumn<int>("b1");
        QTest::addColumn<int>("b2");
        QTest::addColumn<int>("b3");
        QTest::addColumn<quint32>("version");
        QTest::newRow("zero bytes") << 0 << 0 << 0 << quint32(37);
        QTest::newRow("one") << 1 << 0 << 0 << quint32(0x125);
        QTest::newRow("all") << 0x12 << 0x34 << 0x56 << quint32(0x56341225);
        QTest::newRow("high") << 0xFF << 0xFF << 0xFF << quint32(0xFFFFFF25);
    }

    void versionValue() {
        QFETCH(int, b1);
        QFETCH(int, b2);
        QFETCH(int, b3);
        QFETCH(quint32, version);
        Report r = featureRequest(VersionReportId);
        r[1] = uint8_t(b1);
        r[2] = uint8_t(b2);
        r[3] = uint8_t(b3);
        QCOMPARE(parseVersion(r), version);
        QCOMPARE(parseVersion(r) % 256, 37u);
    }

    void positionReport() {
        Report r = featureRequest(PositionReportId);
        const float values[4] = {0.75f, -1.0f, 0.125f, std::numeric_limits<float>::quiet_NaN()};
        std::memcpy(r.data() + 1, values, sizeof values);
        const DevicePosition p = parsePosition(r);
        QCOMPARE(p.positionX, 0.75f);
        QCOMPARE(p.positionY, -1.0f);
        QCOMPARE(p.offsetX, 0.125f);
        // A device that sends garbage reads as 0.
        QCOMPARE(p.offsetY, 0.0f);
    }
};

QTEST_GUILESS_MAIN(TestHidReports)
#include "tst_hidreports.moc"
