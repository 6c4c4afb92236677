#include "records/metatypes.h"
#include "records/warthundertelemetry.h"
#include "telemetry/telemetrysourcewarthunder.h"
#include "telemetry/warthunderstateparser.h"

#include <QFile>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {

// A stand-in for the game's telemetry server on 127.0.0.1: answers each GET with a JSON body,
// with an HTTP error, not at all, or holds the answer until the test releases it; or, as other
// programs on that port might, with a redirect to the game's page, a body that never ends, or
// one that drips a byte every 10 ms.
class GameServer : public QObject {
public:
    enum class Mode { Json, HttpError, Silent, Hold, Redirect, Endless, Drip };

    GameServer() {
        listen(0);
        port_ = server_.serverPort();
        connect(&server_, &QTcpServer::newConnection, this, &GameServer::accept);
    }

    bool listen(quint16 port) { return server_.listen(QHostAddress(QHostAddress::LocalHost), port); }
    void stopListening() { server_.close(); }
    quint16 port() const { return port_; }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/state").arg(port())); }

    void setMode(Mode mode) { mode_ = mode; }
    void setBody(const QByteArray& body) { body_ = body; }
    int requests() const { return requestLines_.size(); }
    QList<QByteArray> requestLines() const { return requestLines_; }
    int disconnects() const { return disconnects_; }
    qint64 bytesSent() const { return bytesSent_; }

    // Answers every held request with the JSON body.
    void releaseHeld() {
        const auto held = held_;
        held_.clear();
        for (const QPointer<QTcpSocket>& socket : held) {
            if (socket) {
                respond(socket, "200 OK", body_);
            }
        }
    }

private:
    void accept() {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            auto buffer = std::make_shared<QByteArray>();
            connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer]() {
                buffer->append(socket->readAll());
                qsizetype end;
                while ((end = buffer->indexOf("\r\n\r\n")) >= 0) {
                    requestLines_.append(buffer->left(buffer->indexOf("\r\n")));
                    buffer->remove(0, end + 4);
                    answer(socket);
                }
            });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket]() {
                ++disconnects_;
                socket->deleteLater();
            });
        }
    }

    void answer(QTcpSocket* socket) {
        switch (mode_) {
        case Mode::Json:
            respond(socket, "200 OK", body_);
            break;
        case Mode::HttpError:
            respond(socket, "500 Internal Server Error", "{}");
            break;
        case Mode::Silent:
            break;
        case Mode::Hold:
            held_.append(socket);
            break;
        case Mode::Redirect:
            socket->write("HTTP/1.1 302 Found\r\nLocation: " + url().toEncoded() +
                          "\r\nContent-Type: application/json\r\nContent-Length: " +
                          QByteArray::number(body_.size()) + "\r\nConnection: close\r\n\r\n" + body_);
            socket->disconnectFromHost();
            break;
        case Mode::Endless: {
            // As fast as the client takes it, with at most about a MiB held in this process.
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: close\r\n\r\n[");
            const auto more = [this, socket]() {
                static const QByteArray chunk(256 * 1024, '1');
                while (socket->state() == QAbstractSocket::ConnectedState &&
                       socket->bytesToWrite() < 1024 * 1024) {
                    socket->write(chunk);
                    bytesSent_ += chunk.size();
                }
            };
            connect(socket, &QTcpSocket::bytesWritten, this, more);
            more();
            break;
        }
        case Mode::Drip: {
            socket->write(
                "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 1000\r\n\r\n");
            auto* drip = new QTimer(socket);
            connect(drip, &QTimer::timeout, socket, [this, socket]() {
                socket->write(" ");
                ++bytesSent_;
            });
            drip->start(10);
            break;
        }
        }
    }

    static void respond(QTcpSocket* socket, const QByteArray& status, const QByteArray& body) {
        socket->write("HTTP/1.1 " + status + "\r\nContent-Type: application/json\r\nContent-Length: " +
                      QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    QTcpServer server_;
    quint16 port_ = 0;
    Mode mode_ = Mode::Json;
    QByteArray body_ = R"({"valid": true, "IAS, km/h": 320.5, "Ny": 1.5, "AoA, deg": 3})";
    QList<QByteArray> requestLines_;
    QList<QPointer<QTcpSocket>> held_;
    int disconnects_ = 0;
    qint64 bytesSent_ = 0;
};

// The peak resident memory of this process since the last resetPeakMemory(), in bytes (Linux;
// 0 when unknown).
qint64 peakMemory() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
        }
    }
    return 0;
}

