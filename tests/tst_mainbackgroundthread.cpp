#include "engine/controlloop.h"
#include "engine/controlthread.h"
#include "engine/engine.h"
#include "engine/mainbackgroundthread.h"
#include "engine/panelfeed.h"
#include "forces/commontelemetryforcecalculator.h"
#include "records/metatypes.h"
#include "support/fakehid.h"
#include "support/loophelpers.h"
#include "support/reportbytes.h"
#include "support/udptesting.h"
#include "telemetry/telemetrysourceudp.h"
#include "telemetry/telemetrythread.h"
#include "telemetry/udptelemetry.h"

#include <QSignalSpy>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>

namespace {

// With the elevator weight at 100 % on the elevator, the elevator's force is -10 x gForce of
// whichever record drives the synthesis, so the force tells which record was selected.
EffectsSettings elevatorWeight() {
    EffectsSettings s;
    s.axes[1].elevator_weight.active = true;
    s.axes[1].elevator_weight.total_effect_strength = 100.0f;
    return s;
}

template <typename Record> Record withG(float g) {
    Record r;
    r.gForce = g;
    return r;
}

// Positions and records go to the window every this many ticks.
constexpr int PanelTicks = PanelFeed::InFrontTicks;

float elevatorForce(MainBackgroundThread& loop) {
    return calculateForces(loop, PositionInput{}).axis[1].force;
}

// A device's reports of `command` (0x20 forces, 0x21 DirectX gains): how many, and the float
// at `offset` of the latest.
size_t countReports(uint8_t command, FakeHid::Device device = FakeHid::Device::Joystick) {
    const auto w = FakeHid::writes(device);
    return static_cast<size_t>(
        std::count_if(w.begin(), w.end(), [command](const auto& r) { return r.bytes[1] == command; }));
}
float lastReportFloat(uint8_t command, int offset, FakeHid::Device device = FakeHid::Device::Joystick) {
    const auto w = FakeHid::writes(device);
    const auto r =
        std::find_if(w.rbegin(), w.rend(), [command](const auto& x) { return x.bytes[1] == command; });
    return r == w.rend() ? std::numeric_limits<float>::quiet_NaN() : reportFloat(r->bytes, offset);
}

} // namespace

