// The telemetry worker with its real sources on free loopback ports: which game becomes
// current, what it passes on, and in which order the control loop's thread receives it.

#include "forces/metatypes.h"
#include "support/fakesimconnect.h"
#include "support/il2datagram.h"
#include "support/udptesting.h"
#include "telemetry/telemetryreplay.h"
#include "telemetry/telemetrysource.h"
#include "telemetry/telemetrysourceudp.h"
#include "telemetry/telemetrythread.h"

#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTcpServer>
#include <QThread>
#include <QtTest>

namespace {
QByteArray dcs(const QByteArray& name, float airspeed) {
    return name + ";" + QByteArray::number(airspeed) + ";0;0;1;0;0;0;0;0";
}

const QByteArray kCondor = "time=1\r\nairspeed=10\r\n";

TelemetryEndpoints freeEndpoints() {
    TelemetryEndpoints e;
    e.dcsPort = UdpTesting::freePort();
    e.il2Port = UdpTesting::freePort();
    e.condorPort = UdpTesting::freePort();
    // Nothing answers there, so a War Thunder source polled in a scan stays silent.
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    e.warthunderUrl = QUrl(QStringLiteral("http://127.0.0.1:%1/state").arg(closed.serverPort()));
    return e;
}

// Everything the worker emits, in order, as short texts. Connected through `context`, so
// the log is written on the context's thread.
void logSignals(TelemetryThread* worker, QObject* context, QStringList* log) {
    QObject::connect(worker, &TelemetryThread::telemetrySourceChanged, context,
                     [log](Telemetry::Source s, const QString& name) {
                         *log << QStringLiteral("source %1 %2").arg(int(s)).arg(name);
                     });
    QObject::connect(worker, &TelemetryThread::telemetryEnded, context, [log]() { *log << "ended"; });
    QObject::connect(worker, &TelemetryThread::dcsTelemetryChanged, context, [log](const DCSTelemetry& t) {
        *log << QStringLiteral("dcs %1").arg(double(t.airspeed));
    });
    QObject::connect(
        worker, &TelemetryThread::shturmovikTelemetryChanged, context,
        [log](const ShturmovikTelemetry& t) { *log << QStringLiteral("il2 %1").arg(double(t.airspeed)); });
    QObject::connect(
        worker, &TelemetryThread::condor2TelemetryChanged, context,
        [log](const Condor2Telemetry& t) { *log << QStringLiteral("condor %1").arg(double(t.airspeed)); });
}
// The signals or slots a class declares itself, in declaration order, with their access.
QStringList ownMethods(const QMetaObject& meta, QMetaMethod::MethodType type) {
    QStringList methods;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod m = meta.method(i);
        if (m.methodType() == type) {
            methods << QLatin1String(m.access() == QMetaMethod::Public ? "public " : "private ") +
                           QLatin1String(m.methodSignature());
        }
    }
    return methods;
}
} // namespace

class TstTelemetryThread : public QObject {
    Q_OBJECT

    qint64 now_ = 0;
    QStringList log_;
    TelemetryEndpoints endpoints_;
    QScopedPointer<TelemetryThread> worker_;

    TelemetrySourceUdp* udp(Telemetry::Source s) const {
        return qobject_cast<TelemetrySourceUdp*>(worker_->source(s));
    }
    void tick() { QMetaObject::invokeMethod(worker_.data(), "onTimeout", Qt::DirectConnection); }

private slots:
    void initTestCase() { registerMetaTypes(); }

    // A worker on free ports whose UDP sources share a clock the test steps by hand; ticks
    // are driven by hand too.
    void init() {
        now_ = 0;
        log_.clear();
        endpoints_ = freeEndpoints();
        worker_.reset(new TelemetryThread(endpoints_));
        for (auto s : {Telemetry::TELEMETRY_SOURCE_DCS, Telemetry::TELEMETRY_SOURCE_IL2,
                       Telemetry::TELEMETRY_SOURCE_CONDOR}) {
            QVERIFY(udp(s));
            QCOMPARE(udp(s)->source(), s);
            udp(s)->setClock([this]() { return now_; });
        }
        logSignals(worker_.data(), this, &log_);
    }
    void cleanup() { worker_.reset(); }

    // The control loop connects to these by name and type; their order is the worker's interface.
    void interfaceInDeclarationOrder() {
        QCOMPARE(ownMethods(TelemetryThread::staticMetaObject, QMetaMethod::Signal),
                 (QStringList{"public msfsTelemetryChanged(MSFSTelemetry)",
                              "public dcsTelemetryChanged(DCSTelemetry)",
                              "public shturmovikTelemetryChanged(ShturmovikTelemetry)",
                              "public condor2TelemetryChanged(Condor2Telemetry)",
                              "public warthunderTelemetryChanged(WarthunderTelemetry)",
                              "public telemetrySourceChanged(Telemetry::Source,QString)",
                              "public telemetryEnded()", "public landed(float,float)"}));
        QCOMPARE(ownMethods(TelemetryThread::staticMetaObject, QMetaMethod::Slot),
                 (QStringList{"public start()", "public startReplay(QString)", "public stopReplay()",
                              "public pauseReplay(bool)", "public seekReplay(qlonglong)",
                              "public setReplayLooping(bool)", "private onTimeout()"}));
        QCOMPARE(ownMethods(TelemetrySource::staticMetaObject, QMetaMethod::Signal),
                 (QStringList{"public telemetrySourceChanged(Telemetry::Source,QString)",
                              "public telemetryEnded()", "public landed(float)"}));
    }

