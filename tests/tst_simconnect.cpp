// The native SimConnect client: its stream framing, the reading of the simulator's messages, the
// packets it sends, where it connects, and the whole MSFS source over real TCP against
// tests/support/fakesimulator.
#include "records/metatypes.h"
#include "records/msfstelemetry.h"
#include "support/fakesimulator.h"
#include "support/msfseventlog.h"
#include "telemetry/msfsdata.h"
#include "telemetry/simconnect/simconnectconfig.h"
#include "telemetry/simconnect/simconnectprotocol.h"
#include "telemetry/simconnect/simconnectstream.h"
#include "telemetry/telemetrysourcemsfs.h"

#include <QSignalSpy>
#include <QtTest>

#include <cstring>
#include <memory>

using DataValues = FakeSimulator::DataValues;

namespace {

QByteArray message(uint32_t size, uint32_t id, int length = -1) {
    QByteArray bytes(length < 0 ? int(size) : length, '\0');
    std::memcpy(bytes.data(), &size, 4);
    if (bytes.size() >= 12) {
        std::memcpy(bytes.data() + 8, &id, 4);
    }
    return bytes;
}

QByteArray openAnswer() {
    return message(308, SimConnectProtocol::kRecvOpen);
}

QByteArray exception(uint32_t code) {
    QByteArray bytes = message(24, SimConnectProtocol::kRecvException);
    std::memcpy(bytes.data() + 12, &code, 4);
    return bytes;
}

uint32_t read32(const unsigned char* bytes, size_t offset) {
    uint32_t value = 0;
    std::memcpy(&value, bytes + offset, 4);
    return value;
}

DataValues cruise(double airspeed = 210.0) {
    DataValues v{};
    v[1] = 0.25;
    v[2] = 0.75;
    v[6] = 1.25;
    v[7] = 4.5;
    v[8] = airspeed;
    v[12] = 1;
    v[13] = 88.0;
    v[17] = -3.5;
    return v;
}

// Polls the source as the telemetry thread does while the fake simulator's events run, until
// `done` holds; false after about ten seconds without it.
template <typename Done> bool pollUntil(TelemetrySourceMSFS& source, Done done) {
    for (int i = 0; i < 1000; ++i) {
        if (done()) {
            return true;
        }
        source.poll();
        QTest::qWait(10);
    }
    return done();
}

// Polls `count` times, events in between.
void pollTimes(TelemetrySourceMSFS& source, int count) {
    for (int i = 0; i < count; ++i) {
        source.poll();
        QTest::qWait(5);
    }
}

// A protocol whose Open the simulator has answered.
std::unique_ptr<SimConnectProtocol> openProtocol() {
    auto protocol = std::make_unique<SimConnectProtocol>(SimConnectProtocol::kKittyHawk, "Grovik");
    const QByteArray answer = openAnswer();
    protocol->receive(reinterpret_cast<const unsigned char*>(answer.constData()), size_t(answer.size()));
    protocol->advanceOpening();
    return protocol;
}

} // namespace

class TestSimConnect : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeSimulator> simulator;

    void startSimulator() {
        simulator = std::make_unique<FakeSimulator>();
        setSimConnectEndpoint(QStringLiteral("127.0.0.1"), simulator->port());
    }

