#include "device/hidreports.h"
#include "engine/controlloop.h"
#include "engine/engine.h"
#include "engine/mainbackgroundthread.h"
#include "engine/panelfeed.h"
#include "guardian/heartbeat.h"
#include "records/metatypes.h"
#include "support/fakehid.h"
#include "support/logcapture.h"
#include "support/loophelpers.h"
#include "support/reportbytes.h"
#include "telemetry/telemetrythread.h"

#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

using FakeHid::Device;

namespace {

int countCommand(const std::vector<FakeHid::WrittenReport>& reports, uint8_t command) {
    int n = 0;
    for (const auto& r : reports) {
        n += r.bytes[1] == command ? 1 : 0;
    }
    return n;
}

bool isZeroForceReport(const std::array<uint8_t, 65>& bytes) {
    return bytes[0] == 0x02 && bytes[1] == 0x20 &&
           std::all_of(bytes.begin() + 2, bytes.end(), [](uint8_t b) { return b == 0; });
}

bool isGainsOffReport(const std::array<uint8_t, 65>& bytes) {
    return bytes[0] == 0x02 && bytes[1] == 0x21 &&
           std::all_of(bytes.begin() + 2, bytes.end(), [](uint8_t b) { return b == 0; });
}

// The force of the device's first axis in its latest direct-control report; NaN when none.
float lastForce(Device d) {
    const auto w = FakeHid::writes(d);
    for (auto r = w.rbegin(); r != w.rend(); ++r) {
        if (r->bytes[1] == 0x20) {
            return reportFloat(r->bytes, 10);
        }
    }
    return std::numeric_limits<float>::quiet_NaN();
}

// A spring at half strength on the ailerons and on the rudder: force -20 at position 0.4.
EffectsSettings springOnRollAndYaw() {
    EffectsSettings s;
    for (int axis : {0, 2}) {
        s.axes[axis].simple_spring.active = true;
        s.axes[axis].simple_spring.total_effect_strength = 50.0f;
    }
    return s;
}

EffectsSettings springAndDamperOnRoll() {
    EffectsSettings s;
    s.axes[0].simple_spring.active = true;
    s.axes[0].simple_spring.total_effect_strength = 50.0f;
    s.axes[0].smart_damper.active = true;
    s.axes[0].smart_damper.total_effect_strength = 50.0f;
    s.axes[0].smart_damper.static_dampening = 40.0f;
    return s;
}

// Starts `loop` on `clock` with `settings` and runs it past the start ramp: from here on the
// devices get the forces in full.
void startPastTheRamp(MainBackgroundThread& loop, ManualClock& clock, const EffectsSettings& settings) {
    loop.setClock(clock.function());
    loop.changeSettingsModerately(settings);
    loop.start();
    tick(loop);
    clock.now += 3000;
    tick(loop, 2);
}

} // namespace

