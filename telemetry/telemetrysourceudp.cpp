#include "telemetry/telemetrysourceudp.h"

#include <QHostAddress>
#include <QUdpSocket>

namespace {
// The largest UDP payload; a datagram of unknown size is read into this much room.
constexpr qint64 kMaxDatagramSize = 65536;
// A stream ends at the first poll that finds no datagram for longer than this.
constexpr qint64 kStreamTimeoutMs = 1000;
// The warm-up hook runs while the stream is younger than this.
constexpr qint64 kWarmupMs = 1000;
} // namespace

TelemetrySourceUdp::TelemetrySourceUdp(QObject* parent, quint16 port)
    : TelemetrySource(parent), socket_(new QUdpSocket(this)) {
    monotonic_.start();
    clock_ = [this]() { return monotonic_.elapsed(); };
    // A port taken by another program leaves this source silent; nothing else depends on it.
    socket_->bind(QHostAddress::Any, port);
    buffer_.reserve(kMaxDatagramSize);
    scratch_.reserve(kMaxDatagramSize);
}

void TelemetrySourceUdp::setClock(Clock clock) {
    if (clock) {
        clock_ = std::move(clock);
    }
}

void TelemetrySourceUdp::streamWarmup(float) {}

bool TelemetrySourceUdp::readNewestDatagram() {
    bool got = false;
    while (socket_->hasPendingDatagrams()) {
        const qint64 pending = socket_->pendingDatagramSize();
        scratch_.resize(pending > 0 && pending <= kMaxDatagramSize ? pending : kMaxDatagramSize);
        const qint64 n = socket_->readDatagram(scratch_.data(), scratch_.size());
        if (n < 0) {
            // A failing read may leave its datagram queued; trying again now would spin.
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
    if (socket_->hasPendingDatagrams()) {
        // Reads that all failed or were empty change nothing, not even the time-out.
        if (!readNewestDatagram()) {
            return;
        }
        const qint64 now = clock_();
        if (active_) {
            parseDatagram(buffer_);
            const qint64 age = now - streamStartTime_;
            if (age < kWarmupMs) {
                streamWarmup(static_cast<float>(age / 1000));
            }
            publishTelemetry();
        } else {
            // The datagram that starts a stream only announces it, so that the control loop
            // knows the source before its first record arrives.
            active_ = true;
            streamStartTime_ = now;
            emit telemetrySourceChanged(source(), streamName(buffer_));
        }
        lastDatagramTime_ = now;
        return;
    }
    if (active_ && clock_() - lastDatagramTime_ > kStreamTimeoutMs) {
        publishDefaultTelemetry();
        emit telemetryEnded();
        active_ = false;
    }
}
