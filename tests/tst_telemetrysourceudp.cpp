// The UDP sources on real loopback sockets: stream start, parsing, time-out and the names
// the games' streams are announced with. Time is stepped by hand through the sources' clock.

#include "forces/metatypes.h"
#include "support/il2datagram.h"
#include "support/udptesting.h"
#include "telemetry/telemetrysourcecondor2.h"
#include "telemetry/telemetrysourcedcs.h"
#include "telemetry/telemetrysourceshturmovik.h"

#include <QFile>
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

    // Datagrams are announced as they arrive (inputReady) and wait in the socket until polled.
    // pollDelay() tells the worker when the source has work: at once while datagrams wait, when
    // the time-out expires while a stream runs (more than 1000 ms after the last datagram), and
    // never while it is idle or its port could not be bound.
    void pollDelayFollowsTheStream() {
        const quint16 port = UdpTesting::freePort();
        TelemetrySourceDCS source(nullptr, port);
        TelemetrySourceDCS unbound(nullptr, port); // the port is taken
        useManualClock(source);
        Recorder<TelemetrySourceDCS, DCSTelemetry> log(&source);
        QSignalSpy ready(&source, &TelemetrySource::inputReady);
        QCOMPARE(source.pollDelay(), qint64(-1));

        QVERIFY(UdpTesting::send(port, dcs("F-16C", 1)));
        QVERIFY(ready.wait(5000));
        QCOMPARE(source.pollDelay(), qint64(0));
        QCOMPARE(unbound.pollDelay(), qint64(-1));
        QVERIFY(log.events.isEmpty()); // nothing is read before the poll
        source.poll();
        QCOMPARE(log.events, QStringList{"start 2 F-16C"});

        const QList<QPair<qint64, qint64>> delays = {{0, 1001}, {900, 101}, {1000, 1}, {1001, 0}, {5000, 0}};
        for (const auto& [time, delay] : delays) {
            now_ = time;
            QCOMPARE(source.pollDelay(), delay);
        }
        source.poll();
        QCOMPARE(log.events, (QStringList{"start 2 F-16C", "record 0", "end"}));
        QCOMPARE(source.pollDelay(), qint64(-1));
    }

    // The base class parses, then warms up while the stream is younger than a second, then
    // publishes; the datagram that starts the stream is only named.
    void pollCallOrderAndWarmup() {
        const quint16 port = UdpTesting::freePort();
        ProbeSource source(nullptr, port);
        useManualClock(source);

        now_ = 100;
        QVERIFY(UdpTesting::send(port, "a"));
        POLL_UNTIL(source, !source.calls.isEmpty());
        now_ = 600;
        QVERIFY(UdpTesting::send(port, "b"));
        POLL_UNTIL(source, source.calls.size() == 4);
        now_ = 1099;
        QVERIFY(UdpTesting::send(port, "c"));
        POLL_UNTIL(source, source.calls.size() == 7);
        now_ = 1100;
        QVERIFY(UdpTesting::send(port, "d"));
        POLL_UNTIL(source, source.calls.size() == 9);
        QCOMPARE(source.calls, (QStringList{"name a", "parse b", "warmup 0", "publish", "parse c", "warmup 0",
                                            "publish", "parse d", "publish"}));
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
        QCOMPARE(started.at(0).at(1).toString().size(), name.size());
        QVERIFY(UdpTesting::send(port, big));
        POLL_UNTIL(source, records.count() == 1);
        QCOMPARE(records.at(0).at(0).value<DCSTelemetry>().airspeed, 77.0f);
    }

    void fixedStreamNames_data() {
        QTest::addColumn<int>("game");
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("name");
        QTest::newRow("Condor, its own datagram") << 5 << fixture("condor2_datagram.txt") << "Generic glider";
        QTest::newRow("Condor, a DCS datagram") << 5 << dcs("F-16C", 1) << "Generic glider";
        QTest::newRow("IL-2, its own datagram")
            << 3 << fixture("il2_telemetry_touchdown.bin") << "Generic warbird";
        QTest::newRow("IL-2, a DCS datagram") << 3 << dcs("F-16C", 1) << "Generic warbird";
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
