#include "telemetry/telemetrysourceudp.h"

#include <QHostAddress>
#include <QUdpSocket>

#include <algorithm>

namespace {
// The largest UDP payload; a datagram of unknown size is read into this much room.
constexpr qint64 kMaxDatagramSize = 65536;
// A stream ends once no datagram has come for longer than this.
constexpr qint64 kStreamTimeoutMs = 1000;
// The warm-up hook runs while the stream is younger than this.
constexpr qint64 kWarmupMs = 1000;
} // namespace

TelemetrySourceUdp::TelemetrySourceUdp(QObject* parent, quint16 port)
    : TelemetrySource(parent), socket_(new QUdpSocket(this)) {
    // A port taken by another program leaves this source silent; nothing else depends on it.
    socket_->bind(QHostAddress::Any, port);
    buffer_.reserve(kMaxDatagramSize);
    scratch_.reserve(kMaxDatagramSize);
    // The socket announces datagrams once until they are read, so a source that may not run
    // leaves them waiting without being woken again.
    connect(socket_, &QUdpSocket::readyRead, this, [this]() {
        readFailed_ = false;
        emit inputReady();
    });
}

void TelemetrySourceUdp::streamWarmup(float) {}

qint64 TelemetrySourceUdp::pollDelay() const {
    if (socket_->state() != QAbstractSocket::BoundState) {
        return -1;
    }
    if (!readFailed_ && socket_->hasPendingDatagrams()) {
        return 0;
    }
    if (active_) {
        return std::max<qint64>(0, lastDatagramTime_ + kStreamTimeoutMs + 1 - now());
    }
    return -1;
}

bool TelemetrySourceUdp::readNewestDatagram() {
    bool got = false;
    while (socket_->hasPendingDatagrams()) {
        const qint64 pending = socket_->pendingDatagramSize();
        scratch_.resize(pending > 0 && pending <= kMaxDatagramSize ? pending : kMaxDatagramSize);
        const qint64 n = socket_->readDatagram(scratch_.data(), scratch_.size());
        if (n < 0) {
            // A failing read may leave its datagram queued; trying again now would spin.
            readFailed_ = true;
            break;
        }
        if (n > 0) {
            scratch_.resize(n);
            buffer_.swap(scratch_);
            got = true;
        }
    }
    return got;
}

void TelemetrySourceUdp::poll() {
    // A port that could not be bound leaves the source silent.
    if (socket_->state() != QAbstractSocket::BoundState) {
        return;
    }
    if (!readFailed_ && socket_->hasPendingDatagrams()) {
        // Reads that all failed or were empty change nothing, not even the time-out.
        if (!readNewestDatagram()) {
            return;
        }
        const qint64 t = now();
        if (active_) {
            parseDatagram(buffer_);
            const qint64 age = t - streamStartTime_;
            if (age < kWarmupMs) {
                streamWarmup(static_cast<float>(age / 1000));
            }
            publishTelemetry();
        } else {
            // The datagram that starts a stream only announces it, so that the control loop
            // knows the source before its first record arrives.
            active_ = true;
            streamStartTime_ = t;
            emit telemetrySourceChanged(source(), streamName(buffer_));
        }
        lastDatagramTime_ = t;
        return;
    }
    if (active_ && now() - lastDatagramTime_ > kStreamTimeoutMs) {
        active_ = false;
        publishDefaultTelemetry();
        emit telemetryEnded();
    }
}