    // Every tick without a stream scans every source: the simulator is looked for each time.
    void quietWithoutGames() {
        FakeSimConnect::reset();
        for (int i = 0; i < 5; ++i) {
            tick();
        }
        QCOMPARE(FakeSimConnect::openAttempts(), 5);
        QVERIFY(log_.isEmpty());
        QCOMPARE(worker_->currentSource(), Telemetry::TELEMETRY_SOURCE_NONE);
    }

    // The game seen at the earlier tick becomes current; the other is not read meanwhile.
    void earlierTickWins() {
        QVERIFY(UdpTesting::send(endpoints_.condorPort, kCondor));
        QTRY_VERIFY_WITH_TIMEOUT((tick(), !log_.isEmpty()), 5000);
        QCOMPARE(worker_->currentSource(), Telemetry::TELEMETRY_SOURCE_CONDOR);

        QVERIFY(UdpTesting::send(endpoints_.dcsPort, dcs("F-16C", 1)));
        QVERIFY(UdpTesting::send(endpoints_.condorPort, kCondor));
        QTRY_VERIFY_WITH_TIMEOUT((tick(), log_.size() == 2), 5000);
        tick();
        QCOMPARE(log_, (QStringList{"source 5 Generic glider", "condor 36"}));
        QCOMPARE(worker_->currentSource(), Telemetry::TELEMETRY_SOURCE_CONDOR);
        QVERIFY(!udp(Telemetry::TELEMETRY_SOURCE_DCS)->isActive());
    }

    // Two games seen in the same tick: the later in scan order becomes current, and the
    // earlier one's stream stays open, unpolled, until it is scanned again.
    void sameTickLaterInScanOrderWins() {
        QVERIFY(UdpTesting::send(endpoints_.dcsPort, dcs("F-16C", 1)));
        QVERIFY(UdpTesting::send(endpoints_.condorPort, kCondor));
        QTRY_VERIFY_WITH_TIMEOUT((tick(), log_.size() == 2), 5000);
        QCOMPARE(log_, (QStringList{"source 2 F-16C", "source 5 Generic glider"}));
        QCOMPARE(worker_->currentSource(), Telemetry::TELEMETRY_SOURCE_CONDOR);
        QVERIFY(udp(Telemetry::TELEMETRY_SOURCE_DCS)->isActive());

        QVERIFY(UdpTesting::send(endpoints_.dcsPort, dcs("F-16C", 250)));
        tick();
        QCOMPARE(log_.size(), 2);

        // Condor times out; DCS, scanned again, publishes what waited in its socket.
        now_ = 1001;
        tick();
        QCOMPARE(log_.mid(2), (QStringList{"condor 0", "ended"}));
        QCOMPARE(worker_->currentSource(), Telemetry::TELEMETRY_SOURCE_NONE);
        tick();
        QCOMPARE(log_.mid(4), QStringList{"dcs 250"});
        now_ = 2002;
        tick();
        QCOMPARE(log_.mid(5), (QStringList{"dcs 0", "ended"}));
    }

    // A replay speaks as its recorded game; a live game meanwhile is not heard, and once the
    // replay has ended like a game's stream, the live game starts its own stream.
    void replayMutesLiveGamesUntilItEnds() {
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
        worker_.reset(); // its sockets must be closed before the new worker binds the ports
        worker_.reset(new TelemetryThread(endpoints_));
        logSignals(worker_.data(), this, &log_);
        auto* network =
            worker_->source(Telemetry::TELEMETRY_SOURCE_WARTHUNDER)->findChild<QNetworkAccessManager*>();
        QVERIFY(network);
        QSignalSpy finished(network, &QNetworkAccessManager::finished);

        QVERIFY(UdpTesting::send(endpoints_.dcsPort, dcs("F-16C", 1)));
        QTRY_VERIFY_WITH_TIMEOUT((tick(), !log_.isEmpty()), 5000);
        QCOMPARE(worker_->currentSource(), Telemetry::TELEMETRY_SOURCE_DCS);
        QVERIFY(FakeSimConnect::dispatchCalls() > 0);
        // The scans asked the game server; that request runs out after 100 ms.
        QTRY_VERIFY_WITH_TIMEOUT(connections > 0 && finished.size() == connections, 10000);

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

    // With the worker on its own thread, the control loop's thread learns of the stream
    // before its first record, and of the all-zero record before the end.
    void streamOrderAcrossThreads() {
        worker_.reset();
        const TelemetryEndpoints endpoints = freeEndpoints();
        auto* worker = new TelemetryThread(endpoints);
        QStringList log;
        QObject receiver;
        logSignals(worker, &receiver, &log);
        QThread thread;
        connect(&thread, &QThread::finished, worker, &QObject::deleteLater);
        thread.start(QThread::InheritPriority);
        worker->moveToThread(&thread);
        QMetaObject::invokeMethod(worker, &TelemetryThread::start, Qt::QueuedConnection);

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
