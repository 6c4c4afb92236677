#include "engine/controlloop.h"
#include "engine/mainbackgroundthread.h"
#include "records/metatypes.h"
#include "records/msfstelemetry.h"
#include "support/fakehid.h"
#include "support/fakesimconnect.h"
#include "support/loophelpers.h"
#include "support/msfseventlog.h"
#include "telemetry/msfsdata.h"
#include "telemetry/telemetrysourcemsfs.h"
#include "telemetry/telemetrythread.h"

#include <QList>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

using FakeSimConnect::DataValues;

namespace {

// Indexes of the doubles in a data answer.
enum {
    ON_GROUND,
    FLAPS_L,
    FLAPS_R,
    AIL_TRIM,
    ELEV_TRIM,
    RUD_TRIM,
    G_FORCE,
    ALPHA,
    IAS,
    GEAR_C,
    GEAR_L,
    GEAR_R,
    ENGINES,
    PROP1,
    PROP2,
    PROP3,
    PROP4,
    VS,
};

// An aircraft in cruise: every value different, so a value read from the wrong place shows.
DataValues cruise() {
    DataValues v{};
    v[ON_GROUND] = 0;
    v[FLAPS_L] = 0.25;
    v[FLAPS_R] = 0.75;
    v[AIL_TRIM] = 0.01;
    v[ELEV_TRIM] = -0.02;
    v[RUD_TRIM] = 0.03;
    v[G_FORCE] = 1.25;
    v[ALPHA] = 4.5;
    v[IAS] = 210.0;
    v[GEAR_C] = 0.5;
    v[GEAR_L] = 0.25;
    v[GEAR_R] = 0.75;
    v[ENGINES] = 1;
    v[PROP1] = 88.0;
    v[PROP2] = 11.0;
    v[PROP3] = 12.0;
    v[PROP4] = 13.0;
    v[VS] = -3.5;
    return v;
}

// A data block as SimConnect lays it out, exactly `size` bytes long so that a read past it is
// caught by the sanitizer build.
std::vector<unsigned char> block(const DataValues& values, const char* title,
                                 size_t size = kMsfsDataBlockSize,
                                 const FakeSimConnect::ExtraValues& extras = {}) {
    std::vector<unsigned char> full(kMsfsDataBlockSize, 0);
    std::memcpy(full.data(), values.data(), sizeof(double) * values.size());
    std::memcpy(full.data() + kMsfsTitleOffset + kMsfsTitleSize, extras.data(),
                sizeof(double) * extras.size());
    std::memcpy(full.data() + kMsfsTitleOffset, title, std::min<size_t>(std::strlen(title), kMsfsTitleSize));
    full.resize(size);
    return full;
}

QList<float> fields(const MSFSTelemetry& t) {
    return {t.airspeed,
            t.verticalSpeed,
            t.aileronAoa,
            t.aoa,
            t.sideslip,
            t.rollRate,
            t.gForce,
            t.propAirflow,
            t.trimmerRoll,
            t.trimmerPitch,
            t.trimmerYaw,
            t.gear,
            t.airbrake,
            t.flaps,
            t.onGround ? 1.0f : 0.0f,
            t.aileronTrim,
            t.elevatorTrim,
            t.rudderTrim,
            t.autopilotMaster ? 1.0f : 0.0f,
            t.aileronPosition,
            t.elevatorPosition,
            t.rudderPosition};
}

MSFSTelemetry cruiseRecord() {
    MSFSTelemetry t;
    t.airspeed = 210.0f;
    t.verticalSpeed = -3.5f;
    t.aoa = 4.5f;
    t.gForce = 1.25f;
    t.propAirflow = 88.0f;
    t.gear = 50.0f;
    t.flaps = 50.0f;
    t.aileronTrim = 0.01f;
    t.elevatorTrim = -0.02f;
    t.rudderTrim = 0.03f;
    t.trimmerRoll = float(0.01 * 100.0);
    t.trimmerPitch = float(-0.02 * 100.0);
    t.trimmerYaw = float(0.03 * 100.0);
    return t;
}

// A message as raw bytes: header, then whatever follows.
std::vector<uint8_t> rawMessage(uint32_t dwSize, uint32_t id, const std::vector<uint32_t>& rest,
                                size_t cbData) {
    std::vector<uint8_t> bytes(std::max<size_t>(cbData, 12 + 4 * rest.size()), 0);
    const uint32_t header[3] = {dwSize, 0, id};
    std::memcpy(bytes.data(), header, sizeof header);
    if (!rest.empty()) {
        std::memcpy(bytes.data() + 12, rest.data(), 4 * rest.size());
    }
    bytes.resize(cbData);
    return bytes;
}

} // namespace

