#include "telemetry/telemetrysourcewarthunder.h"

#include "telemetry/warthunderstateparser.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>

#include <algorithm>

namespace {
// A game that stops answering ends the stream after this long instead of the default 30 s.
constexpr int kTransferTimeoutMs = 100;
// Request period while the game answers with flight data.
constexpr qint64 kRequestIntervalMs = 20;
// Request period while it refuses, stays silent or is outside a flight: a game that starts is
// still noticed within about a second.
constexpr qint64 kIdleIntervalMs = 1000;
// A reply that waited longer than this for its poll (another game held the worker) is old news.
constexpr qint64 kStaleReplyMs = kTransferTimeoutMs;
} // namespace

TelemetrySourceWarthunder::TelemetrySourceWarthunder(QObject* parent, const QUrl& url)
    : TelemetrySource(parent), network_(new QNetworkAccessManager(this)), request_(url) {
    // The game's server is on this machine: a proxy configured for the outside world would
    // only get in the way.
    network_->setProxy(QNetworkProxy::NoProxy);
    request_.setTransferTimeout(kTransferTimeoutMs);
}

TelemetrySourceWarthunder::~TelemetrySourceWarthunder() {
    // The manager aborts the reply in flight when it is destroyed with us; by then this object
    // is half gone, so the reply must no longer reach the handler.
    if (reply_) {
        disconnect(reply_, nullptr, this, nullptr);
    }
}

qint64 TelemetrySourceWarthunder::pollDelay() const {
    if (reply_) {
        return replyFinished_ ? 0 : -1;
    }
    return std::max<qint64>(0, nextRequestAt_ - now());
}

void TelemetrySourceWarthunder::poll() {
    const qint64 t = now();
    if (reply_ && replyFinished_) {
        QNetworkReply* finished = reply_;
        reply_ = nullptr;
        replyFinished_ = false;
        if (t - finishedAt_ <= kStaleReplyMs) {
            handleReply(finished);
        }
        finished->deleteLater();
    }
    if (!reply_ && t >= nextRequestAt_) {
        send(t);
    }
}

void TelemetrySourceWarthunder::send(qint64 at) {
    sentAt_ = at;
    nextRequestAt_ = at + kRequestIntervalMs;
    QNetworkReply* sent = network_->get(request_);
    reply_ = sent;
    connect(sent, &QNetworkReply::finished, this, [this, sent]() {
        if (reply_ == sent) {
            replyFinished_ = true;
            finishedAt_ = now();
            emit inputReady();
        }
    });
}

void TelemetrySourceWarthunder::handleReply(QNetworkReply* finished) {
    WarthunderAnswer answer;
    if (finished->error() == QNetworkReply::NoError) {
        answer = parseWarthunderAnswer(finished->readAll());
    }
    if (answer.inFlight) {
        answering_ = true;
        if (!active_) {
            // The first answer only tells that the game is flying; its values are not published.
            active_ = true;
            emit telemetrySourceChanged(Telemetry::TELEMETRY_SOURCE_WARTHUNDER,
                                        QStringLiteral("Generic warbird"));
        } else {
            current_ = answer.record;
            emit telemetryChanged(current_);
        }
        return;
    }
    // Refused, failed, slow or outside a flight: one such answer is enough to end the stream.
    if (active_) {
        active_ = false;
        emit telemetryChanged(default_);
        emit telemetryEnded();
    }
    // A game that was answering gets one quick retry, so that a single slow answer in flight
    // costs no more than a fresh announce; after that, about once a second.
    if (!answering_) {
        nextRequestAt_ = sentAt_ + kIdleIntervalMs;
    }
    answering_ = false;
}