// Starts a new peak at the present resident size.
bool resetPeakMemory() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

QByteArray fixture(const char* name) {
    QFile file(QStringLiteral(TRENNAL_FIXTURES_DIR "/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every field of the common flight state, so that a comparison names the field that differs.
QList<float> fields(const Telemetry& t) {
    return {t.airspeed,   t.verticalSpeed, t.aileronAoa,  t.aoa,         t.sideslip,
            t.rollRate,   t.gForce,        t.propAirflow, t.trimmerRoll, t.trimmerPitch,
            t.trimmerYaw, t.gear,          t.airbrake,    t.flaps,       t.onGround ? 1.0f : 0.0f};
}

QList<float> expected(float airspeed, float gForce, float aoa) {
    WarthunderTelemetry t;
    t.airspeed = airspeed;
    t.gForce = gForce;
    t.aoa = aoa;
    return fields(t);
}

// Signals of a source in the order they came, as short texts.
struct EventLog {
    QStringList entries;
    explicit EventLog(TelemetrySourceWarthunder* source) {
        QObject::connect(source, &TelemetrySource::telemetrySourceChanged, source,
                         [this](Telemetry::Source s, const QString& name) {
                             entries << QStringLiteral("start %1 %2").arg(int(s)).arg(name);
                         });
        QObject::connect(
            source, &TelemetrySourceWarthunder::telemetryChanged, source,
            [this](const WarthunderTelemetry& t) {
                entries << QStringLiteral("data %1 %2 %3").arg(t.airspeed).arg(t.gForce).arg(t.aoa);
            });
        QObject::connect(source, &TelemetrySource::telemetryEnded, source, [this]() { entries << "end"; });
    }
};

} // namespace

class TestWarthunderSource : public QObject {
    Q_OBJECT

private:
    qint64 now_ = 0;

    // Runs the source as the worker does when nothing else is current: on a clock the test steps,
    // polled as soon as a reply arrives.
    void drive(TelemetrySourceWarthunder& source) {
        now_ = 0;
        source.setClock([this]() { return now_; });
        connect(&source, &TelemetrySource::inputReady, &source, &TelemetrySource::poll);
    }

    // `step` ms later (20: the next request of a running stream is due; 1000: any request is),
    // polls once and waits until the reply of that poll has been handled (the manager announces
    // it in the same call chain as the reply's own finished signal, which has the source poll).
    [[nodiscard]] bool pollAndWait(TelemetrySourceWarthunder& source, QSignalSpy& finished, int step = 20) {
        now_ += step;
        const int before = finished.count();
        source.poll();
        return QTest::qWaitFor([&]() { return finished.count() > before; }, 10000);
    }

    static QSignalSpy* finishedSpy(TelemetrySourceWarthunder& source) {
        auto* network = source.findChild<QNetworkAccessManager*>();
        return network ? new QSignalSpy(network, &QNetworkAccessManager::finished) : nullptr;
    }

private slots:
    void initTestCase() { registerMetaTypes(); }

    void parser_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<float>("airspeed");
        QTest::addColumn<float>("gForce");
        QTest::addColumn<float>("aoa");

        const QByteArray jet = fixture("warthunder_state_jet.json");
        QVERIFY(!jet.isEmpty());
        QTest::newRow("jet in flight, integer IAS and literal -0") << jet << 1185.0f << 1.34f << -0.8f;
        QTest::newRow("not in flight")
            << fixture("warthunder_state_not_in_flight.json") << 0.0f << 0.0f << 0.0f;
        QTest::newRow("worked example")
            << QByteArray(R"({"IAS, km/h": 320.5, "Ny": 1.5, "AoA, deg": 3})") << 320.5f << 1.5f << 3.0f;
        QTest::newRow("negative load")
            << QByteArray(R"({"IAS, km/h": 0, "Ny": -2.25, "AoA, deg": -10})") << 0.0f << -2.25f << -10.0f;
        // Answers in the shapes of published captures (tests/fixtures/real/SOURCES.md): the keys and
        // number formats they showed, with the values this parser reads.
        QTest::newRow("three engines, -0 beside the values")
            << QByteArray(
                   R"({"valid": true, "aileron, %": -0, "rudder, %": -0, "H, m": 4936, "IAS, km/h": 185,)"
                   R"( "M": 0.20, "AoA, deg": 1.1, "AoS, deg": -0.1, "Ny": 1.00, "Wx, deg/s": -0,)"
                   R"( "throttle 1, %": 100, "magneto 1": 3, "throttle 2, %": 100, "magneto 2": 3,)"
                   R"( "throttle 3, %": 100, "magneto 3": 3, "pitch 3, deg": 28.2})")
            << 185.0f << 1.0f << 1.1f;
        QTest::newRow("propeller fighter in a climb, -0.0 and water temperature")
            << QByteArray(
                   R"({"valid": true, "H, m": 132, "IAS, km/h": 262, "AoA, deg": 1.1, "AoS, deg": -0.0,)"
                   R"( "Ny": 1.03, "Vy, m/s": 3.3, "radiator 1, %": 0, "water temp 1, C": 90})")
            << 262.0f << 1.03f << 1.1f;
        QTest::newRow("standing on the ground, Vy -0.0")
            << QByteArray(R"({"valid": true, "gear, %": 100, "IAS, km/h": 0, "M": 0.00, "AoA, deg": 29.4,)"
                          R"( "AoS, deg": -25.8, "Ny": 0.75, "Vy, m/s": -0.0, "RPM 1": 3242})")
            << 0.0f << 0.75f << 29.4f;
        QTest::newRow("older answer without H, m and fuel")
            << QByteArray(R"({"valid": true, "aileron, %": 0, "elevator, %": -6, "rudder, %": -1,)"
                          R"( "TAS, km/h": 264, "IAS, km/h": 262, "M": 0.22, "AoA, deg": 1.1, "Ny": 1.03})")
            << 262.0f << 1.03f << 1.1f;
        QTest::newRow("six engines")
            << QByteArray(R"({"valid": true, "IAS, km/h": 410, "AoA, deg": 3, "Ny": 1.10,)"
                          R"( "RPM 1": 2300, "RPM 2": 2300, "RPM 3": 2300, "RPM 4": 2300, "RPM 5": 2300,)"
                          R"( "RPM 6": 2300, "power 6, hp": 1810.5, "thrust 6, kgs": 1204})")
            << 410.0f << 1.1f << 3.0f;
        QTest::newRow("integers and -0 in the values read")
            << QByteArray(R"({"valid": true, "IAS, km/h": 300, "Ny": 2, "AoA, deg": -0})") << 300.0f << 2.0f
            << 0.0f;
        QTest::newRow("empty body") << QByteArray() << 0.0f << 0.0f << 0.0f;
        QTest::newRow("not JSON") << QByteArray("<html>busy</html>") << 0.0f << 0.0f << 0.0f;
        QTest::newRow("cut-off JSON") << jet.left(jet.size() / 2) << 0.0f << 0.0f << 0.0f;
        QTest::newRow("array, not object") << QByteArray("[320.5, 1.5, 3]") << 0.0f << 0.0f << 0.0f;
        QTest::newRow("numbers as text and null")
            << QByteArray(R"({"IAS, km/h": "320", "Ny": null, "AoA, deg": 3})") << 0.0f << 0.0f << 3.0f;
        QTest::newRow("keys differ in case")
            << QByteArray(R"({"ias, km/h": 320, "ny": 1.5, "AoA, Deg": 3})") << 0.0f << 0.0f << 0.0f;
        QTest::newRow("too large for a float")
            << QByteArray(R"({"IAS, km/h": 1e39, "Ny": -1e39, "AoA, deg": 2})") << 0.0f << 0.0f << 2.0f;
        QTest::newRow("too large for a double")
            << QByteArray(R"({"IAS, km/h": 1e400, "AoA, deg": -1e400})") << 0.0f << 0.0f << 0.0f;
    }

    void parser() {
        QFETCH(QByteArray, body);
        QFETCH(float, airspeed);
        QFETCH(float, gForce);
        QFETCH(float, aoa);
        QCOMPARE(fields(parseWarthunderState(body)), expected(airspeed, gForce, aoa));
    }

    void firstSuccessOnlyAnnounces() {
        GameServer server;
        TelemetrySourceWarthunder source(nullptr, server.url());
        drive(source);
        std::unique_ptr<QSignalSpy> finished(finishedSpy(source));
        QVERIFY(finished);
        EventLog log(&source);

        QVERIFY(pollAndWait(source, *finished));
        QCOMPARE(log.entries, QStringList{"start 4 Generic warbird"});
        QVERIFY(pollAndWait(source, *finished));
        server.setBody(R"({"IAS, km/h": 400, "Ny": 2, "AoA, deg": 5, "valid": true})");
        QVERIFY(pollAndWait(source, *finished));
        QCOMPARE(log.entries, (QStringList{"start 4 Generic warbird", "data 320.5 1.5 3", "data 400 2 5"}));
        QCOMPARE(server.requests(), 3);
        QCOMPARE(server.requestLines().first(), QByteArray("GET /state HTTP/1.1"));
    }

    void publishedRecordIsWhole() {
        GameServer server;
        server.setBody(fixture("warthunder_state_jet.json"));
        TelemetrySourceWarthunder source(nullptr, server.url());
        drive(source);
        std::unique_ptr<QSignalSpy> finished(finishedSpy(source));
        QSignalSpy records(&source, &TelemetrySourceWarthunder::telemetryChanged);
        QVERIFY(pollAndWait(source, *finished));
        QVERIFY(pollAndWait(source, *finished));
        QCOMPARE(records.count(), 1);
        QCOMPARE(fields(records.at(0).at(0).value<WarthunderTelemetry>()), expected(1185.0f, 1.34f, -0.8f));
    }

    void failedRequestEndsStream_data() {
        QTest::addColumn<int>("failure");
        QTest::newRow("HTTP error status") << 0;
        QTest::newRow("connection refused") << 1;
        QTest::newRow("no answer within 100 ms") << 2;
        QTest::newRow("hangar: valid false") << 3;
        QTest::newRow("hangar: valid false with stale values") << 4;
        QTest::newRow("a web page") << 5;
        QTest::newRow("a redirect") << 6;
    }

    // What the game says to the source, as a failure of the table above.
    static void fail(GameServer& server, int failure) {
        if (failure == 0) {
            server.setMode(GameServer::Mode::HttpError);
        } else if (failure == 1) {
            server.stopListening();
        } else if (failure == 2) {
            server.setMode(GameServer::Mode::Silent);
        } else if (failure == 3) {
            server.setBody(fixture("warthunder_state_not_in_flight.json"));
        } else if (failure == 4) {
            server.setBody(R"({"valid": false, "IAS, km/h": 320.5, "Ny": 1.5, "AoA, deg": 3})");
        } else if (failure == 5) {
            server.setBody("<html><body>Router login</body></html>");
        } else {
            server.setMode(GameServer::Mode::Redirect);
        }
    }

    // Failed answers keep a running stream for 300 ms after the last answer with flight data,
    // retried every 20 ms; then the stream ends with an all-zero record.
    void failedRequestEndsStream() {
        QFETCH(int, failure);
        GameServer server;
        TelemetrySourceWarthunder source(nullptr, server.url());
        drive(source);
        std::unique_ptr<QSignalSpy> finished(finishedSpy(source));
        QSignalSpy records(&source, &TelemetrySourceWarthunder::telemetryChanged);
        QSignalSpy waiting(&source, &TelemetrySourceWarthunder::waitingForGame);
        EventLog log(&source);
        QVERIFY(pollAndWait(source, *finished));
        QCOMPARE(log.entries, QStringList{"start 4 Generic warbird"});
        QVERIFY(pollAndWait(source, *finished));
        const qint64 lastAnswer = now_;
        const QStringList streaming{"start 4 Generic warbird", "data 320.5 1.5 3"};

        fail(server, failure);
        QVERIFY(pollAndWait(source, *finished));
        QVERIFY(pollAndWait(source, *finished));
        QVERIFY(pollAndWait(source, *finished, int(lastAnswer + 300 - now_)));
        QCOMPARE(log.entries, streaming);
        now_ = lastAnswer + 301;
        source.poll();
        QCOMPARE(log.entries, (streaming + QStringList{"data 0 0 0", "end"}));
        QCOMPARE(fields(records.last().at(0).value<WarthunderTelemetry>()), fields(WarthunderTelemetry{}));
        // The pilot is told where the game is still asked, once.
        QCOMPARE(waiting.count(), 1);
        QCOMPARE(waiting.at(0).at(0).toString(), QStringLiteral("127.0.0.1:%1").arg(server.port()));

        // The game answers again: a new stream, announced only.
        if (failure == 1) {
            QVERIFY(server.listen(server.port()));
        }
        server.setMode(GameServer::Mode::Json);
        server.setBody(R"({"valid": true, "IAS, km/h": 320.5, "Ny": 1.5, "AoA, deg": 3})");
        QVERIFY(pollAndWait(source, *finished, 1000));
        QCOMPARE(log.entries.size(), 5);
        QCOMPARE(log.entries.last(), QStringLiteral("start 4 Generic warbird"));
        QCOMPARE(waiting.count(), 1);
    }

    // Whatever else answers on the game's port is not the game: no stream starts, a redirect
    // is not followed (one request per poll), and a body that never ends is cut off with little
    // memory spent.
    void notTheGame_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QByteArray>("body");
        const int json = int(GameServer::Mode::Json);
        QTest::newRow("a web page") << json << QByteArray("<!DOCTYPE html><html><body>Welcome</body></html>");
        QTest::newRow("other JSON") << json << QByteArray(R"({"status": "ok", "IAS, km/h": 300})");
        QTest::newRow("valid as text") << json << QByteArray(R"({"valid": "true", "IAS, km/h": 300})");
        QTest::newRow("valid as a number") << json << QByteArray(R"({"valid": 1, "IAS, km/h": 300})");
        QTest::newRow("an array") << json << QByteArray(R"([{"valid": true}])");
        QTest::newRow("empty") << json << QByteArray();
        QTest::newRow("the game's answer, padded past 64 KiB")
            << json << QByteArray(R"({"valid": true, "IAS, km/h": 300})") + QByteArray(65536, ' ');
        QTest::newRow("a redirect to the game's answer")
            << int(GameServer::Mode::Redirect) << QByteArray(R"({"valid": true, "IAS, km/h": 300})");
        QTest::newRow("an endless body") << int(GameServer::Mode::Endless) << QByteArray();
    }

    void notTheGame() {
        QFETCH(int, mode);
        QFETCH(QByteArray, body);
        GameServer server;
        server.setMode(GameServer::Mode(mode));
        server.setBody(body);
        TelemetrySourceWarthunder source(nullptr, server.url());
        drive(source);
        std::unique_ptr<QSignalSpy> finished(finishedSpy(source));
        EventLog log(&source);
        // Measured once the manager has set itself up for the first answer.
        QVERIFY(pollAndWait(source, *finished, 1000));
        const bool measured = resetPeakMemory();
        const qint64 before = peakMemory();
        for (int i = 0; i < 2; ++i) {
            QVERIFY(pollAndWait(source, *finished, 1000));
        }
        const qint64 grown = peakMemory() - before;
        QCOMPARE(log.entries, QStringList());
        QCOMPARE(server.requests(), 3);
        if (measured) {
            QVERIFY2(grown < 2 * 1024 * 1024,
                     qPrintable(QStringLiteral("%1 bytes more at the peak").arg(grown)));
        }
        if (mode == int(GameServer::Mode::Endless)) {
            QTRY_COMPARE_WITH_TIMEOUT(server.disconnects(), 3, 10000); // each cut off by the source
        }
        QCOMPARE(source.pollDelay(), qint64(1000)); // asked about once a second, as for no game
    }

    // An answer that drips in is ended by the request's deadline, and a stream it interrupts ends
    // 300 ms after the last answer with flight data, however the drip goes on.
    void dripEndsTheStream() {
        GameServer server;
        TelemetrySourceWarthunder source(nullptr, server.url());
        drive(source);
        std::unique_ptr<QSignalSpy> finished(finishedSpy(source));
        EventLog log(&source);
        QVERIFY(pollAndWait(source, *finished));
        QVERIFY(pollAndWait(source, *finished));
        const qint64 lastAnswer = now_;
        const QStringList streaming{"start 4 Generic warbird", "data 320.5 1.5 3"};
        QCOMPARE(log.entries, streaming);

        server.setMode(GameServer::Mode::Drip);
        const int disconnects = server.disconnects();
        QVERIFY(pollAndWait(source, *finished));
        QVERIFY(server.bytesSent() > 0);
        QTRY_COMPARE_WITH_TIMEOUT(server.disconnects(), disconnects + 1, 10000); // the source hung up
        QVERIFY(pollAndWait(source, *finished, int(lastAnswer + 300 - now_)));
        QCOMPARE(log.entries, streaming);
        now_ = lastAnswer + 301;
        source.poll();
        QCOMPARE(log.entries, (streaming + QStringList{"data 0 0 0", "end"}));
    }

    // While another game flies, only the game's answer in flight tells the pilot that War
    // Thunder is sending too: a refusal, a failure or the hangar does not. Peeking at the answer
    // leaves it whole for the poll that takes it.
    void onlyAFlightCountsAsSending_data() {
        failedRequestEndsStream_data();
        QTest::newRow("in flight") << -1;
    }

    void onlyAFlightCountsAsSending() {
        QFETCH(int, failure);
        GameServer server;
        if (failure >= 0) {
            fail(server, failure);
        }
        TelemetrySourceWarthunder source(nullptr, server.url());
        QSignalSpy ready(&source, &TelemetrySource::inputReady);
        QVERIFY(!source.inputIsTelemetry());
        source.poll();
        QVERIFY(ready.wait(10000));
        QCOMPARE(source.inputIsTelemetry(), failure < 0);
        EventLog log(&source);
        source.poll();
        QCOMPARE(log.entries, failure < 0 ? QStringList{"start 4 Generic warbird"} : QStringList());
        QVERIFY(!source.inputIsTelemetry());
    }

    void failuresWhileIdleEmitNothing_data() { failedRequestEndsStream_data(); }

    void failuresWhileIdleEmitNothing() {
        QFETCH(int, failure);
        GameServer server;
        fail(server, failure);
        TelemetrySourceWarthunder source(nullptr, server.url());
        drive(source);
        std::unique_ptr<QSignalSpy> finished(finishedSpy(source));
        QSignalSpy waitingSpy(&source, &TelemetrySourceWarthunder::waitingForGame);
        EventLog log(&source);
        for (int i = 0; i < 3; ++i) {
            QVERIFY(pollAndWait(source, *finished, 1000));
        }
        QCOMPARE(finished->count(), 3);
        QCOMPARE(server.requests(), failure == 1 ? 0 : 3);
        QCOMPARE(log.entries, QStringList());
        // A game never seen flying is not waited for aloud: other games' pilots see nothing.
        QCOMPARE(waitingSpy.count(), 0);
    }

    // How often the game is asked: every 20 ms while a stream runs, about once a second while it
    // refuses or sits in the hangar.
    // Steps: a number polls at that time (and waits for the reply it sends); a word changes what
    // the game does.
    void requestSchedule_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<int>("requests");
        QTest::addColumn<int>("delay"); // pollDelay() after the last step
        QTest::newRow("refused: once a second")
            << QStringList{"refuse", "0", "20", "40", "500", "980", "999", "1000", "1020"} << 2 << 980;
        QTest::newRow("answering: every 20 ms") << QStringList{"0", "10", "20", "30", "40"} << 3 << 20;
        QTest::newRow("hangar: once a second")
            << QStringList{"hangar", "0", "20", "500", "1000"} << 2 << 1000;
        QTest::newRow("HTTP error: once a second") << QStringList{"error", "0", "20", "999"} << 1 << 1;
        QTest::newRow("stops answering: every 20 ms until the stream ends, then once a second")
            << QStringList{"0", "20", "refuse", "40", "60", "80", "400", "1399", "1400"} << 7 << 1000;
        QTest::newRow("lands in the hangar: every 20 ms until the stream ends, then once a second")
            << QStringList{"0", "20", "hangar", "40", "60", "80", "400", "1400"} << 7 << 1000;
        QTest::newRow("game starts: noticed within a second")
            << QStringList{"refuse", "0", "json", "500", "1000", "1010", "1020"} << 3 << 20;
    }

    void requestSchedule() {
        QFETCH(QStringList, steps);
        QFETCH(int, requests);
        QFETCH(int, delay);
        GameServer server;
        TelemetrySourceWarthunder source(nullptr, server.url());
        drive(source);
        std::unique_ptr<QSignalSpy> finished(finishedSpy(source));
        QVERIFY(finished);
        QCOMPARE(source.pollDelay(), qint64(0)); // the first request goes at once
        for (const QString& step : steps) {
            bool isTime = false;
            const int t = step.toInt(&isTime);
            if (!isTime) {
                server.stopListening();
                if (step != QLatin1String("refuse")) {
                    QVERIFY(server.listen(server.port()));
                }
                server.setMode(step == QLatin1String("error") ? GameServer::Mode::HttpError
                                                              : GameServer::Mode::Json);
                server.setBody(step == QLatin1String("hangar")
                                   ? fixture("warthunder_state_not_in_flight.json")
                                   : QByteArray(R"({"valid": true, "IAS, km/h": 320.5})"));
                continue;
            }
            now_ = t;
            const int before = finished->count();
            source.poll();
            // A request sent by this poll is in flight until its reply has been handled.
            const QList<QNetworkReply*> replies = source.findChildren<QNetworkReply*>();
            if (std::any_of(replies.begin(), replies.end(),
                            [](QNetworkReply* r) { return !r->isFinished(); })) {
                QVERIFY(QTest::qWaitFor([&]() { return finished->count() > before; }, 10000));
            }
            QVERIFY2(source.pollDelay() >= 0, qPrintable(step));
        }
        QCOMPARE(finished->count(), requests);
        QCOMPARE(source.pollDelay(), qint64(delay));
    }

    // A reply that finished while another game held the worker waits for the source's next poll;
    // by then it is old news unless that poll comes within the 100 ms a reply may take.
    void replyLeftWaiting_data() {
        QTest::addColumn<int>("waited");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("delay"); // pollDelay() after that poll; -1: it sent the next request
        QTest::newRow("polled at once") << 0 << QStringList{"start 4 Generic warbird"} << 20;
        // The next request is in flight; the stream's time-out is due in 301 ms.
        QTest::newRow("polled after 100 ms") << 100 << QStringList{"start 4 Generic warbird"} << 301;
        QTest::newRow("polled after 101 ms: dropped") << 101 << QStringList() << -1;
        QTest::newRow("polled after a minute: dropped") << 60000 << QStringList() << -1;
    }

    void replyLeftWaiting() {
        QFETCH(int, waited);
        QFETCH(QStringList, expected);
        QFETCH(int, delay);
        GameServer server;
        TelemetrySourceWarthunder source(nullptr, server.url());
        now_ = 0;
        source.setClock([this]() { return now_; });
        QSignalSpy ready(&source, &TelemetrySource::inputReady);
        EventLog log(&source);
        source.poll();
        QVERIFY(ready.wait(10000));
        QCOMPARE(source.pollDelay(), qint64(0));
        QCOMPARE(log.entries, QStringList());
        now_ = waited;
        source.poll();
        QCOMPARE(log.entries, expected);
        QCOMPARE(source.pollDelay(), qint64(delay));
    }

    void atMostOneRequestInFlight() {
        GameServer server;
        server.setMode(GameServer::Mode::Hold);
        TelemetrySourceWarthunder source(nullptr, server.url());
        drive(source);
        std::unique_ptr<QSignalSpy> finished(finishedSpy(source));

        source.poll();
        QTRY_COMPARE_WITH_TIMEOUT(server.requests(), 1, 10000);
        // Polls while the answer is held send nothing. Should the 100 ms time-out end the
        // request on a slow machine, the next poll may send one more, never two at a time.
        for (int i = 0; i < 20; ++i) {
            now_ += 20; // a request is due at every poll
            source.poll();
            QCoreApplication::processEvents();
            QVERIFY2(server.requests() <= finished->count() + 1,
                     qPrintable(QStringLiteral("%1 requests, %2 finished")
                                    .arg(server.requests())
                                    .arg(finished->count())));
        }
        // Once the answer arrives the next poll sends the next request.
        const int seen = server.requests();
        server.setMode(GameServer::Mode::Json);
        server.releaseHeld();
        QTRY_VERIFY_WITH_TIMEOUT(finished->count() >= seen, 10000);
        QCoreApplication::processEvents();
        now_ += 1000; // due even if a time-out above had the source wait a second
        source.poll();
        QTRY_COMPARE_WITH_TIMEOUT(server.requests(), seen + 1, 10000);
    }

    void destroyedWithRequestInFlight() {
        GameServer server;
        server.setMode(GameServer::Mode::Hold);
        auto* source = new TelemetrySourceWarthunder(nullptr, server.url());
        EventLog log(source);
        source->poll();
        QTRY_COMPARE_WITH_TIMEOUT(server.requests(), 1, 10000);
        delete source;
        // The request is dropped with the source: the game sees the connection closed.
        QTRY_COMPARE_WITH_TIMEOUT(server.disconnects(), 1, 10000);
        QCOMPARE(log.entries, QStringList());
    }
};

QTEST_GUILESS_MAIN(TestWarthunderSource)
#include "tst_warthundersource.moc"
