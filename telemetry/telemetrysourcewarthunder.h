#pragma once

#include "records/warthundertelemetry.h"
#include "telemetry/telemetrysource.h"

#include <QNetworkRequest>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

// War Thunder input: asks the telemetry server the game runs on the local machine for its
// "/state" page, one request at a time. Only an answer with status 200 whose body is a JSON
// object saying "valid": true is flight data; anything else on that port (a web page, other
// JSON, a redirect, which is never followed) is not the game. The first answer with flight data
// starts a stream named "Generic warbird", each later one is parsed and published, and the
// stream ends once none has come for 300 ms. Every request ends within 200 ms (sooner when no
// byte comes for 100 ms) and a body over 64 KiB is cut off, so no answer holds the source or
// fills the memory. While a stream runs the game is asked every 20 ms; otherwise about once a
// second.
//
// Threading: lives on the telemetry thread as a child of TelemetryThread; poll() runs there and
// never blocks. A finished reply raises inputReady and is handled by the next poll().
class TelemetrySourceWarthunder : public TelemetrySource {
    Q_OBJECT

public:
    explicit TelemetrySourceWarthunder(QObject* parent = nullptr,
                                       const QUrl& url = QUrl(QStringLiteral("http://127.0.0.1:8111/state"),
                                                              QUrl::TolerantMode));
    ~TelemetrySourceWarthunder() override;

    // Handles a finished reply, then sends the next request if it is due and none is in flight.
    void poll() override;
    // At once while a finished reply waits; otherwise when the next request is due (none while
    // one is in flight) or a running stream times out, whichever comes first.
    qint64 pollDelay() const override;
    // A finished reply that is the game's answer in flight; it is peeked at, not taken.
    bool inputIsTelemetry() const override;
    void forgetStream() override { active_ = false; }

signals:
    void telemetryChanged(WarthunderTelemetry telemetry);
    // A stream ended because the game stopped answering with flight data; it is asked on,
    // at `address` ("127.0.0.1:8111").
    void waitingForGame(QString address);

private:
    void send(qint64 at);
    void handleReply(QNetworkReply* finished, qint64 at);

    QNetworkAccessManager* network_;
    // Aborts the request in flight once its time is up.
    QTimer* deadline_;
    QNetworkRequest request_;
    // The request in flight, or its reply once finished until poll() handles it.
    QNetworkReply* reply_ = nullptr;
    bool replyFinished_ = false;
    qint64 finishedAt_ = 0;
    qint64 sentAt_ = 0;
    qint64 nextRequestAt_ = 0;
    // When the running stream last had an answer with flight data.
    qint64 lastValidAt_ = 0;
    bool active_ = false;
    WarthunderTelemetry current_;
    const WarthunderTelemetry default_{};
};
