// The UDP sources on real loopback sockets: stream start, parsing, time-out and the names
// the games' streams are announced with. Time is stepped by hand through the sources' clock.

#include "records/metatypes.h"
#include "support/il2datagram.h"
#include "support/logcapture.h"
#include "support/udptesting.h"
#include "telemetry/aircraftname.h"
#include "telemetry/telemetrysourcecondor2.h"
#include "telemetry/telemetrysourcedcs.h"
#include "telemetry/telemetrysourceshturmovik.h"

#include <QFile>
#include <QUdpSocket>
#include <QtTest>

namespace {
QByteArray fixture(const char* name) {
    QFile f(QStringLiteral(TRENNAL_FIXTURES_DIR "/") + QLatin1String(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray dcs(const QByteArray& name, float airspeed) {
    return name + ";" + QByteArray::number(airspeed) + ";-2.5;4;1.2;1;0.5;0.25;300;1";
}

// Everything a source reports, in order, as short texts; records keep their airspeed.
template <typename Source, typename Record> struct Recorder {
    QStringList events;
    QList<Record> records;

    explicit Recorder(Source* source) {
        QObject::connect(source, &TelemetrySource::telemetrySourceChanged, source,
                         [this](Telemetry::Source s, const QString& name) {
                             events << QStringLiteral("start %1 %2").arg(int(s)).arg(name.left(40));
                         });
        QObject::connect(source, &Source::telemetryChanged, source, [this](const Record& r) {
            records << r;
            events << QStringLiteral("record %1").arg(double(r.airspeed));
        });
        QObject::connect(source, &TelemetrySource::telemetryEnded, source, [this]() { events << "end"; });
    }
};

// A source that logs the calls its base class makes, to check their order.
class ProbeSource : public TelemetrySourceUdp {
public:
    using TelemetrySourceUdp::TelemetrySourceUdp;
    Telemetry::Source source() const override { return Telemetry::TELEMETRY_SOURCE_DCS; }
    QStringList calls;

protected:
    void parseDatagram(const QByteArray& d) override { calls << "parse " + QString::fromUtf8(d); }
    QString streamName(const QByteArray& d) override {
        calls << "name " + QString::fromUtf8(d);
        return QString::fromUtf8(d);
    }
    void streamWarmup(float seconds) override { calls << QStringLiteral("warmup %1").arg(double(seconds)); }
    void publishTelemetry() override { calls << "publish"; }
    void publishDefaultTelemetry() override { calls << "default"; }
};
} // namespace

// Polls until the condition holds; loopback datagrams are normally there at the first poll.
#define POLL_UNTIL(source, condition) QTRY_VERIFY_WITH_TIMEOUT(((source).poll(), (condition)), 5000)

class TstTelemetrySourceUdp : public QObject {
    Q_OBJECT

    qint64 now_ = 0;

    template <typename S> void useManualClock(S& source) {
        now_ = 0;
        source.setClock([this]() { return now_; });
    }

private slots:
    void initTestCase() { registerMetaTypes(); }

    // The datagram that starts a stream only announces it; the next one is parsed.
    void dcsStreamStartThenRecord() {
        const quint16 port = UdpTesting::freePort();
        TelemetrySourceDCS source(nullptr, port);
        Recorder<TelemetrySourceDCS, DCSTelemetry> log(&source);
        QCOMPARE(source.source(), Telemetry::TELEMETRY_SOURCE_DCS);

        QVERIFY(UdpTesting::send(port, "F-16C;250;-2.5;4;1.2;1;0.5;0.25;300;1"));
        POLL_UNTIL(source, !log.events.isEmpty());
        QCOMPARE(log.events, QStringList{"start 2 F-16C"});
        QVERIFY(source.isActive());

        QVERIFY(UdpTesting::send(port, "F-16C;250;-2.5;4;1.2;1;0.5;0.25;300;1"));
        POLL_UNTIL(source, log.events.size() == 2);
        const DCSTelemetry t = log.records.value(0);
        QCOMPARE(t.airspeed, 250.0f);
        QCOMPARE(t.verticalSpeed, -2.5f);
        QCOMPARE(t.aoa, 4.0f);
        QCOMPARE(t.gForce, 1.2f);
        QCOMPARE(t.gear, 100.0f);
        QCOMPARE(t.airbrake, 50.0f);
        QCOMPARE(t.flaps, 25.0f);
        QCOMPARE(t.propAirflow, 150.0f); // 300 % thrust is held to what an engine reaches
        QVERIFY(t.onGround);
    }

    // Of the datagrams queued since the last poll only the newest counts, for the stream name
    // as for the record.
    void onlyNewestQueuedDatagramCounts() {
        const quint16 port = UdpTesting::freePort();
        TelemetrySourceDCS source(nullptr, port);
        Recorder<TelemetrySourceDCS, DCSTelemetry> log(&source);

        QVERIFY(UdpTesting::send(port, dcs("Su-27", 1)));
        QVERIFY(UdpTesting::send(port, dcs("MiG-29A", 2)));
        POLL_UNTIL(source, !log.events.isEmpty());
        QVERIFY(UdpTesting::send(port, dcs("MiG-29A", 100)));
        QVERIFY(UdpTesting::send(port, dcs("MiG-29A", 200)));
        QVERIFY(UdpTesting::send(port, dcs("MiG-29A", 300)));
        POLL_UNTIL(source, log.events.size() >= 2);
        QCOMPARE(log.events, (QStringList{"start 2 MiG-29A", "record 300"}));
    }

    // A 900 ms pause keeps the stream; more than 1000 ms ends it with an all-zero record, and
    // the next datagram starts a new stream without a record.
    void streamTimeout() {
        const quint16 port = UdpTesting::freePort();
        TelemetrySourceDCS source(nullptr, port);
        useManualClock(source);
        Recorder<TelemetrySourceDCS, DCSTelemetry> log(&source);

        QVERIFY(UdpTesting::send(port, dcs("F-16C", 250)));
        POLL_UNTIL(source, log.events.size() == 1);
        now_ = 900;
        source.poll();
        QVERIFY(UdpTesting::send(port, dcs("F-16C", 250)));
        POLL_UNTIL(source, log.events.size() == 2);
        QCOMPARE(log.events.last(), QStringLiteral("record 250"));

        now_ = 1900; // exactly 1000 ms since the last datagram: not yet over
        source.poll();
        QCOMPARE(log.events.size(), 2);
        now_ = 1901;
        source.poll();
        QCOMPARE(log.events, (QStringList{"start 2 F-16C", "record 250", "record 0", "end"}));
        const DCSTelemetry zero = log.records.last();
        QCOMPARE(zero.gForce + zero.gear + zero.propAirflow + zero.aoa + zero.verticalSpeed, 0.0f);
        QVERIFY(!zero.onGround);
        QVERIFY(!source.isActive());

        now_ = 5000; // an idle source stays quiet
        source.poll();
        QCOMPARE(log.events.size(), 4);

        QVERIFY(UdpTesting::send(port, dcs("A-10C", 150)));
        POLL_UNTIL(source, log.events.size() == 5);
        QCOMPARE(log.events.last(), QStringLiteral("start 2 A-10C"));
        QVERIFY(UdpTesting::send(port, dcs("A-10C", 150)));
        POLL_UNTIL(source, log.events.size() == 6);
        QCOMPARE(log.events.last(), QStringLiteral("record 150"));
    }

    // Nothing wakes for a datagram: it waits in the socket, unread, until the next poll (the
    // tick), which reads it. A source whose port is taken stays silent.
    void datagramsWaitForThePoll() {
        const quint16 port = UdpTesting::freePort();
        TelemetrySourceDCS source(nullptr, port);
        TelemetrySourceDCS unbound(nullptr, port); // the port is taken
        Recorder<TelemetrySourceDCS, DCSTelemetry> log(&source);
        Recorder<TelemetrySourceDCS, DCSTelemetry> silent(&unbound);
        QVERIFY(source.isBound());
        QVERIFY(!unbound.isBound());
        QVERIFY(!source.hasWaitingDatagram());

        QVERIFY(UdpTesting::send(port, dcs("F-16C", 1)));
        QTRY_VERIFY_WITH_TIMEOUT(source.hasWaitingDatagram(), 5000);
        QTest::qWait(20);
        QVERIFY(log.events.isEmpty());
        unbound.poll();
        QVERIFY(!unbound.hasWaitingDatagram());
        source.poll();
        QCOMPARE(log.events, QStringList{"start 2 F-16C"});
        QVERIFY(!source.hasWaitingDatagram());
        QVERIFY(silent.events.isEmpty());
    }

    // The base class parses, then warms up while the stream is younger than a second, then
    // asks for the aircraft's name and publishes; the datagram that starts the stream is only named.
    void pollCallOrderAndWarmup() {
        const quint16 port = UdpTesting::freePort();
        ProbeSource source(nullptr, port);
        useManualClock(source);

        now_ = 100;
        QVERIFY(UdpTesting::send(port, "a"));
        POLL_UNTIL(source, !source.calls.isEmpty());
        now_ = 600;
        QVERIFY(UdpTesting::send(port, "b"));
        POLL_UNTIL(source, source.calls.size() == 5);
        now_ = 1099;
        QVERIFY(UdpTesting::send(port, "c"));
        POLL_UNTIL(source, source.calls.size() == 9);
        now_ = 1100;
        QVERIFY(UdpTesting::send(port, "d"));
        POLL_UNTIL(source, source.calls.size() == 12);
        QCOMPARE(source.calls,
                 (QStringList{"name a", "parse b", "warmup 0", "name b", "publish", "parse c", "warmup 0",
                              "name c", "publish", "parse d", "name d", "publish"}));
    }

    // Empty datagrams carry nothing: they neither start a stream nor replace a datagram that
    // came before them in the same poll.
    void emptyDatagramsAreIgnored() {
        const quint16 port = UdpTesting::freePort();
        TelemetrySourceDCS source(nullptr, port);
        Recorder<TelemetrySourceDCS, DCSTelemetry> log(&source);

        QVERIFY(UdpTesting::send(port, QByteArray()));
        QVERIFY(UdpTesting::send(port, dcs("F-16C", 1)));
        QVERIFY(UdpTesting::send(port, QByteArray()));
        POLL_UNTIL(source, !log.events.isEmpty());
        QCOMPARE(log.events, QStringList{"start 2 F-16C"});
        QVERIFY(UdpTesting::send(port, dcs("F-16C", 120)));
        QVERIFY(UdpTesting::send(port, QByteArray()));
        POLL_UNTIL(source, log.events.size() == 2);
        QCOMPARE(log.events.last(), QStringLiteral("record 120"));
    }

    // A datagram near the 64 KiB limit is read whole.
    void largestDatagramReadWhole() {
        const quint16 port = UdpTesting::freePort();
        TelemetrySourceDCS source(nullptr, port);
        QSignalSpy started(&source, &TelemetrySource::telemetrySourceChanged);
        QSignalSpy records(&source, &TelemetrySourceDCS::telemetryChanged);

        const QByteArray name(65400, 'N');
        const QByteArray big = dcs(name, 77) + ";" + QByteArray(65507 - 65400 - 40, 'x');
        QVERIFY(big.size() <= 65507);
        QVERIFY(UdpTesting::send(port, big));
        POLL_UNTIL(source, started.count() == 1);
        // The name is kept to its first 128 characters; the record after it is read whole.
        QCOMPARE(started.at(0).at(1).toString(), QString(AircraftName::MaxLength, QLatin1Char('N')));
        QVERIFY(UdpTesting::send(port, big));
        POLL_UNTIL(source, records.count() == 1);
        QCOMPARE(records.at(0).at(0).value<DCSTelemetry>().airspeed, 77.0f);
    }

    // Only loopback is this computer, however a dual-stack socket spells the sender.
    void senderIsThisComputer_data() {
        QTest::addColumn<QString>("sender");
        QTest::addColumn<bool>("local");
        QTest::newRow("IPv4 loopback") << "127.0.0.1" << true;
        QTest::newRow("IPv4 loopback range") << "127.255.0.9" << true;
        QTest::newRow("IPv6 loopback") << "::1" << true;
        QTest::newRow("mapped IPv4 loopback") << "::ffff:127.0.0.2" << true;
        QTest::newRow("LAN") << "192.168.1.20" << false;
        QTest::newRow("mapped LAN") << "::ffff:192.168.1.20" << false;
        QTest::newRow("just below loopback") << "126.255.255.255" << false;
        QTest::newRow("just above loopback") << "128.0.0.1" << false;
        QTest::newRow("IPv6 link-local") << "fe80::1" << false;
        QTest::newRow("unspecified") << "0.0.0.0" << false;
        QTest::newRow("IPv6 unspecified") << "::" << false;
        QTest::newRow("no address") << "" << false;
    }

    void senderIsThisComputer() {
        QFETCH(QString, sender);
        QFETCH(bool, local);
        QCOMPARE(TelemetrySourceUdp::isThisComputer(QHostAddress(sender)), local);
    }

    // 127.0.0.2 plays another computer (the check is narrowed to 127.0.0.1): its datagrams drive
    // nothing and do not keep a stream alive unless other computers are allowed, and each such
    // sender is reported once.
    void otherComputers_data() {
        QTest::addColumn<bool>("allowed");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QStringList>("refused");
        QTest::addColumn<QStringList>("logged"); // the log's lines that mention 127.0.0.2
        QTest::newRow("refused by default")
            << false << QStringList{"start 2 Local", "record 0", "end", "start 2 Local"}
            << QStringList{"127.0.0.2"}
            << QStringList{
                   "warning trennal.telemetry.dcs: DCS telemetry from 127.0.0.2 refused: it comes from "
                   "another computer, and Settings > Accept telemetry from other computers is off"};
        QTest::newRow("allowed") << true
                                 << QStringList{"start 2 Remote", "record 2", "record 3", "record 4",
                                                "record 5"}
                                 << QStringList() << QStringList();
    }

    void otherComputers() {
        QFETCH(bool, allowed);
        QFETCH(QStringList, events);
        QFETCH(QStringList, refused);
        QFETCH(QStringList, logged);
        const LogCapture logFile;
        const quint16 port = UdpTesting::freePort();
        TelemetrySourceDCS source(nullptr, port);
        useManualClock(source);
        source.setSenderCheck([](const QHostAddress& a) {
            return a.isEqual(QHostAddress(QStringLiteral("127.0.0.1")), QHostAddress::TolerantConversion);
        });
        QVERIFY(!source.acceptsRemote());
        source.setAcceptRemote(allowed);
        Recorder<TelemetrySourceDCS, DCSTelemetry> log(&source);
        QSignalSpy refusals(&source, &TelemetrySourceUdp::senderRefused);

        for (int i = 1; i <= 4; ++i) {
            if (i == 2 && !allowed) {
                // A stream started here is not kept alive by the other computer.
                QVERIFY(UdpTesting::send(port, dcs("Local", 1)));
                POLL_UNTIL(source, log.events.size() == 1);
            }
            now_ = i * 800;
            QVERIFY(UdpTesting::sendFrom(QStringLiteral("127.0.0.2"), port, dcs("Remote", float(i))));
            if (allowed) {
                POLL_UNTIL(source, log.events.size() == i);
            } else {
                // One poll, which reads only the refused datagram (loopback delivers at once).
                source.poll();
                QCOMPARE(refusals.count(), 1);
            }
        }
        QVERIFY(UdpTesting::send(port, dcs("Local", 5)));
        POLL_UNTIL(source, log.events.size() == events.size());
        QCOMPARE(log.events, events);
        QStringList senders;
        for (const QList<QVariant>& r : refusals) {
            senders << r.at(0).toString();
        }
        QCOMPARE(senders, refused);
        const QStringList lines = logFile.lines(QStringLiteral("127.0.0.2"));
        QCOMPARE(lines.size(), logged.size());
        for (int i = 0; i < lines.size(); ++i) {
            QVERIFY2(lines.at(i).endsWith(logged.at(i)), qPrintable(lines.at(i)));
        }

        // A game sends from one socket, let in without looking again; a changed check looks again.
        if (!allowed) {
            QUdpSocket game;
            QVERIFY(game.bind(QHostAddress::LocalHost, 0));
            for (int i = 6; i <= 7; ++i) {
                QVERIFY(game.writeDatagram(dcs("Local", float(i)), QHostAddress::LocalHost, port) > 0);
                POLL_UNTIL(source, log.events.size() == events.size() + i - 5);
            }
            source.setSenderCheck([](const QHostAddress&) { return false; });
            QVERIFY(game.writeDatagram(dcs("Local", 8), QHostAddress::LocalHost, port) > 0);
            POLL_UNTIL(source, refusals.count() == 2);
            QCOMPARE(log.events.size(), events.size() + 2);
        }
    }

    // A flood is read in bounded bites: the newest datagram of the first 16 counts for one poll
    // (one tick), the rest wait for the next.
    void readsBoundedPerPoll() {
        const quint16 port = UdpTesting::freePort();
        ProbeSource source(nullptr, port);
        const int count = TelemetrySourceUdp::kMaxDatagramsPerPoll + 10;
        for (int i = 0; i < count; ++i) {
            QVERIFY(UdpTesting::send(port, QByteArray::number(i)));
        }
        QTRY_VERIFY_WITH_TIMEOUT(source.hasWaitingDatagram(), 5000);
        source.poll();
        QCOMPARE(source.calls,
                 QStringList{QStringLiteral("name %1").arg(TelemetrySourceUdp::kMaxDatagramsPerPoll - 1)});
        QVERIFY(source.hasWaitingDatagram());
        source.poll();
        QVERIFY(!source.hasWaitingDatagram());
        QCOMPARE(source.calls.mid(1), (QStringList{QStringLiteral("parse %1").arg(count - 1), "warmup 0",
                                                   QStringLiteral("name %1").arg(count - 1), "publish"}));
    }

    void fixedStreamNames_data() {
        QTest::addColumn<int>("game");
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("name");
        QTest::newRow("Condor, its own datagram") << 5 << fixture("condor2_datagram.txt") << "Generic glider";
        QTest::newRow("Condor 3, its own datagram")
            << 5 << fixture("real/condor3_ground.txt") << "Generic glider";
        QTest::newRow("Condor, a DCS datagram") << 5 << dcs("F-16C", 1) << "Generic glider";
        QTest::newRow("IL-2, its own datagram")
            << 3 << fixture("il2_telemetry_touchdown.bin") << "Generic warbird";
        QTest::newRow("IL-2, a DCS datagram") << 3 << dcs("F-16C", 1) << "Generic warbird";
        QTest::newRow("IL-2, a vehicle-name event")
            << 3 << Il2Datagram().indicator(6, {60}).vehicleName("P-51D-15").bytes() << "P-51D-15";
        QTest::newRow("IL-2, a motion datagram names nothing")
            << 3 << Il2Datagram().packetId(0x494C0000).vehicleName("P-51D-15").bytes() << "Generic warbird";
    }
    void fixedStreamNames() {
        QFETCH(int, game);
        QFETCH(QByteArray, datagram);
        QFETCH(QString, name);
        const quint16 port = UdpTesting::freePort();
        QScopedPointer<TelemetrySourceUdp> source;
        if (game == 5) {
            source.reset(new TelemetrySourceCondor2(nullptr, port));
        } else {
            source.reset(new TelemetrySourceShturmovik(nullptr, port));
        }
        QSignalSpy started(source.data(), &TelemetrySource::telemetrySourceChanged);
        QVERIFY(UdpTesting::send(port, datagram));
        POLL_UNTIL(*source, started.count() == 1);
        QCOMPARE(started.at(0).at(0).value<Telemetry::Source>(), Telemetry::Source(game));
        QCOMPARE(started.at(0).at(1).toString(), name);
    }

    // A new aircraft's name within a running DCS stream (no pause) is announced once it has come
    // in three datagrams in a row; `names` follow the stream's first datagram ("F-16C_50").
    void aircraftChange_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("announced");
        QTest::newRow("A-10C for ten datagrams")
            << QStringList{"F-16C_50", "A-10C", "A-10C", "A-10C", "A-10C", "A-10C"} << QStringList{"A-10C"};
        QTest::newRow("one garbled name")
            << QStringList{"F-16C_50", "F-1?C_50", "F-16C_50", "F-16C_50"} << QStringList{};
        QTest::newRow("there and back")
            << QStringList{"A-10C", "A-10C", "A-10C", "F-16C_50", "F-16C_50", "F-16C_50"}
            << QStringList{"A-10C", "F-16C_50"};
    }
    void aircraftChange() {
        QFETCH(QStringList, names);
        QFETCH(QStringList, announced);
        const quint16 port = UdpTesting::freePort();
        TelemetrySourceDCS source(nullptr, port);
        Recorder<TelemetrySourceDCS, DCSTelemetry> log(&source);
        QVERIFY(UdpTesting::send(port, dcs("F-16C_50", 100)));
        POLL_UNTIL(source, log.events.size() == 1);
        for (const QString& name : names) {
            const qsizetype before = log.records.size();
            QVERIFY(UdpTesting::send(port, dcs(name.toUtf8(), 200)));
            POLL_UNTIL(source, log.records.size() == before + 1);
        }
        QStringList starts;
        for (const QString& e : log.events) {
            if (e.startsWith(QLatin1String("start 2 "))) {
                starts << e.mid(8);
            }
        }
        QCOMPARE(starts, QStringList{"F-16C_50"} + announced);
        QCOMPARE(log.records.size(), names.size()); // every datagram still gives its record
    }

    // IL-2 sends each event once: the events of every queued datagram count, though only the
    // newest one's indicators do.
    void il2EventsOfEveryDatagram() {
        const quint16 port = UdpTesting::freePort();
        TelemetrySourceShturmovik source(nullptr, port);
        Recorder<TelemetrySourceShturmovik, ShturmovikTelemetry> log(&source);
        QVERIFY(UdpTesting::send(port, Il2Datagram().vehicleName("Yak-9T ser.1").bytes()));
        QVERIFY(
            UdpTesting::send(port, Il2Datagram().event(9, "\x01").event(7, QByteArray(24, '\0')).bytes()));
        QVERIFY(UdpTesting::send(port, Il2Datagram().indicator(6, {50}).bytes()));
        POLL_UNTIL(source, log.events.size() == 1);
        QCOMPARE(log.events.at(0), QStringLiteral("start 3 Yak-9T ser.1"));
        QVERIFY(UdpTesting::send(port, Il2Datagram().event(9, "\x01").bytes()));
        QVERIFY(UdpTesting::send(port, Il2Datagram().indicator(6, {60}).bytes()));
        POLL_UNTIL(source, log.records.size() == 1);
        QCOMPARE(log.records.at(0).airspeed, 216.0f);
        QCOMPARE(log.records.at(0).gunShots, 2u);
        QCOMPARE(log.records.at(0).hits, 1u);
    }

    void condorRecordsFromTheSocket() {
        const quint16 port = UdpTesting::freePort();
        TelemetrySourceCondor2 source(nullptr, port);
        Recorder<TelemetrySourceCondor2, Condor2Telemetry> log(&source);
        const QByteArray d = fixture("condor2_datagram.txt");
        QVERIFY(UdpTesting::send(port, d));
        POLL_UNTIL(source, log.events.size() == 1);
        QVERIFY(UdpTesting::send(port, d));
        POLL_UNTIL(source, log.events.size() == 2);
        QCOMPARE(log.records.value(0).airspeed, static_cast<float>(double(18.2518310546875f) * 3.6));
        QCOMPARE(log.records.value(0).gForce, 0.69383991603093f);
        QCOMPARE(log.records.value(0).line31Value, 0.504481792449951f);
    }

    // The indicators survive the end of a stream; the datagram that starts the next stream
    // does not enter them.
    void il2IndicatorsSurviveStreams() {
        const quint16 port = UdpTesting::freePort();
        TelemetrySourceShturmovik source(nullptr, port);
        useManualClock(source);
        Recorder<TelemetrySourceShturmovik, ShturmovikTelemetry> log(&source);

        const QByteArray touchdown = fixture("il2_telemetry_touchdown.bin");
        QVERIFY(UdpTesting::send(port, touchdown));
        POLL_UNTIL(source, log.events.size() == 1);
        QVERIFY(UdpTesting::send(port, touchdown));
        POLL_UNTIL(source, log.events.size() == 2);
        const float touchdownAirspeed = static_cast<float>(double(41.7f) * 3.6);
        QCOMPARE(log.records.value(0).airspeed, touchdownAirspeed);
        QVERIFY(log.records.value(0).onGround);
        QCOMPARE(log.records.value(0).gear, 100.0f);
        QCOMPARE(log.records.value(0).gForce, static_cast<float>(double(14.7f) / 9.81)); // about 1.5 G

        now_ = 2000;
        source.poll();
        QCOMPARE(log.events.mid(2), (QStringList{"record 0", "end"}));

        QVERIFY(UdpTesting::send(port, Il2Datagram().indicator(6, {100}).bytes()));
        POLL_UNTIL(source, log.events.size() == 5);
        QCOMPARE(log.events.at(4), QStringLiteral("start 3 Generic warbird"));
        QVERIFY(UdpTesting::send(port, Il2Datagram().indicator(11, {0.5f}).bytes()));
        POLL_UNTIL(source, log.events.size() == 6);
        const ShturmovikTelemetry t = log.records.last();
        QCOMPARE(t.airspeed, touchdownAirspeed);
        QCOMPARE(t.flaps, 50.0f);
        QCOMPARE(t.gear, 100.0f);
    }

    // A record count of 0 publishes the previous record unchanged.
    void il2CountZeroRepublishes() {
        const quint16 port = UdpTesting::freePort();
        TelemetrySourceShturmovik source(nullptr, port);
        Recorder<TelemetrySourceShturmovik, ShturmovikTelemetry> log(&source);
        QVERIFY(UdpTesting::send(port, Il2Datagram().bytes()));
        POLL_UNTIL(source, log.events.size() == 1);
        QVERIFY(UdpTesting::send(port, Il2Datagram().indicator(6, {50}).indicator(7, {0.1f}).bytes()));
        POLL_UNTIL(source, log.events.size() == 2);
        QVERIFY(UdpTesting::send(port, Il2Datagram().indicator(6, {80}).announceCount(0).bytes()));
        POLL_UNTIL(source, log.events.size() == 3);
        QCOMPARE(log.records.value(1).airspeed, 180.0f);
        QCOMPARE(log.records.value(1).aoa, log.records.value(0).aoa);
    }
};

QTEST_GUILESS_MAIN(TstTelemetrySourceUdp)
#include "tst_telemetrysourceudp.moc"
