// The telemetry worker and the UDP games read at the tick, with their real sources on free
// loopback ports: which game becomes current, what they pass on, and in which order the control
// loop's thread receives it.

#include "records/metatypes.h"
#include "support/fakesimconnect.h"
#include "support/fakexplane.h"
#include "support/il2datagram.h"
#include "support/logcapture.h"
#include "support/udptesting.h"
#include "telemetry/telemetryreplay.h"
#include "telemetry/telemetrysource.h"
#include "telemetry/telemetrysourceudp.h"
#include "telemetry/telemetrythread.h"
#include "telemetry/udptelemetry.h"
#include "telemetry/xplane/telemetrysourcexplane.h"
#include "telemetry/xplane/xplanedatarefs.h"
#include "telemetry/xplane/xplanerref.h"

#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTcpServer>
#include <QThread>
#include <QUdpSocket>
#include <QtTest>

#include <cstring>
#include <memory>

namespace {
QByteArray dcs(const QByteArray& name, float airspeed) {
    return name + ";" + QByteArray::number(airspeed) + ";0;0;1;0;0;0;0;0";
}

const QByteArray kCondor = "time=1\r\nairspeed=10\r\n";

// A datagram of one UDP game at the given airspeed (m/s for IL-2 and Condor, as they send it),
// and how the log shows the record it gives.
QByteArray datagram(int game, float airspeed, const QByteArray& name = "F-16C") {
    if (game == Telemetry::TELEMETRY_SOURCE_DCS) {
        return dcs(name, airspeed);
    }
    if (game == Telemetry::TELEMETRY_SOURCE_IL2) {
        return Il2Datagram().indicator(6, {airspeed}).bytes();
    }
    return "time=1\r\nairspeed=" + QByteArray::number(airspeed) + "\r\n";
}
QString record(int game, float airspeed) {
    if (game == Telemetry::TELEMETRY_SOURCE_DCS) {
        return QStringLiteral("dcs %1").arg(double(airspeed));
    }
    return QString::fromLatin1(game == Telemetry::TELEMETRY_SOURCE_IL2 ? "il2 %1" : "condor %1")
        .arg(double(static_cast<float>(double(airspeed) * 3.6)));
}

TelemetryEndpoints freeEndpoints() {
    TelemetryEndpoints e;
    e.dcsPort = UdpTesting::freePort();
    e.il2Port = UdpTesting::freePort();
    e.condorPort = UdpTesting::freePort();
    e.xplanePort = UdpTesting::freePort();
    // Nothing answers there, so a War Thunder source polled in a scan stays silent.
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    e.warthunderUrl = QUrl(QStringLiteral("http://127.0.0.1:%1/state").arg(closed.serverPort()));
    return e;
}

// One datagram of a flight in a UDP game: airborne sinking at `sink` m/s or on the ground, at
// 50 m/s. IL-2 says its height (falling `sink` / 50 a tick) with a game tick a datagram.
QByteArray flight(int game, bool onGround, float sink, int n) {
    if (game == Telemetry::TELEMETRY_SOURCE_DCS) {
        return "P-47D-30;180;" + QByteArray::number(onGround ? 0.0 : -double(sink)) + ";5;1;1;0;0;50;" +
               (onGround ? "1" : "0");
    }
    if (game == Telemetry::TELEMETRY_SOURCE_IL2) {
        const float height = std::max(0.0f, 3.0f - float(n) * sink / 50.0f);
        return Il2Datagram()
            .tick(quint32(5000 + n))
            .indicator(6, {50})
            .indicator(5, {onGround ? 0.5f : 0.0f, onGround ? 0.5f : 0.0f})
            .indicator(10, {height})
            .bytes();
    }
    return "airspeed=50\nvz=" + QByteArray::number(onGround ? 0.0 : -double(sink)) +
           "\nheight=" + (onGround ? "0.7" : "3") + "\nwheelheight=" + (onGround ? "-0.01" : "2.2") + "\n";
}

// Everything the worker (or the UDP games' reader, W) emits, in order, as short texts.
// Connected through `context`, so the log is written on the context's thread.
template <typename W> void logSignals(W* worker, QObject* context, QStringList* log) {
    QObject::connect(worker, &W::telemetrySourceChanged, context,
                     [log](Telemetry::Source s, const QString& name) {
                         *log << QStringLiteral("source %1 %2").arg(int(s)).arg(name);
                     });
    QObject::connect(worker, &W::telemetryEnded, context, [log]() { *log << "ended"; });
    QObject::connect(worker, &W::dcsTelemetryChanged, context, [log](const DCSTelemetry& t) {
        *log << QStringLiteral("dcs %1").arg(double(t.airspeed));
    });
    QObject::connect(worker, &W::shturmovikTelemetryChanged, context, [log](const ShturmovikTelemetry& t) {
        *log << QStringLiteral("il2 %1").arg(double(t.airspeed));
    });
    QObject::connect(worker, &W::condor2TelemetryChanged, context, [log](const Condor2Telemetry& t) {
        *log << QStringLiteral("condor %1").arg(double(t.airspeed));
    });
    // X-Plane has no signal of its own: its records are read from the one every game's pass through.
    QObject::connect(worker, &W::telemetryRecordChanged, context, [log](const TelemetryRecord& r) {
        if (r.source == Telemetry::TELEMETRY_SOURCE_XPLANE) {
            *log << QStringLiteral("xplane %1").arg(double(r.flight().airspeed));
        }
    });
}

} // namespace