private slots:
    void initTestCase() { registerMetaTypes(); }
    void init() { startSimulator(); }
    void cleanup() {
        if (simulator) {
            QCOMPARE(simulator->violations, QStringList());
        }
        simulator.reset();
    }

    // ---- stream framing

    void framing_data() {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QList<int>>("sizes"); // of the messages that come out, in order
        QTest::addColumn<bool>("corrupt");

        const QByteArray a = message(24, 4);
        const QByteArray b = message(440, 9);
        QTest::newRow("one whole") << QList<QByteArray>{a} << QList<int>{24} << false;
        QTest::newRow("two in one read") << QList<QByteArray>{a + b} << QList<int>{24, 440} << false;
        QList<QByteArray> bytes;
        for (char c : a + b) {
            bytes << QByteArray(1, c);
        }
        QTest::newRow("byte by byte") << bytes << QList<int>{24, 440} << false;
        QTest::newRow("split in the length")
            << QList<QByteArray>{a.left(2), a.mid(2) + b.left(100), b.mid(100)} << QList<int>{24, 440}
            << false;
        QTest::newRow("last one incomplete") << QList<QByteArray>{a + b.left(439)} << QList<int>{24} << false;
        QTest::newRow("bare header") << QList<QByteArray>{message(12, 3)} << QList<int>{12} << false;
        QTest::newRow("size 11") << QList<QByteArray>{a + message(11, 3, 16) + a} << QList<int>{24} << true;
        QTest::newRow("size 0") << QList<QByteArray>{message(0, 0, 16)} << QList<int>{} << true;
        QTest::newRow("size 1 MiB + 1")
            << QList<QByteArray>{message(1024 * 1024 + 1, 9, 64)} << QList<int>{} << true;
        QTest::newRow("size 1 MiB") << QList<QByteArray>{message(1024 * 1024, 9)} << QList<int>{1024 * 1024}
                                    << false;
        QTest::newRow("size 0xFFFFFFFF")
            << QList<QByteArray>{message(0xFFFFFFFFu, 9, 64)} << QList<int>{} << true;
    }

    void framing() {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QList<int>, sizes);
        QFETCH(bool, corrupt);
        SimConnectStream stream;
        QList<int> got;
        for (const QByteArray& chunk : chunks) {
            stream.append(reinterpret_cast<const unsigned char*>(chunk.constData()), size_t(chunk.size()));
            const unsigned char* bytes = nullptr;
            size_t size = 0;
            while (stream.next(&bytes, &size) == SimConnectStream::Result::Message) {
                QCOMPARE(size_t(read32(bytes, 0)), size);
                got << int(size);
            }
        }
        QCOMPARE(got, sizes);
        QCOMPARE(stream.corrupt(), corrupt);
    }

    void framingStaysBounded() {
        // A peer announcing a huge message and sending forever fills the buffer only to its cap.
        SimConnectStream stream;
        const QByteArray start = message(1024 * 1024, 9, 4);
        stream.append(reinterpret_cast<const unsigned char*>(start.constData()), size_t(start.size()));
        const QByteArray chunk(256 * 1024, 'x');
        for (int i = 0; i < 10; ++i) {
            stream.append(reinterpret_cast<const unsigned char*>(chunk.constData()), size_t(chunk.size()));
            QVERIFY(stream.buffered() <= SimConnectStream::kCapacity);
        }
        QCOMPARE(stream.room(), size_t(0));
    }

    // ---- the answer to Open, then the messages handed on

    void opening_data() {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<bool>("lost");
        QTest::addColumn<int>("state");
        using S = SimConnectProtocol::State;
        QTest::newRow("answer in pieces")
            << QList<QByteArray>{openAnswer().left(5), openAnswer().mid(5)} << false << int(S::Open);
        QTest::newRow("half an answer")
            << QList<QByteArray>{openAnswer().left(200)} << false << int(S::Opening);
        QTest::newRow("null message first")
            << QList<QByteArray>{message(12, 0) + openAnswer()} << false << int(S::Open);
        QTest::newRow("other exception") << QList<QByteArray>{exception(1)} << false << int(S::Failed);
        QTest::newRow("closed before the answer") << QList<QByteArray>{} << true << int(S::Failed);
        QTest::newRow("closed mid-answer")
            << QList<QByteArray>{openAnswer().left(100)} << true << int(S::Failed);
        QTest::newRow("answer then close") << QList<QByteArray>{openAnswer()} << true << int(S::Open);
        QTest::newRow("answer too short") << QList<QByteArray>{message(300, 2)} << false << int(S::Failed);
        QTest::newRow("corrupt length") << QList<QByteArray>{message(4, 2, 12)} << false << int(S::Failed);
    }

    void opening() {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(bool, lost);
        QFETCH(int, state);
        SimConnectProtocol protocol(SimConnectProtocol::kKittyHawk, "Grovik");
        QCOMPARE(protocol.outputSize(), SimConnectProtocol::kOpenPacketSize);
        // Nothing but Open goes out before the answer.
        QVERIFY(!protocol.requestDataOnSimObjectType(0, 0, 0, 0));
        for (const QByteArray& chunk : chunks) {
            protocol.receive(reinterpret_cast<const unsigned char*>(chunk.constData()), size_t(chunk.size()));
            protocol.advanceOpening();
        }
        if (lost) {
            protocol.lost();
        }
        protocol.advanceOpening();
        QCOMPARE(int(protocol.state()), state);
    }

    void dispatch_data() {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<bool>("lost");
        QTest::addColumn<QList<int>>("ids"); // of the messages handed on, in order
        QTest::addColumn<bool>("ended");
        const QByteArray data = FakeSimulator::dataMessage(cruise(), "A");
        const QByteArray event = message(24, 4);
        const QByteArray quit = message(12, 3);
        QTest::newRow("data and event")
            << QList<QByteArray>{data + event} << false << QList<int>{9, 4} << false;
        QTest::newRow("quit then close") << QList<QByteArray>{quit} << true << QList<int>{3} << true;
        QTest::newRow("close without quit") << QList<QByteArray>{data} << true << QList<int>{9, 3} << true;
        QTest::newRow("close mid-message")
            << QList<QByteArray>{data.left(50)} << true << QList<int>{3} << true;
        QTest::newRow("nothing after quit")
            << QList<QByteArray>{quit + event} << false << QList<int>{3} << true;
        QTest::newRow("exception keeps the connection")
            << QList<QByteArray>{exception(7) + exception(3) + event} << false << QList<int>{1, 1, 4}
            << false;
        QTest::newRow("unknown kind skipped by size")
            << QList<QByteArray>{message(20, 99) + event} << false << QList<int>{99, 4} << false;
        QTest::newRow("event shorter than an event")
            << QList<QByteArray>{message(16, 4) + event} << false << QList<int>{3} << true;
        QTest::newRow("data shorter than its header")
            << QList<QByteArray>{event + message(36, 9)} << false << QList<int>{4, 3} << true;
        QTest::newRow("size below a header")
            << QList<QByteArray>{event + message(8, 4, 24)} << false << QList<int>{4, 3} << true;
        QTest::newRow("size beyond the cap")
            << QList<QByteArray>{message(2 * 1024 * 1024, 9, 64)} << false << QList<int>{3} << true;
    }

    void dispatch() {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(bool, lost);
        QFETCH(QList<int>, ids);
        QFETCH(bool, ended);
        auto protocol = openProtocol();
        QCOMPARE(protocol->state(), SimConnectProtocol::State::Open);
        for (const QByteArray& chunk : chunks) {
            protocol->receive(reinterpret_cast<const unsigned char*>(chunk.constData()),
                              size_t(chunk.size()));
        }
        if (lost) {
            protocol->lost();
        }
        QList<int> got;
        const unsigned char* bytes = nullptr;
        size_t size = 0;
        for (int i = 0; i < 10 && protocol->nextMessage(&bytes, &size); ++i) {
            QVERIFY(size >= 12);
            QCOMPARE(size_t(read32(bytes, 0)), size);
            got << int(read32(bytes, 8));
        }
        QCOMPARE(got, ids);
        QCOMPARE(protocol->state() == SimConnectProtocol::State::Ended, ended);
    }

    // ---- the packets sent

    void textField_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("kept");
        QTest::newRow("short") << QByteArray("SimStart") << QByteArray("SimStart");
        QTest::newRow("empty") << QByteArray("") << QByteArray();
        QTest::newRow("255 bytes") << QByteArray(255, 'a') << QByteArray(255, 'a');
        QTest::newRow("256 bytes cut") << QByteArray(256, 'b') << QByteArray(255, 'b');
        QTest::newRow("1000 bytes cut") << QByteArray(1000, 'c') << QByteArray(255, 'c');
        QTest::newRow("Latin-1 as it is") << QByteArray("Fl\xfcgel") << QByteArray("Fl\xfcgel");
    }

    void textField() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, kept);
        unsigned char field[258];
        std::memset(field, 0xAA, sizeof field);
        SimConnectProtocol::putString(field + 1, 256, text.constData());
        QCOMPARE(field[0], 0xAA); // nothing written outside the field
        QCOMPARE(field[257], 0xAA);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(field + 1), kept.size()), kept);
        for (int i = kept.size(); i < 256; ++i) {
            QCOMPARE(field[1 + i], 0);
        }
    }

    // ---- where to connect

    void config_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("ok");
        QTest::newRow("SDK's layout")
            << QByteArray("[SimConnect]\r\nProtocol=IPv4\r\nAddress=192.168.1.20\r\n"
                          "Port=5111\r\nMaxReceiveSize=4096\r\nDisableNagle=0\r\n")
            << "192.168.1.20" << 5111 << true;
        QTest::newRow("numbered section")
            << QByteArray("[SimConnect.0]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=8381") << "127.0.0.1"
            << 8381 << true;
        QTest::newRow("names in any case, spaces, comments")
            << QByteArray(
                   "; for MSFS\n[simconnect]\n  protocol = ipv4\n# LAN\nADDRESS = 10.0.0.5 \nport= 600\n")
            << "10.0.0.5" << 600 << true;
        QTest::newRow("no protocol line")
            << QByteArray("[SimConnect]\nAddress=simpc\nPort=5111\n") << "simpc" << 5111 << true;
        QTest::newRow("other sections ignored")
            << QByteArray(
                   "[SimConnect.1]\nProtocol=IPv4\nAddress=1.1.1.1\nPort=1\n[SimConnect]\nAddress=2.2.2.2\n"
                   "Port=2\n[Other]\nnot a key")
            << "2.2.2.2" << 2 << true;
        QTest::newRow("first matching section wins")
            << QByteArray("[SimConnect]\nAddress=3.3.3.3\nPort=3\n[SimConnect.0]\nAddress=4.4.4.4\nPort=4\n")
            << "3.3.3.3" << 3 << true;
        QTest::newRow("UTF-8 byte order mark")
            << QByteArray("\xEF\xBB\xBF[SimConnect]\r\nProtocol=IPv4\r\nAddress=10.1.2.3\r\nPort=5111\r\n")
            << "10.1.2.3" << 5111 << true;
        QTest::newRow("UTF-16 with byte order mark")
            << QByteArray("\xFF\xFE[\0S\0i\0m\0C\0o\0n\0n\0e\0c\0t\0]\0\r\0\n\0P\0o\0r\0t\0=\0"
                          "7\0\r\0\n\0A\0d\0d\0r\0e\0s\0s\0=\0h\0\n\0",
                          66)
            << "h" << 7 << true;
        QTest::newRow("UTF-16 big-endian with byte order mark")
            << QByteArray("\xFE\xFF\0[\0S\0i\0m\0C\0o\0n\0n\0e\0c\0t\0]\0\r\0\n\0P\0o\0r\0t\0="
                          "\0007\0\r\0\n\0A\0d\0d\0r\0e\0s\0s\0=\0h\0\n",
                          66)
            << "h" << 7 << true;
        const QString fallback = QStringLiteral("127.0.0.1");
        QTest::newRow("empty file") << QByteArray() << fallback << 500 << false;
        QTest::newRow("only another section")
            << QByteArray("[SimConnect.1]\nAddress=1.1.1.1\nPort=1\n") << fallback << 500 << false;
        QTest::newRow("pipe protocol")
            << QByteArray("[SimConnect]\nProtocol=Pipe\nAddress=.\nPort=Custom/SimConnect\n") << fallback
            << 500 << false;
        QTest::newRow("IPv6") << QByteArray("[SimConnect]\nProtocol=IPv6\nAddress=::1\nPort=501\n")
                              << fallback << 500 << false;
        QTest::newRow("no port") << QByteArray("[SimConnect]\nAddress=1.2.3.4\n") << fallback << 500 << false;
        QTest::newRow("port 0") << QByteArray("[SimConnect]\nAddress=1.2.3.4\nPort=0\n") << fallback << 500
                                << false;
        QTest::newRow("port 65536") << QByteArray("[SimConnect]\nAddress=1.2.3.4\nPort=65536\n") << fallback
                                    << 500 << false;
        QTest::newRow("port not a number")
            << QByteArray("[SimConnect]\nAddress=1.2.3.4\nPort=5x\n") << fallback << 500 << false;
        QTest::newRow("no address") << QByteArray("[SimConnect]\nPort=500\n") << fallback << 500 << false;
        QTest::newRow("address with spaces")
            << QByteArray("[SimConnect]\nAddress=a b\nPort=500\n") << fallback << 500 << false;
        QTest::newRow("line without =")
            << QByteArray("[SimConnect]\nAddress 1.2.3.4\nPort=500\n") << fallback << 500 << false;
        QTest::newRow("unclosed section")
            << QByteArray("[SimConnect\nAddress=1.2.3.4\nPort=500\n") << fallback << 500 << false;
        QTest::newRow("binary") << QByteArray("\x00\xff[\x01=\n\n=\x80", 10) << fallback << 500 << false;
    }

    void config() {
        QFETCH(QByteArray, text);
        QFETCH(QString, address);
        QFETCH(int, port);
        QFETCH(bool, ok);
        const SimConnectConfig config = parseSimConnectConfig(text);
        QCOMPARE(config.endpoint.address, address);
        QCOMPARE(int(config.endpoint.port), port);
        QCOMPARE(config.error.isEmpty(), ok);
        if (!ok) {
            QVERIFY2(config.error.startsWith(QLatin1String("SimConnect.cfg: ")), qPrintable(config.error));
        }
    }

    void endpoint_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("port");
        QTest::newRow("address and port") << "192.168.0.7:5111" << true << "192.168.0.7" << 5111;
        QTest::newRow("host name") << "simpc:500" << true << "simpc" << 500;
        QTest::newRow("no port") << "192.168.0.7" << false << "" << 0;
        QTest::newRow("empty port") << "192.168.0.7:" << false << "" << 0;
        QTest::newRow("no host") << ":500" << false << "" << 0;
        QTest::newRow("port too big") << "a:70000" << false << "" << 0;
        QTest::newRow("port zero") << "a:0" << false << "" << 0;
        QTest::newRow("negative port") << "a:-5" << false << "" << 0;
        QTest::newRow("IPv6 literal") << "::1:500" << false << "" << 0;
    }

    void endpoint() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(QString, address);
        QFETCH(int, port);
        SimConnectEndpoint endpoint;
        endpoint.address = QStringLiteral("unchanged");
        endpoint.port = 1;
        QCOMPARE(parseSimConnectEndpoint(text, &endpoint), ok);
        QCOMPARE(endpoint.address, ok ? address : QStringLiteral("unchanged"));
        QCOMPARE(int(endpoint.port), ok ? port : 1);
    }

    void configFileAndOverride_data() {
        QTest::addColumn<QByteArray>("file"); // empty: no file
        QTest::addColumn<QString>("override");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("reported");
        const QByteArray good("[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.2\nPort=5111\n");
        QTest::newRow("no file") << QByteArray() << QString() << "127.0.0.1" << 500 << false;
        QTest::newRow("file") << good << QString() << "127.0.0.2" << 5111 << false;
        QTest::newRow("override beats file") << good << "127.0.0.3:6000"
                                             << "127.0.0.3" << 6000 << false;
        QTest::newRow("bad override, file") << good << "nonsense"
                                            << "127.0.0.2" << 5111 << true;
        QTest::newRow("malformed file")
            << QByteArray("[SimConnect]\nPort=x\n") << QString() << "127.0.0.1" << 500 << true;
    }

    void configFileAndOverride() {
        QFETCH(QByteArray, file);
        QFETCH(QString, override);
        QFETCH(QString, address);
        QFETCH(int, port);
        QFETCH(bool, reported);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        if (!file.isEmpty()) {
            QFile cfg(QStringLiteral("SimConnect.cfg"));
            QVERIFY(cfg.open(QIODevice::WriteOnly));
            cfg.write(file);
        }
        const QString problem = configureSimConnect(override);
        QDir::setCurrent(previous);
        QCOMPARE(problem.isEmpty(), !reported);
        QCOMPARE(simConnectEndpoint().address, address);
        QCOMPARE(int(simConnectEndpoint().port), port);
    }

    // ---- the MSFS source over TCP

    void wholeCycle() {
        TelemetrySourceMSFS source;
        EventLog log(&source);
        simulator->queueData(cruise(100), "Cessna Skyhawk G1000");
        simulator->queueData(cruise(110), "Cessna Skyhawk G1000");
        QVERIFY(pollUntil(source, [&] { return log.entries.size() >= 2; }));
        QCOMPARE(log.entries, (QStringList{"start 1 Cessna Skyhawk G1000", "data 110"}));

        // What the client announced and asked for.
        QCOMPARE(simulator->opens.size(), 1);
        const FakeSimulator::OpenCall open = simulator->opens[0];
        QCOMPARE(open.protocol, 5u);
        QCOMPARE(open.name, QByteArray("Grovik"));
        QCOMPARE(open.alias, 0x004B4800u);
        QCOMPARE((QList<uint>{open.major, open.minor, open.buildMajor, open.buildMinor}),
                 (QList<uint>{11, 0, 62651, 3}));
        QCOMPARE(simulator->definitions.size(), kMsfsDatumCount);
        for (int i = 0; i < kMsfsDatumCount; ++i) {
            const FakeSimulator::DefinitionCall& d = simulator->definitions[i];
            QCOMPARE(d.defineId, 0u);
            QCOMPARE(d.name, QByteArray(kMsfsDataDefinition[i].name));
            QCOMPARE(d.units, QByteArray(kMsfsDataDefinition[i].units ? kMsfsDataDefinition[i].units : ""));
            QCOMPARE(d.type, uint32_t(kMsfsDataDefinition[i].type));
            QCOMPARE(d.epsilon, 0.0f);
            QCOMPARE(d.datumId, 0xFFFFFFFFu);
        }
        QVERIFY(simulator->requests.size() >= 2);
        const FakeSimulator::RequestCall request = simulator->requests[0];
        QCOMPARE((QList<uint>{request.requestId, request.defineId, request.radius, request.objectType}),
                 (QList<uint>{0, 0, 0, 0}));
        QCOMPARE(simulator->subscriptions.size(), 2);
        QCOMPARE(simulator->subscriptions[0].eventId, 0u);
        QCOMPARE(simulator->subscriptions[0].name, QByteArray("SimStart"));
        QCOMPARE(simulator->subscriptions[1].eventId, 1u);
        QCOMPARE(simulator->subscriptions[1].name, QByteArray("SimStop"));
        QCOMPARE(simulator->mappedEvents.size(), 3);
        QCOMPARE(simulator->mappedEvents[2].name, QByteArray("AXIS_RUDDER_SET"));
        // The stick's axes as TransmitClientEvent packets: user aircraft, highest priority.
        source.sendAxes(PositionInput{-0.5f, 0.25f, 1.0f}, true, true);
        QVERIFY(pollUntil(source, [&] { return simulator->transmits.size() >= 3; }));
        const FakeSimulator::TransmitCall t = simulator->transmits[1];
        QCOMPARE((QList<int>{int(t.objectId), int(t.eventId), t.data, int(t.groupId), int(t.flags)}),
                 (QList<int>{0, 3, -4096, 1, 0x10}));

        // A bad datum reported by the simulator changes nothing.
        simulator->sendException(7, 3, 1);
        simulator->queueData(cruise(120), "Cessna Skyhawk G1000");
        QVERIFY(pollUntil(source, [&] { return log.entries.size() >= 3; }));
        QCOMPARE(log.entries.last(), QStringLiteral("data 120"));

        // SimStop ends the stream; SimStart asks again and the next answer starts a new one.
        simulator->sendEvent(1);
        QVERIFY(pollUntil(source, [&] { return log.entries.last() == QLatin1String("end"); }));
        simulator->sendEvent(0);
        simulator->queueData(cruise(), "Extra 330");
        QVERIFY(pollUntil(source, [&] { return log.entries.last() != QLatin1String("end"); }));
        QCOMPARE(log.entries.mid(2), (QStringList{"data 120", "data 0", "end", "start 1 Extra 330"}));
        QCOMPARE(simulator->connections(), 1);

        // The simulator quits: the stream ends, and a simulator started again on another port is
        // found and set up from the beginning.
        simulator->quit();
        QVERIFY(pollUntil(source, [&] { return log.entries.last() == QLatin1String("end"); }));
        QCOMPARE(simulator->violations, QStringList());
        simulator.reset();
        pollTimes(source, 10);
        startSimulator();
        simulator->setStreaming(cruise(150), "Piper Cub");
        QVERIFY(pollUntil(source, [&] { return log.entries.last() == QLatin1String("data 150"); }));
        QVERIFY(log.entries.contains(QStringLiteral("start 1 Piper Cub")));
        QCOMPARE(simulator->opens.size(), 1);
        QCOMPARE(simulator->definitions.size(), kMsfsDatumCount);
        QCOMPARE(simulator->subscriptions.size(), 2);
    }

    void connectionEnds_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("quit, then close") << "quit";
        QTest::newRow("close without quit") << "crash";
        QTest::newRow("reset") << "reset";
        QTest::newRow("corrupt length") << "corrupt";
        QTest::newRow("size lies about the body") << "short event";
    }

    void connectionEnds() {
        QFETCH(QString, how);
        TelemetrySourceMSFS source;
        EventLog log(&source);
        simulator->setStreaming(cruise(100), "A");
        QVERIFY(pollUntil(source, [&] { return log.entries.size() >= 2; }));
        if (how == QLatin1String("quit")) {
            simulator->quit();
        } else if (how == QLatin1String("crash")) {
            simulator->crash();
        } else if (how == QLatin1String("reset")) {
            simulator->reset();
        } else if (how == QLatin1String("corrupt")) {
            simulator->sendRaw(message(5, 3, 12));
        } else {
            simulator->sendRaw(message(16, 4));
        }
        QVERIFY(pollUntil(source, [&] { return log.entries.last() == QLatin1String("end"); }));
        // The same simulator, still listening, is connected to again and set up from scratch.
        QVERIFY(pollUntil(source, [&] {
            return simulator->connections() == 2 && simulator->pendingRequests == 0 &&
                   log.entries.last() != QLatin1String("end");
        }));
        QCOMPARE(log.entries.last(), QStringLiteral("start 1 A"));
        QCOMPARE(simulator->opens.size(), 2);
        QCOMPARE(simulator->opens[1].connection, 2);
        QCOMPARE(simulator->definitions.size(), 2 * kMsfsDatumCount);
        QCOMPARE(simulator->definitions[kMsfsDatumCount].connection, 2);
        QCOMPARE(simulator->subscriptions.size(), 4);
    }

    void heldBackOpenAnswer() {
        simulator->setHoldOpenAnswer(true);
        simulator->setStreaming(cruise(), "A");
        TelemetrySourceMSFS source;
        EventLog log(&source);
        QVERIFY(pollUntil(source, [&] { return simulator->opens.size() == 1; }));
        // The simulator is loading: many polls later the client still waits on the same connection
        // and has sent nothing else.
        pollTimes(source, 50);
        QCOMPARE(simulator->connections(), 1);
        QVERIFY(simulator->definitions.isEmpty());
        QVERIFY(simulator->requests.isEmpty());
        QCOMPARE(log.entries, QStringList());
        simulator->setHoldOpenAnswer(false);
        QVERIFY(pollUntil(source, [&] { return !log.entries.isEmpty(); }));
        QCOMPARE(log.entries.first(), QStringLiteral("start 1 A"));
        QCOMPARE(simulator->connections(), 1);
        QCOMPARE(simulator->definitions.size(), kMsfsDatumCount);
    }

    // A simulator that keeps its connection but stops answering: the stream ends within about a
    // second, on the same connection, and resumes with the next answer.
    void silentSimulatorEndsStream() {
        TelemetrySourceMSFS source;
        EventLog log(&source);
        simulator->queueData(cruise(100), "Quiet");
        simulator->queueData(cruise(110), "Quiet");
        QVERIFY(pollUntil(source, [&] { return log.entries.size() >= 2; }));
        QVERIFY(pollUntil(source, [&] { return log.entries.last() == QLatin1String("end"); }));
        QCOMPARE(log.entries, (QStringList{"start 1 Quiet", "data 110", "data 0", "end"}));
        simulator->queueData(cruise(120), "Quiet");
        simulator->queueData(cruise(130), "Quiet");
        QVERIFY(pollUntil(source, [&] { return log.entries.size() >= 6; }));
        QCOMPARE(log.entries.mid(4), (QStringList{"start 1 Quiet", "data 130"}));
        QCOMPARE(simulator->connections(), 1);
    }

    // An Open the simulator never answers is given up after its deadline and tried again on a
    // new connection, which is set up once the simulator answers.
    void unansweredOpenIsRetried() {
        simulator->setHoldOpenAnswer(true);
        TelemetrySourceMSFS source;
        EventLog log(&source);
        QVERIFY(pollUntil(source, [&] { return simulator->connections() == 2; }));
        QCOMPARE(simulator->opens.size(), 2);
        QCOMPARE(simulator->opens[1].connection, 2);
        QVERIFY(simulator->definitions.isEmpty());
        simulator->setStreaming(cruise(), "Late");
        simulator->setHoldOpenAnswer(false);
        QVERIFY(pollUntil(source, [&] { return !log.entries.isEmpty(); }));
        QCOMPARE(log.entries.first(), QStringLiteral("start 1 Late"));
        QCOMPARE(simulator->definitions.size(), kMsfsDatumCount);
        QCOMPARE(simulator->definitions.first().connection, 2);
    }

    // A host name is looked up in the background: the call returns at once with the name set,
    // and its IPv4 address replaces it once known.
    void hostNameLookedUpLater() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        QStringList late;
        const QString problem =
            configureSimConnect(QStringLiteral("localhost:6001"), [&late](const QString& p) { late << p; });
        QDir::setCurrent(previous);
        QCOMPARE(problem, QString());
        QCOMPARE(simConnectEndpoint().address, QStringLiteral("localhost"));
        QTRY_COMPARE_WITH_TIMEOUT(simConnectEndpoint().address, QStringLiteral("127.0.0.1"), 10000);
        QCOMPARE(int(simConnectEndpoint().port), 6001);
        QCOMPARE(late, QStringList());
    }

    void versionMismatchRetry() {
        simulator->setRefusedVersionFrom(5);
        simulator->setStreaming(cruise(), "Old sim");
        TelemetrySourceMSFS source;
        EventLog log(&source);
        QVERIFY(pollUntil(source, [&] { return !log.entries.isEmpty(); }));
        QCOMPARE(log.entries.first(), QStringLiteral("start 1 Old sim"));
        QCOMPARE(simulator->opens.size(), 2);
        QCOMPARE(simulator->opens[0].protocol, 5u);
        QCOMPARE(simulator->opens[1].protocol, 4u);
        QCOMPARE(simulator->opens[1].connection, 2); // a new connection for the second try
        QCOMPARE(simulator->opens[1].alias, 0x46535800u);
        QCOMPARE((QList<uint>{simulator->opens[1].major, simulator->opens[1].buildMajor}),
                 (QList<uint>{10, 61259}));
        QCOMPARE(simulator->definitions.size(), kMsfsDatumCount);
    }

    void nothingListens() {
        const quint16 port = simulator->port();
        simulator.reset(); // the port is free again: connecting is refused
        setSimConnectEndpoint(QStringLiteral("127.0.0.1"), port);
        HANDLE handle = reinterpret_cast<HANDLE>(1);
        HRESULT result = E_PENDING;
        for (int i = 0; i < 100 && result == E_PENDING; ++i) {
            result = SimConnect_Open(&handle, "Grovik", nullptr, 0, nullptr, 0);
            QVERIFY(handle == nullptr);
            QTest::qWait(5);
        }
        QCOMPARE(result, E_FAIL);
    }

    void splitAndMerged_data() {
        QTest::addColumn<QList<QByteArray>>("writes");
        QTest::addColumn<QStringList>("log");
        const QByteArray first = FakeSimulator::dataMessage(cruise(100), "Split");
        const QByteArray second = FakeSimulator::dataMessage(cruise(200), "Split");
        const QByteArray simStop = message(24, 4).replace(16, 4, QByteArray("\1\0\0\0", 4));
        QTest::newRow("three in one write") << QList<QByteArray>{first + second + simStop}
                                            << QStringList{"start 1 Split", "data 200", "data 0", "end"};
        QTest::newRow("one message in three writes")
            << QList<QByteArray>{first.left(3), first.mid(3, 200), first.mid(203) + second.left(41),
                                 second.mid(41) + simStop.left(12), simStop.mid(12)}
            << QStringList{"start 1 Split", "data 200", "data 0", "end"};
    }

    void splitAndMerged() {
        QFETCH(QList<QByteArray>, writes);
        QFETCH(QStringList, log);
        TelemetrySourceMSFS source;
        EventLog events(&source);
        QVERIFY(pollUntil(source, [&] { return simulator->pendingRequests == 1; }));
        for (const QByteArray& bytes : writes) {
            simulator->sendRaw(bytes);
            pollTimes(source, 3); // each part is read before the next is sent
        }
        QVERIFY(pollUntil(source, [&] { return events.entries.size() >= log.size(); }));
        QCOMPARE(events.entries, log);
        QCOMPARE(simulator->connections(), 1);
    }
};

QTEST_MAIN(TestSimConnect)
#include "tst_simconnect.moc"
