#include "app/mainwindow.h"
#include "engine/mainbackgroundthread.h"
#include "records/metatypes.h"
#include "support/fakehid.h"
#include "support/fakexplane.h"
#include "support/programtesting.h"
#include "support/reportbytes.h"
#include "support/udptesting.h"
#include "telemetry/telemetryendpoints.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>
#include <QtTest>

namespace {

// A profile for DCS and the F-16C whose only effect is the elevator's simple spring at 50 %.
const char kProfile[] = R"({
    "effects": {
        "ailerons": {},
        "elevator": {
            "simple_spring": {
                "active": true,
                "total_effect_strength": 50
            }
        },
        "rudder": {}
    },
    "metadata": {
        "comment": "",
        "flight_data_source": 2,
        "flight_module": "F-16C"
    }
}
)";

bool isDirectControlWith(const FakeHid::WrittenReport& r, float force, float spring) {
    return r.bytes[1] == 0x20 && reportFloat(r.bytes, 14) == force && reportFloat(r.bytes, 6) == spring;
}

} // namespace

// The whole road, from a game datagram on a real socket to the force in the report written
// to the joystick: stream detected, profile selected automatically, settings sent to the loop,
// ramp run out, spring force on the elevator.
class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { registerMetaTypes(); }

    // DCS sends by itself; X-Plane (a stand-in on a free port) answers the program's requests.
    void gameDrivesTheElevatorSpringFromAnAutoSelectedProfile_data() {
        QTest::addColumn<bool>("xplane");
        QTest::newRow("DCS") << false;
        QTest::newRow("X-Plane") << true;
    }
    void gameDrivesTheElevatorSpringFromAnAutoSelectedProfile() {
        QFETCH(bool, xplane);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QDir::setCurrent(dir.path()));
        QVERIFY(QDir().mkdir(QStringLiteral("effect_profiles")));
        QFile profile(QStringLiteral("effect_profiles/GAME_AIRCRAFT.json"));
        QVERIFY(profile.open(QIODevice::WriteOnly));
        profile.write(xplane ? QByteArray(kProfile)
                                   .replace("\"flight_data_source\": 2", "\"flight_data_source\": 6")
                                   .replace("\"F-16C\"", "\"Cessna 172 SP\"")
                             : QByteArray(kProfile));
        profile.close();
        const TelemetryEndpoints endpoints = freeEndpoints();
        FakeXPlane simulator(endpoints.xplanePort);

        FakeHid::reset();
        FakeHid::plug(FakeHid::Device::Joystick);
        FakeHid::setPosition(FakeHid::Device::Joystick, 0.0f, 0.4f);

        TestProgram program(endpoints);
        MainWindow& window = program.window;
        window.show();
        auto* combo = window.findChild<QComboBox*>(QStringLiteral("profile_combo"));
        QVERIFY(combo);
        QCOMPARE(combo->currentIndex(), -1);

        // The game sends its datagrams every 10 ms, as DCS does at 100 frames per second.
        QUdpSocket game;
        const QByteArray datagram("F-16C;250;-2.5;4;1.2;1;0.5;0.25;300;0");
        QTimer sender;
        connect(&sender, &QTimer::timeout, this, [&] {
            if (xplane) {
                simulator.answer(FakeXPlane::flying("Cessna 172 SP", 135));
            } else {
                game.writeDatagram(datagram, QHostAddress::LocalHost, endpoints.dcsPort);
            }
        });
        sender.start(10);

        // The stream selects the profile, whose settings reach the devices as a DirectX override.
        QTRY_COMPARE_WITH_TIMEOUT(combo->currentIndex(), 0, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(
            [] {
                for (const auto& r : FakeHid::writes(FakeHid::Device::Joystick)) {
                    if (r.bytes[1] == 0x21) {
                        return true;
                    }
                }
                return false;
            }(),
            10000);

        // After the 2000 ms ramp the stick pushed forward by 0.4 is pulled back with force -20.
        QTRY_VERIFY_WITH_TIMEOUT(
            isDirectControlWith(FakeHid::writes(FakeHid::Device::Joystick).back(), -20.0f, 20.0f), 15000);
        const auto last = FakeHid::writes(FakeHid::Device::Joystick).back();
        QCOMPARE(reportFloat(last.bytes, 10), 0.0f); // ailerons: no effect
        QCOMPARE(reportFloat(last.bytes, 2), 0.0f);
        sender.stop();
        QVERIFY(QDir::setCurrent(QDir::tempPath()));
    }

    // A pilot who flies an aircraft without a profile is told so, clicks "Create profile for
    // A-10C" and feels the new profile's spring.
    void anAircraftWithoutAProfileFliesWithTheProfileCreatedForIt() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QDir::setCurrent(dir.path()));

        FakeHid::reset();
        FakeHid::plug(FakeHid::Device::Joystick);
        FakeHid::setPosition(FakeHid::Device::Joystick, 0.0f, 0.4f);

        const TelemetryEndpoints endpoints = freeEndpoints();
        TestProgram program(endpoints);
        MainWindow& window = program.window;
        window.show();
        auto* create = window.findChild<QPushButton*>(QStringLiteral("create_profile"));
        QVERIFY(create);
        QVERIFY(!create->isVisible());

        QUdpSocket game;
        const QByteArray datagram("A-10C;250;-2.5;4;1.2;1;0.5;0.25;300;0");
        QTimer sender;
        connect(&sender, &QTimer::timeout, this,
                [&] { game.writeDatagram(datagram, QHostAddress::LocalHost, endpoints.dcsPort); });
        sender.start(10);

        QTRY_VERIFY_WITH_TIMEOUT(create->isVisible(), 10000);
        QCOMPARE(create->text(), QStringLiteral("Create profile for A-10C"));
        QVERIFY2(window.statusBar()->currentMessage().startsWith(QStringLiteral("No profile for A-10C")),
                 qPrintable(window.statusBar()->currentMessage()));

        QTest::mouseClick(create, Qt::LeftButton);

        QVERIFY(QFile::exists(QStringLiteral("effect_profiles/DCS_A_10C.json")));
        QVERIFY(!create->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(
            isDirectControlWith(FakeHid::writes(FakeHid::Device::Joystick).back(), -20.0f, 20.0f), 15000);
        sender.stop();
        QVERIFY(QDir::setCurrent(QDir::tempPath()));
    }
};

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