class TstTelemetryThread : public QObject {
    Q_OBJECT

    qint64 now_ = 0;
    QStringList log_;
    TelemetryEndpoints endpoints_;
    std::unique_ptr<LiveGame> live_;
    QScopedPointer<TelemetryThread> worker_;
    QScopedPointer<UdpTelemetry> games_;
    // The control loop's tick, which reads the UDP games every 5 ms.
    QTimer ticker_;

    TelemetrySourceUdp* udp(Telemetry::Source s) const { return games_->source(s); }
    // A worker and a reader of the UDP games sharing one LiveGame, wired as the program wires
    // them, on the test's clock.
    void startWorkers() {
        games_.reset();
        worker_.reset(); // sockets closed before new ones bind the ports
        live_.reset(new LiveGame());
        worker_.reset(new TelemetryThread(endpoints_, live_.get()));
        games_.reset(new UdpTelemetry(endpoints_, live_.get()));
        games_->joinWorker(worker_.data());
        worker_->setClock([this]() { return now_; });
        games_->setClock([this]() { return now_; });
        logSignals(worker_.data(), this, &log_);
        logSignals(games_.data(), this, &log_);
        worker_->start();
    }
    quint16 port(int game) const {
        return game == Telemetry::TELEMETRY_SOURCE_DCS   ? endpoints_.dcsPort
               : game == Telemetry::TELEMETRY_SOURCE_IL2 ? endpoints_.il2Port
                                                         : endpoints_.condorPort;
    }
    // A scan as the worker's timer runs it when a schedule falls due, and a tick's reading.
    void tick() {
        worker_->onTimeout();
        games_->poll();
    }

private slots:
    void initTestCase() {
        registerMetaTypes();
        ticker_.setInterval(5);
        connect(&ticker_, &QTimer::timeout, this, [this] {
            if (games_) {
                games_->poll();
            }
        });
    }

    // A started worker on free ports whose sources share a clock the test steps by hand.
    // Datagrams are handled as they arrive; scans of due sources are driven by hand (the
    // worker's own timer also runs, but on the frozen clock it finds nothing more due).
    void init() {
        now_ = 0;
        log_.clear();
        FakeSimConnect::reset();
        endpoints_ = freeEndpoints();
        startWorkers();
        for (auto s : {Telemetry::TELEMETRY_SOURCE_DCS, Telemetry::TELEMETRY_SOURCE_IL2,
                       Telemetry::TELEMETRY_SOURCE_CONDOR}) {
            QVERIFY(udp(s));
            QCOMPARE(udp(s)->source(), s);
            QVERIFY(!worker_->source(s)); // read at the tick, never on the telemetry thread
        }
        ticker_.start();
    }
    void cleanup() {
        ticker_.stop();
        games_.reset();
        worker_.reset();
        FakeSimConnect::reset();
    }

    // The control thread and the window reach the worker and its sources only by queued calls
    // and connections: every public signal's and slot's arguments can be queued (a type unknown
    // to the meta-object system fails only at run time, with the call or record lost).
    void everySlotAndSignalCanBeQueued_data() {
        QTest::addColumn<bool>("worker");
        QTest::addColumn<int>("least");
        QTest::newRow("worker") << true << 20;
        QTest::newRow("source") << false << 5;
    }

