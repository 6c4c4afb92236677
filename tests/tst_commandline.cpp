// The command line, the choice of the working directory, and the device list with its
// permission advice (devices emulated by the fake hidapi).

#include "app/commandline.h"
#include "app/datadirectory.h"
#include "device/deviceaccess.h"
#include "support/fakehid.h"
#include "telemetry/telemetryendpoints.h"
#include "telemetry/xplane/telemetrysourcexplane.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

Q_DECLARE_METATYPE(CommandLine::Command)

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        CommandLine::setApplicationIdentity();
        QStandardPaths::setTestModeEnabled(true);
    }

    void cleanup() { FakeHid::reset(); }

    void parse_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<CommandLine::Command>("command");
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QString>("dataDirectory");
        using C = CommandLine::Command;
        QTest::newRow("nothing") << QStringList{} << true << C::Window << ""
                                 << "";
        QTest::newRow("data directory") << QStringList{"--data-dir", "/srv/p"} << true << C::Window << ""
                                        << "/srv/p";
        QTest::newRow("help") << QStringList{"-h"} << true << C::Help << ""
                              << "";
        QTest::newRow("version") << QStringList{"--version"} << true << C::Version << ""
                                 << "";
        QTest::newRow("list devices") << QStringList{"--list-devices"} << true << C::ListDevices << ""
                                      << "";
        QTest::newRow("dcs") << QStringList{"--install-dcs-export", "/g/DCS"} << true << C::InstallDcsExport
                             << "/g/DCS"
                             << "";
        QTest::newRow("il2 with =") << QStringList{"--setup-il2=/g/IL-2"} << true << C::SetupIl2 << "/g/IL-2"
                                    << "";
        QTest::newRow("condor") << QStringList{"--setup-condor", "C:/Condor2"} << true << C::SetupCondor
                                << "C:/Condor2"
                                << "";
        QTest::newRow("msfs") << QStringList{"--setup-msfs", "/g/MSFS"} << true << C::SetupMsfs << "/g/MSFS"
                              << "";
        QTest::newRow("msfs and another set-up")
            << QStringList{"--setup-msfs", "a", "--install-dcs-export", "b"} << false << C::SetupMsfs << ""
            << "";
        QTest::newRow("other computers' telemetry for this run")
            << QStringList{"--accept-remote-telemetry"} << true << C::Window << ""
            << "";
        QTest::newRow("two commands")
            << QStringList{"--list-devices", "--setup-condor", "x"} << false << C::ListDevices << ""
            << "";
        QTest::newRow("missing directory") << QStringList{"--setup-il2"} << false << C::Window << ""
                                           << "";
        QTest::newRow("unknown option") << QStringList{"--fly"} << false << C::Window << ""
                                        << "";
        QTest::newRow("stray argument") << QStringList{"profiles"} << false << C::Window << ""
                                        << "";
    }

    void parse() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, ok);
        QFETCH(CommandLine::Command, command);
        QFETCH(QString, directory);
        QFETCH(QString, dataDirectory);
        CommandLine line;
        arguments.prepend(QStringLiteral("grovik-trennal"));
        QCOMPARE(line.parse(arguments), ok);
        QCOMPARE(line.errorText().isEmpty(), ok);
        if (ok) {
            QCOMPARE(line.command(), command);
            QCOMPARE(line.commandDirectory(), directory);
            QCOMPARE(line.dataDirectory(), dataDirectory);
            QCOMPARE(line.acceptRemoteTelemetry(),
                     arguments.contains(QStringLiteral("--accept-remote-telemetry")));
        }
    }

    // Where X-Plane is asked: a bad address stops the start with a message naming the option.
    void xplaneEndpoint_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::newRow("address and port") << "192.168.1.20:49010" << true << "192.168.1.20" << 49010;
        QTest::newRow("host name, default port") << "sim-pc" << true << "sim-pc" << 49000;
        QTest::newRow("IPv6 in brackets") << "[fe80::1]:49001" << true << "fe80::1" << 49001;
        QTest::newRow("port 0") << "sim-pc:0" << false << "" << 0;
        QTest::newRow("port past 65535") << "sim-pc:70000" << false << "" << 0;
        QTest::newRow("port not a number") << "sim-pc:x" << false << "" << 0;
        QTest::newRow("no host") << ":49000" << false << "" << 0;
        QTest::newRow("empty") << "" << false << "" << 0;
        QTest::newRow("unclosed bracket") << "[fe80::1:49000" << false << "" << 0;
    }
    void xplaneEndpoint() {
        QFETCH(QString, value);
        QFETCH(bool, ok);
        QFETCH(QString, host);
        QFETCH(int, port);
        CommandLine line;
        QCOMPARE(line.parse({QStringLiteral("grovik-trennal"), QStringLiteral("--xplane"), value}), ok);
        QCOMPARE(line.errorText().contains(QStringLiteral("--xplane")), !ok);
        QString parsedHost;
        quint16 parsedPort = 0;
        QCOMPARE(TelemetrySourceXPlane::parseEndpoint(value, &parsedHost, &parsedPort), ok);
        if (ok) {
            QCOMPARE(line.xplaneEndpoint(), value);
            QCOMPARE(parsedHost, host);
            QCOMPARE(int(parsedPort), port);
        }
    }

    // The ports a test or a benchmark moves the games to: a list of GAME=PORT, any subset; a bad
    // entry stops the start and changes nothing, so a child never falls back to a game's port.
    void telemetryPorts_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QList<int>>("ports"); // DCS, IL-2, Condor, War Thunder, X-Plane
        QTest::addColumn<QString>("error");
        const QList<int> games{29778, 29777, 55278, 8111, 49000};
        QTest::newRow("all five") << "dcs=40001,il2=40002,condor=40003,warthunder=40004,xplane=40005" << true
                                  << QList<int>{40001, 40002, 40003, 40004, 40005} << "";
        QTest::newRow("one, spaced, upper case")
            << " DCS = 40001 " << true << QList<int>{40001, 29777, 55278, 8111, 49000} << "";
        QTest::newRow("empty") << "" << true << games << "";
        QTest::newRow("port 0") << "dcs=0" << false << games << "port of 1 to 65535";
        QTest::newRow("port past 65535") << "il2=65536" << false << games << "il2=65536";
        QTest::newRow("negative") << "condor=-5" << false << games << "condor=-5";
        QTest::newRow("twice") << "dcs=40001,dcs=40002" << false << games << "once per game";
        QTest::newRow("no port") << "dcs" << false << games << "GAME=PORT";
        QTest::newRow("two signs") << "dcs=1=2" << false << games << "GAME=PORT";
        QTest::newRow("unknown game, good one before")
            << "dcs=40001,msfs=500" << false << games << "unknown game \"msfs\"";
    }
    void telemetryPorts() {
        QFETCH(QString, value);
        QFETCH(bool, ok);
        QFETCH(QList<int>, ports);
        QFETCH(QString, error);
        TelemetryEndpoints endpoints;
        QString text;
        QCOMPARE(endpoints.applyPorts(value, &text), ok);
        QVERIFY2(text.contains(error) &&
                     text.startsWith(ok ? QString() : QStringLiteral("TRENNAL_TELEMETRY_PORTS")),
                 qPrintable(text));
        QCOMPARE((QList<int>{endpoints.dcsPort, endpoints.il2Port, endpoints.condorPort,
                             endpoints.warthunderUrl.port(), endpoints.xplanePort}),
                 ports);
        QCOMPARE(endpoints.warthunderUrl.host(), QStringLiteral("127.0.0.1"));
        QCOMPARE(endpoints.xplaneHost, QStringLiteral("127.0.0.1"));
    }

    // The recorder's and the replay's files start the window, beside the other window options.
    void recordAndReplayFiles_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("record");
        QTest::addColumn<QString>("replay");
        QTest::newRow("record") << QStringList{"--record", "flight.csv"} << true << "flight.csv"
                                << "";
        QTest::newRow("replay with =") << QStringList{"--replay=/r/a b.csv"} << true << ""
                                       << "/r/a b.csv";
        QTest::newRow("both, with a data directory")
            << QStringList{"--data-dir", "d", "--replay", "in.csv", "--record", "out.csv"} << true
            << "out.csv"
            << "in.csv";
        QTest::newRow("replay without its file") << QStringList{"--replay"} << false << ""
                                                 << "";
    }
    void recordAndReplayFiles() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, ok);
        QFETCH(QString, record);
        QFETCH(QString, replay);
        arguments.prepend(QStringLiteral("grovik-trennal"));
        QVERIFY(!CommandLine::runsWithoutWindow(arguments));
        CommandLine line;
        QCOMPARE(line.parse(arguments), ok);
        if (ok) {
            QCOMPARE(line.command(), CommandLine::Command::Window);
            QCOMPARE(line.recordFile(), record);
            QCOMPARE(line.replayFile(), replay);
        }
    }

    // Decided before any application object exists; the toolkit's own options do not count.
    void runsWithoutWindow_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("console");
        QTest::newRow("window") << QStringList{} << false;
        QTest::newRow("window with toolkit options")
            << QStringList{"-platform", "offscreen", "-style", "fusion"} << false;
        QTest::newRow("window with data directory") << QStringList{"--data-dir", "d"} << false;
        QTest::newRow("device list after toolkit options")
            << QStringList{"-platform", "xcb", "--list-devices"} << true;
        QTest::newRow("help") << QStringList{"--help"} << true;
        QTest::newRow("version") << QStringList{"-v"} << true;
        QTest::newRow("set-up") << QStringList{"--setup-condor", "c"} << true;
        QTest::newRow("set-up without its directory") << QStringList{"--setup-condor"} << true;
    }

    void runsWithoutWindow() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, console);
        arguments.prepend(QStringLiteral("grovik-trennal"));
        QCOMPARE(CommandLine::runsWithoutWindow(arguments), console);
    }

    void chooseDataDirectory_data() {
        QTest::addColumn<QString>("requested");
        QTest::addColumn<bool>("currentHasProfiles");
        QTest::addColumn<QString>("chosen"); // "current", "standard" or a path below current
        QTest::newRow("run script's directory") << "" << true << "current";
        QTest::newRow("menu start in the home folder") << "" << false << "standard";
        QTest::newRow("requested wins over profiles here") << "elsewhere" << true << "elsewhere";
        QTest::newRow("requested, relative") << "sub/dir" << false << "sub/dir";
    }

    void chooseDataDirectory() {
        QFETCH(QString, requested);
        QFETCH(bool, currentHasProfiles);
        QFETCH(QString, chosen);
        QTemporaryDir current;
        if (currentHasProfiles) {
            QVERIFY(QDir(current.path()).mkdir(QStringLiteral("effect_profiles")));
        }
        const QString standard = QStringLiteral("/data/standard");
        const QString expected = chosen == QStringLiteral("current")    ? current.path()
                                 : chosen == QStringLiteral("standard") ? standard
                                                                        : current.filePath(chosen);
        QCOMPARE(DataDirectory::choose(requested, current.path(), standard), expected);
    }

    // Entering creates the directory and its "effect_profiles", and the program works there.
    void enterDataDirectory() {
        const QString before = QDir::currentPath();
        QTemporaryDir home;
        QVERIFY(QDir::setCurrent(home.path()));
        QString error;
        QVERIFY(DataDirectory::enter(QString(), &error));
        const QString standard = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QVERIFY(standard.endsWith(QStringLiteral("/grovik-trennal")));
        QCOMPARE(QDir::currentPath(), QDir(standard).canonicalPath());
        QVERIFY(QFileInfo(QStringLiteral("effect_profiles")).isDir());

        const QString requested = home.filePath(QStringLiteral("mine/profiles-here"));
        QVERIFY(DataDirectory::enter(requested, &error));
        QCOMPARE(QDir::currentPath(), requested);
        QVERIFY(QFileInfo(QStringLiteral("effect_profiles")).isDir());
        // Started again from there, it stays.
        QVERIFY(DataDirectory::enter(QString(), &error));
        QCOMPARE(QDir::currentPath(), requested);

        QVERIFY(!DataDirectory::enter(QStringLiteral("/proc/no-such/dir"), &error));
        QVERIFY(error.contains(QStringLiteral("/proc/no-such/dir")));
        QCOMPARE(QDir::currentPath(), requested);
        QDir::setCurrent(before);
    }

    // Attached devices with and without permission; the advice only when one is refused.
    void listDevices_data() {
        QTest::addColumn<bool>("joystick");
        QTest::addColumn<bool>("rudder");
        QTest::addColumn<QStringList>("refusedPaths");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("advice");
        QTest::newRow("none") << false << false << QStringList{}
                              << QStringList{"No Grovik device (USB vendor 3F21) is attached."} << false;
        QTest::newRow("both permitted") << true << true << QStringList{}
                                        << QStringList{"Joystick base (3F21:7A10) \"Grovik joystick base\"",
                                                       "  path: /dev/hidraw3",
                                                       "  access: yes",
                                                       "Rudder unit (3F21:7A2C) \"Grovik rudder unit\"",
                                                       "  path: /dev/hidraw4",
                                                       "  access: yes"}
                                        << false;
        QTest::newRow("rudder refused")
            << true << true << QStringList{"/dev/hidraw4"}
            << QStringList{"Joystick base (3F21:7A10) \"Grovik joystick base\"", "  access: yes",
                           "Rudder unit (3F21:7A2C) \"Grovik rudder unit\"", "  access: no permission"}
            << true;
        QTest::newRow("only the joystick, refused")
            << true << false << QStringList{"/dev/hidraw3"}
            << QStringList{"Joystick base (3F21:7A10) \"Grovik joystick base\"", "  access: no permission"}
            << true;
    }

    void listDevices() {
        QFETCH(bool, joystick);
        QFETCH(bool, rudder);
        QFETCH(QStringList, refusedPaths);
        QFETCH(QStringList, lines);
        QFETCH(bool, advice);
        FakeHid::setPath(FakeHid::Device::Joystick, "/dev/hidraw3");
        FakeHid::setPath(FakeHid::Device::Rudder, "/dev/hidraw4");
        if (joystick) {
            FakeHid::plug(FakeHid::Device::Joystick);
        }
        if (rudder) {
            FakeHid::plug(FakeHid::Device::Rudder);
        }
        const auto check = [&](const QString& path) { return !refusedPaths.contains(path); };
        const QString text = DeviceAccess::formatList(DeviceAccess::enumerate(0, check));
        const QStringList shown = text.split(QLatin1Char('\n'));
        int at = 0;
        for (const QString& line : lines) {
            at = int(shown.indexOf(line, at));
            QVERIFY2(at >= 0, qPrintable(line + QStringLiteral(" missing in:\n") + text));
        }
        QCOMPARE(text.contains(QStringLiteral("udevadm control --reload-rules && sudo udevadm trigger")),
                 advice);
        QCOMPARE(text.contains(QStringLiteral("ATTRS{idVendor}==\"3f21\", ATTRS{idProduct}==\"7a2c\", "
                                              "TAG+=\"uaccess\"")),
                 advice);

        // The status panel's question, for each product.
        using P = DeviceAccess::Presence;
        QCOMPARE(DeviceAccess::presence(DeviceAccess::enumerate(0x7A10, check)),
                 !joystick                               ? P::Absent
                 : refusedPaths.contains("/dev/hidraw3") ? P::NoPermission
                                                         : P::Permitted);
        QCOMPARE(DeviceAccess::presence(DeviceAccess::enumerate(0x7A2C, check)),
                 !rudder                                 ? P::Absent
                 : refusedPaths.contains("/dev/hidraw4") ? P::NoPermission
                                                         : P::Permitted);
    }

    // The status panel's view: the kernel's hidraw list. Other vendors, other products and
    // malformed entries are not ours.
    void hidrawList_data() {
        QTest::addColumn<QStringList>("uevents"); // one per node hidraw0, hidraw1, ...
        QTest::addColumn<int>("productId");
        QTest::addColumn<QStringList>("found"); // "node name", in order
        QTest::addColumn<int>("presence");
        using P = DeviceAccess::Presence;
        const QString joystick =
            QStringLiteral("DRIVER=hid-generic\nHID_ID=0003:00003F21:00007A10\nHID_NAME=Grovik Joystick\n");
        const QString rudder = QStringLiteral("HID_ID=0003:00003F21:00007A2C\nHID_NAME=Grovik Rudder\n");
        const QString mouse = QStringLiteral("HID_ID=0003:0000046D:0000C077\nHID_NAME=Mouse\n");
        QTest::newRow("nothing") << QStringList{} << 0x7A10 << QStringList{} << int(P::Absent);
        QTest::newRow("joystick among others") << QStringList{mouse, joystick, rudder} << 0x7A10
                                               << QStringList{"hidraw1 Grovik Joystick"} << int(P::Permitted);
        QTest::newRow("any product") << QStringList{rudder, mouse, joystick} << 0
                                     << QStringList{"hidraw0 Grovik Rudder", "hidraw2 Grovik Joystick"}
                                     << int(P::Permitted);
        QTest::newRow("refused node") << QStringList{mouse, rudder} << 0x7A2C
                                      << QStringList{"hidraw1 Grovik Rudder"} << int(P::NoPermission);
        QTest::newRow("malformed ids") << QStringList{"HID_ID=0003:3F21\n", "HID_ID=zz:00003F21:zz\n",
                                                      "HID_ID=0003:00003F21:00017A10\n", "HID_NAME=no id\n"}
                                       << 0 << QStringList{} << int(P::Absent);
    }

    void hidrawList() {
        QFETCH(QStringList, uevents);
        QFETCH(int, productId);
        QFETCH(QStringList, found);
        QFETCH(int, presence);
        QTemporaryDir root;
        for (int i = 0; i < uevents.size(); ++i) {
            const QString device = root.filePath(QStringLiteral("sys/hidraw%1/device").arg(i));
            QVERIFY(QDir().mkpath(device));
            QFile uevent(device + QStringLiteral("/uevent"));
            QVERIFY(uevent.open(QIODevice::WriteOnly));
            uevent.write(uevents.at(i).toUtf8());
        }
        // The refused row's rudder is the second node.
        const auto check = [&](const QString& path) {
            return path != root.filePath(QStringLiteral("dev/hidraw1")) ||
                   presence != int(DeviceAccess::Presence::NoPermission);
        };
        const QList<DeviceAccess::Entry> entries = DeviceAccess::enumerateHidraw(
            static_cast<unsigned short>(productId), check, root.filePath(QStringLiteral("sys")),
            root.filePath(QStringLiteral("dev")));
        QStringList shown;
        for (const DeviceAccess::Entry& e : entries) {
            QCOMPARE(e.path.section(QLatin1Char('/'), 0, -2), root.filePath(QStringLiteral("dev")));
            shown << e.path.section(QLatin1Char('/'), -1) + QLatin1Char(' ') + e.product;
            QVERIFY(e.productId == 0x7A10 || e.productId == 0x7A2C);
        }
        QCOMPARE(shown, found);
        QCOMPARE(int(DeviceAccess::presence(entries)), presence);
    }

    // The advice names the rule the package installs, line for line.
    void adviceMatchesInstalledRule() {
        QFile file(QStringLiteral(TRENNAL_FIXTURES_DIR "/../../packaging/70-grovik-trennal.rules"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QStringList rules;
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (!line.isEmpty() && !line.startsWith('#')) {
                rules << QString::fromUtf8(line);
            }
        }
        QCOMPARE(rules.size(), 2);
        QCOMPARE(DeviceAccess::udevRule(), rules.join(QLatin1Char('\n')) + QLatin1Char('\n'));
        QVERIFY(DeviceAccess::permissionAdvice().contains(DeviceAccess::udevRule()));
    }

    // The command itself, with the system's own access check on a path every user may open.
    void listDevicesCommand() {
        FakeHid::plug(FakeHid::Device::Rudder);
        CommandLine line;
        QVERIFY(line.parse({QStringLiteral("grovik-trennal"), QStringLiteral("--list-devices")}));
        QString out;
        QString err;
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        QCOMPARE(line.run(outStream, errStream), 0);
        outStream.flush();
        QVERIFY2(out.contains(QStringLiteral("Rudder unit (3F21:7A2C)")), qPrintable(out));
        QVERIFY(out.contains(QStringLiteral("  path: /dev/null\n  access: yes")));
        QVERIFY(!out.contains(QStringLiteral("Joystick")));
    }

    // --setup-msfs writes SimConnect.cfg where the window would read it: the --data-dir folder.
    void setupMsfsWritesTheCfgIntoTheDataDirectory() {
        QTemporaryDir dir;
        QFile xml(dir.filePath(QStringLiteral("SimConnect.xml")));
        QVERIFY(xml.open(QIODevice::WriteOnly));
        xml.write("<SimBase.Document Type=\"SimConnect\" version=\"1,0\">\n</SimBase.Document>\n");
        xml.close();
        const QString data = dir.filePath(QStringLiteral("data"));
        CommandLine line;
        QVERIFY(line.parse({QStringLiteral("grovik-trennal"), QStringLiteral("--data-dir"), data,
                            QStringLiteral("--setup-msfs"), dir.path()}));
        QCOMPARE(line.command(), CommandLine::Command::SetupMsfs);
        QString out;
        QString err;
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        QCOMPARE(line.run(outStream, errStream), 0);
        outStream.flush();
        QVERIFY2(out.contains(QStringLiteral("Created ") + data + QStringLiteral("/SimConnect.cfg")),
                 qPrintable(out));
        QVERIFY(out.contains(QStringLiteral("MSFS listens for Grovik Trennal on 127.0.0.1:")));
    }

    void setupCommandReportsFailure_data() {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("message");
        QTest::newRow("IL-2") << "--setup-il2"
                              << "No data/startup.cfg in /nonexistent/IL-2";
        QTest::newRow("MSFS") << "--setup-msfs"
                              << "No SimConnect.xml in /nonexistent/IL-2";
    }
    void setupCommandReportsFailure() {
        QFETCH(QString, option);
        QFETCH(QString, message);
        CommandLine line;
        QVERIFY(line.parse({QStringLiteral("grovik-trennal"), option, QStringLiteral("/nonexistent/IL-2")}));
        QString out;
        QString err;
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        QCOMPARE(line.run(outStream, errStream), 1);
        errStream.flush();
        QVERIFY2(err.contains(message), qPrintable(err));
    }
};

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