// The control loop's record selection, telemetry override and the signals it re-emits.
class TestMainBackgroundThread : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { registerMetaTypes(); }
    void init() { FakeHid::reset(); }

    void nothingHappensBeforeStart() {
        FakeHid::plug(FakeHid::Device::Joystick);
        MainBackgroundThread loop(freeEndpoints());
        QSignalSpy positions(&loop, &MainBackgroundThread::positionChanged);
        QTest::qWait(50);
        QCOMPARE(positions.size(), 0);
        QVERIFY(FakeHid::writes().empty());
    }

    void startRunsTheLoopEvery5ms() {
        Engine engine(freeEndpoints());
        QList<PositionInput> positions;
        connect(engine.control(), &MainBackgroundThread::positionChanged, this,
                [&](const PositionInput& p) { positions << p; });
        engine.start();
        // No device: the ticks show as reports to nobody, so count the window's updates instead.
        QTRY_VERIFY_WITH_TIMEOUT(!positions.isEmpty(), 5000);
        QCOMPARE(positions.first().roll, 0.0f);
        QCOMPARE(positions.first().pitch, 0.0f);
        QCOMPARE(positions.first().yaw, 0.0f);
        QVERIFY(engine.shutDown());
    }

    // Two engines in one process, each on free ports of its own and ticking on its own control
    // thread: each hears only its own game's stream and computes its forces from it alone. The
    // emulated devices are one joystick and one rudder per process, so none is plugged here:
    // the forces each engine publishes are what it would send.
    void twoEnginesRunSideBySide() {
        struct Heard {
            QStringList aircraft;
            float force = 0.0f;
            float gForce = 0.0f;
        };
        const QByteArray datagrams[2] = {"A-10C;250;0;4;2;0;0;0;0;0", "F-16C;300;0;4;5;0;0;0;0;0"};
        const TelemetryEndpoints endpoints[2] = {freeEndpoints(), freeEndpoints()};
        QVERIFY(endpoints[0].dcsPort != endpoints[1].dcsPort);
        Engine first(endpoints[0]);
        Engine second(endpoints[1]);
        Engine* engines[2] = {&first, &second};
        Heard heard[2];
        for (int e = 0; e < 2; ++e) {
            MainBackgroundThread* control = engines[e]->control();
            control->changeSettingsModerately(elevatorWeight()); // still on this thread
            connect(control, &MainBackgroundThread::telemetrySourceChanged, this,
                    [&heard, e](Telemetry::Source, const QString& name) { heard[e].aircraft << name; });
            connect(control, &MainBackgroundThread::forcesSent, this, [&heard, e](const ForcesSample& s) {
                heard[e].force = s.force[1];
                heard[e].gForce = s.gForce;
            });
            engines[e]->start();
        }
        QTimer games;
        connect(&games, &QTimer::timeout, this, [&] {
            for (int e = 0; e < 2; ++e) {
                UdpTesting::send(endpoints[e].dcsPort, datagrams[e]);
            }
        });
        games.start(10);
        // Past the start ramp and the stream's fade-in, each pulls with -10 x its own G.
        QTRY_COMPARE_WITH_TIMEOUT(heard[0].force, -20.0f, 15000);
        QTRY_COMPARE_WITH_TIMEOUT(heard[1].force, -50.0f, 15000);
        games.stop();
        QCOMPARE(heard[0].aircraft, QStringList{QStringLiteral("A-10C")});
        QCOMPARE(heard[1].aircraft, QStringList{QStringLiteral("F-16C")});
        QCOMPARE(heard[0].gForce, 2.0f);
        QCOMPARE(heard[1].gForce, 5.0f);
        QVERIFY(first.shutDown());
        QVERIFY(second.shutDown());
    }

    void eachSourceSelectsItsOwnRecord() {
        MainBackgroundThread loop(freeEndpoints());
        loop.changeSettingsModerately(elevatorWeight());
        QSignalSpy changed(&loop, &MainBackgroundThread::telemetryChanged);
        QCOMPARE(elevatorForce(loop), 0.0f);
        // Records reach the window at the next panel tick, so each step waits for one.
        loop.setMsfsTelemetry(withG<MSFSTelemetry>(1.0f));
        tick(loop, PanelTicks);
        QCOMPARE(elevatorForce(loop), -10.0f);
        loop.setDcsTelemetry(withG<DCSTelemetry>(2.0f));
        tick(loop, PanelTicks);
        QCOMPARE(elevatorForce(loop), -20.0f);
        loop.setShturmovikTelemetry(withG<ShturmovikTelemetry>(3.0f));
        tick(loop, PanelTicks);
        QCOMPARE(elevatorForce(loop), -30.0f);
        loop.setWarthunderTelemetry(withG<WarthunderTelemetry>(4.0f));
        tick(loop, PanelTicks);
        QCOMPARE(elevatorForce(loop), -40.0f);
        loop.setCondor2Telemetry(withG<Condor2Telemetry>(5.0f));
        tick(loop, PanelTicks);
        QCOMPARE(elevatorForce(loop), -50.0f);
        // Back to MSFS: its stored record was kept while the others ran.
        MSFSTelemetry msfs = withG<MSFSTelemetry>(1.0f);
        msfs.aileronTrim = 0.5f; // extras never reach the forces
        loop.setMsfsTelemetry(msfs);
        tick(loop, PanelTicks);
        QCOMPARE(elevatorForce(loop), -10.0f);

        QCOMPARE(changed.size(), 6);
        QCOMPARE(changed.at(3).at(0).value<Telemetry>().gForce, 4.0f);
    }

    void overrideStateTable() {
        MainBackgroundThread loop(freeEndpoints());
        loop.changeSettingsModerately(elevatorWeight());
        QSignalSpy changed(&loop, &MainBackgroundThread::telemetryChanged);

        // Override off: a hand-set record is ignored.
        loop.overrideTelemetry(withG<Telemetry>(7.0f));
        tick(loop, PanelTicks);
        QCOMPARE(elevatorForce(loop), 0.0f);

        loop.setDcsTelemetry(withG<DCSTelemetry>(2.0f));
        tick(loop, PanelTicks);
        QCOMPARE(elevatorForce(loop), -20.0f);

        // Override on: the game keeps driving until the first hand-set record arrives.
        loop.enableTelemetryOverride();
        QCOMPARE(elevatorForce(loop), -20.0f);
        loop.overrideTelemetry(withG<Telemetry>(7.0f));
        tick(loop, PanelTicks);
        QCOMPARE(elevatorForce(loop), -70.0f);
        // Game records are ignored entirely while the override is on.
        loop.setDcsTelemetry(withG<DCSTelemetry>(3.0f));
        tick(loop, PanelTicks);
        QCOMPARE(elevatorForce(loop), -70.0f);
        QCOMPARE(changed.size(), 1);

        // Override off: the hand-set record keeps driving until a game record is accepted.
        loop.disableTelemetryOverride();
        QCOMPARE(elevatorForce(loop), -70.0f);
        loop.overrideTelemetry(withG<Telemetry>(9.0f));
        tick(loop, PanelTicks);
        QCOMPARE(elevatorForce(loop), -70.0f);
        loop.setCondor2Telemetry(withG<Condor2Telemetry>(4.0f));
        tick(loop, PanelTicks);
        QCOMPARE(elevatorForce(loop), -40.0f);
        QCOMPARE(changed.size(), 2);
        // The DCS record that arrived during the override was never stored.
        loop.setDcsTelemetry(withG<DCSTelemetry>(2.5f));
        tick(loop, PanelTicks);
        QCOMPARE(elevatorForce(loop), -25.0f);
        QCOMPARE(changed.size(), 3);
        // The same record again is not shown again, unless the panel showed the hand-set one since.
        loop.setDcsTelemetry(withG<DCSTelemetry>(2.5f));
        tick(loop, PanelTicks);
        QCOMPARE(changed.size(), 3);
        loop.enableTelemetryOverride();
        loop.disableTelemetryOverride();
        loop.setDcsTelemetry(withG<DCSTelemetry>(2.5f));
        tick(loop, PanelTicks);
        QCOMPARE(changed.size(), 4);
    }

    void forceIsClampedToPlusMinus100() {
        MainBackgroundThread loop(freeEndpoints());
        loop.changeSettingsModerately(elevatorWeight());
        loop.setDcsTelemetry(withG<DCSTelemetry>(12.0f));
        QCOMPARE(elevatorForce(loop), -100.0f);
        loop.setDcsTelemetry(withG<DCSTelemetry>(-30.0f));
        QCOMPARE(elevatorForce(loop), 100.0f);
        // A non-finite flight state counts as 0, never as a full force.
        loop.setDcsTelemetry(withG<DCSTelemetry>(std::numeric_limits<float>::infinity()));
        QCOMPARE(elevatorForce(loop), 0.0f);
        loop.setDcsTelemetry(withG<DCSTelemetry>(std::numeric_limits<float>::quiet_NaN()));
        QCOMPARE(elevatorForce(loop), 0.0f);
    }

    void landingActsWhateverTheOverride() {
        MainBackgroundThread loop(freeEndpoints());
        ManualClock clock;
        loop.setClock(clock.function());
        EffectsSettings s;
        s.axes[0].landing_jolt.resetToDefaults();
        s.axes[0].landing_jolt.active = true;
        s.axes[0].landing_jolt.total_effect_strength = 100.0f;
        loop.changeSettingsModerately(s);
        loop.start();
        loop.enableTelemetryOverride();
        clock.now += 1000;
        loop.setLanded(10.0f, 2000.0f);
        clock.now += 20;
        QVERIFY(calculateForces(loop, PositionInput{}).axis[0].vibration != 0.0f);
        clock.now += 300;
        QCOMPARE(calculateForces(loop, PositionInput{}).axis[0].vibration, 0.0f);
    }

    void telemetrySignalsOfTheWorkerAreReemitted() {
        MainBackgroundThread loop(freeEndpoints());
        QSignalSpy source(&loop, &MainBackgroundThread::telemetrySourceChanged);
        QSignalSpy ended(&loop, &MainBackgroundThread::telemetryEnded);
        QSignalSpy changed(&loop, &MainBackgroundThread::telemetryChanged);
        tick(loop); // the panel tick passes; the record below waits for the next one
        loop.setDcsTelemetry(withG<DCSTelemetry>(2.0f));
        TelemetryThread* telemetry = loop.telemetry();
        QMetaObject::invokeMethod(telemetry, [telemetry] {
            emit telemetry->telemetrySourceChanged(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("F-16C"));
            emit telemetry->telemetryEnded();
        });
        QTRY_COMPARE(ended.size(), 1);
        QCOMPARE(source.size(), 1);
        QCOMPARE(source.at(0).at(0).value<Telemetry::Source>(), Telemetry::TELEMETRY_SOURCE_DCS);
        QCOMPARE(source.at(0).at(1).toString(), QStringLiteral("F-16C"));
        // A record still waiting for the window when the stream ends is never shown.
        tick(loop, PanelTicks);
        QCOMPARE(changed.size(), 0);
    }

    // Game records are posted by the telemetry thread between ticks and reach the forces at the
    // next tick: in the order they arrived, the latest of each game only. A stream's last,
    // all-zero record is applied before its end is handled.
    void recordsPostedBetweenTicksReachTheNextTick_data() {
        QTest::addColumn<QString>("posts");   // game:G, in the order the telemetry thread posts them
        QTest::addColumn<bool>("ends");       // the stream ends after the posts
        QTest::addColumn<QString>("applied"); // what the loop applies, in order
        QTest::addColumn<float>("force");     // the elevator force afterwards

        QTest::newRow("one record") << "dcs:2" << false << "dcs:2" << -20.0f;
        QTest::newRow("latest of a game wins") << "dcs:2 dcs:3 dcs:4" << false << "dcs:4" << -40.0f;
        QTest::newRow("games in arrival order") << "msfs:1 dcs:2 msfs:3" << false << "dcs:2 msfs:3" << -30.0f;
        QTest::newRow("the last to speak drives")
            << "il2:5 condor:1 wt:2" << false << "il2:5 condor:1 wt:2" << -20.0f;
        QTest::newRow("X-Plane after DCS") << "dcs:2 xplane:3" << false << "dcs:2 xplane:3" << -30.0f;
        QTest::newRow("zero record before the end") << "dcs:3 dcs:0" << true << "dcs:0 ended" << 0.0f;
    }

    void recordsPostedBetweenTicksReachTheNextTick() {
        QFETCH(QString, posts);
        QFETCH(bool, ends);
        QFETCH(QString, applied);
        QFETCH(float, force);

        MainBackgroundThread loop(freeEndpoints());
        loop.changeSettingsModerately(elevatorWeight());
        const QMap<Telemetry::Source, QString> names{
            {Telemetry::TELEMETRY_SOURCE_MSFS, "msfs"},     {Telemetry::TELEMETRY_SOURCE_DCS, "dcs"},
            {Telemetry::TELEMETRY_SOURCE_IL2, "il2"},       {Telemetry::TELEMETRY_SOURCE_WARTHUNDER, "wt"},
            {Telemetry::TELEMETRY_SOURCE_CONDOR, "condor"}, {Telemetry::TELEMETRY_SOURCE_XPLANE, "xplane"}};
        QStringList log;
        connect(&loop, &MainBackgroundThread::recordReceived, this, [&](const RecordingRow& row) {
            log << names.value(row.source) + ':' + QString::number(row.telemetry.gForce);
        });
        connect(&loop, &MainBackgroundThread::telemetryEnded, this, [&] { log << "ended"; });
        // A last tick before the stream, so the posts below wait for the next one.
        tick(loop);

        TelemetryThread* worker = loop.telemetry();
        const QStringList steps = posts.split(' ');
        std::thread poster([&] {
            for (const QString& step : steps) {
                const QString game = step.section(':', 0, 0);
                const float g = step.section(':', 1).toFloat();
                emit worker->telemetryRecordChanged(
                    TelemetryRecord::fromCommon(names.key(game), withG<Telemetry>(g)));
            }
            if (ends) {
                emit worker->telemetryEnded();
            }
        });
        poster.join();
        // Nothing reached the loop yet: no wake-up between ticks.
        QCOMPARE(log, QStringList());
        QCOMPARE(elevatorForce(loop), 0.0f);

        if (ends) {
            QTRY_VERIFY(log.contains("ended"));
        } else {
            tick(loop);
        }
        QCOMPARE(log.join(' '), applied);
        QCOMPARE(elevatorForce(loop), force);
        // Drained: the next tick applies nothing again.
        tick(loop);
        QCOMPARE(log.join(' '), applied);
    }

    // A UDP game's datagrams wait in their socket until a tick reads them: nothing wakes in
    // between. The first announces the stream, the newest of the next ones drives the forces
    // from the tick that reads it on.
    void udpGamesAreReadAtTheTick_data() {
        QTest::addColumn<int>("game");
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("newest");
        QTest::addColumn<QString>("name");
        QTest::newRow("DCS") << int(Telemetry::TELEMETRY_SOURCE_DCS)
                             << QByteArray("F-16C;250;0;0;1;0;0;0;0;0")
                             << QByteArray("F-16C;250;0;0;3;0;0;0;0;0") << "F-16C";
        QTest::newRow("Condor") << int(Telemetry::TELEMETRY_SOURCE_CONDOR) << QByteArray("airspeed=50\n")
                                << QByteArray("airspeed=60\n") << "Generic glider";
    }
    void udpGamesAreReadAtTheTick() {
        QFETCH(int, game);
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, newest);
        QFETCH(QString, name);
        TelemetryEndpoints endpoints;
        endpoints.dcsPort = UdpTesting::freePort();
        endpoints.il2Port = UdpTesting::freePort();
        endpoints.condorPort = UdpTesting::freePort();
        const quint16 port =
            game == Telemetry::TELEMETRY_SOURCE_DCS ? endpoints.dcsPort : endpoints.condorPort;
        MainBackgroundThread loop(endpoints);
        loop.changeSettingsModerately(elevatorWeight());
        QSignalSpy started(&loop, &MainBackgroundThread::telemetrySourceChanged);
        QSignalSpy rows(&loop, &MainBackgroundThread::recordReceived);

        QVERIFY(UdpTesting::send(port, first));
        QTRY_VERIFY_WITH_TIMEOUT(loop.udpTelemetry()->source(game)->hasWaitingDatagram(), 5000);
        QTest::qWait(20);
        QCOMPARE(started.count(), 0);
        tick(loop);
        QCOMPARE(started.count(), 1);
        QCOMPARE(started.at(0).at(0).value<Telemetry::Source>(), Telemetry::Source(game));
        QCOMPARE(started.at(0).at(1).toString(), name);
        QCOMPARE(rows.count(), 0);

        QVERIFY(UdpTesting::send(port, first));
        QVERIFY(UdpTesting::send(port, newest));
        QTRY_VERIFY_WITH_TIMEOUT(loop.udpTelemetry()->source(game)->hasWaitingDatagram(), 5000);
        QTest::qWait(20);
        QCOMPARE(rows.count(), 0);
        tick(loop);
        QCOMPARE(rows.count(), 1);
        const RecordingRow row = rows.at(0).at(0).value<RecordingRow>();
        QCOMPARE(row.source, Telemetry::Source(game));
        if (game == Telemetry::TELEMETRY_SOURCE_DCS) {
            QCOMPARE(row.telemetry.gForce, 3.0f);
            QCOMPARE(elevatorForce(loop), -30.0f);
        } else {
            QCOMPARE(row.telemetry.airspeed, 216.0f); // 60 m/s
        }
        QCOMPARE(loop.telemetry()->currentSource(), Telemetry::Source(game));
    }

    // The end of a telemetry-thread game's stream that reaches the loop after a UDP game has
    // started at a tick: the window hears the end, then the UDP game again.
    void otherThreadsEndAfterUdpStart() {
        TelemetryEndpoints endpoints;
        endpoints.dcsPort = UdpTesting::freePort();
        endpoints.il2Port = UdpTesting::freePort();
        endpoints.condorPort = UdpTesting::freePort();
        MainBackgroundThread loop(endpoints);
        QStringList log;
        connect(&loop, &MainBackgroundThread::telemetrySourceChanged, this,
                [&](Telemetry::Source s, const QString& name) {
                    log << QStringLiteral("%1 %2").arg(int(s)).arg(name);
                });
        connect(&loop, &MainBackgroundThread::telemetryEnded, this, [&] { log << "ended"; });
        QVERIFY(UdpTesting::send(endpoints.dcsPort, "F-16C;250;0;0;1;0;0;0;0;0"));
        QTRY_VERIFY_WITH_TIMEOUT(
            loop.udpTelemetry()->source(Telemetry::TELEMETRY_SOURCE_DCS)->hasWaitingDatagram(), 5000);
        tick(loop);
        TelemetryThread* worker = loop.telemetry();
        QMetaObject::invokeMethod(worker, [worker] { emit worker->telemetryEnded(); });
        QTRY_COMPARE_WITH_TIMEOUT(log, (QStringList{"2 F-16C", "ended", "2 F-16C"}), 5000);
    }

    // The window hears of positions and records every 40th tick (5 times a second, as fast as
    // a pilot reads numbers), and always of the latest: here record i carries G = i and precedes
    // tick i. A moving stick is shown at each of those ticks; a stick at rest only once, and a
    // record that repeats itself (a paused game) only once.
    void panelsGetTheLatestAtMost5TimesASecond_data() {
        QTest::addColumn<int>("ticks");
        QTest::addColumn<int>("recordEvery"); // ticks between records; 0: none; -1: G = 1 every tick
        QTest::addColumn<bool>("moving");
        QTest::addColumn<QList<float>>("shownG");
        QTest::addColumn<int>("positions");
        QTest::newRow("one tick") << 1 << 1 << true << QList<float>{0} << 1;
        QTest::newRow("forty ticks") << 40 << 1 << true << QList<float>{0} << 1;
        QTest::newRow("41 ticks") << 41 << 1 << true << QList<float>{0, 40} << 2;
        QTest::newRow("records every tick") << 170 << 1 << true << QList<float>{0, 40, 80, 120, 160} << 5;
        QTest::newRow("records every 6th tick") << 170 << 6 << true << QList<float>{0, 36, 78, 120, 156} << 5;
        QTest::newRow("records every 30th tick")
            << 170 << 30 << true << QList<float>{0, 30, 60, 120, 150} << 5;
        QTest::newRow("records every 60th tick") << 170 << 60 << true << QList<float>{0, 60, 120} << 5;
        QTest::newRow("no records") << 170 << 0 << true << QList<float>{} << 5;
        QTest::newRow("one second") << 200 << 1 << true << QList<float>{} << 5;
        QTest::newRow("stick at rest") << 170 << 1 << false << QList<float>{0, 40, 80, 120, 160} << 1;
        QTest::newRow("stick at rest, no records") << 199 << 0 << false << QList<float>{} << 1;
        QTest::newRow("a repeated record") << 170 << -1 << true << QList<float>{1} << 5;
    }
    void panelsGetTheLatestAtMost5TimesASecond() {
        QFETCH(int, ticks);
        QFETCH(int, recordEvery);
        QFETCH(bool, moving);
        QFETCH(QList<float>, shownG);
        QFETCH(int, positions);
        FakeHid::plug(FakeHid::Device::Joystick);
        MainBackgroundThread loop(freeEndpoints());
        QSignalSpy changed(&loop, &MainBackgroundThread::telemetryChanged);
        QSignalSpy positionSpy(&loop, &MainBackgroundThread::positionChanged);
        loop.start(); // the first open attempts; the ticks below are driven by hand
        for (int i = 0; i < ticks; ++i) {
            if (recordEvery < 0) {
                loop.setDcsTelemetry(withG<DCSTelemetry>(1.0f));
            } else if (recordEvery > 0 && i % recordEvery == 0) {
                loop.setDcsTelemetry(withG<DCSTelemetry>(static_cast<float>(i)));
            }
            if (moving) {
                FakeHid::setPosition(FakeHid::Device::Joystick, static_cast<float>(i) / 1000.0f);
            }
            tick(loop);
        }
        QCOMPARE(positionSpy.size(), positions);
        if (ticks == 200) { // one second of records at the loop's rate
            QCOMPARE(changed.size(), 5);
            QCOMPARE(changed.last().at(0).value<Telemetry>().gForce, 160.0f);
            return;
        }
        QList<float> shown;
        for (const QList<QVariant>& args : changed) {
            shown << args.at(0).value<Telemetry>().gForce;
        }
        QCOMPARE(shown, shownG);
    }

    // What the user sees of the window sets the panels' rate: every 40th tick in front, every
    // 100th behind another program, never while minimized. A view that shows more hears of the
    // latest at the next tick. Record i carries G = i and precedes tick i; the stick moves every tick.
    void panelsFollowWhatTheUserSees_data() {
        QTest::addColumn<int>("ticks");
        QTest::addColumn<QString>("views"); // tick:view, the view set before that tick
        QTest::addColumn<QList<float>>("shownG");
        QTest::addColumn<int>("positions");
        QTest::newRow("in front") << 170 << "" << QList<float>{0, 40, 80, 120, 160} << 5;
        QTest::newRow("behind") << 120 << "0:behind" << QList<float>{0, 100} << 2;
        QTest::newRow("minimized") << 120 << "0:hidden" << QList<float>{} << 0;
        QTest::newRow("restored from minimized")
            << 115 << "0:hidden 30:front" << QList<float>{30, 70, 110} << 3;
        QTest::newRow("to the front") << 105 << "0:behind 20:front" << QList<float>{0, 20, 60, 100} << 4;
        QTest::newRow("behind once the next update is due")
            << 141 << "10:behind" << QList<float>{0, 40, 140} << 3;
        QTest::newRow("minimized, then behind") << 110 << "3:hidden 5:behind" << QList<float>{0, 5, 105} << 3;
    }
    void panelsFollowWhatTheUserSees() {
        QFETCH(int, ticks);
        QFETCH(QString, views);
        QFETCH(QList<float>, shownG);
        QFETCH(int, positions);
        QMap<int, MainBackgroundThread::PanelView> at;
        for (const QString& step : views.split(' ', Qt::SkipEmptyParts)) {
            const QString view = step.section(':', 1);
            at.insert(step.section(':', 0, 0).toInt(),
                      view == "front" ? MainBackgroundThread::PanelView::InFront
                                      : (view == "behind" ? MainBackgroundThread::PanelView::Behind
                                                          : MainBackgroundThread::PanelView::Hidden));
        }
        FakeHid::plug(FakeHid::Device::Joystick);
        MainBackgroundThread loop(freeEndpoints());
        QSignalSpy changed(&loop, &MainBackgroundThread::telemetryChanged);
        QSignalSpy positionSpy(&loop, &MainBackgroundThread::positionChanged);
        loop.start();
        for (int i = 0; i < ticks; ++i) {
            if (at.contains(i)) {
                loop.setPanelView(at.value(i));
            }
            loop.setDcsTelemetry(withG<DCSTelemetry>(static_cast<float>(i)));
            FakeHid::setPosition(FakeHid::Device::Joystick, static_cast<float>(i) / 1000.0f);
            tick(loop);
        }
        QList<float> shown;
        for (const QList<QVariant>& args : changed) {
            shown << args.at(0).value<Telemetry>().gForce;
        }
        QCOMPARE(shown, shownG);
        QCOMPARE(positionSpy.size(), positions);
    }

    // Other threads and the window reach the loop only by queued calls and connections: every
    // public slot's and signal's arguments can be queued (a type unknown to the meta-object
    // system fails only at run time, with the call lost).
    void everySlotAndSignalCanBeQueued() {
        const QMetaObject& meta = MainBackgroundThread::staticMetaObject;
        int methods = 0;
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
            const QMetaMethod m = meta.method(i);
            if (m.access() != QMetaMethod::Public || m.methodType() == QMetaMethod::Method) {
                continue;
            }
            ++methods;
            for (int p = 0; p < m.parameterCount(); ++p) {
                QVERIFY2(m.parameterMetaType(p).isValid(), m.methodSignature().constData());
            }
        }
        QVERIFY(methods >= 20);
    }

    // The force view gets what was sent at most 20 times a second, the newest tick each time,
    // with the flight state of the record that drove it; the recorder gets every record with
    // the forces being sent when it arrived.
    void publishesWhatWasSent() {
        ManualClock clock;
        MainBackgroundThread loop(freeEndpoints());
        loop.setClock(clock.function());
        loop.start();
        loop.changeSettingsModerately(elevatorWeight());
        QSignalSpy samples(&loop, &MainBackgroundThread::forcesSent);
        QSignalSpy rows(&loop, &MainBackgroundThread::recordReceived);
        clock.now += 3000; // past the start ramp
        DCSTelemetry record = withG<DCSTelemetry>(2.0f);
        record.airspeed = 420.0f;
        record.aoa = 6.5f;
        loop.setDcsTelemetry(record);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().at(0).value<RecordingRow>().force[1], 0.0f); // nothing sent yet

        for (int i = 0; i < 200; ++i) { // one second of ticks
            clock.now += 5;
            tick(loop);
        }
        QVERIFY2(samples.size() >= 19 && samples.size() <= 20, qPrintable(QString::number(samples.size())));
        qint64 previous = -1;
        for (const QList<QVariant>& args : samples) {
            const ForcesSample s = args.at(0).value<ForcesSample>();
            QVERIFY(previous < 0 || s.time - previous >= PanelFeed::SampleMs);
            previous = s.time;
        }
        for (int i = 0; i < 250; ++i) { // the stream has faded in from its start
            clock.now += 5;
            tick(loop);
        }
        const ForcesSample last = samples.last().at(0).value<ForcesSample>();
        QCOMPARE(last.force[1], -20.0f);
        QCOMPARE(last.airspeed, 420.0f);
        QCOMPARE(last.aoa, 6.5f);
        QCOMPARE(last.gForce, 2.0f);

        loop.setDcsTelemetry(withG<DCSTelemetry>(3.0f));
        QCOMPARE(rows.size(), 2);
        const RecordingRow row = rows.last().at(0).value<RecordingRow>();
        QCOMPARE(row.source, Telemetry::TELEMETRY_SOURCE_DCS);
        QCOMPARE(row.telemetry.gForce, 3.0f);
        QCOMPARE(row.force[1], -20.0f); // what the last tick sent, from the previous record
        QCOMPARE(row.time, clock.now);
    }

    // The editor hears of the axes' centres when they move by a thousandth of full deflection or
    // more, at most every 100 ms; the plot's samples are made only while someone listens. Here
    // the elevator's centre of each tick, 20 ms apart.
    void centresAndSamplesWakeOnlyWhoNeedsThem_data() {
        QTest::addColumn<QList<float>>("centres");
        QTest::addColumn<int>("announced");
        QTest::newRow("at rest") << QList<float>{0, 0, 0, 0, 0, 0, 0, 0} << 1;
        QTest::newRow("under a thousandth") << QList<float>{0, 0.0004f, -0.0004f, 0.0001f, 0, 0, 0} << 1;
        QTest::newRow("moving all the time")
            << QList<float>{0, 0.01f, 0.02f, 0.03f, 0.04f, 0.05f, 0.06f, 0.07f, 0.08f, 0.09f, 0.1f} << 3;
        QTest::newRow("moved once, later") << QList<float>{0, 0, 0, 0, 0, 0, 0.5f, 0.5f} << 2;
        QTest::newRow("back within 100 ms") << QList<float>{0, 0.5f, 0, 0, 0, 0, 0} << 1;
        const float nan = std::numeric_limits<float>::quiet_NaN();
        QTest::newRow("not a number") << QList<float>{0, nan, nan, nan, nan, nan, nan} << 1;
    }
    void centresAndSamplesWakeOnlyWhoNeedsThem() {
        QFETCH(QList<float>, centres);
        QFETCH(int, announced);
        PanelFeed feed;
        bool listening = false;
        feed.setSamplesWanted([&listening] { return listening; });
        QSignalSpy samples(&feed, &PanelFeed::forcesSent);
        QSignalSpy shown(&feed, &PanelFeed::centresChanged);
        for (int i = 0; i < centres.size(); ++i) {
            const float centre[3] = {0.0f, centres[i], 0.0f};
            feed.setCentres(centre);
            feed.sent(20 * i, Forces{}, Telemetry{});
        }
        QCOMPARE(shown.size(), announced);
        for (const QList<QVariant>& args : shown) {
            QVERIFY(std::isfinite(args.at(0).value<ForcesSample>().centre[1]));
        }
        QCOMPARE(samples.size(), 0);
        listening = true;
        feed.sent(10000, Forces{}, Telemetry{});
        QCOMPARE(samples.size(), 1);
    }

    // The control object owns its parts: the device links, the panel feed and the control loop,
    // which owns its calculators. The telemetry worker has no parent and runs on a
    // thread of its own with everything it owns, and its timer was started there: with no game
    // sending, it waits about a second between scans.
    void everyObjectLivesOnItsOwnThread() {
        MainBackgroundThread loop(freeEndpoints());
        QCOMPARE(loop.parent(), nullptr);
        QCOMPARE(loop.findChildren<DeviceLink*>(Qt::FindDirectChildrenOnly).size(), 2);
        QCOMPARE(loop.findChildren<PanelFeed*>(Qt::FindDirectChildrenOnly).size(), 1);
        // The UDP games are read at the tick, on the loop's thread, with their three sockets.
        UdpTelemetry* udp = loop.udpTelemetry();
        QVERIFY(udp);
        QCOMPARE(udp->parent(), &loop);
        QCOMPARE(udp->findChildren<TelemetrySourceUdp*>().size(), 3);
        QCOMPARE(loop.children().size(), 5);
        ControlLoop* control = loop.findChild<ControlLoop*>(QString(), Qt::FindDirectChildrenOnly);
        QVERIFY(control);
        // One synthesis serves every game.
        QCOMPARE(control->findChildren<CommonTelemetryForceCalculator*>(Qt::FindDirectChildrenOnly).size(),
                 1);
        QCOMPARE(control->children().size(), 1);

        TelemetryThread* telemetry = loop.telemetry();
        QCOMPARE(telemetry->parent(), nullptr);
        QThread* telemetryThread = telemetry->thread();
        QVERIFY(telemetryThread != loop.thread());
        QVERIFY(telemetryThread->isRunning());
        QCOMPARE(telemetryThread->parent(), nullptr);
        const QList<QObject*> owned = telemetry->findChildren<QObject*>();
        QVERIFY(owned.size() >= 6); // timer, three sources, the replay, network client, X-Plane socket ...
        for (QObject* o : owned) {
            QVERIFY2(o->thread() == telemetryThread, o->metaObject()->className());
        }

        // The worker's start() is queued to its thread once this thread's event loop runs.
        bool running = false;
        int interval = 0;
        QTRY_VERIFY_WITH_TIMEOUT(
            (QMetaObject::invokeMethod(
                 telemetry,
                 [&]() {
                     QTimer* timer = telemetry->findChild<QTimer*>(QString(), Qt::FindDirectChildrenOnly);
                     running = timer && timer->isActive() && QThread::currentThread() == timer->thread();
                     interval = timer ? timer->interval() : 0;
                 },
                 Qt::BlockingQueuedConnection),
             running && interval > 20),
            5000);
        QVERIFY2(interval <= 1000, qPrintable(QString::number(interval)));

        // Away from the control thread the loop ticks only when told: what a test drives is all
        // that runs.
        FakeHid::plug(FakeHid::Device::Joystick);
        loop.start();
        QTest::qWait(50);
        QVERIFY(FakeHid::writes(FakeHid::Device::Joystick).empty());
        tick(loop);
        QCOMPARE(countReports(0x20), size_t(1));
        loop.shutDown();
        QCOMPARE(loop.telemetry(), nullptr); // the worker is gone with its thread
    }

    // On the program's control thread the loop ticks by itself every period; calls from other
    // threads, blocking ones too, still arrive between ticks, and the thread ends either after
    // the shut-down (by a plain quit) or while ticking (by stop()).
    void onTheControlThreadTheLoopPollsItsTimer_data() {
        QTest::addColumn<bool>("shutDownFirst");
        QTest::newRow("shut down, then quit") << true;
        QTest::newRow("stopped while ticking") << false;
    }

    void onTheControlThreadTheLoopPollsItsTimer() {
        QFETCH(bool, shutDownFirst);
        FakeHid::plug(FakeHid::Device::Joystick);
        ControlThread thread;
        auto* loop = new MainBackgroundThread(freeEndpoints());
        connect(&thread, &QThread::finished, loop, &QObject::deleteLater);
        thread.start();
        loop->moveToThread(&thread);
        QMetaObject::invokeMethod(loop, &MainBackgroundThread::start, Qt::QueuedConnection);
        ControlLoop* control = loop->findChild<ControlLoop*>(QString(), Qt::FindDirectChildrenOnly);
        QVERIFY(control);

        // Dampers show in every report at once, so a held stick is told from a resting one.
        EffectsSettings dampers;
        dampers.axes[0].smart_damper.active = true;
        dampers.axes[0].smart_damper.total_effect_strength = 100.0f;
        dampers.axes[0].smart_damper.static_dampening = 50.0f;
        QMetaObject::invokeMethod(loop, [loop, dampers] { loop->changeSettingsModerately(dampers); });
        const auto lastByte29 = [] {
            const auto writes = FakeHid::writes(FakeHid::Device::Joystick);
            return writes.empty() ? 0 : writes.back().bytes[29];
        };
        QTRY_VERIFY_WITH_TIMEOUT(lastByte29() != 0, 5000);

        QMetaObject::invokeMethod(
            loop, [loop] { loop->setForcesHeld(true); }, Qt::BlockingQueuedConnection);
        const auto held = FakeHid::writes(FakeHid::Device::Joystick).back().bytes;
        QCOMPARE(held[1], uint8_t(0x20));
        for (int i = 2; i < 65; ++i) {
            QCOMPARE(held[i], uint8_t(0));
        }

        if (shutDownFirst) {
            QMetaObject::invokeMethod(loop, &MainBackgroundThread::shutDown, Qt::BlockingQueuedConnection);
            thread.quit();
        } else {
            thread.stop();
        }
        QVERIFY(thread.wait(5000));
        const size_t written = FakeHid::writes(FakeHid::Device::Joystick).size();
        QTest::qWait(50);
        QCOMPARE(FakeHid::writes(FakeHid::Device::Joystick).size(), written);
    }

    void recordsCarryTheirSourcePrefix() {
        QCOMPARE(sizeof(Telemetry), size_t(60));
        QCOMPARE(sizeof(DCSTelemetry), sizeof(Telemetry));
        QCOMPARE(sizeof(WarthunderTelemetry), sizeof(Telemetry));
        QCOMPARE(sizeof(Condor2Telemetry), sizeof(Telemetry) + 4);
        QCOMPARE(sizeof(ShturmovikTelemetry), sizeof(Telemetry) + 20); // buffet, then three event counts
        QCOMPARE(sizeof(MSFSTelemetry), sizeof(Telemetry) + 28);
        MSFSTelemetry m;
        QCOMPARE(static_cast<void*>(static_cast<Telemetry*>(&m)), static_cast<void*>(&m));
        QCOMPARE(reinterpret_cast<char*>(&m.aileronTrim) - reinterpret_cast<char*>(&m), ptrdiff_t(60));
        QCOMPARE(sizeof(Forces), size_t(36));
        QCOMPARE(sizeof(PositionInput), size_t(12));
        QCOMPARE(sizeof(DirectXOverrideTypeDef), size_t(24));
    }

    void metaTypesAreRegisteredUnderTheirSignalNames() {
        for (const char* name :
             {"Telemetry", "Telemetry::Source", "Forces", "PositionInput", "PositionInput*",
              "DirectXOverrideTypeDef", "MSFSTelemetry", "DCSTelemetry", "ShturmovikTelemetry",
              "WarthunderTelemetry", "Condor2Telemetry", "EffectsSettings", "ForcesSample", "RecordingRow"}) {
            QVERIFY2(QMetaType::fromName(name).isValid(), name);
        }
        QCOMPARE(QMetaEnum::fromType<Telemetry::Source>().valueToKey(3), "TELEMETRY_SOURCE_IL2");
    }
    // "Master gain (%)" scales what is sent to both devices (here the elevator and rudder forces
    // and the DirectX gains of the game's own effects); gains beyond the range are held at its
    // ends, a NaN counts as full. Held forces and DirectX gains reach both devices as zeros at
    // once, and come back from zero over 2 s once released.
    void masterGainAndHeldForcesShapeWhatIsSent_data() {
        QTest::addColumn<double>("gain");
        QTest::addColumn<float>("factor");
        QTest::newRow("full") << 100.0 << 1.0f;
        QTest::newRow("half") << 50.0 << 0.5f;
        QTest::newRow("a quarter") << 25.0 << 0.25f;
        QTest::newRow("none") << 0.0 << 0.0f;
        QTest::newRow("above the range") << 250.0 << 1.0f;
        QTest::newRow("below the range") << -20.0 << 0.0f;
        QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << 1.0f;
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << 1.0f;
    }

    void masterGainAndHeldForcesShapeWhatIsSent() {
        QFETCH(double, gain);
        QFETCH(float, factor);
        FakeHid::plug(FakeHid::Device::Joystick);
        FakeHid::plug(FakeHid::Device::Rudder);
        ManualClock clock;
        MainBackgroundThread loop(freeEndpoints());
        loop.setClock(clock.function());
        loop.start();
        EffectsSettings s = elevatorWeight();
        s.axes[2].elevator_weight = s.axes[1].elevator_weight; // a force on the rudder too
        for (AxisEffectsSettings& axis : s.axes) {
            axis.direct_x.active = true;
            axis.direct_x.total_effect_strength = 100.0f;
            axis.direct_x.trimmer = 40.0f;
            axis.direct_x.force = 50.0f;
            axis.direct_x.periodic = 50.0f;
        }
        loop.changeSettingsModerately(s);
        loop.setDcsTelemetry(withG<DCSTelemetry>(2.0f));
        QSignalSpy samples(&loop, &MainBackgroundThread::forcesSent);
        const auto run = [&](int ticks) {
            for (int i = 0; i < ticks; ++i) {
                clock.now += PanelFeed::SampleMs; // every tick is published
                tick(loop);
            }
        };
        const auto last = [&] { return samples.last().at(0).value<ForcesSample>(); };
        const auto lastForce = [](FakeHid::Device device, int offset) {
            return lastReportFloat(0x20, offset, device);
        };
        // Trimmer, spring and periodic gains of the device's first axis.
        const auto lastGains = [](FakeHid::Device device) {
            return QList<float>{lastReportFloat(0x21, 2, device), lastReportFloat(0x21, 10, device),
                                lastReportFloat(0x21, 18, device)};
        };
        const auto gainsTimes = [](float t) { return QList<float>{0.4f * t, 0.5f * t, 0.5f * t}; };
        run(300); // both devices open and the start ramp is over
        const ForcesSample full = last();
        QVERIFY(full.force[1] != 0.0f && full.force[2] != 0.0f);
        QCOMPARE(lastGains(FakeHid::Device::Joystick), gainsTimes(1.0f));

        loop.setMasterGain(gain);
        run(30); // the gain slews there within 500 ms
        const ForcesSample scaled = last();
        QCOMPARE(scaled.force[1], full.force[1] * factor);
        QCOMPARE(scaled.force[2], full.force[2] * factor);
        QCOMPARE(lastForce(FakeHid::Device::Joystick, 14), full.force[1] * factor);
        QCOMPARE(lastForce(FakeHid::Device::Rudder, 10), full.force[2] * factor);
        QCOMPARE(lastGains(FakeHid::Device::Joystick), gainsTimes(factor));
        QCOMPARE(lastGains(FakeHid::Device::Rudder), gainsTimes(factor));

        // Held: the DirectX gains at zero and then a zero report to each device before the call
        // returns, then zeros every tick.
        const size_t before[2] = {FakeHid::writes(FakeHid::Device::Joystick).size(),
                                  FakeHid::writes(FakeHid::Device::Rudder).size()};
        loop.setForcesHeld(true);
        for (FakeHid::Device device : {FakeHid::Device::Joystick, FakeHid::Device::Rudder}) {
            const auto w = FakeHid::writes(device);
            size_t off = before[device == FakeHid::Device::Joystick ? 0 : 1];
            while (off < w.size() &&
                   !(w[off].bytes[1] == 0x21 && std::all_of(w[off].bytes.begin() + 2, w[off].bytes.end(),
                                                            [](uint8_t b) { return b == 0; }))) {
                ++off;
            }
            QVERIFY2(off + 1 < w.size(), "no gains at zero followed by a report before the call returned");
            QCOMPARE(w.back().bytes[1], uint8_t(0x20));
            for (size_t i = off + 1; i < w.size(); ++i) {
                for (int offset = 2; offset < 26; offset += 4) {
                    QCOMPARE(reportFloat(w[i].bytes, offset), 0.0f); // forces or gains, all zero
                }
            }
        }
        run(20);
        QCOMPARE(last().force[1], 0.0f);
        QCOMPARE(last().force[2], 0.0f);
        QCOMPARE(lastGains(FakeHid::Device::Rudder), gainsTimes(0.0f));

        // Released: half way up after one second, all the way after two.
        loop.setForcesHeld(false);
        run(20);
        QCOMPARE(last().force[1], scaled.force[1] * 0.5f);
        QCOMPARE(lastGains(FakeHid::Device::Joystick), gainsTimes(factor * 0.5f));
        run(23);
        QCOMPARE(last().force[1], scaled.force[1]);
        QCOMPARE(last().force[2], scaled.force[2]);
        QCOMPARE(lastGains(FakeHid::Device::Joystick), gainsTimes(factor));
    }

    // A settings change (a profile loaded by hand or for a new aircraft, an effect added, a
    // slider moved) glides from the old elevator force and DirectX gain to the new ones over
    // 500 ms; the master gain moves at most full scale per 500 ms. No tick leaves the span of
    // the values or moves by more than 3 % of it (one glide moves 1 % a tick), changes in a
    // row carry on from where the glide stood, and the DirectX gain goes along with the force.
    void theForcesNeverStep_data() {
        QTest::addColumn<QString>("change");  // "profile", "slider" or "gain"
        QTest::addColumn<float>("from");      // percent of elevator weight at 5 G and of the
        QTest::addColumn<QList<float>>("to"); // trimmer, or of master gain; 50 ms apart
        QTest::newRow("almost the same profile") << "profile" << 44.0f << QList<float>{42.0f};
        QTest::newRow("a stronger profile") << "profile" << 20.0f << QList<float>{80.0f};
        QTest::newRow("effect removed") << "profile" << 50.0f << QList<float>{0.0f};
        QTest::newRow("two profiles in a row") << "profile" << 80.0f << QList<float>{20.0f, 60.0f};
        QTest::newRow("slider moved") << "slider" << 30.0f << QList<float>{60.0f};
        QTest::newRow("slider dragged")
            << "slider" << 30.0f << QList<float>{35.0f, 40.0f, 45.0f, 50.0f, 55.0f, 60.0f, 70.0f};
        QTest::newRow("gain 0 to 60 %") << "gain" << 0.0f << QList<float>{60.0f};
        QTest::newRow("gain 55 to 100 %") << "gain" << 55.0f << QList<float>{100.0f};
        QTest::newRow("gain 100 to 20 %") << "gain" << 100.0f << QList<float>{20.0f};
    }
    void theForcesNeverStep() {
        QFETCH(QString, change);
        QFETCH(float, from);
        QFETCH(QList<float>, to);
        FakeHid::plug(FakeHid::Device::Joystick);
        ManualClock clock;
        MainBackgroundThread loop(freeEndpoints());
        const auto set = [&](float percent) {
            const float effect = change == "gain" ? 100.0f : percent;
            EffectsSettings s = elevatorWeight();
            s.axes[1].elevator_weight.active = effect > 0.0f;
            s.axes[1].elevator_weight.total_effect_strength = effect;
            s.axes[1].direct_x.active = true;
            s.axes[1].direct_x.trimmer = effect;
            if (change == "gain") {
                loop.setMasterGain(percent);
                loop.changeSettingsModerately(s);
            } else {
                (change == "profile" ? loop.changeSettingsSuddenly(s) : loop.changeSettingsModerately(s));
            }
        };
        loop.setClock(clock.function());
        set(from);
        loop.setDcsTelemetry(withG<DCSTelemetry>(5.0f));
        loop.start();
        tick(loop);
        clock.now += 3000;
        tick(loop);
        QCOMPARE(lastReportFloat(0x20, 14), -from / 2.0f);
        float lo = from;
        float hi = from;
        float previous = from;
        for (int i = 0; i < 200; ++i) {
            if (i % 10 == 0 && i / 10 < to.size()) {
                const size_t overrides = countReports(0x21);
                set(to[i / 10]);
                settle(loop);
                // Written at once, as they stand.
                QCOMPARE(countReports(0x21), overrides + 1);
                lo = std::min(lo, to[i / 10]);
                hi = std::max(hi, to[i / 10]);
            }
            clock.now += 5;
            tick(loop);
            const float value = -2.0f * lastReportFloat(0x20, 14);
            QVERIFY2(value >= lo - 1e-3f && value <= hi + 1e-3f, qPrintable(QString::number(value)));
            QVERIFY2(std::fabs(value - previous) <= 0.03f * (hi - lo) + 1e-3f,
                     qPrintable(QString::number(value)));
            QVERIFY(std::fabs(100.0f * lastReportFloat(0x21, 6) - value) < 1e-3f);
            previous = value;
        }
        QCOMPARE(lastReportFloat(0x20, 14), -to.last() / 2.0f);
        QCOMPARE(lastReportFloat(0x21, 6), to.last() / 100.0f);
    }
};

QTEST_GUILESS_MAIN(TestMainBackgroundThread)
#include "tst_mainbackgroundthread.moc"
