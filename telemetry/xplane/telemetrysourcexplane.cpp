#include "telemetry/xplane/telemetrysourcexplane.h"

#include "records/logcategories.h"
#include "telemetry/telemetrysourceudp.h"
#include "telemetry/xplane/xplanerref.h"

#include <QHostInfo>
#include <QUdpSocket>

#include <algorithm>

namespace {
// An RREF answer holds at most a few hundred pairs; a larger datagram is not the simulator's.
constexpr qint64 MaxAnswerSize = 8192;

QHostAddress plain(const QHostAddress& address) {
    bool isIpv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIpv4);
    return isIpv4 ? QHostAddress(ipv4) : address;
}
} // namespace

TelemetrySourceXPlane::TelemetrySourceXPlane(QObject* parent, const QString& host, quint16 port)
    : TelemetrySource(parent), socket_(new QUdpSocket(this)), port_(port ? port : DefaultPort) {
    // Any local address, a port of the system's choosing: the simulator answers where we asked from.
    socket_->bind(QHostAddress::Any, 0);
    connect(socket_, &QUdpSocket::readyRead, this, [this]() {
        mayHaveDatagrams_ = true;
        emit inputReady();
    });
    const QString name = host.trimmed();
    if (name.isEmpty() || name.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) {
        address_ = QHostAddress(QHostAddress::LocalHost);
    } else if (!address_.setAddress(name)) {
        // A host name is looked up without waiting; until it resolves nothing is asked.
        QHostInfo::lookupHost(name, this, [this, name](const QHostInfo& info) {
            if (info.addresses().isEmpty()) {
                qCWarning(lcTelemetryXPlane) << "X-Plane host not found:" << name;
                return;
            }
            address_ = info.addresses().constFirst();
            nextRequest_ = 0;
            emit inputReady();
        });
    }
}

TelemetrySourceXPlane::~TelemetrySourceXPlane() {
    cancelSubscriptions();
}

bool TelemetrySourceXPlane::parseEndpoint(const QString& text, QString* host, quint16* port) {
    const QString t = text.trimmed();
    QString h = t;
    QString p;
    if (t.startsWith(QLatin1Char('['))) {
        const qsizetype close = t.indexOf(QLatin1Char(']'));
        if (close < 0) {
            return false;
        }
        h = t.mid(1, close - 1);
        const QString rest = t.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':'))) {
                return false;
            }
            p = rest.mid(1);
        }
    } else if (t.count(QLatin1Char(':')) == 1) {
        const qsizetype colon = t.indexOf(QLatin1Char(':'));
        h = t.left(colon);
        p = t.mid(colon + 1);
    }
    if (h.isEmpty() || h.contains(QLatin1Char(' '))) {
        return false;
    }
    quint16 number = DefaultPort;
    if (!p.isNull()) {
        bool ok = false;
        const uint n = p.toUInt(&ok);
        if (!ok || n == 0 || n > 65535) {
            return false;
        }
        number = static_cast<quint16>(n);
    }
    *host = h;
    *port = number;
    return true;
}

quint16 TelemetrySourceXPlane::localPort() const {
    return socket_->localPort();
}

void TelemetrySourceXPlane::setAcceptRemote(bool accept) {
    acceptRemote_ = accept;
    if (accept) {
        nextRequest_ = 0;
        emit inputReady();
    }
}

bool TelemetrySourceXPlane::inputIsTelemetry() const {
    return mayHaveDatagrams_ && socket_->hasPendingDatagrams();
}

bool TelemetrySourceXPlane::mayAsk() const {
    if (address_.isNull() || socket_->state() != QAbstractSocket::BoundState) {
        return false;
    }
    return acceptRemote_ || TelemetrySourceUdp::isThisComputer(address_);
}

void TelemetrySourceXPlane::sendRequests(qint32 rateOverride, int from, int to) {
    for (int i = from; i < to; ++i) {
        const qint32 rate = rateOverride >= 0 ? rateOverride : XPlaneDatarefs::rate(i);
        socket_->writeDatagram(XPlaneRref::request(rate, i, XPlaneDatarefs::path(i)), address_, port_);
    }
}

void TelemetrySourceXPlane::cancelSubscriptions() {
    if (asked_ && mayAsk()) {
        sendRequests(0, 0, XPlaneDatarefs::Count);
    }
    asked_ = false;
}

