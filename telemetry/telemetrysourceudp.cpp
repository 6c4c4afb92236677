#include "telemetry/telemetrysourceudp.h"

#include "records/gamename.h"
#include "records/logcategories.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <QUdpSocket>

#include <algorithm>

namespace {
// The largest UDP payload; a datagram of unknown size is read into this much room.
constexpr qint64 kMaxDatagramSize = 65536;
// A stream ends once no datagram has come for longer than this.
constexpr qint64 kStreamTimeoutMs = 1000;
// The warm-up hook runs while the stream is younger than this.
constexpr qint64 kWarmupMs = 1000;
// Refused senders remembered for their one report; beyond this many, further ones go unreported.
constexpr qsizetype kMaxRefusedSenders = 256;

// An IPv4 address mapped into IPv6 (how a dual-stack socket sees IPv4 senders) as plain IPv4.
QHostAddress plain(const QHostAddress& address) {
    bool isIpv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIpv4);
    return isIpv4 ? QHostAddress(ipv4) : address;
}
} // namespace

bool TelemetrySourceUdp::isThisComputer(const QHostAddress& sender) {
    const QHostAddress address = plain(sender);
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        return (address.toIPv4Address() >> 24) == 127;
    }
    return address == QHostAddress(QHostAddress::LocalHostIPv6);
}

bool TelemetrySourceUdp::isOwnAddress(const QHostAddress& sender) {
    QHostAddress address = plain(sender);
    address.setScopeId(QString());
    const QList<QHostAddress> own = QNetworkInterface::allAddresses();
    return std::any_of(own.begin(), own.end(), [&address](QHostAddress candidate) {
        candidate = plain(candidate);
        candidate.setScopeId(QString());
        return candidate == address;
    });
}

TelemetrySourceUdp::TelemetrySourceUdp(QObject* parent, quint16 port)
    : TelemetrySource(parent), socket_(new QUdpSocket(this)), isThisComputer_(&isThisComputer) {
    // A port taken by another program leaves this source silent; nothing else depends on it.
    socket_->bind(QHostAddress::Any, port);
    if (socket_->state() != QAbstractSocket::BoundState) {
        qCWarning(lcTelemetry).noquote()
            << QStringLiteral("Cannot listen on UDP port %1: %2").arg(port).arg(socket_->errorString());
    }
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

void TelemetrySourceUdp::datagramArrived(const QByteArray&) {}

void TelemetrySourceUdp::setSenderCheck(SenderCheck check) {
    isThisComputer_ = check ? std::move(check) : SenderCheck(&isThisComputer);
}

bool TelemetrySourceUdp::accept(const QHostAddress& sender) {
    if (acceptRemote_ || isThisComputer_(sender)) {
        return true;
    }
    const QHostAddress address = plain(sender);
    if (!refused_.contains(address) && refused_.size() < kMaxRefusedSenders) {
        refused_.insert(address);
        qCWarning(lcTelemetryOf(source())).noquote()
            << gameName(source()) << "telemetry from" << address.toString()
            << "refused: it comes from another computer, and Settings > "
               "Accept telemetry from other computers is off";
        emit senderRefused(address.toString());
    }
    return false;
}

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
    QHostAddress sender;
    // More may wait once the bound is reached: the next poll is due at once.
    mayHaveDatagrams_ = true;
    for (int reads = 0; reads < kMaxDatagramsPerPoll; ++reads) {
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
        const qint64 n = socket_->readDatagram(scratch_.data(), scratch_.size(), &sender);
        if (n < 0) {
            // A failing read may leave its datagram queued; trying again now would spin.
            readFailed_ = true;
            break;
        }
        if (n > 0 && accept(sender)) {
            scratch_.resize(n);
            datagramArrived(scratch_);
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
    // Reads that all failed, were empty or were refused do not count as the game's datagram: they
    // leave the time-out running (a flood from elsewhere cannot keep a stream alive).
    if ((readFailed_ ? Read::Nothing : readNewestDatagram()) == Read::Got) {
        const qint64 t = now();
        if (active_) {
            parseDatagram(buffer_);
            const qint64 age = t - streamStartTime_;
            if (age < kWarmupMs) {
                streamWarmup(static_cast<float>(age / 1000));
            }
            // Another aircraft without a pause (a respawn): announced as a new stream would be,
            // before its record.
            if (aircraft_.observe(streamName(buffer_))) {
                emit telemetrySourceChanged(source(), aircraft_.name());
            }
            publishTelemetry();
        } else {
            // The datagram that starts a stream only announces it, so that the control loop
            // knows the source before its first record arrives.
            active_ = true;
            streamStartTime_ = t;
            aircraft_.start(streamName(buffer_));
            emit telemetrySourceChanged(source(), aircraft_.name());
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