class TestMsfsSource : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { registerMetaTypes(); }
    void init() { FakeSimConnect::reset(); }
    // No test may call SimConnect on a closed, unknown or null handle.
    void cleanup() { QCOMPARE(FakeSimConnect::misuseCount(), 0); }

    void simulatorNotRunning() {
        TelemetrySourceMSFS source;
        qint64 now = 0;
        source.setClock([&now]() { return now; });
        EventLog log(&source);
        for (; now <= 4000; now += 20) {
            source.poll();
        }
        QCOMPARE(FakeSimConnect::openAttempts(), 5);
        QCOMPARE(FakeSimConnect::definitions().size(), size_t(0));
        QCOMPARE(FakeSimConnect::requests().size(), size_t(0));
        QCOMPARE(FakeSimConnect::dispatchCalls(), 0);
        QCOMPARE(log.entries, QStringList());
    }

    // While the simulator is not there opening is tried about once a second; a connection still
    // being made (E_PENDING) is asked again at the next poll. pollDelay() tells the worker when.
    void openSchedule_data() {
        QTest::addColumn<int>("pendingOpens");
        QTest::addColumn<bool>("running");
        QTest::addColumn<QList<int>>("pollTimes");
        QTest::addColumn<int>("attempts");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<int>("delay"); // pollDelay() after the last poll
        QTest::newRow("not running, polled every 20 ms")
            << 0 << false << QList<int>{0, 20, 40, 500, 980, 999} << 1 << false << 1;
        QTest::newRow("not running, a second later")
            << 0 << false << QList<int>{0, 999, 1000} << 2 << false << 1000;
        QTest::newRow("not running, polled late")
            << 0 << false << QList<int>{0, 1700, 2600, 2700} << 3 << false << 1000;
        QTest::newRow("pending, then open at the next poll")
            << 2 << true << QList<int>{0, 20, 40} << 3 << true << 20;
        QTest::newRow("pending, then refused: a second's wait")
            << 1 << false << QList<int>{0, 20, 40, 1019, 1020} << 3 << false << 1000;
        QTest::newRow("connected: every 20 ms") << 0 << true << QList<int>{0} << 1 << true << 20;
    }

    void openSchedule() {
        QFETCH(int, pendingOpens);
        QFETCH(bool, running);
        QFETCH(QList<int>, pollTimes);
        QFETCH(int, attempts);
        QFETCH(bool, connected);
        QFETCH(int, delay);
        FakeSimConnect::setSimulatorRunning(running);
        FakeSimConnect::setOpenPending(pendingOpens);
        TelemetrySourceMSFS source;
        qint64 now = 0;
        source.setClock([&now]() { return now; });
        QCOMPARE(source.pollDelay(), qint64(0)); // the first poll tries at once
        for (int t : pollTimes) {
            now = t;
            source.poll();
        }
        QCOMPARE(FakeSimConnect::openAttempts(), attempts);
        QCOMPARE(FakeSimConnect::opens().back().result != nullptr, connected);
        QCOMPARE(source.pollDelay(), qint64(delay));
    }

    void openSetsUpTheConnection() {
        FakeSimConnect::setSimulatorRunning(true);
        {
            TelemetrySourceMSFS source;
            source.poll();
            source.poll();
            const auto opens = FakeSimConnect::opens();
            QCOMPARE(opens.size(), size_t(1));
            QCOMPARE(opens[0].name, std::string("Grovik"));
            QVERIFY(opens[0].window == nullptr && opens[0].eventHandle == nullptr);
            QCOMPARE(opens[0].userEvent, DWORD(0));
            QCOMPARE(opens[0].configIndex, DWORD(0));
            HANDLE handle = opens[0].result;
            QVERIFY(handle != nullptr);

            const auto requests = FakeSimConnect::requests();
            QCOMPARE(requests.size(), size_t(1));
            QVERIFY(requests[0].handle == handle);
            QCOMPARE(requests[0].requestId, DWORD(0));
            QCOMPARE(requests[0].defineId, DWORD(0));
            QCOMPARE(requests[0].radius, DWORD(0));
            QCOMPARE(requests[0].objectType, SIMCONNECT_SIMOBJECT_TYPE_USER);

            const auto subscriptions = FakeSimConnect::subscriptions();
            QCOMPARE(subscriptions.size(), size_t(2));
            QCOMPARE(subscriptions[0].eventId, DWORD(0));
            QCOMPARE(subscriptions[0].name, std::string("SimStart"));
            QCOMPARE(subscriptions[1].eventId, DWORD(1));
            QCOMPARE(subscriptions[1].name, std::string("SimStop"));
            // The first poll opens and reads one message; the second only reads.
            QCOMPARE(FakeSimConnect::dispatchCalls(), 2);
            QVERIFY(FakeSimConnect::closes().empty());
        }
        // Destroying the source closes its connection.
        QCOMPARE(FakeSimConnect::closes().size(), size_t(1));
        QVERIFY(FakeSimConnect::closes()[0] == FakeSimConnect::opens()[0].result);
    }

    void dataDefinition_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("units");
        QTest::addColumn<int>("type");
        const char* const rows[][2] = {
            {"SIM ON GROUND", "Bool"},
            {"TRAILING EDGE FLAPS LEFT PERCENT", "percent over 100"},
            {"TRAILING EDGE FLAPS RIGHT PERCENT", "percent over 100"},
            {"AILERON TRIM PCT", "percent over 100"},
            {"ELEVATOR TRIM PCT", "percent over 100"},
            {"RUDDER TRIM PCT", "percent over 100"},
            {"G FORCE", "GForce"},
            {"INCIDENCE ALPHA", "degree"},
            {"AIRSPEED INDICATED", "kilometer per hour"},
            {"GEAR CENTER POSITION", "percent over 100"},
            {"GEAR LEFT POSITION", "percent over 100"},
            {"GEAR RIGHT POSITION", "percent over 100"},
            {"NUMBER OF ENGINES", "Number"},
            {"PROP MAX RPM PERCENT:1", "percent"},
            {"PROP MAX RPM PERCENT:2", "percent"},
            {"PROP MAX RPM PERCENT:3", "percent"},
            {"PROP MAX RPM PERCENT:4", "percent"},
            {"VERTICAL SPEED", "m/s"},
        };
        int index = 0;
        for (const auto& row : rows) {
            QTest::addRow("%d %s", index + 1, row[0])
                << index << QString::fromLatin1(row[0]) << QString::fromLatin1(row[1])
                << int(SIMCONNECT_DATATYPE_FLOAT64);
            ++index;
        }
        QTest::newRow("19 TITLE") << 18 << QStringLiteral("TITLE") << QString()
                                  << int(SIMCONNECT_DATATYPE_STRING256);
        QTest::newRow("20 AUTOPILOT MASTER") << 19 << QStringLiteral("AUTOPILOT MASTER")
                                             << QStringLiteral("Bool") << int(SIMCONNECT_DATATYPE_FLOAT64);
        QTest::newRow("21 AILERON POSITION")
            << 20 << QStringLiteral("AILERON POSITION") << QStringLiteral("position")
            << int(SIMCONNECT_DATATYPE_FLOAT64);
        QTest::newRow("23 RUDDER POSITION") << 22 << QStringLiteral("RUDDER POSITION")
                                            << QStringLiteral("position") << int(SIMCONNECT_DATATYPE_FLOAT64);
    }

    void dataDefinition() {
        QFETCH(int, index);
        QFETCH(QString, name);
        QFETCH(QString, units);
        QFETCH(int, type);
        FakeSimConnect::setSimulatorRunning(true);
        TelemetrySourceMSFS source;
        source.poll();
        const auto definitions = FakeSimConnect::definitions();
        QCOMPARE(definitions.size(), size_t(kMsfsDatumCount));
        const FakeSimConnect::DefinitionCall& d = definitions[index];
        QCOMPARE(QString::fromStdString(d.name), name);
        QCOMPARE(QString::fromStdString(d.units), units);
        QCOMPARE(d.unitsNull, units.isNull());
        QCOMPARE(int(d.type), type);
        QCOMPARE(d.defineId, DWORD(0));
        QCOMPARE(d.epsilon, 0.0f);
        QCOMPARE(d.datumId, SIMCONNECT_UNUSED);
    }

    void firstAnswerOnlyAnnounces() {
        FakeSimConnect::setSimulatorRunning(true);
        TelemetrySourceMSFS source;
        QSignalSpy records(&source, &TelemetrySourceMSFS::telemetryChanged);
        QSignalSpy starts(&source, &TelemetrySource::telemetrySourceChanged);
        FakeSimConnect::queueData(cruise(), "Cessna Skyhawk G1000 \xc3\x84");
        FakeSimConnect::queueData(cruise(), "ignored");

        source.poll();
        QCOMPARE(starts.count(), 1);
        QCOMPARE(starts.at(0).at(0).value<Telemetry::Source>(), Telemetry::TELEMETRY_SOURCE_MSFS);
        QCOMPARE(starts.at(0).at(1).toString(), QString::fromUtf8("Cessna Skyhawk G1000 \xc3\x84"));
        QCOMPARE(records.count(), 0);
        // Each answer asks for the next one.
        QCOMPARE(FakeSimConnect::requests().size(), size_t(2));

        source.poll();
        QCOMPARE(starts.count(), 1);
        QCOMPARE(records.count(), 1);
        QCOMPARE(fields(records.at(0).at(0).value<MSFSTelemetry>()), fields(cruiseRecord()));
        QCOMPARE(FakeSimConnect::requests().size(), size_t(3));
    }

    void oneMessagePerPoll() {
        FakeSimConnect::setSimulatorRunning(true);
        TelemetrySourceMSFS source;
        EventLog log(&source);
        FakeSimConnect::queueData(cruise(), "A");
        FakeSimConnect::queueSimStart();
        FakeSimConnect::queueSimStart();
        source.poll();
        QCOMPARE(FakeSimConnect::queuedMessages(), 2);
        source.poll();
        QCOMPARE(FakeSimConnect::queuedMessages(), 1);
        QCOMPARE(log.entries, QStringList{"start 1 A"});
    }

    void record_data() {
        QTest::addColumn<DataValues>("values");
        QTest::addColumn<MSFSTelemetry>("expected");

        QTest::newRow("cruise") << cruise() << cruiseRecord();

        auto with = [](std::initializer_list<std::pair<int, double>> changes) {
            DataValues v{};
            for (const auto& c : changes) {
                v[c.first] = c.second;
            }
            return v;
        };
        auto propAirflow = [](float value) {
            MSFSTelemetry t;
            t.propAirflow = value;
            return t;
        };
        QTest::newRow("6 engines use the first 4")
            << with({{ENGINES, 6}, {PROP1, 100}, {PROP2, 100}, {PROP3, 50}, {PROP4, 50}}) << propAirflow(75);
        QTest::newRow("2 engines ignore the others")
            << with({{ENGINES, 2}, {PROP1, 80}, {PROP2, 60}, {PROP3, 1000}, {PROP4, 1000}})
            << propAirflow(70);
        QTest::newRow("engine count truncated")
            << with({{ENGINES, 2.9}, {PROP1, 80}, {PROP2, 60}, {PROP3, 1000}}) << propAirflow(70);
        QTest::newRow("mean in double precision")
            << with({{ENGINES, 3}, {PROP1, 100}, {PROP2, 100}, {PROP3, 101}})
            << propAirflow(float(301.0 / 3.0));
        QTest::newRow("no engine") << with({{ENGINES, 0}, {PROP1, 80}}) << propAirflow(0);
        QTest::newRow("less than one engine") << with({{ENGINES, 0.9}, {PROP1, 80}}) << propAirflow(0);
        QTest::newRow("negative engine count") << with({{ENGINES, -2}, {PROP1, 80}}) << propAirflow(0);
        QTest::newRow("absurd engine count")
            << with({{ENGINES, 1e300}, {PROP1, 40}, {PROP2, 40}, {PROP3, 40}, {PROP4, 40}})
            << propAirflow(40);

        // Gear and flaps in percent, as DCS sends them: gear down at full strength must shake
        // as hard as DCS gear 100.
        auto gearFlaps = [](float gear, float flaps, bool onGround) {
            MSFSTelemetry t;
            t.gear = gear;
            t.flaps = flaps;
            t.onGround = onGround;
            return t;
        };
        QTest::newRow("gear down, flaps half, in percent")
            << with({{GEAR_C, 1}, {GEAR_L, 1}, {GEAR_R, 1}, {FLAPS_L, 0.5}, {FLAPS_R, 0.5}, {ON_GROUND, 1}})
            << gearFlaps(100, 50, true);
        QTest::newRow("gear up, flaps full")
            << with({{FLAPS_L, 1}, {FLAPS_R, 1}}) << gearFlaps(0, 100, false);
        QTest::newRow("asymmetric flaps average")
            << with({{FLAPS_L, 0.1}, {FLAPS_R, 0.3}}) << gearFlaps(0, float(0.2 * 100.0), false);
        QTest::newRow("gear in transit") << with({{GEAR_C, 0.5}, {GEAR_L, 0.4}, {GEAR_R, 0.6}})
                                         << gearFlaps(float(1.5 / 3.0 * 100.0), 0, false);
        QTest::newRow("gear mean in double precision")
            << with({{GEAR_C, 1}}) << gearFlaps(float(1.0 / 3.0 * 100.0), 0, false);

        const double inf = std::numeric_limits<double>::infinity();
        const double nan = std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("non-finite values read 0") << with({{IAS, nan},
                                                           {G_FORCE, inf},
                                                           {ALPHA, -inf},
                                                           {ENGINES, nan},
                                                           {PROP1, 50},
                                                           {ON_GROUND, nan},
                                                           {GEAR_L, inf},
                                                           {GEAR_R, 1},
                                                           {VS, nan}})
                                                  << [] {
                                                         MSFSTelemetry t;
                                                         t.gear = float(1.0 / 3.0 * 100.0);
                                                         return t;
                                                     }();
        QTest::newRow("non-finite propeller")
            << with({{ENGINES, 2}, {PROP1, nan}, {PROP2, 60}}) << propAirflow(30);
        QTest::newRow("too large for a float")
            << with({{IAS, 1e39}, {G_FORCE, -1e300}, {ENGINES, 1}, {PROP1, 1e308}, {AIL_TRIM, 1e40}})
            << MSFSTelemetry{};
        QTest::newRow("sums that overflow") << with({{GEAR_C, 1.7e308},
                                                     {GEAR_L, 1.7e308},
                                                     {GEAR_R, 1.7e308},
                                                     {FLAPS_L, 1.7e308},
                                                     {FLAPS_R, 1.7e308},
                                                     {ENGINES, 2},
                                                     {PROP1, 1.7e308},
                                                     {PROP2, 1.7e308}})
                                            << MSFSTelemetry{};
    }

    void record() {
        QFETCH(DataValues, values);
        QFETCH(MSFSTelemetry, expected);
        const std::vector<unsigned char> bytes = block(values, "X");
        QCOMPARE(fields(msfsRecordFromData(bytes.data(), bytes.size())), fields(expected));
    }

    // After the title: the autopilot and the controls' positions, held to -1..1.
    void autopilotAndControls_data() {
        QTest::addColumn<FakeSimConnect::ExtraValues>("extras");
        QTest::addColumn<QList<float>>("expected"); // autopilot, aileron, elevator, rudder
        QTest::newRow("on") << FakeSimConnect::ExtraValues{1, 0.25, -0.5, 0.125}
                            << QList<float>{1, 0.25f, -0.5f, 0.125f};
        QTest::newRow("beyond full, not finite")
            << FakeSimConnect::ExtraValues{qQNaN(), 3, -1e300, qQNaN()} << QList<float>{0, 1, -1, 0};
    }

    void autopilotAndControls() {
        QFETCH(FakeSimConnect::ExtraValues, extras);
        QFETCH(QList<float>, expected);
        const std::vector<unsigned char> bytes = block(cruise(), "X", kMsfsDataBlockSize, extras);
        const MSFSTelemetry t = msfsRecordFromData(bytes.data(), bytes.size());
        QCOMPARE(
            (QList<float>{float(t.autopilotMaster), t.aileronPosition, t.elevatorPosition, t.rudderPosition}),
            expected);
    }

    // The stick's axes become MSFS's axis events (mapped at open) for the devices present, with
    // MSFS's signs, and only while a stream is live.
    void axisEvents_data() {
        QTest::addColumn<bool>("live");
        QTest::addColumn<bool>("rudder");
        QTest::addColumn<QList<float>>("axes");
        QTest::addColumn<QList<int>>("sent"); // event id, value, ...
        const float nan = std::numeric_limits<float>::quiet_NaN();
        QTest::newRow("right, back, right pedal")
            << true << true << QList<float>{0.5f, 0.2f, 1.0f} << QList<int>{2, -8192, 3, -3277, 4, -16383};
        QTest::newRow("left, pushed, beyond full")
            << true << true << QList<float>{-1.0f, -0.25f, -7.0f} << QList<int>{2, 16383, 3, 4096, 4, 16383};
        QTest::newRow("not finite, no rudder unit")
            << true << false << QList<float>{nan, 0.5f, 0.5f} << QList<int>{2, 0, 3, -8192};
        QTest::newRow("no stream") << false << true << QList<float>{0.5f, 0.5f, 0.5f} << QList<int>{};
    }

    void axisEvents() {
        QFETCH(bool, live);
        QFETCH(bool, rudder);
        QFETCH(QList<float>, axes);
        QFETCH(QList<int>, sent);
        FakeSimConnect::setSimulatorRunning(true);
        TelemetrySourceMSFS source;
        if (live) {
            FakeSimConnect::queueData(cruise(), "A");
        }
        source.poll();
        const auto mapped = FakeSimConnect::mappedEvents();
        QCOMPARE(mapped.size(), size_t(3));
        QCOMPARE(mapped[1].eventId, DWORD(3));
        QCOMPARE(mapped[1].name, std::string("AXIS_ELEVATOR_SET"));
        source.sendAxes(PositionInput{axes[0], axes[1], axes[2]}, true, rudder);
        QList<int> got;
        for (const FakeSimConnect::TransmitCall& call : FakeSimConnect::transmits()) {
            got << int(call.eventId) << call.data;
            QCOMPARE((QList<DWORD>{call.objectId, call.groupId, call.flags}), (QList<DWORD>{0, 1, 0x10}));
        }
        QCOMPARE(got, sent);
    }

    // The control loop hands MSFS the stick's axes minus the centre 60 times a second while the
    // setting is on, MSFS's stream is live and its autopilot is off; never otherwise.
    void axisEventRate_data() {
        QTest::addColumn<bool>("setting");
        QTest::addColumn<bool>("autopilot");
        QTest::addColumn<bool>("ended");
        QTest::addColumn<int>("perSecond");
        QTest::newRow("on") << true << false << false << 60;
        QTest::newRow("setting off") << false << false << false << 0;
        QTest::newRow("autopilot on") << true << true << false << 0;
        QTest::newRow("stream ended") << true << false << true << 0;
    }

    void axisEventRate() {
        QFETCH(bool, setting);
        QFETCH(bool, autopilot);
        QFETCH(bool, ended);
        QFETCH(int, perSecond);
        FakeHid::reset();
        FakeHid::plug(FakeHid::Device::Joystick);
        FakeHid::setPosition(FakeHid::Device::Joystick, 0.25f, 0.5f);
        ManualClock clock;
        MainBackgroundThread bg(freeEndpoints());
        bg.setClock(clock.function());
        bg.start();
        QSignalSpy axes(bg.findChild<ControlLoop*>(), &ControlLoop::msfsAxes);
        EffectsSettings s;
        s.resetToDefaults();
        s.axes[1].trim_following.active = true;
        s.axes[1].trim_following.total_effect_strength = 100.0f;
        bg.changeSettingsModerately(s);
        bg.setSendMsfsAxes(setting);
        MSFSTelemetry msfs;
        msfs.trimmerPitch = 20.0f;
        msfs.autopilotMaster = autopilot;
        bg.setMsfsTelemetry(msfs);
        QSignalSpy end(&bg, &MainBackgroundThread::telemetryEnded);
        if (ended) {
            TelemetryThread* telemetry = bg.telemetry();
            QMetaObject::invokeMethod(telemetry, [telemetry] { emit telemetry->telemetryEnded(); });
            QTRY_COMPARE(end.size(), 1);
        }
        const auto run = [&](int ms, qsizetype from) {
            for (int t = 0; t < ms; t += 5) {
                clock.now += 5;
                tick(bg);
            }
            return axes.size() - from;
        };
        run(3000, 0); // the joystick is open and the centre has settled at the trim
        QCOMPARE(run(1000, axes.size()), qsizetype(perSecond));
        if (perSecond > 0) {
            const PositionInput last = axes.last().at(0).value<PositionInput>();
            QCOMPARE(last.roll, 0.25f);
            QVERIFY(std::fabs(last.pitch - 0.3f) < 1e-4f);
            QCOMPARE(axes.last().mid(1), (QList<QVariant>{true, false}));
        }
        bg.shutDown();
    }

    void shortBlocksReadZero_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("wholeDoubles");
        QTest::addColumn<QString>("title");
        QTest::newRow("empty") << 0 << 0 << QString();
        QTest::newRow("half a double") << 4 << 0 << QString();
        QTest::newRow("up to airspeed") << 72 << 9 << QString();
        QTest::newRow("airspeed cut short") << 71 << 8 << QString();
        QTest::newRow("all doubles, no title") << 144 << 18 << QString();
        QTest::newRow("title cut short") << 150 << 18 << QStringLiteral("Extra ");
        QTest::newRow("whole block") << int(kMsfsDataBlockSize) << 18 << QStringLiteral("Extra 330");
    }

    void shortBlocksReadZero() {
        QFETCH(int, size);
        QFETCH(int, wholeDoubles);
        QFETCH(QString, title);
        DataValues values;
        values.fill(2.0); // every field non-zero, so a field that was read shows
        const std::vector<unsigned char> bytes = block(values, "Extra 330", size_t(size));
        const unsigned char* data = size ? bytes.data() : nullptr;
        const MSFSTelemetry record = msfsRecordFromData(data, bytes.size());
        QCOMPARE(record.onGround, wholeDoubles > ON_GROUND);
        QCOMPARE(record.gForce, wholeDoubles > G_FORCE ? 2.0f : 0.0f);
        QCOMPARE(record.airspeed, wholeDoubles > IAS ? 2.0f : 0.0f);
        // Gear fractions of 2 are 200 %, which no gear reaches: held to 100 %.
        QCOMPARE(record.gear, wholeDoubles > GEAR_R ? 100.0f : 0.0f);
        QCOMPARE(record.propAirflow, wholeDoubles > PROP2 ? 2.0f : 0.0f);
        QCOMPARE(record.verticalSpeed, wholeDoubles > VS ? 2.0f : 0.0f);
        QCOMPARE(msfsTitle(data, bytes.size()), title);
    }

    void titleWithoutTerminator() {
        const std::string title(300, 'T');
        std::vector<unsigned char> bytes(kMsfsDataBlockSize, 0);
        std::memcpy(bytes.data() + kMsfsTitleOffset, title.data(), kMsfsTitleSize);
        QCOMPARE(msfsTitle(bytes.data(), bytes.size()), QString(256, QLatin1Char('T')));
        // Bytes after the block (as in a longer message) are not part of the title.
        bytes.push_back('X');
        QCOMPARE(msfsTitle(bytes.data(), bytes.size()), QString(256, QLatin1Char('T')));
    }

    void malformedMessages_data() {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("newRequests");
        auto bytes = [](const std::vector<uint8_t>& v) {
            return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size()));
        };
        const uint32_t data = SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE;
        QTest::newRow("empty") << bytes({}) << QStringList() << 0;
        QTest::newRow("shorter than a header") << bytes(rawMessage(12, data, {}, 11)) << QStringList() << 0;
        QTest::newRow("size field below a header")
            << bytes(rawMessage(8, SIMCONNECT_RECV_ID_QUIT, {}, 12)) << QStringList() << 0;
        QTest::newRow("data without request id")
            << bytes(rawMessage(14, data, {0}, 14)) << QStringList() << 0;
        QTest::newRow("data for another request")
            << bytes(rawMessage(40, data, {7, 1, 0, 0, 1, 1, 19}, 40)) << QStringList() << 0;
        QTest::newRow("data without block")
            << bytes(rawMessage(40, data, {0, 1, 0, 0, 1, 1, 19}, 40)) << QStringList{"data 0"} << 1;
        QTest::newRow("event without event id")
            << bytes(rawMessage(16, SIMCONNECT_RECV_ID_EVENT, {0}, 16)) << QStringList() << 0;
        QTest::newRow("event of another id")
            << bytes(rawMessage(24, SIMCONNECT_RECV_ID_EVENT, {0, 7, 0}, 24)) << QStringList() << 0;
        QTest::newRow("other message")
            << bytes(rawMessage(12, SIMCONNECT_RECV_ID_OPEN, {}, 12)) << QStringList() << 0;
    }

    // Messages that are short, or that claim less than they bring, are read only as far as they go.
    void malformedMessages() {
        QFETCH(QByteArray, message);
        QFETCH(QStringList, expected);
        QFETCH(int, newRequests);
        FakeSimConnect::setSimulatorRunning(true);
        TelemetrySourceMSFS source;
        EventLog log(&source);
        FakeSimConnect::queueData(cruise(), "A"); // starts the stream
        source.poll();
        const size_t requestsBefore = FakeSimConnect::requests().size();
        FakeSimConnect::queueRaw(std::vector<uint8_t>(message.begin(), message.end()));
        source.poll();
        QCOMPARE(FakeSimConnect::queuedMessages(), 0);
        QCOMPARE(log.entries, QStringList{"start 1 A"} + expected);
        QCOMPARE(FakeSimConnect::requests().size(), requestsBefore + size_t(newRequests));
    }

    void messageSizeBoundsTheBlock() {
        FakeSimConnect::setSimulatorRunning(true);
        TelemetrySourceMSFS source;
        QSignalSpy records(&source, &TelemetrySourceMSFS::telemetryChanged);
        FakeSimConnect::queueData(cruise(), "A");
        source.poll();
        // A full data answer whose size field ends it after the first nine doubles (up to the
        // airspeed): what lies beyond is not read.
        DataValues values;
        values.fill(2.0);
        std::vector<uint8_t> message = rawMessage(40 + 72, SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE,
                                                  {0, 1, 0, 0, 1, 1, 19}, 40 + kMsfsDataBlockSize);
        std::memcpy(message.data() + 40, values.data(), sizeof values);
        FakeSimConnect::queueRaw(message);
        source.poll();
        QCOMPARE(records.count(), 1);
        const MSFSTelemetry t = records.at(0).at(0).value<MSFSTelemetry>();
        QCOMPARE(t.airspeed, 2.0f);
        QCOMPARE(t.gear, 0.0f);
        QCOMPARE(t.verticalSpeed, 0.0f);
    }

    void simStopWhileIdle() {
        FakeSimConnect::setSimulatorRunning(true);
        TelemetrySourceMSFS source;
        QSignalSpy records(&source, &TelemetrySourceMSFS::telemetryChanged);
        EventLog log(&source);
        FakeSimConnect::queueSimStop();
        source.poll();
        QCOMPARE(log.entries, (QStringList{"data 0", "end"}));
        QCOMPARE(fields(records.at(0).at(0).value<MSFSTelemetry>()), fields(MSFSTelemetry{}));
        QCOMPARE(FakeSimConnect::requests().size(), size_t(1)); // only the one made on opening
    }

    void simStopThenSimStart() {
        FakeSimConnect::setSimulatorRunning(true);
        TelemetrySourceMSFS source;
        QSignalSpy records(&source, &TelemetrySourceMSFS::telemetryChanged);
        EventLog log(&source);
        FakeSimConnect::queueData(cruise(), "First");
        FakeSimConnect::queueData(cruise(), "First");
        FakeSimConnect::queueSimStop();
        for (int i = 0; i < 3; ++i) {
            source.poll();
        }
        QCOMPARE(log.entries, (QStringList{"start 1 First", "data 210", "data 0", "end"}));
        QCOMPARE(fields(records.last().at(0).value<MSFSTelemetry>()), fields(MSFSTelemetry{}));
        const size_t requestsAfterStop = FakeSimConnect::requests().size();

        FakeSimConnect::queueSimStart();
        source.poll();
        QCOMPARE(FakeSimConnect::requests().size(), requestsAfterStop + 1);
        DataValues v = cruise();
        v[IAS] = 150;
        FakeSimConnect::queueData(v, "Second");
        FakeSimConnect::queueData(v, "Second");
        source.poll();
        source.poll();
        QCOMPARE(log.entries,
                 (QStringList{"start 1 First", "data 210", "data 0", "end", "start 1 Second", "data 150"}));
    }

    // A simulator that stays connected but sends no data for more than a second ends the stream
    // with an all-zero record; the connection stays, and its next answer starts the stream again
    // under the same aircraft name.
    void silenceEndsStream() {
        FakeSimConnect::setSimulatorRunning(true);
        TelemetrySourceMSFS source;
        qint64 now = 0;
        source.setClock([&now]() { return now; });
        QSignalSpy records(&source, &TelemetrySourceMSFS::telemetryChanged);
        EventLog log(&source);
        FakeSimConnect::queueData(cruise(), "Quiet");
        FakeSimConnect::queueData(cruise(), "Quiet");
        source.poll();
        now = 20;
        source.poll();
        const QStringList streaming{"start 1 Quiet", "data 210"};
        QCOMPARE(log.entries, streaming);
        for (now = 40; now <= 1020; now += 20) { // exactly a second since the last data
            source.poll();
        }
        QCOMPARE(log.entries, streaming);
        now = 1021;
        source.poll();
        QCOMPARE(log.entries, (streaming + QStringList{"data 0", "end"}));
        QCOMPARE(fields(records.last().at(0).value<MSFSTelemetry>()), fields(MSFSTelemetry{}));
        now = 5000; // an ended stream is not ended again
        source.poll();
        QCOMPARE(log.entries.size(), 4);
        QCOMPARE(FakeSimConnect::closes().size(), size_t(0));

        FakeSimConnect::queueData(cruise(), "Quiet");
        FakeSimConnect::queueData(cruise(), "Quiet");
        source.poll();
        now = 5020;
        source.poll();
        QCOMPARE(log.entries.mid(4), streaming);
        QCOMPARE(FakeSimConnect::openAttempts(), 1);
    }

    // After the simulator quits, the dead connection is closed and a restarted simulator is
    // found again by a new connection.
    void quitThenRestartedSimulator() {
        FakeSimConnect::setSimulatorRunning(true);
        TelemetrySourceMSFS source;
        qint64 now = 0;
        source.setClock([&now]() { return now; });
        QSignalSpy records(&source, &TelemetrySourceMSFS::telemetryChanged);
        EventLog log(&source);
        FakeSimConnect::queueData(cruise(), "Before");
        FakeSimConnect::queueData(cruise(), "Before");
        FakeSimConnect::queueQuit();
        for (int i = 0; i < 3; ++i) {
            source.poll();
        }
        QCOMPARE(log.entries, (QStringList{"start 1 Before", "data 210", "data 0", "end"}));
        QCOMPARE(fields(records.last().at(0).value<MSFSTelemetry>()), fields(MSFSTelemetry{}));
        HANDLE first = FakeSimConnect::opens().at(0).result;
        QCOMPARE(FakeSimConnect::closes().size(), size_t(1));
        QVERIFY(FakeSimConnect::closes()[0] == first);

        // Simulator gone: the next poll tries to open again, later ones about once a second, and
        // nothing is emitted.
        source.poll();
        source.poll();
        QCOMPARE(FakeSimConnect::openAttempts(), 2);
        now = 1000;
        source.poll();
        QCOMPARE(FakeSimConnect::openAttempts(), 3);
        QCOMPARE(log.entries.size(), 4);

        FakeSimConnect::setSimulatorRunning(true);
        FakeSimConnect::queueData(cruise(), "After");
        now = 1500;
        source.poll();
        QCOMPARE(FakeSimConnect::openAttempts(), 3);
        now = 2000;
        source.poll();
        const auto opens = FakeSimConnect::opens();
        QCOMPARE(opens.size(), size_t(4));
        HANDLE second = opens.back().result;
        QVERIFY(second != nullptr && second != first);
        QCOMPARE(FakeSimConnect::definitions().size(), size_t(2 * kMsfsDatumCount));
        QVERIFY(FakeSimConnect::definitions().back().handle == second);
        QCOMPARE(FakeSimConnect::subscriptions().size(), size_t(4));
        QCOMPARE(log.entries.last(), QStringLiteral("start 1 After"));
        QCOMPARE(FakeSimConnect::closes().size(), size_t(1));
    }
};

QTEST_GUILESS_MAIN(TestMsfsSource)
#include "tst_msfssource.moc"
