#include "telemetry/telemetrysourcewarthunder.h"

#include "telemetry/warthunderstateparser.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>

TelemetrySourceWarthunder::TelemetrySourceWarthunder(QObject* parent, const QUrl& url)
    : TelemetrySource(parent), network_(new QNetworkAccessManager(this)), request_(url) {
    // The game's server is on this machine: a proxy configured for the outside world would
    // only get in the way.
    network_->setProxy(QNetworkProxy::NoProxy);
    // A game that stops answering ends the stream after 100 ms instead of the default 30 s.
    request_.setTransferTimeout(100);
}

TelemetrySourceWarthunder::~TelemetrySourceWarthunder() {
    // The manager aborts the reply in flight when it is destroyed with us; by then this object
    // is half gone, so the reply must no longer reach the handler.
    if (reply_) {
        disconnect(reply_, nullptr, this, nullptr);
    }
}

void TelemetrySourceWarthunder::poll() {
    if (requestInFlight_) {
        return;
    }
    requestInFlight_ = true;
    QNetworkReply* sent = network_->get(request_);
    reply_ = sent;
    connect(sent, &QNetworkReply::finished, this, [this, sent]() { onReplyFinished(sent); });
}

void TelemetrySourceWarthunder::onReplyFinished(QNetworkReply* finished) {
    if (finished->error() == QNetworkReply::NoError) {
        if (!active_) {
            // The first answer only tells that the game is there; its body is not read.
            active_ = true;
            emit telemetrySourceChanged(Telemetry::TELEMETRY_SOURCE_WARTHUNDER,
                                        QStringLiteral("Generic warbird"));
        } else {
            current_ = parseWarthunderState(finished->readAll());
            emit telemetryChanged(current_);
        }
    } else if (active_) {
        // One failed request is enough: the game has closed or stopped answering.
        active_ = false;
        emit telemetryChanged(default_);
        emit telemetryEnded();
    }
    finished->deleteLater();
    if (reply_ == finished) {
        reply_ = nullptr;
        requestInFlight_ = false;
    }
}
