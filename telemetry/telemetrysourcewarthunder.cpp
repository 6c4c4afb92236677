#include "telemetry/telemetrysourcewarthunder.h"

#include "telemetry/warthunderstateparser.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTimer>

#include <algorithm>

namespace {
// A request that sees no byte for this long fails at once, so that a silent game is asked again.
constexpr int kTransferTimeoutMs = 100;
// Every request ends within this long, however its answer trickles in.
constexpr int kRequestDeadlineMs = 200;
// A stream ends once no answer with flight data has come for this long: a single slow or
// failed answer in flight costs nothing.
constexpr qint64 kStreamTimeoutMs = 300;
// The game's answer is a few KiB; a longer one is not the game and is cut off unread.
constexpr qint64 kMaxBodyBytes = 64 * 1024;
// Request period while the game answers with flight data or a stream is still running.
constexpr qint64 kRequestIntervalMs = 20;
// Request period while it refuses, stays silent or is outside a flight: a game that starts is
// still noticed within about a second.
constexpr qint64 kIdleIntervalMs = 1000;
// A reply that waited longer than this for its poll (another game held the worker) is old news.
constexpr qint64 kStaleReplyMs = kTransferTimeoutMs;

// Only the game's own answer counts: status 200 as asked (no redirect), a whole body within the
// cap, and a JSON object that says "valid": true.
WarthunderAnswer gameAnswer(QNetworkReply* finished, bool take) {
    if (finished->error() != QNetworkReply::NoError ||
        finished->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 200 ||
        finished->bytesAvailable() > kMaxBodyBytes) {
        return {};
    }
    return parseWarthunderAnswer(take ? finished->read(kMaxBodyBytes) : finished->peek(kMaxBodyBytes));
}

} // namespace

TelemetrySourceWarthunder::TelemetrySourceWarthunder(QObject* parent, const QUrl& url)
    : TelemetrySource(parent), network_(new QNetworkAccessManager(this)), deadline_(new QTimer(this)),
      request_(url) {
    // The game's server is on this machine: a proxy configured for the outside world would
    // only get in the way.
    network_->setProxy(QNetworkProxy::NoProxy);
    request_.setTransferTimeout(kTransferTimeoutMs);
    // The game answers where it was asked; an answer sending us elsewhere is not the game.
    request_.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    // Bodies come as sent, so the size cap holds for what is kept (no inflated archive).
    request_.setRawHeader("Accept-Encoding", "identity");
    deadline_->setSingleShot(true);
    connect(deadline_, &QTimer::timeout, this, [this]() {
        if (reply_ && !replyFinished_) {
            reply_->abort();
        }
    });
}

TelemetrySourceWarthunder::~TelemetrySourceWarthunder() {
    // The manager aborts the reply in flight when it is destroyed with us; by then this object
    // is half gone, so the reply must no longer reach the handler.
    if (reply_) {
        disconnect(reply_, nullptr, this, nullptr);
    }
}

qint64 TelemetrySourceWarthunder::pollDelay() const {
    const qint64 t = now();
    qint64 delay = -1;
    if (reply_) {
        if (replyFinished_) {
            return 0;
        }
    } else {
        delay = std::max<qint64>(0, nextRequestAt_ - t);
    }
    if (active_) {
        const qint64 end = std::max<qint64>(0, lastValidAt_ + kStreamTimeoutMs + 1 - t);
        delay = delay < 0 ? end : std::min(delay, end);
    }
    return delay;
}

void TelemetrySourceWarthunder::poll() {
    const qint64 t = now();
    if (reply_ && replyFinished_) {
        QNetworkReply* finished = reply_;
        reply_ = nullptr;
        replyFinished_ = false;
        if (t - finishedAt_ <= kStaleReplyMs) {
            handleReply(finished, t);
        }
        finished->deleteLater();
    }
    if (active_ && t - lastValidAt_ > kStreamTimeoutMs) {
        active_ = false;
        emit telemetryChanged(default_);
        emit telemetryEnded();
        const QUrl url = request_.url();
        emit waitingForGame(QStringLiteral("%1:%2").arg(url.host()).arg(url.port(80)));
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
    // Once the kept bytes reach the cap the reply stops reading, and the check below aborts it.
    sent->setReadBufferSize(kMaxBodyBytes + 1);
    const auto tooLong = [sent]() {
        const QVariant length = sent->header(QNetworkRequest::ContentLengthHeader);
        if (sent->bytesAvailable() > kMaxBodyBytes ||
            (length.isValid() && length.toLongLong() > kMaxBodyBytes)) {
            sent->abort();
        }
    };
    connect(sent, &QNetworkReply::metaDataChanged, this, tooLong);
    connect(sent, &QNetworkReply::readyRead, this, tooLong);
    connect(sent, &QNetworkReply::finished, this, [this, sent]() {
        if (reply_ == sent) {
            deadline_->stop();
            replyFinished_ = true;
            finishedAt_ = now();
            emit inputReady();
        }
    });
    deadline_->start(kRequestDeadlineMs);
}

bool TelemetrySourceWarthunder::inputIsTelemetry() const {
    return reply_ && replyFinished_ && gameAnswer(reply_, false).inFlight;
}

void TelemetrySourceWarthunder::handleReply(QNetworkReply* finished, qint64 at) {
    const WarthunderAnswer answer = gameAnswer(finished, true);
    if (answer.inFlight) {
        lastValidAt_ = at;
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
    // Refused, failed, slow, not the game or outside a flight: a running stream asks again at
    // once until its time-out; otherwise about once a second.
    if (!active_) {
        nextRequestAt_ = sentAt_ + kIdleIntervalMs;
    }
}
