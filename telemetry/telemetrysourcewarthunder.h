#pragma once

#include "records/warthundertelemetry.h"
#include "telemetry/telemetrysource.h"

#include <QNetworkRequest>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

// War Thunder input: asks the telemetry server the game runs on the local machine for its
// "/state" page, one request at a time. The first answer with flight data starts a stream named
// "Generic warbird", each later one is parsed and published, and any other outcome (refused,
// HTTP error, no answer within 100 ms, or the game's "valid": false outside a flight) ends a
// running stream. While the game answers with flight data it is asked every 20 ms; otherwise
// about once a second, after one quick retry when it had been answering.
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
    // At once while a finished reply waits; none while a request is in flight; otherwise when
    // the next request is due.
    qint64 pollDelay() const override;
    void forgetStream() override { active_ = false; }

signals:
    void telemetryChanged(WarthunderTelemetry telemetry);

private:
    void send(qint64 at);
    void handleReply(QNetworkReply* finished);

    QNetworkAccessManager* network_;
    QNetworkRequest request_;
    // The request in flight, or its reply once finished until poll() handles it.
    QNetworkReply* reply_ = nullptr;
    bool replyFinished_ = false;
    qint64 finishedAt_ = 0;
    qint64 sentAt_ = 0;
    qint64 nextRequestAt_ = 0;
    // The last answer carried flight data.
    bool answering_ = false;
    bool active_ = false;
    WarthunderTelemetry current_;
    const WarthunderTelemetry default_{};
};
