#include "telemetry/telemetrysourceudp.h"

#include "records/gamename.h"
#include "records/logcategories.h"

#include <QHostAddress>
#include <QNetworkInterface>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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
    : TelemetrySource(parent), isThisComputer_(&isThisComputer) {
    // Every local address, IPv6 and IPv4 alike (as a dual-stack socket hears IPv4 senders),
    // so that a game on another computer can be allowed; plain IPv4 where there is no IPv6.
    int error = 0;
    fd_ = ::socket(AF_INET6, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ >= 0) {
        const int off = 0;
        ::setsockopt(fd_, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
        sockaddr_in6 any{};
        any.sin6_family = AF_INET6;
        any.sin6_addr = in6addr_any;
        any.sin6_port = htons(port);
        if (::bind(fd_, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
            error = errno;
            ::close(fd_);
            fd_ = -1;
        }
    } else {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in any{};
        any.sin_family = AF_INET;
        any.sin_addr.s_addr = htonl(INADDR_ANY);
        any.sin_port = htons(port);
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
            error = errno;
            if (fd_ >= 0) {
                ::close(fd_);
            }
            fd_ = -1;
        }
    }
    // A port taken by another program leaves this source silent; nothing else depends on it.
    if (fd_ < 0) {
        qCWarning(lcTelemetry).noquote() << QStringLiteral("Cannot listen on UDP port %1: %2")
                                                .arg(port)
                                                .arg(QString::fromLocal8Bit(std::strerror(error)));
    }
    buffer_.reserve(kMaxDatagramSize);
    scratch_.reserve(kMaxDatagramSize);
    spare_.reserve(kMaxDatagramSize);
}

TelemetrySourceUdp::~TelemetrySourceUdp() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool TelemetrySourceUdp::hasWaitingDatagram() const {
    char byte = 0;
    return fd_ >= 0 && ::recv(fd_, &byte, 1, MSG_PEEK | MSG_DONTWAIT) >= 0;
}

void TelemetrySourceUdp::streamWarmup(float) {}

void TelemetrySourceUdp::datagramArrived(const QByteArray&) {}

void TelemetrySourceUdp::setSenderCheck(SenderCheck check) {
    isThisComputer_ = check ? std::move(check) : SenderCheck(&isThisComputer);
    localSenderSize_ = 0;
}

bool TelemetrySourceUdp::accept(const sockaddr_storage& from, socklen_t size) {
    if (size == localSenderSize_ && size <= sizeof from && std::memcmp(&from, &localSender_, size) == 0) {
        return true;
    }
    const QHostAddress sender(reinterpret_cast<const sockaddr*>(&from));
    if (isThisComputer_(sender)) {
        localSender_ = from;
        localSenderSize_ = size;
        return true;
    }
    if (acceptRemote_) {
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

TelemetrySourceUdp::Read TelemetrySourceUdp::readNewestDatagram() {
    Read result = Read::Nothing;
    // Two at a time: the usual tick finds one datagram, and takes it in one system call rather
    // than a second that only finds nothing more.
    QByteArray* const room[2] = {&scratch_, &spare_};
    for (int reads = 0; reads < kMaxDatagramsPerPoll;) {
        const int want = std::min(2, kMaxDatagramsPerPoll - reads);
        sockaddr_storage from[2] = {};
        iovec slices[2] = {};
        mmsghdr messages[2] = {};
        for (int k = 0; k < want; ++k) {
            room[k]->resize(kMaxDatagramSize);
            slices[k] = iovec{room[k]->data(), static_cast<size_t>(room[k]->size())};
            messages[k].msg_hdr.msg_name = &from[k];
            messages[k].msg_hdr.msg_namelen = sizeof from[k];
            messages[k].msg_hdr.msg_iov = &slices[k];
            messages[k].msg_hdr.msg_iovlen = 1;
        }
        // MSG_TRUNC: the size each datagram had, so that a larger one is never taken whole.
        const int got = ::recvmmsg(fd_, messages, static_cast<unsigned>(want), MSG_TRUNC, nullptr);
        if (got <= 0) {
            // Nothing waits (EAGAIN), or a read failed: the next tick tries again, once.
            break;
        }
        reads += got;
        if (result == Read::Nothing) {
            result = Read::Unusable;
        }
        for (int k = 0; k < got; ++k) {
            const qint64 n = messages[k].msg_len;
            if (n > 0 && n <= kMaxDatagramSize && accept(from[k], messages[k].msg_hdr.msg_namelen)) {
                room[k]->resize(static_cast<qsizetype>(n));
                datagramArrived(*room[k]);
                buffer_.swap(*room[k]);
                result = Read::Got;
            }
        }
        if (got < want) {
            break; // the socket is empty
        }
    }
    return result;
}

void TelemetrySourceUdp::poll() {
    poll(true);
}

void TelemetrySourceUdp::poll(bool datagramWaiting) {
    // A port that could not be bound leaves the source silent.
    if (fd_ < 0) {
        return;
    }
    // Reads that all failed, were empty or were refused do not count as the game's datagram: they
    // leave the time-out running (a flood from elsewhere cannot keep a stream alive).
    if (datagramWaiting && readNewestDatagram() == Read::Got) {
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
