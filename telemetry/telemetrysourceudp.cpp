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
        mayHaveDatagrams_ = true;
        emit inputReady();
    });
}

void TelemetrySourceUdp::streamWarmup(float) {}

qint64 TelemetrySourceUdp::pollDelay() const {
    if (socket_->state() != QAbstractSocket::BoundState) {
        return -1;
    }
    if (!readFailed_ && mayHaveDatagrams_) {
        return 0;
    }
    if (active_) {
        return std::max<qint64>(0, lastDatagramTime_ + kStreamTimeoutMs + 1 - now());
    }
    return -1;
}

TelemetrySourceUdp::Read TelemetrySourceUdp::readNewestDatagram() {
    Read result = Read::Nothing;
    for (;;) {
        // The size of the next datagram, or -1 when none is queued.
        const qint64 pending = socket_->pendingDatagramSize();
        if (pending < 0) {
            mayHaveDatagrams_ = false;
            break;
        }
        if (result == Read::Nothing) {
            result = Read::Unusable;
        }
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
            result = Read::Got;
        }
    }
    return result;
}

void TelemetrySourceUdp::poll() {
    // A port that could not be bound leaves the source silent.
    if (socket_->state() != QAbstractSocket::BoundState) {
        return;
    }
    const Read read = readFailed_ ? Read::Nothing : readNewestDatagram();
    if (read != Read::Nothing) {
        // Reads that all failed or were empty change nothing, not even the time-out.
        if (read == Read::Unusable) {
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