// The whole HID conversation of the control loop, read off the fake devices' log.
class TestDeviceLink : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { registerMetaTypes(); }
    void init() { FakeHid::reset(); }

    void bothDevicesOpenInTheFirstTickJoystickFirst() {
        FakeHid::plug(Device::Joystick);
        FakeHid::plug(Device::Rudder);
        FakeHid::setVersionBytes(Device::Joystick, 0x01, 0x02, 0x00);
        MainBackgroundThread loop(freeEndpoints());
        QList<QString> order;
        connect(&loop, &MainBackgroundThread::joystickConnected, this,
                [&](uint32_t v) { order << QStringLiteral("joystick %1").arg(v); });
        connect(&loop, &MainBackgroundThread::rudderConnected, this,
                [&](uint32_t v) { order << QStringLiteral("rudder %1").arg(v); });
        loop.start();
        tick(loop);
        QCOMPARE(order, (QList<QString>{QStringLiteral("joystick %1").arg(0x000201 * 256 + 37),
                                        QStringLiteral("rudder 37")}));
        // Opened this tick: no position read, but the gains and the tick's forces already go out.
        QCOMPARE(FakeHid::positionReads(Device::Joystick), 0);
        for (Device d : {Device::Joystick, Device::Rudder}) {
            const auto w = FakeHid::writes(d);
            QCOMPARE(w.size(), size_t(2));
            QCOMPARE(w[0].bytes[1], uint8_t(0x21));
            QCOMPARE(w[1].bytes[1], uint8_t(0x20));
        }
        tick(loop);
        QCOMPARE(FakeHid::positionReads(Device::Joystick), 1);
        QCOMPARE(FakeHid::positionReads(Device::Rudder), 1);
        QCOMPARE(order.size(), 2);
    }

    // Opens take turns in the order the loop asks for them: the joystick first, at start and
    // whenever both are due at one tick, whichever device's thread runs first.
    void opensRunJoystickFirst_data() {
        QTest::addColumn<bool>("plugged");
        QTest::newRow("both plugged") << true;
        QTest::newRow("both absent") << false;
    }
    void opensRunJoystickFirst() {
        QFETCH(bool, plugged);
        for (int run = 0; run < 20; ++run) {
            FakeHid::reset();
            if (plugged) {
                FakeHid::plug(Device::Joystick);
                FakeHid::plug(Device::Rudder);
            }
            MainBackgroundThread loop(freeEndpoints());
            loop.start();
            tick(loop, plugged ? 1 : 202);
            const std::vector<Device> expected =
                plugged
                    ? std::vector<Device>{Device::Joystick, Device::Rudder}
                    : std::vector<Device>{Device::Joystick, Device::Rudder, Device::Joystick, Device::Rudder};
            QVERIFY2(FakeHid::openOrder() == expected, qPrintable(QString::number(run)));
        }
    }

    void failedVersionReadStillConnectsWith37() {
        FakeHid::plug(Device::Joystick);
        FakeHid::setVersionBytes(Device::Joystick, 9, 9, 9);
        FakeHid::failNextVersionRead(Device::Joystick);
        MainBackgroundThread loop(freeEndpoints());
        QSignalSpy connected(&loop, &MainBackgroundThread::joystickConnected);
        loop.start();
        tick(loop);
        QCOMPARE(connected.size(), 1);
        QCOMPARE(connected.at(0).at(0).value<uint32_t>(), 37u);
    }

    // A failed open names the device, its path and hidapi's reason, once however often it is
    // tried again; the open that finally works is logged with the path.
    void aFailedOpenIsLoggedOnceWithPathAndReason_data() {
        QTest::addColumn<bool>("plugged");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("failure");
        QTest::newRow("absent") << false << QStringLiteral("/dev/null")
                                << QStringLiteral("Joystick base (3F21:7A10) not found: No HID devices with "
                                                  "requested VID/PID found in the system.");
        QTest::newRow("no permission")
            << true << QStringLiteral("/dev/hidraw-missing")
            << QStringLiteral(
                   "Joystick base (3F21:7A10) at /dev/hidraw-missing could not be opened: Failed to "
                   "open a device with path '/dev/hidraw-missing': Permission denied (this user may "
                   "not read and write it");
    }
    void aFailedOpenIsLoggedOnceWithPathAndReason() {
        QFETCH(bool, plugged);
        QFETCH(QString, path);
        QFETCH(QString, failure);
        const LogCapture log;
        FakeHid::setPath(Device::Joystick, path.toStdString());
        FakeHid::refuseOpen(Device::Joystick, "Permission denied");
        if (plugged) {
            FakeHid::plug(Device::Joystick);
        }
        MainBackgroundThread loop(freeEndpoints());
        loop.start();
        tick(loop, 403); // three attempts
        QCOMPARE(FakeHid::openAttempts(Device::Joystick), 3);
        const QStringList failures = log.lines(QStringLiteral("Joystick base"));
        QCOMPARE(failures.size(), 1);
        QVERIFY2(failures.constFirst().contains(failure), qPrintable(failures.constFirst()));
        FakeHid::refuseOpen(Device::Joystick, "");
        FakeHid::plug(Device::Joystick);
        tick(loop, 201);
        QCOMPARE(log.lines(QStringLiteral("Joystick base (3F21:7A10) connected at ") + path).size(), 1);
    }

    void absentDevicesAreRetriedEvery201Ticks() {
        MainBackgroundThread loop(freeEndpoints());
        loop.start();
        tick(loop); // first tick: attempt, counter 0
        QCOMPARE(FakeHid::openCount(Device::Joystick), 0);
        FakeHid::plug(Device::Joystick);
        QSignalSpy connected(&loop, &MainBackgroundThread::joystickConnected);
        tick(loop, 200);
        QCOMPARE(connected.size(), 0);
        tick(loop);
        QCOMPARE(connected.size(), 1);
        QVERIFY(FakeHid::writes(Device::Rudder).empty());
    }

    void unpluggingTheRudderLeavesTheJoystickAlone() {
        FakeHid::plug(Device::Joystick);
        FakeHid::plug(Device::Rudder);
        MainBackgroundThread loop(freeEndpoints());
        QSignalSpy joystickGone(&loop, &MainBackgroundThread::joystickDisconnected);
        QSignalSpy rudderGone(&loop, &MainBackgroundThread::rudderDisconnected);
        loop.start();
        tick(loop, 3);
        FakeHid::unplug(Device::Rudder);
        FakeHid::clearWrites();
        tick(loop, 10);
        QCOMPARE(rudderGone.size(), 1);
        QCOMPARE(joystickGone.size(), 0);
        QCOMPARE(FakeHid::writes(Device::Joystick).size(), size_t(10));
        QVERIFY(FakeHid::writes(Device::Rudder).empty());
        QCOMPARE(FakeHid::closeCount(Device::Rudder), 1);
        QCOMPARE(FakeHid::misuseCount(), 0);
    }

    void replugAfterLossReopensOnThe201stTick() {
        FakeHid::plug(Device::Joystick);
        MainBackgroundThread loop(freeEndpoints());
        QSignalSpy connected(&loop, &MainBackgroundThread::joystickConnected);
        QSignalSpy lost(&loop, &MainBackgroundThread::joystickDisconnected);
        loop.start();
        tick(loop, 5);
        loop.changeSettingsModerately(springAndDamperOnRoll());
        settle(loop);
        QCOMPARE(countCommand(FakeHid::writes(Device::Joystick), 0x21), 2); // on connect, on change
        FakeHid::unplug(Device::Joystick);
        tick(loop); // the loss is noticed by this tick's read
        QCOMPARE(lost.size(), 1);
        tick(loop, 40); // 0.2 s later the device is back
        FakeHid::plug(Device::Joystick);
        tick(loop, 160);
        QCOMPARE(connected.size(), 1);
        FakeHid::clearWrites();
        tick(loop); // the 201st tick after the loss
        QCOMPARE(connected.size(), 2);
        // Reopened, it gets the override with the current gains, then direct control every tick.
        tick(loop, 5);
        QCOMPARE(countCommand(FakeHid::writes(Device::Joystick), 0x20), 6);
        QCOMPARE(countCommand(FakeHid::writes(Device::Joystick), 0x21), 1);
        QCOMPARE(FakeHid::writes(Device::Joystick).front().bytes[1], uint8_t(0x21));
    }

    void readFailureDropsTheDevice() {
        FakeHid::plug(Device::Joystick);
        MainBackgroundThread loop(freeEndpoints());
        QSignalSpy lost(&loop, &MainBackgroundThread::joystickDisconnected);
        QSignalSpy positions(&loop, &MainBackgroundThread::positionChanged);
        FakeHid::setPosition(Device::Joystick, 0.5f, 0.25f);
        loop.start();
        // Opened by the first tick, read from the second; the panels hear of it every few ticks.
        tick(loop, PanelFeed::InFrontTicks + 1);
        QCOMPARE(positions.last().at(0).value<PositionInput>().roll, 0.5f);
        FakeHid::failNextPositionRead(Device::Joystick);
        tick(loop, PanelFeed::InFrontTicks);
        QCOMPARE(lost.size(), 1);
        QCOMPARE(positions.last().at(0).value<PositionInput>().roll, 0.0f);
        QCOMPARE(positions.last().at(0).value<PositionInput>().pitch, 0.0f);
    }

    void positionIsDeviceValueMinusOffset() {
        FakeHid::plug(Device::Joystick);
        FakeHid::plug(Device::Rudder);
        FakeHid::setPosition(Device::Joystick, 0.5f, -0.25f, 0.125f, 0.25f);
        FakeHid::setPosition(Device::Rudder, 0.75f, 9.0f, 0.25f, 9.0f);
        MainBackgroundThread loop(freeEndpoints());
        QSignalSpy positions(&loop, &MainBackgroundThread::positionChanged);
        loop.start();
        tick(loop, PanelFeed::InFrontTicks + 1);
        const PositionInput p = positions.last().at(0).value<PositionInput>();
        QCOMPARE(p.roll, 0.375f);
        QCOMPARE(p.pitch, -0.5f);
        QCOMPARE(p.yaw, 0.5f);
    }

    // A settings change writes the override report at once, with the gains as they stand,
    // and then follows the gains as they glide to the new ones over 500 ms. A device that
    // connects later gets them ramped in from zero over 2 s.
    void directXOverrideOnConnectAndAfterSettingsChanges() {
        FakeHid::plug(Device::Joystick);
        MainBackgroundThread loop(freeEndpoints());
        ManualClock clock;
        startPastTheRamp(loop, clock, EffectsSettings());
        QCOMPARE(countCommand(FakeHid::writes(Device::Joystick), 0x21), 1);
        FakeHid::clearWrites();
        EffectsSettings s;
        s.axes[0].direct_x.active = true;
        s.axes[0].direct_x.total_effect_strength = 50.0f;
        s.axes[0].direct_x.trimmer = 80.0f;
        loop.changeSettingsModerately(s);
        settle(loop);
        QCOMPARE(countCommand(FakeHid::writes(Device::Joystick), 0x21), 1);
        QCOMPARE(reportFloat(FakeHid::writes(Device::Joystick).back().bytes, 2), 0.0f);
        clock.now += 500;
        tick(loop, 2); // glided there; then nothing moves: no report
        QCOMPARE(countCommand(FakeHid::writes(Device::Joystick), 0x21), 2);
        QCOMPARE(reportFloat(FakeHid::writes(Device::Joystick).end()[-3].bytes, 2), 0.8f);

        // A device that connects after the last change gets that change's gains, ramped.
        FakeHid::plug(Device::Rudder);
        tick(loop, 250);
        QCOMPARE(reportFloat(FakeHid::writes(Device::Rudder).front().bytes, 2), 0.0f);
        QVERIFY(countCommand(FakeHid::writes(Device::Rudder), 0x20) > 0);
        const int rudderOverrides = countCommand(FakeHid::writes(Device::Rudder), 0x21);
        loop.changeSettingsSuddenly(s);
        settle(loop);
        QCOMPARE(countCommand(FakeHid::writes(Device::Rudder), 0x21), rudderOverrides + 1);
        QCOMPARE(countCommand(FakeHid::writes(Device::Joystick), 0x21), 3);
        QCOMPARE(reportFloat(FakeHid::writes(Device::Joystick).back().bytes, 2), 0.8f);
    }

    // An absent device is asked for once at start and then every 201 ticks (1005 ms).
    void absentDeviceIsTriedAboutOnceASecond_data() {
        QTest::addColumn<int>("ticks");
        QTest::addColumn<int>("attempts");
        QTest::newRow("first tick") << 1 << 1;
        QTest::newRow("200 ticks") << 200 << 1;
        QTest::newRow("201 ticks") << 201 << 2;
        QTest::newRow("401 ticks") << 401 << 2;
        QTest::newRow("402 ticks") << 402 << 3;
        QTest::newRow("10 s") << 2000 << 10;
    }
    void absentDeviceIsTriedAboutOnceASecond() {
        QFETCH(int, ticks);
        QFETCH(int, attempts);
        MainBackgroundThread loop(freeEndpoints());
        loop.start();
        tick(loop, ticks);
        settle(loop);
        QCOMPARE(FakeHid::openAttempts(Device::Joystick), attempts);
        QCOMPARE(FakeHid::openAttempts(Device::Rudder), attempts);
    }

    // A connecting device gets a DirectX override report before anything else, its gains
    // rising from zero to those of the current settings over 2 s, whether it is there at start
    // or comes back after a loss (which may have left the game's effects at zero) during which
    // the settings changed.
    void directXOverrideReachesAConnectingDevice_data() {
        QTest::addColumn<int>("device");
        QTest::addColumn<bool>("replug");
        QTest::newRow("joystick at start") << int(Device::Joystick) << false;
        QTest::newRow("rudder at start") << int(Device::Rudder) << false;
        QTest::newRow("joystick replugged") << int(Device::Joystick) << true;
        QTest::newRow("rudder replugged") << int(Device::Rudder) << true;
    }
    void directXOverrideReachesAConnectingDevice() {
        QFETCH(int, device);
        QFETCH(bool, replug);
        const Device d = static_cast<Device>(device);
        ManualClock clock;
        EffectsSettings s;
        for (int axis = 0; axis < 3; ++axis) {
            s.axes[axis].direct_x.active = true;
            s.axes[axis].direct_x.total_effect_strength = 100.0f;
            s.axes[axis].direct_x.trimmer = 20.0f * static_cast<float>(axis + 1);
        }
        FakeHid::plug(d);
        MainBackgroundThread loop(freeEndpoints());
        loop.setClock(clock.function());
        QSignalSpy connected(&loop, d == Device::Joystick ? &MainBackgroundThread::joystickConnected
                                                          : &MainBackgroundThread::rudderConnected);
        if (replug) {
            loop.start();
            tick(loop, 3);
            FakeHid::unplug(d);
            tick(loop);
            loop.changeSettingsModerately(s); // while the device is away
            FakeHid::plug(d);
            FakeHid::clearWrites();
            tick(loop, 201); // reopened on the 201st tick after the loss
        } else {
            loop.changeSettingsModerately(s);
            loop.start();
            tick(loop);
        }
        QCOMPARE(connected.size(), replug ? 2 : 1);
        auto w = FakeHid::writes(d);
        QVERIFY(w.size() >= 2);
        QCOMPARE(w[0].bytes[1], uint8_t(0x21));
        QCOMPARE(w[1].bytes[1], uint8_t(0x20));
        QVERIFY(std::all_of(w[0].bytes.begin() + 2, w[0].bytes.end(), [](uint8_t b) { return b == 0; }));
        // Trimmer gains: ailerons 0.2 and elevator 0.4 on the joystick, rudder 0.6 on the rudder.
        clock.now += 1000;
        tick(loop);
        w = FakeHid::writes(d);
        QCOMPARE(reportFloat(w.end()[-2].bytes, 2), d == Device::Joystick ? 0.1f : 0.3f);
        QCOMPARE(reportFloat(w.end()[-2].bytes, 6), d == Device::Joystick ? 0.2f : 0.0f);
        clock.now += 1001;
        tick(loop);
        w = FakeHid::writes(d);
        const auto expected =
            HidReports::directXOverride(d == Device::Joystick ? HidReports::joystickDirectXOverride(s)
                                                              : HidReports::rudderDirectXOverride(s));
        QCOMPARE(w.end()[-2].bytes[1], uint8_t(0x21));
        QVERIFY(std::equal(expected.begin(), expected.end(), w.end()[-2].bytes.begin()));
    }

    // A device that does not answer after its open holds up neither the tick nor the other
    // device; it is announced at the first tick after it answers.
    void aHangingOpenStallsNeitherTheLoopNorTheOtherDevice_data() {
        QTest::addColumn<int>("hanging");
        QTest::newRow("joystick hangs") << int(Device::Joystick);
        QTest::newRow("rudder hangs") << int(Device::Rudder);
    }
    void aHangingOpenStallsNeitherTheLoopNorTheOtherDevice() {
        QFETCH(int, hanging);
        const Device hung = static_cast<Device>(hanging);
        const Device other = hung == Device::Joystick ? Device::Rudder : Device::Joystick;
        const auto hungLink = hung == Device::Joystick ? DeviceLink::Joystick : DeviceLink::Rudder;
        const auto otherLink = hung == Device::Joystick ? DeviceLink::Rudder : DeviceLink::Joystick;
        FakeHid::plug(Device::Joystick);
        FakeHid::plug(Device::Rudder);
        FakeHid::holdVersionReads(hung, true);
        MainBackgroundThread loop(freeEndpoints());
        QSignalSpy joystick(&loop, &MainBackgroundThread::joystickConnected);
        QSignalSpy rudder(&loop, &MainBackgroundThread::rudderConnected);
        QSignalSpy& hungConnected = hung == Device::Joystick ? joystick : rudder;
        QSignalSpy& otherConnected = hung == Device::Joystick ? rudder : joystick;
        loop.start();
        QTRY_COMPARE_WITH_TIMEOUT(FakeHid::heldVersionReads(hung), 1, 10000);
        QVERIFY(FakeHid::writes(other).empty()); // the loop ticks only when this test says
        // Ticks run on this thread while the hung open waits on the device's link thread.
        for (int i = 0; i < 50; ++i) {
            loop.link(otherLink)->waitUntilIdle();
            loop.tick();
        }
        loop.link(otherLink)->waitUntilIdle();
        QCOMPARE(otherConnected.size(), 1);
        QCOMPARE(hungConnected.size(), 0);
        QCOMPARE(countCommand(FakeHid::writes(other), 0x20), 50);
        QVERIFY(FakeHid::writes(hung).empty());

        FakeHid::holdVersionReads(hung, false);
        loop.link(hungLink)->waitUntilIdle();
        tick(loop);
        QCOMPARE(hungConnected.size(), 1);
        QCOMPARE(countCommand(FakeHid::writes(hung), 0x21), 1);
        QCOMPARE(countCommand(FakeHid::writes(hung), 0x20), 1);
        QCOMPARE(FakeHid::misuseCount(), 0);
    }

    // A device whose writes hang (firmware that stopped taking reports) holds up neither the
    // tick nor the other device, which gets every tick's report. The hung device's reports are
    // latched, not queued: once it takes reports again it gets the newest. Holding the forces
    // and the shut-down both zero the healthy device at once and return without the hung one.
    void aHungWriteStallsNeitherTheLoopNorTheOtherDevice_data() {
        QTest::addColumn<int>("hanging");
        QTest::addColumn<bool>("shutDown"); // else the forces are held
        QTest::newRow("joystick hangs, shut-down") << int(Device::Joystick) << true;
        QTest::newRow("rudder hangs, shut-down") << int(Device::Rudder) << true;
        QTest::newRow("joystick hangs, held") << int(Device::Joystick) << false;
        QTest::newRow("rudder hangs, held") << int(Device::Rudder) << false;
    }
    void aHungWriteStallsNeitherTheLoopNorTheOtherDevice() {
        QFETCH(int, hanging);
        QFETCH(bool, shutDown);
        const Device hung = static_cast<Device>(hanging);
        const Device other = hung == Device::Joystick ? Device::Rudder : Device::Joystick;
        DeviceLink::Device otherLink = hung == Device::Joystick ? DeviceLink::Rudder : DeviceLink::Joystick;
        FakeHid::plug(Device::Joystick);
        FakeHid::plug(Device::Rudder);
        FakeHid::setPosition(Device::Joystick, 0.4f);
        FakeHid::setPosition(Device::Rudder, 0.4f);
        MainBackgroundThread loop(freeEndpoints());
        ManualClock clock;
        startPastTheRamp(loop, clock, springOnRollAndYaw());
        const auto ticksToOther = [&](int n) {
            for (int i = 0; i < n; ++i) {
                loop.tick();
                loop.link(otherLink)->waitUntilIdle();
            }
        };

        FakeHid::holdWrites(hung, true);
        ticksToOther(1);
        QTRY_COMPARE_WITH_TIMEOUT(FakeHid::heldWrites(hung), 1, 10000);
        FakeHid::clearWrites();
        ticksToOther(50);
        QCOMPARE(countCommand(FakeHid::writes(other), 0x20), 50);
        QCOMPARE(lastForce(other), -20.0f);
        QVERIFY(FakeHid::writes(hung).empty());
        QCOMPARE(FakeHid::heldWrites(hung), 1);

        if (shutDown) {
            loop.shutDown();
        } else {
            loop.setForcesHeld(true);
        }
        // Returned while the hung write still blocks, the healthy device already at zero.
        QCOMPARE(FakeHid::heldWrites(hung), 1);
        QVERIFY(isZeroForceReport(FakeHid::writes(other).back().bytes));

        FakeHid::holdWrites(hung, false);
        QTRY_COMPARE_WITH_TIMEOUT(FakeHid::heldWrites(hung), 0, 10000);
        // The blocked report, then only the newest: the gains at zero and zero reports, none of
        // the 50 latched forces.
        QTRY_VERIFY_WITH_TIMEOUT(FakeHid::writes(hung).size() >= 3, 10000);
        const auto after = FakeHid::writes(hung);
        QCOMPARE(reportFloat(after.front().bytes, 10), -20.0f);
        QVERIFY(isGainsOffReport(after[1].bytes));
        QVERIFY(std::all_of(after.begin() + 2, after.end(), [](const FakeHid::WrittenReport& r) {
            return isZeroForceReport(r.bytes) || isGainsOffReport(r.bytes);
        }));
        if (shutDown) {
            QCOMPARE(after.size(), size_t(3));
        }
        // Left behind by the shut-down, its thread still closes the handle once the call returns.
        QTRY_COMPARE_WITH_TIMEOUT(FakeHid::closeCount(hung), shutDown ? 1 : 0, 10000);
        QCOMPARE(FakeHid::misuseCount(), 0);
    }

    // Settings changed while a device is not taking reports reach it in order once it does:
    // each override report after the one before, before the newest forces; the steps of a
    // glide do not pile up, the newest replaces the one not yet written.
    void overrideReportsWaitingForADeviceArriveInOrder() {
        FakeHid::plug(Device::Joystick);
        MainBackgroundThread loop(freeEndpoints());
        ManualClock clock;
        startPastTheRamp(loop, clock, EffectsSettings());
        FakeHid::holdWrites(Device::Joystick, true);
        loop.tick();
        QTRY_COMPARE_WITH_TIMEOUT(FakeHid::heldWrites(Device::Joystick), 1, 10000);
        FakeHid::clearWrites();
        EffectsSettings s;
        s.axes[0].direct_x.active = true;
        s.axes[0].direct_x.total_effect_strength = 50.0f;
        // Each change is written at once with the gains as they stand: those of the change
        // before, faded in by then. Of the glide's steps after the last one only the newest
        // waits for the device.
        for (float trimmer : {20.0f, 40.0f, 60.0f}) {
            clock.now += 500;
            s.axes[0].direct_x.trimmer = trimmer;
            loop.changeSettingsModerately(s);
        }
        for (int i = 0; i < 3; ++i) {
            clock.now += 200;
            loop.tick();
        }

        FakeHid::holdWrites(Device::Joystick, false);
        QTRY_COMPARE_WITH_TIMEOUT(FakeHid::heldWrites(Device::Joystick), 0, 10000);
        QVERIFY(loop.link(DeviceLink::Joystick)->waitUntilIdle(10000));
        const auto writes = FakeHid::writes(Device::Joystick);
        std::vector<float> trimmers;
        size_t lastOverride = 0;
        for (size_t i = 0; i < writes.size(); ++i) {
            if (writes[i].bytes[1] == 0x21) {
                trimmers.push_back(reportFloat(writes[i].bytes, 2));
                lastOverride = i;
            }
        }
        QCOMPARE(trimmers, (std::vector<float>{0.0f, 0.2f, 0.4f, 0.6f}));
        QVERIFY(lastOverride + 1 < writes.size());
        QCOMPARE(writes[lastOverride + 1].bytes[1], uint8_t(0x20));
    }

    // A device that comes back mid-flight has its forces ramped in from zero over 2 s, while
    // the other device keeps its full forces.
    void aReopenedDeviceRampsInOnItsOwn_data() {
        QTest::addColumn<int>("device");
        QTest::newRow("joystick replugged") << int(Device::Joystick);
        QTest::newRow("rudder replugged") << int(Device::Rudder);
    }
    void aReopenedDeviceRampsInOnItsOwn() {
        QFETCH(int, device);
        const Device replugged = static_cast<Device>(device);
        const Device other = replugged == Device::Joystick ? Device::Rudder : Device::Joystick;
        FakeHid::plug(Device::Joystick);
        FakeHid::plug(Device::Rudder);
        FakeHid::setPosition(Device::Joystick, 0.4f);
        FakeHid::setPosition(Device::Rudder, 0.4f);
        MainBackgroundThread loop(freeEndpoints());
        ManualClock clock;
        startPastTheRamp(loop, clock, springOnRollAndYaw());
        QCOMPARE(lastForce(Device::Joystick), -20.0f);
        QCOMPARE(lastForce(Device::Rudder), -20.0f);

        FakeHid::unplug(replugged);
        tick(loop);
        FakeHid::plug(replugged);
        FakeHid::clearWrites();
        tick(loop, 201); // reopened at the 201st tick after the loss
        QCOMPARE(FakeHid::openCount(replugged), 2);
        const auto first = FakeHid::writes(replugged);
        QCOMPARE(countCommand(first, 0x20), 1);
        QCOMPARE(lastForce(replugged), 0.0f);
        QCOMPARE(reportFloat(first.back().bytes, 2), 0.0f); // nor any spring
        QCOMPARE(lastForce(other), -20.0f);

        clock.now += 1000;
        tick(loop, 2); // the first read after the open reaches the forces a tick later
        QCOMPARE(lastForce(replugged), -10.0f);
        QCOMPARE(lastForce(other), -20.0f);
        clock.now += 1001;
        tick(loop);
        QCOMPARE(lastForce(replugged), -20.0f);
    }

    // A device whose position read fails gets one all-zero report before it is closed, so a
    // device that is still listening is not left pushing.
    void aFailedReadLeavesTheDeviceAtZero() {
        FakeHid::plug(Device::Joystick);
        FakeHid::setPosition(Device::Joystick, 0.4f);
        MainBackgroundThread loop(freeEndpoints());
        ManualClock clock;
        QSignalSpy lost(&loop, &MainBackgroundThread::joystickDisconnected);
        startPastTheRamp(loop, clock, springAndDamperOnRoll());
        QCOMPARE(lastForce(Device::Joystick), -20.0f);
        FakeHid::failNextPositionRead(Device::Joystick);
        FakeHid::clearWrites();
        tick(loop);
        QCOMPARE(lost.size(), 1);
        const auto w = FakeHid::writes(Device::Joystick);
        QCOMPARE(w.size(), size_t(2));
        QVERIFY(isGainsOffReport(w.front().bytes));
        QVERIFY(isZeroForceReport(w.back().bytes));
        QCOMPARE(FakeHid::closeCount(Device::Joystick), 1);
    }

    // A loop that did not tick for more than 100 ms (frozen, starved) ramps the forces in from
    // zero again: the stick may have moved meanwhile. The engine's control thread runs the loop
    // on its kernel timer here, as in the program.
    void aStalledLoopRampsTheForcesIn() {
        FakeHid::plug(Device::Joystick);
        FakeHid::setPosition(Device::Joystick, 0.4f);
        std::atomic<qint64> now{100000};
        Engine engine(freeEndpoints(), [&now] { return now.load(); });
        MainBackgroundThread* control = engine.control();
        control->changeSettingsModerately(springAndDamperOnRoll());
        engine.start();
        // Ramps that a loaded test machine's own stalls restart pass as the clock moves on.
        QTRY_VERIFY_WITH_TIMEOUT((now += 100, lastForce(Device::Joystick) == -20.0f), 20000);
        // The control thread is held elsewhere for 150 ms: no tick can run meanwhile.
        QMetaObject::invokeMethod(
            control, [] { std::this_thread::sleep_for(std::chrono::milliseconds(150)); },
            Qt::BlockingQueuedConnection);
        QTRY_COMPARE_WITH_TIMEOUT(lastForce(Device::Joystick), 0.0f, 10000);
        QTRY_VERIFY_WITH_TIMEOUT((now += 100, lastForce(Device::Joystick) == -20.0f), 20000);
        QVERIFY(engine.shutDown());
        QVERIFY(isZeroForceReport(FakeHid::writes(Device::Joystick).back().bytes));
    }

    // A stall of more than 75 ms (below the guardian's 100 ms of silence) or a let-go of
    // the guardian ramps the forces in from zero and gives the game's gains again; a report
    // built before the let-go and still waiting for the device is not written after it.
    void stallsAndLetGosRampTheForcesIn_data() {
        QTest::addColumn<int>("periods");
        QTest::addColumn<bool>("letGo");
        QTest::addColumn<bool>("ramped");
        QTest::newRow("on time") << 1 << false << false;
        QTest::newRow("75 ms late") << 15 << false << false;
        QTest::newRow("80 ms late") << 16 << false << true;
        QTest::newRow("let-go of the guardian, on time") << 1 << true << true;
        QTest::newRow("let-go of the guardian, 75 ms late") << 15 << true << true;
    }
    void stallsAndLetGosRampTheForcesIn() {
        QFETCH(int, periods);
        QFETCH(bool, letGo);
        QFETCH(bool, ramped);
        FakeHid::plug(Device::Joystick);
        FakeHid::setPosition(Device::Joystick, 0.4f);
        Heartbeat::Shared shared;
        Heartbeat::attach(&shared);
        const auto detach = qScopeGuard([] { Heartbeat::attach(nullptr); });
        MainBackgroundThread loop(freeEndpoints());
        ManualClock clock;
        startPastTheRamp(loop, clock, springAndDamperOnRoll());
        QCOMPARE(lastForce(Device::Joystick), -20.0f);
        auto* control = loop.findChild<ControlLoop*>(QString(), Qt::FindDirectChildrenOnly);
        QVERIFY(control);

        // One report hangs in the device while the next waits behind it.
        FakeHid::holdWrites(Device::Joystick, true);
        control->tick();
        QTRY_COMPARE(FakeHid::heldWrites(Device::Joystick), 1);
        control->tick();
        if (letGo) {
            ++shared.letGos;
        }
        FakeHid::clearWrites();
        FakeHid::holdWrites(Device::Joystick, false);
        settle(loop);
        QCOMPARE(countCommand(FakeHid::writes(Device::Joystick), 0x20), letGo ? 1 : 2);

        FakeHid::clearWrites();
        clock.now += 5 * periods;
        control->tick(static_cast<uint64_t>(periods));
        settle(loop);
        QCOMPARE(lastForce(Device::Joystick), ramped ? 0.0f : -20.0f);
        QCOMPARE(countCommand(FakeHid::writes(Device::Joystick), 0x21), ramped ? 1 : 0);
        loop.shutDown();
    }

    // Every way the forces come back ramps in the stiffness and the vibration with the force,
    // each bounded to the device's range first and then scaled by the master gain: an airflow
    // spring of stiffness 192 and a shaker of amplitude 400 are at half of 100 half-way
    // through. The dampers are not ramped. A stream that returns fades in from its zero record.
    void rampScalesForcesButNotDampers_data() {
        QTest::addColumn<QString>("restart");
        QTest::addColumn<double>("gain");
        for (const char* restart : {"start", "forces off released", "stream returns"}) {
            QTest::addRow("%s", restart) << QString::fromLatin1(restart) << 100.0;
            QTest::addRow("%s, master gain 20 %%", restart) << QString::fromLatin1(restart) << 20.0;
        }
    }
    void rampScalesForcesButNotDampers() {
        QFETCH(QString, restart);
        QFETCH(double, gain);
        const float g = static_cast<float>(gain / 100.0);
        FakeHid::plug(Device::Joystick);
        FakeHid::setPosition(Device::Joystick, 0.4f);
        EffectsSettings s = springAndDamperOnRoll();
        s.axes[0].simple_spring.active = false;
        s.axes[0].airflow_spring.active = true;
        s.axes[0].airflow_spring.total_effect_strength = 100.0f;
        s.axes[0].airflow_spring.airspeed_force = 600.0f;
        s.axes[0].gear_shaker.resetToDefaults(); // 10..20 Hz from 0 to 1000 km/h
        s.axes[0].gear_shaker.active = true;
        s.axes[0].gear_shaker.total_effect_strength = 50000.0f;
        DCSTelemetry flying;
        flying.airspeed = 400.0f;
        flying.gear = 100.0f;
        MainBackgroundThread loop(freeEndpoints());
        ManualClock clock;
        loop.setClock(clock.function());
        loop.setMasterGain(gain);
        loop.changeSettingsModerately(s);
        loop.setDcsTelemetry(flying);
        loop.start();
        tick(loop, 2);
        if (restart != "start") {
            clock.now += 3000;
            tick(loop, 2);
            if (restart == "forces off released") {
                loop.setForcesHeld(true);
                tick(loop, 2);
                loop.setForcesHeld(false);
            } else {
                loop.setDcsTelemetry(DCSTelemetry());
                emit loop.telemetry()->telemetryEnded();
                clock.now += 1500;
                tick(loop, 2);
                QCOMPARE(lastForce(Device::Joystick), 0.0f);
                loop.setDcsTelemetry(flying);
            }
        }
        FakeHid::clearWrites();
        const auto last = [] { return FakeHid::writes(Device::Joystick).back().bytes; };

        clock.now += 1000; // half-way through the ramp
        tick(loop);
        auto r = last();
        QCOMPARE(reportFloat(r, 2), 50.0f * g);             // stiffness 192, bounded to 100, halved
        QCOMPARE(std::fabs(reportFloat(r, 18)), 50.0f * g); // vibration 400, bounded to 100, halved
        QCOMPARE(reportFloat(r, 26), 0.2f);                 // static damper gain, not ramped
        const float halfForce = reportFloat(r, 10);

        clock.now += 1001; // past the ramp
        tick(loop);
        r = last();
        QCOMPARE(reportFloat(r, 2), 100.0f * g);
        QCOMPARE(std::fabs(reportFloat(r, 18)), 100.0f * g);
        QCOMPARE(reportFloat(r, 10), 2.0f * halfForce);
        QVERIFY(reportFloat(r, 10) < -70.0f * g);
    }

    void shutDownLeavesEachDeviceAZeroReport() {
        FakeHid::plug(Device::Joystick);
        FakeHid::plug(Device::Rudder);
        FakeHid::setPosition(Device::Joystick, 0.4f);
        MainBackgroundThread loop(freeEndpoints());
        ManualClock clock;
        loop.setClock(clock.function());
        loop.changeSettingsModerately(springAndDamperOnRoll());
        loop.start();
        tick(loop); // both open: each device's forces ramp in from here
        clock.now += 5000;
        tick(loop, 2);
        QVERIFY(reportFloat(FakeHid::writes(Device::Joystick).back().bytes, 10) != 0.0f);
        QVERIFY(loop.shutDown());
        for (Device d : {Device::Joystick, Device::Rudder}) {
            // The game's own effects stop too, just before the program's forces.
            const auto w = FakeHid::writes(d);
            QVERIFY(w.size() >= 2);
            QVERIFY(isGainsOffReport(w[w.size() - 2].bytes));
            const auto last = w.back().bytes;
            QCOMPARE(last[0], uint8_t(0x02));
            QCOMPARE(last[1], uint8_t(0x20));
            for (int i = 2; i < 65; ++i) {
                QCOMPARE(last[i], uint8_t(0));
            }
        }
    }

    // Random plug/unplug/fail sequences: the loop never touches a closed handle and announces
    // every loss and every connection exactly once.
    void plugChaosNeverMisusesAHandle() {
        QRandomGenerator random(1234);
        MainBackgroundThread loop(freeEndpoints());
        QSignalSpy jc(&loop, &MainBackgroundThread::joystickConnected);
        QSignalSpy jd(&loop, &MainBackgroundThread::joystickDisconnected);
        QSignalSpy rc(&loop, &MainBackgroundThread::rudderConnected);
        QSignalSpy rd(&loop, &MainBackgroundThread::rudderDisconnected);
        loop.start();
        for (int step = 0; step < 4000; ++step) {
            const Device d = random.bounded(2) ? Device::Joystick : Device::Rudder;
            switch (random.bounded(40)) {
            case 0:
                FakeHid::plug(d);
                break;
            case 1:
                FakeHid::unplug(d);
                break;
            case 2:
                FakeHid::failNextPositionRead(d);
                break;
            case 3:
                loop.changeSettingsModerately(springAndDamperOnRoll());
                break;
            default:
                break;
            }
            tick(loop);
        }
        QCOMPARE(FakeHid::misuseCount(), 0);
        QVERIFY(jc.size() > 1);
        QVERIFY(jc.size() - jd.size() == 0 || jc.size() - jd.size() == 1);
        QVERIFY(rc.size() - rd.size() == 0 || rc.size() - rd.size() == 1);
        QCOMPARE(FakeHid::openCount(Device::Joystick), jc.size());
        QCOMPARE(FakeHid::closeCount(Device::Joystick), jd.size());
    }
};

QTEST_GUILESS_MAIN(TestDeviceLink)
#include "tst_devicelink.moc"
