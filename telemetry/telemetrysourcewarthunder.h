#pragma once

#include "forces/warthundertelemetry.h"
#include "telemetry/telemetrysource.h"

#include <QNetworkRequest>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

// War Thunder input: asks the telemetry server the game runs on the local machine for its
// "/state" page, one request at a time. The first successful answer starts a stream named
// "Generic warbird", each later one is parsed and published, and any failed request (refused,
// HTTP error, no answer within 100 ms) ends a running stream.
//
// Threading: lives on the telemetry thread as a child of TelemetryThread; poll() is called from
// its 20 ms timer and never blocks. Replies arrive in that thread's event loop.
class TelemetrySourceWarthunder : public TelemetrySource {
    Q_OBJECT

public:
    explicit TelemetrySourceWarthunder(QObject* parent = nullptr,
                                       const QUrl& url = QUrl(QStringLiteral("http://127.0.0.1:8111/state"),
                                                              QUrl::TolerantMode));
    ~TelemetrySourceWarthunder() override;

    // Sends the next request unless one is still in flight.
    void poll() override;

signals:
    void telemetryChanged(WarthunderTelemetry telemetry);

private:
    void onReplyFinished(QNetworkReply* finished);

    QNetworkAccessManager* network_;
    QNetworkRequest request_;
    QNetworkReply* reply_ = nullptr;
    bool requestInFlight_ = false;
    bool active_ = false;
    WarthunderTelemetry current_;
    const WarthunderTelemetry default_{};
};