    void everySlotAndSignalCanBeQueued() {
        QFETCH(bool, worker);
        QFETCH(int, least);
        const QMetaObject* meta =
            worker ? &TelemetryThread::staticMetaObject : &TelemetrySource::staticMetaObject;
        int methods = 0;
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            const QMetaMethod m = meta->method(i);
            if (m.access() != QMetaMethod::Public || m.methodType() == QMetaMethod::Method) {
                continue;
            }
            ++methods;
            for (int p = 0; p < m.parameterCount(); ++p) {
                QVERIFY2(m.parameterMetaType(p).isValid(), m.methodSignature().constData());
            }
        }
        QVERIFY(methods >= least);
    }

    // Each UDP game refuses another computer (127.0.0.2 plays one) until the worker is told to
    // accept it; the refused sender reaches the worker's own signal.
    void otherComputersThroughTheWorker_data() {
        QTest::addColumn<int>("game");
        QTest::newRow("DCS") << int(Telemetry::TELEMETRY_SOURCE_DCS);
        QTest::newRow("IL-2") << int(Telemetry::TELEMETRY_SOURCE_IL2);
        QTest::newRow("Condor") << int(Telemetry::TELEMETRY_SOURCE_CONDOR);
    }

    void otherComputersThroughTheWorker() {
        QFETCH(int, game);
        const QHostAddress self(QStringLiteral("127.0.0.1"));
        udp(Telemetry::Source(game))->setSenderCheck([self](const QHostAddress& a) {
            return a.isEqual(self, QHostAddress::TolerantConversion);
        });
        QSignalSpy refused(worker_.data(), &TelemetryThread::remoteTelemetryRefused);
        QVERIFY(UdpTesting::sendFrom(QStringLiteral("127.0.0.2"), port(game), dcs("F-16C", 1)));
        QTRY_COMPARE_WITH_TIMEOUT(refused.count(), 1, 5000);
        QCOMPARE(refused.at(0).at(0).toString(), QStringLiteral("127.0.0.2"));
        QCOMPARE(log_, QStringList());

        worker_->setAcceptRemoteTelemetry(true);
        QVERIFY(UdpTesting::sendFrom(QStringLiteral("127.0.0.2"), port(game), dcs("F-16C", 1)));
        QTRY_COMPARE_WITH_TIMEOUT(log_.size(), 1, 5000);
        QVERIFY(log_.at(0).startsWith(QStringLiteral("source %1 ").arg(game)));
        QCOMPARE(refused.count(), 1);
    }

    // While no game sends, the worker wakes about once a second: the simulator is looked for and
    // War Thunder asked, and nothing is emitted.
    void quietWithoutGames() {
        auto* warthunder = worker_->source(Telemetry::TELEMETRY_SOURCE_WARTHUNDER);
        // The first scan runs at start; the refused request is asked again a second later.
        QTRY_COMPARE_WITH_TIMEOUT(warthunder->pollDelay(), qint64(1000), 10000);
        QCOMPARE(FakeSimConnect::openAttempts(), 1);
        auto* timer = worker_->findChild<QTimer*>(QString(), Qt::FindDirectChildrenOnly);
        QVERIFY(timer && timer->isActive());
        QCOMPARE(timer->interval(), 1000);

        for (int t = 20; t < 1000; t += 20) {
            now_ = t;
            tick();
        }
        QCOMPARE(FakeSimConnect::openAttempts(), 1);
        QCOMPARE(warthunder->pollDelay(), qint64(20));
        now_ = 1000;
        tick();
        QCOMPARE(FakeSimConnect::openAttempts(), 2);
        QCOMPARE(warthunder->pollDelay(), qint64(-1)); // asked again: its answer is on the way
        QVERIFY(log_.isEmpty());
        QCOMPARE(worker_->currentSource(), Telemetry::TELEMETRY_SOURCE_NONE);
    }

    // A descent and touchdown in a game's stream sets off the landing jolt with the sink rate
    // before contact (positive downwards) and the airspeed at contact; a stream that starts on the
    // ground does not.
    void touchdownInTheStream_data() {
        QTest::addColumn<int>("game");
        QTest::addColumn<bool>("startsOnGround");
        QTest::addColumn<float>("sink");
        QTest::newRow("DCS, a firm landing") << 2 << false << 3.0f;
        QTest::newRow("DCS, starts on the ground") << 2 << true << 3.0f;
        QTest::newRow("IL-2, height falling 2 m/s") << 3 << false << 2.0f;
        QTest::newRow("Condor, a glider's touchdown") << 5 << false << 0.8f;
    }
    void touchdownInTheStream() {
        QFETCH(int, game);
        QFETCH(bool, startsOnGround);
        QFETCH(float, sink);
        QSignalSpy landed(games_.data(), &UdpTelemetry::landed);
        for (int n = 0; n < 10; ++n) {
            const bool onGround = startsOnGround || n >= 7;
            const qsizetype before = log_.size();
            QVERIFY(UdpTesting::send(port(game), flight(game, onGround, sink, n)));
            QTRY_VERIFY_WITH_TIMEOUT(log_.size() > before, 5000);
        }
        QCOMPARE(landed.count(), startsOnGround ? 0 : 1);
        if (!startsOnGround) {
            QVERIFY2(std::fabs(landed.at(0).at(0).toFloat() - sink) < 0.01f,
                     qPrintable(QString::number(landed.at(0).at(0).toFloat())));
            QCOMPARE(landed.at(0).at(1).toFloat(), 180.0f);
        }
    }

    // The first game to send becomes current; the other is not read meanwhile.
    void earlierTickWins() {
        QVERIFY(UdpTesting::send(endpoints_.condorPort, kCondor));
        QTRY_VERIFY_WITH_TIMEOUT(!log_.isEmpty(), 5000);
        QCOMPARE(worker_->currentSource(), Telemetry::TELEMETRY_SOURCE_CONDOR);

        QVERIFY(UdpTesting::send(endpoints_.dcsPort, dcs("F-16C", 1)));
        QVERIFY(UdpTesting::send(endpoints_.condorPort, kCondor));
        QTRY_VERIFY_WITH_TIMEOUT((tick(), log_.size() == 2), 5000);
        tick();
        QCOMPARE(log_, (QStringList{"source 5 Generic glider", "condor 36"}));
        QCOMPARE(worker_->currentSource(), Telemetry::TELEMETRY_SOURCE_CONDOR);
        QVERIFY(!udp(Telemetry::TELEMETRY_SOURCE_DCS)->isActive());
    }

    // Two games sending: the one whose datagram arrives first becomes current and keeps the worker
    // while it streams, whatever the scan order; the other's datagrams wait unread and it starts
    // no stream. When the first stream ends, the waiting game announces its stream, named after
    // its newest datagram, and its next datagram is its first record.
    void twoGamesSending_data() {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("second");
        QTest::addColumn<QString>("secondName");
        QTest::newRow("DCS, then Condor") << 2 << 5 << "Generic glider";
        QTest::newRow("Condor, then DCS (earlier in scan order)") << 5 << 2 << "MiG-29A";
        QTest::newRow("IL-2, then DCS") << 3 << 2 << "MiG-29A";
        QTest::newRow("DCS, then IL-2") << 2 << 3 << "Generic warbird";
    }
    void twoGamesSending() {
        QFETCH(int, first);
        QFETCH(int, second);
        QFETCH(QString, secondName);
        const auto firstSource = Telemetry::Source(first);
        const auto secondSource = Telemetry::Source(second);
        QVERIFY(UdpTesting::send(port(first), datagram(first, 10)));
        QTRY_VERIFY_WITH_TIMEOUT(!log_.isEmpty(), 5000);
        QCOMPARE(log_.first(), first == 2 ? QStringLiteral("source 2 F-16C")
                                          : QStringLiteral("source %1 ").arg(first) +
                                                (first == 5 ? "Generic glider" : "Generic warbird"));
        QCOMPARE(worker_->currentSource(), firstSource);

        QSignalSpy ignored(worker_.data(), &TelemetryThread::otherSourceIgnored);
        QVERIFY(UdpTesting::send(port(second), datagram(second, 1, "Su-27")));
        QVERIFY(UdpTesting::send(port(second), datagram(second, 2, "MiG-29A")));
        // The pilot hears of the game that is not heard, once for the stream, naming both.
        QTRY_COMPARE_WITH_TIMEOUT(ignored.count(), 1, 5000);
        QTest::qWait(20);
        QCOMPARE(ignored.count(), 1);
        QCOMPARE(ignored.at(0).at(0).value<Telemetry::Source>(), secondSource);
        QCOMPARE(ignored.at(0).at(1).value<Telemetry::Source>(), firstSource);
        QVERIFY(UdpTesting::send(port(first), datagram(first, 20)));
        QTRY_COMPARE_WITH_TIMEOUT(log_.size(), 2, 5000);
        QCOMPARE(log_.at(1), record(first, 20));
        QVERIFY(!udp(secondSource)->isActive());
        QVERIFY(udp(secondSource)->hasWaitingDatagram()); // its datagrams wait in the socket

        // The first game falls silent for more than a second: its stream ends with the zero
        // record, and the waiting game announces at the latest at the next scan.
        now_ = 1001;
        tick();
        tick();
        QCOMPARE(log_.mid(2), (QStringList{record(first, 0), "ended",
                                           QStringLiteral("source %1 ").arg(second) + secondName}));
        QCOMPARE(worker_->currentSource(), secondSource);
        QCOMPARE(ignored.count(), 1);
        QVERIFY(UdpTesting::send(port(second), datagram(second, 30, "MiG-29A")));
        QTRY_COMPARE_WITH_TIMEOUT(log_.size(), 6, 5000);
        QCOMPARE(log_.last(), record(second, 30));
    }

    // While DCS flies, asking X-Plane again (remote games allowed) is not X-Plane sending: only
    // a datagram that waits for it tells the pilot, once.
    void onlyTelemetryTellsOfAnotherGame() {
        auto* xplane =
            qobject_cast<TelemetrySourceXPlane*>(worker_->source(Telemetry::TELEMETRY_SOURCE_XPLANE));
        QVERIFY(xplane);
        QVERIFY(UdpTesting::send(endpoints_.dcsPort, dcs("F-16C", 1)));
        QTRY_COMPARE_WITH_TIMEOUT(worker_->currentSource(), Telemetry::TELEMETRY_SOURCE_DCS, 5000);
        QSignalSpy ignored(worker_.data(), &TelemetryThread::otherSourceIgnored);
        worker_->setAcceptRemoteTelemetry(true);
        QTest::qWait(50);
        QCOMPARE(ignored.count(), 0);
        QVERIFY(UdpTesting::send(xplane->localPort(), QByteArray("RREF,") + QByteArray(8, '\0')));
        QTRY_COMPARE_WITH_TIMEOUT(ignored.count(), 1, 5000);
        QCOMPARE(ignored.at(0).at(0).value<Telemetry::Source>(), Telemetry::TELEMETRY_SOURCE_XPLANE);
    }

    // One game flies at a time across both threads: while a game of the telemetry thread (MSFS
    // here) streams, a UDP game is not heard and the pilot is told once; a UDP source that starts
    // a stream anyway (polled just as the other began) forgets it without a word. Once the other
    // stream ends, the UDP game announces at the next tick, named after its newest datagram.
    void oneLiveGameAcrossThreads() {
        const auto dcsGame = Telemetry::TELEMETRY_SOURCE_DCS;
        const auto msfs = Telemetry::TELEMETRY_SOURCE_MSFS;
        QVERIFY(live_->claim(msfs));
        QSignalSpy ignored(worker_.data(), &TelemetryThread::otherSourceIgnored);
        QVERIFY(UdpTesting::send(endpoints_.dcsPort, dcs("F-16C", 1)));
        QTRY_COMPARE_WITH_TIMEOUT(ignored.count(), 1, 5000);
        QCOMPARE(ignored.at(0).at(0).value<Telemetry::Source>(), dcsGame);
        QCOMPARE(ignored.at(0).at(1).value<Telemetry::Source>(), msfs);
        udp(dcsGame)->poll();
        QVERIFY(log_.isEmpty());
        QVERIFY(!udp(dcsGame)->isActive());
        QCOMPARE(worker_->currentSource(), msfs);

        QVERIFY(UdpTesting::send(endpoints_.dcsPort, dcs("MiG-29A", 2)));
        QTRY_VERIFY_WITH_TIMEOUT(udp(dcsGame)->hasWaitingDatagram(), 5000);
        QVERIFY(live_->release(msfs));
        tick();
        QCOMPARE(log_, QStringList{"source 2 MiG-29A"});
        QCOMPARE(worker_->currentSource(), dcsGame);
        QCOMPARE(ignored.count(), 1);

        // A replay that begins on the telemetry thread while the tick reads a datagram: the
        // record is not heard.
        ticker_.stop();
        QVERIFY(UdpTesting::send(endpoints_.dcsPort, dcs("MiG-29A", 3)));
        QTRY_VERIFY_WITH_TIMEOUT(udp(dcsGame)->hasWaitingDatagram(), 5000);
        live_->setReplaying(true);
        udp(dcsGame)->poll();
        QCOMPARE(log_, QStringList{"source 2 MiG-29A"});
    }

    // A pause of 900 ms, or of exactly 1000 ms, keeps the stream; a longer one ends it, and the
    // next datagram then starts a new stream: announced, not parsed. The log tells each start
    // and end with the aircraft, and nothing of the datagrams between.
    void pauseKeepsOrEndsStream_data() {
        QTest::addColumn<int>("pause");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QStringList>("logged");
        const QString started = QStringLiteral("info trennal.telemetry.dcs: DCS stream started: aircraft ");
        QTest::newRow("900 ms") << 900 << QStringList{"dcs 2"} << QStringList{started + "\"F-16C\""};
        QTest::newRow("1000 ms") << 1000 << QStringList{"dcs 2"} << QStringList{started + "\"F-16C\""};
        QTest::newRow("1001 ms") << 1001 << QStringList{"dcs 0", "ended", "source 2 A-10C"}
                                 << QStringList{started + "\"F-16C\"",
                                                "info trennal.telemetry.dcs: DCS stream ended: aircraft "
                                                "\"F-16C\" after ",
                                                started + "\"A-10C\""};
    }
    void pauseKeepsOrEndsStream() {
        QFETCH(int, pause);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, logged);
        const LogCapture logFile;
        QVERIFY(UdpTesting::send(endpoints_.dcsPort, dcs("F-16C", 1)));
        QTRY_COMPARE_WITH_TIMEOUT(log_.size(), 1, 5000);
        now_ = 100;
        QVERIFY(UdpTesting::send(endpoints_.dcsPort, dcs("F-16C", 1)));
        QTRY_COMPARE_WITH_TIMEOUT(log_.size(), 2, 5000);

        now_ = 100 + pause;
        tick();
        QVERIFY(UdpTesting::send(endpoints_.dcsPort, dcs("A-10C", 2)));
        QTRY_COMPARE_WITH_TIMEOUT(log_.size(), 2 + expected.size(), 5000);
        QCOMPARE(log_.mid(2), expected);
        const QStringList lines = logFile.lines(QStringLiteral("trennal.telemetry.dcs"));
        QCOMPARE(lines.size(), logged.size());
        for (int i = 0; i < lines.size(); ++i) {
            QVERIFY2(lines.at(i).contains(logged.at(i)), qPrintable(lines.at(i)));
        }
    }

    // A replay speaks as its recorded game; a live game meanwhile is not heard, and once the
    // replay has ended like a game's stream, the live game announces a stream of its own, also
    // when the replay cut its stream short.
    void replayMutesLiveGamesUntilItEnds_data() {
        QTest::addColumn<bool>("liveBefore");
        QTest::newRow("game arrives during the replay") << false;
        QTest::newRow("game streaming when the replay starts") << true;
    }
    void replayMutesLiveGamesUntilItEnds() {
        QFETCH(bool, liveBefore);
        if (liveBefore) {
            QVERIFY(UdpTesting::send(endpoints_.condorPort, kCondor));
            QTRY_COMPARE_WITH_TIMEOUT(log_.size(), 1, 5000);
            QVERIFY(UdpTesting::send(endpoints_.condorPort, kCondor));
            QTRY_COMPARE_WITH_TIMEOUT(log_, (QStringList{"source 5 Generic glider", "condor 36"}), 5000);
            log_.clear();
        }
        qint64 replayNow = 0;
        TelemetryReplay* replay = worker_->replay();
        replay->setClock([&replayNow]() { return replayNow; });
        QVector<RecordingRow> rows(3);
        for (int i = 0; i < 3; ++i) {
            rows[i].time = 40 * i;
            rows[i].source = Telemetry::TELEMETRY_SOURCE_DCS;
            rows[i].aircraft = QStringLiteral("F-16C");
            rows[i].telemetry.airspeed = 100.0f + 10.0f * static_cast<float>(i);
        }
        replay->play(rows, QStringLiteral("flight.csv"));
        QCOMPARE(log_, (QStringList{"source 2 F-16C", "dcs 100"}));

        QVERIFY(UdpTesting::send(endpoints_.condorPort, kCondor));
        QTest::qWait(100);
        for (int i = 0; i < 5; ++i) {
            tick();
        }
        replayNow = 40;
        replay->step();
        QCOMPARE(log_, (QStringList{"source 2 F-16C", "dcs 100", "dcs 110"}));

        worker_->stopReplay();
        QCOMPARE(log_.mid(3), (QStringList{"dcs 0", "ended"}));
        QTRY_VERIFY_WITH_TIMEOUT((tick(), log_.size() > 5), 5000);
        QCOMPARE(log_.at(5), QStringLiteral("source 5 Generic glider"));
        QCOMPARE(worker_->currentSource(), Telemetry::TELEMETRY_SOURCE_CONDOR);
    }

    // While a stream runs only its source is polled: the simulator's queue is not drained and
    // the game server gets no request.
    void otherSourcesAreLeftAloneWhileOneIsCurrent() {
        FakeSimConnect::reset();
        FakeSimConnect::setSimulatorRunning(true);
        QTcpServer game; // accepts and never answers
        QVERIFY(game.listen(QHostAddress::LocalHost, 0));
        int connections = 0;
        connect(&game, &QTcpServer::newConnection, this, [&]() {
            while (game.hasPendingConnections()) {
                game.nextPendingConnection()->setParent(&game);
                ++connections;
            }
        });
        endpoints_.warthunderUrl = QUrl(QStringLiteral("http://127.0.0.1:%1/state").arg(game.serverPort()));
        startWorkers();
        auto* network =
            worker_->source(Telemetry::TELEMETRY_SOURCE_WARTHUNDER)->findChild<QNetworkAccessManager*>();
        QVERIFY(network);
        QSignalSpy finished(network, &QNetworkAccessManager::finished);

        // While no game sends, the simulator's queue is read and the game server asked (that
        // request runs out after 100 ms).
        QTRY_VERIFY_WITH_TIMEOUT(
            FakeSimConnect::dispatchCalls() > 0 && connections > 0 && finished.size() == connections, 10000);
        QVERIFY(UdpTesting::send(endpoints_.dcsPort, dcs("F-16C", 1)));
        QTRY_VERIFY_WITH_TIMEOUT(!log_.isEmpty(), 5000);
        QCOMPARE(worker_->currentSource(), Telemetry::TELEMETRY_SOURCE_DCS);

        const int dispatches = FakeSimConnect::dispatchCalls();
        const int asked = connections;
        FakeSimConnect::queueSimStop();
        for (int i = 0; i < 20; ++i) {
            QVERIFY(UdpTesting::send(endpoints_.dcsPort, dcs("F-16C", 2)));
            tick();
            QTest::qWait(5);
        }
        QCOMPARE(worker_->currentSource(), Telemetry::TELEMETRY_SOURCE_DCS);
        QVERIFY(log_.contains(QStringLiteral("dcs 2")));
        QCOMPARE(FakeSimConnect::dispatchCalls(), dispatches);
        QCOMPARE(FakeSimConnect::queuedMessages(), 1);
        QCOMPARE(connections, asked);
        QCOMPARE(finished.size(), asked);
        worker_.reset();
        FakeSimConnect::reset();
    }

    // After the current stream ends, a game that sent meanwhile announces its stream at the
    // next tick, named after its newest queued datagram.
    void waitingGameAnnouncesAfterEnd() {
        QVERIFY(UdpTesting::send(endpoints_.il2Port, Il2Datagram().indicator(6, {10}).bytes()));
        QTRY_VERIFY_WITH_TIMEOUT((tick(), !log_.isEmpty()), 5000);
        QVERIFY(UdpTesting::send(endpoints_.il2Port, Il2Datagram().indicator(6, {10}).bytes()));
        QVERIFY(UdpTesting::send(endpoints_.dcsPort, dcs("Su-27", 1)));
        QVERIFY(UdpTesting::send(endpoints_.dcsPort, dcs("MiG-29A", 2)));
        QTRY_VERIFY_WITH_TIMEOUT((tick(), log_.size() == 2), 5000);
        tick();
        QCOMPARE(log_, (QStringList{"source 3 Generic warbird", "il2 36"}));

        now_ = 1500;
        tick();
        QCOMPARE(worker_->currentSource(), Telemetry::TELEMETRY_SOURCE_NONE);
        tick();
        QCOMPARE(log_.mid(2), (QStringList{"il2 0", "ended", "source 2 MiG-29A"}));
        QCOMPARE(worker_->currentSource(), Telemetry::TELEMETRY_SOURCE_DCS);
    }

    // X-Plane, played by a fake on loopback: the worker subscribes by itself, names the stream
    // after the aircraft, gives all-zero records while paused, ignores another address, finds
    // the simulator again after a restart and cancels its subscriptions when it goes.
    void xplaneSubscribesAndFindsRestartedSimulator() {
        auto* source =
            qobject_cast<TelemetrySourceXPlane*>(worker_->source(Telemetry::TELEMETRY_SOURCE_XPLANE));
        QVERIFY(source && source->localPort() != 0);
        auto sim = std::make_unique<FakeXPlane>(endpoints_.xplanePort);
        QVERIFY(sim->bound());
        // Started before the simulator: it is asked again within the request interval.
        now_ = TelemetrySourceXPlane::RequestIntervalMs;
        tick();
        QTRY_COMPARE_WITH_TIMEOUT(sim->subscribed(), int(XPlaneDatarefs::Count), 5000);
        const auto& subs = sim->subscriptions();
        QCOMPARE(subs.value(XPlaneDatarefs::Airspeed).second,
                 QByteArray("sim/flightmodel/position/indicated_airspeed"));
        QVERIFY(subs.value(XPlaneDatarefs::Airspeed).first >= 50 &&
                subs.value(XPlaneDatarefs::Airspeed).first <= 100);
        QCOMPARE(subs.value(XPlaneDatarefs::UiName + 3).second,
                 QByteArray("sim/aircraft/view/acf_ui_name[3]"));

        sim->answer(FakeXPlane::flying("Cessna 172 SP", 100));
        QTRY_COMPARE_WITH_TIMEOUT(log_, QStringList{"source 6 Cessna 172 SP"}, 5000);
        sim->answer(FakeXPlane::flying("Cessna 172 SP", 100));
        QTRY_COMPARE_WITH_TIMEOUT(log_.size(), 2, 5000);
        QCOMPARE(log_.at(1), QStringLiteral("xplane 185.2"));
        sim->answer(FakeXPlane::flying("Cessna 172 SP", 100, true));
        QTRY_COMPARE_WITH_TIMEOUT(log_.size(), 3, 5000);
        QCOMPARE(log_.at(2), QStringLiteral("xplane 0"));
        // Another aircraft loaded: once its name has stayed, it selects its profile as a new
        // stream would.
        for (int i = 1; i <= AircraftChangeWatch::kConfirmations; ++i) {
            sim->answer(FakeXPlane::flying("Baron 58", 100));
            QTRY_COMPARE_WITH_TIMEOUT(log_.size(),
                                      i < AircraftChangeWatch::kConfirmations ? 3 + i : 3 + i + 1, 5000);
        }
        QCOMPARE(log_.mid(3),
                 (QStringList{"xplane 185.2", "xplane 185.2", "source 6 Baron 58", "xplane 185.2"}));
        log_ = log_.mid(0, 3);
        // Another program on another address speaking X-Plane's language is not heard.
        QByteArray forged("RREF,");
        const qint32 index = XPlaneDatarefs::Airspeed;
        const float knots = 300;
        forged.append(reinterpret_cast<const char*>(&index), 4)
            .append(reinterpret_cast<const char*>(&knots), 4);
        QVERIFY(UdpTesting::sendFrom(QStringLiteral("127.0.0.2"), source->localPort(), forged));
        QTest::qWait(100);
        QCOMPARE(log_.size(), 3);

        // The simulator goes away: the stream ends a second later, and a new one on the same port
        // is asked again and announced afresh.
        sim.reset();
        now_ += TelemetrySourceXPlane::StreamTimeoutMs + 1;
        tick();
        QCOMPARE(log_.mid(3), (QStringList{"xplane 0", "ended"}));
        sim = std::make_unique<FakeXPlane>(endpoints_.xplanePort);
        QVERIFY(sim->bound());
        now_ += TelemetrySourceXPlane::RequestIntervalMs;
        tick();
        QTRY_COMPARE_WITH_TIMEOUT(sim->subscribed(), int(XPlaneDatarefs::Count), 5000);
        sim->answer(FakeXPlane::flying("Cessna 172 SP", 50));
        QTRY_COMPARE_WITH_TIMEOUT(log_.size(), 6, 5000);
        QCOMPARE(log_.at(5), QStringLiteral("source 6 Cessna 172 SP"));
        QCOMPARE(worker_->currentSource(), Telemetry::TELEMETRY_SOURCE_XPLANE);

        // An orderly end cancels every subscription.
        worker_.reset();
        QTRY_COMPARE_WITH_TIMEOUT(sim->subscribed(), 0, 5000);
        QCOMPARE(sim->subscriptions().size(), int(XPlaneDatarefs::Count));
    }

    // X-Plane on another computer is not even asked until telemetry from other computers is
    // allowed; the user hears of it once. (Documentation address: nothing leaves this computer.)
    void xplaneOnAnotherComputerWaitsForConsent() {
        worker_.reset();
        endpoints_.xplaneHost = QStringLiteral("192.0.2.7");
        worker_.reset(new TelemetryThread(endpoints_, live_.get()));
        QSignalSpy refused(worker_.data(), &TelemetryThread::remoteTelemetryRefused);
        worker_->setClock([this]() { return now_; });
        worker_->start();
        QTRY_COMPARE_WITH_TIMEOUT(refused.count(), 1, 5000);
        QCOMPARE(refused.at(0).at(0).toString(), QStringLiteral("192.0.2.7"));
        auto* source = worker_->source(Telemetry::TELEMETRY_SOURCE_XPLANE);
        QCOMPARE(source->pollDelay(), qint64(-1));
        now_ += TelemetrySourceXPlane::RequestIntervalMs;
        tick();
        QCOMPARE(refused.count(), 1);
    }

    // With the UDP games read on a ticking thread of their own (the control thread), another
    // thread learns of the stream before its first record, and of the all-zero record before the end.
    void streamOrderAcrossThreads() {
        games_.reset();
        worker_.reset();
        const TelemetryEndpoints endpoints = freeEndpoints();
        auto* games = new UdpTelemetry(endpoints, nullptr);
        auto* tick = new QTimer(games);
        connect(tick, &QTimer::timeout, games, &UdpTelemetry::poll);
        QStringList log;
        QObject receiver;
        logSignals(games, &receiver, &log);
        QThread thread;
        connect(&thread, &QThread::finished, games, &QObject::deleteLater);
        thread.start(QThread::InheritPriority);
        games->moveToThread(&thread);
        QMetaObject::invokeMethod(
            tick, [tick] { tick->start(5); }, Qt::QueuedConnection);

        QTimer game;
        connect(&game, &QTimer::timeout, this,
                [&]() { UdpTesting::send(endpoints.dcsPort, dcs("F-16C", 250)); });
        game.start(5);
        QTRY_VERIFY_WITH_TIMEOUT(log.contains("dcs 250"), 10000);
        game.stop();
        QTRY_VERIFY_WITH_TIMEOUT(log.contains("ended"), 10000);
        thread.quit();
        QVERIFY(thread.wait(10000));

        QCOMPARE(log.first(), QStringLiteral("source 2 F-16C"));
        QCOMPARE(log.count(QStringLiteral("source 2 F-16C")), 1);
        QCOMPARE(log.last(), QStringLiteral("ended"));
        QCOMPARE(log.at(log.size() - 2), QStringLiteral("dcs 0"));
        for (int i = 1; i < log.size() - 2; ++i) {
            QCOMPARE(log.at(i), QStringLiteral("dcs 250"));
        }
    }
};

QTEST_GUILESS_MAIN(TstTelemetryThread)
#include "tst_telemetrythread.moc"