bool TelemetrySourceXPlane::readAnswers() {
    bool took = false;
    mayHaveDatagrams_ = true;
    QByteArray datagram;
    for (int reads = 0; reads < MaxDatagramsPerPoll; ++reads) {
        const qint64 pending = socket_->pendingDatagramSize();
        if (pending < 0) {
            mayHaveDatagrams_ = false;
            break;
        }
        datagram.resize(std::clamp<qint64>(pending, 1, MaxAnswerSize));
        QHostAddress sender;
        const qint64 n = socket_->readDatagram(datagram.data(), datagram.size(), &sender);
        if (n < 0) {
            mayHaveDatagrams_ = false;
            break;
        }
        if (plain(sender) != plain(address_)) {
            // Only the simulator asked may speak; another program's datagram is dropped unread.
            continue;
        }
        datagram.resize(n);
        took = XPlaneRref::parseAnswer(datagram, values_) > 0 || took;
    }
    return took;
}

void TelemetrySourceXPlane::announce() {
    announced_ = true;
    aircraft_.start(XPlaneDatarefs::aircraftName(values_));
    emit telemetrySourceChanged(Telemetry::TELEMETRY_SOURCE_XPLANE, aircraft_.name());
}

void TelemetrySourceXPlane::poll() {
    const qint64 t = now();
    if (!mayAsk()) {
        if (!address_.isNull() && !acceptRemote_ && !refusedReported_ &&
            !TelemetrySourceUdp::isThisComputer(address_)) {
            refusedReported_ = true;
            emit senderRefused(plain(address_).toString());
        }
    } else if (t >= nextRequest_) {
        sendRequests(-1, 0, XPlaneDatarefs::Count);
        asked_ = true;
        nextRequest_ = t + RequestIntervalMs;
    }

    const bool answered = mayHaveDatagrams_ && readAnswers();
    if (answered) {
        lastAnswer_ = t;
        if (!active_) {
            active_ = true;
            announced_ = false;
            streamStart_ = t;
        }
    }
    if (!active_) {
        return;
    }
    if (t - lastAnswer_ > StreamTimeoutMs) {
        active_ = false;
        const bool wasAnnounced = announced_;
        announced_ = false;
        values_.clear();
        if (wasAnnounced) {
            emit telemetryChanged(Telemetry());
            emit telemetryEnded();
        }
        // Ask again at once: the simulator may have been restarted.
        nextRequest_ = t;
        return;
    }
    if (!announced_) {
        // The name picks the profile, so the stream waits a moment for it.
        if (XPlaneDatarefs::nameAnswered(values_) || t - streamStart_ >= NameWaitMs) {
            announce();
        }
        return;
    }
    if (!answered) {
        return;
    }
    // Another aircraft loaded: announced as a new stream would be, before its record. A name
    // is only sure once it has stayed, as its characters may come in more than one answer.
    const QString name = XPlaneDatarefs::aircraftName(values_);
    if (!name.isEmpty() && aircraft_.observe(name)) {
        emit telemetrySourceChanged(Telemetry::TELEMETRY_SOURCE_XPLANE, aircraft_.name());
    }
    emit telemetryChanged(XPlaneDatarefs::paused(values_) ? Telemetry() : XPlaneDatarefs::record(values_));
}

qint64 TelemetrySourceXPlane::pollDelay() const {
    if (mayHaveDatagrams_) {
        return 0;
    }
    const qint64 t = now();
    qint64 due = -1;
    auto soonest = [&due, t](qint64 at) {
        const qint64 d = std::max<qint64>(0, at - t);
        due = due < 0 ? d : std::min(due, d);
    };
    if (mayAsk()) {
        soonest(nextRequest_);
    } else if (!refusedReported_ && !address_.isNull() && !acceptRemote_ &&
               !TelemetrySourceUdp::isThisComputer(address_)) {
        soonest(t);
    }
    if (active_) {
        soonest(lastAnswer_ + StreamTimeoutMs + 1);
        if (!announced_) {
            soonest(streamStart_ + NameWaitMs);
        }
    }
    return due;
}

void TelemetrySourceXPlane::forgetStream() {
    active_ = false;
    announced_ = false;
    values_.clear();
}
