#include "support/fakesimulator.h"

#include <QHostAddress>

#include <cstring>

#ifndef _WIN32
#include <sys/socket.h>
#endif

namespace {

uint32_t read32(const QByteArray& bytes, int offset) {
    uint32_t value = 0;
    if (offset + 4 <= bytes.size()) {
        std::memcpy(&value, bytes.constData() + offset, sizeof value);
    }
    return value;
}

void put32(QByteArray& bytes, int offset, uint32_t value) {
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

QByteArray header(int size, uint32_t id) {
    QByteArray bytes(size, '\0');
    put32(bytes, 0, uint32_t(size));
    put32(bytes, 4, 5);
    put32(bytes, 8, id);
    return bytes;
}

// The text of a fixed field, up to its first zero.
QByteArray text(const QByteArray& packet, int offset) {
    const QByteArray field = packet.mid(offset, 256);
    const int end = field.indexOf('\0');
    return end < 0 ? field : field.left(end);
}

} // namespace

FakeSimulator::FakeSimulator(QObject* parent) : QObject(parent) {
    connect(&server_, &QTcpServer::newConnection, this, &FakeSimulator::accept);
    server_.listen(QHostAddress::LocalHost, 0);
}

FakeSimulator::~FakeSimulator() {
    if (client_) {
        client_->abort();
    }
}

bool FakeSimulator::clientConnected() const {
    return client_ && client_->state() == QAbstractSocket::ConnectedState;
}

void FakeSimulator::accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        if (client_) {
            client_->abort();
            client_->deleteLater();
        }
        client_ = socket;
        socket->setParent(this);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        ++connections_;
        buffer_.clear();
        protocol_ = 0;
        nextSendId_ = 1;
        opened_ = false;
        openWaiting_ = false;
        pendingRequests = 0;
        connect(socket, &QTcpSocket::readyRead, this, &FakeSimulator::readPackets);
    }
}

void FakeSimulator::readPackets() {
    auto* socket = qobject_cast<QTcpSocket*>(sender());
    if (!socket || socket != client_) {
        return;
    }
    buffer_ += socket->readAll();
    while (buffer_.size() >= 16) {
        const uint32_t size = read32(buffer_, 0);
        if (size < 16 || size > 4096) {
            violations << QStringLiteral("packet size %1").arg(size);
            buffer_.clear();
            return;
        }
        if (uint32_t(buffer_.size()) < size) {
            return;
        }
        const QByteArray packet = buffer_.left(int(size));
        buffer_.remove(0, int(size));
        handle(packet);
    }
}

bool FakeSimulator::checkString(const QByteArray& packet, int offset, const char* what) {
    const QByteArray field = packet.mid(offset, 256);
    const int end = field.indexOf('\0');
    if (end < 0 || field.mid(end).count('\0') != field.size() - end) {
        violations << QStringLiteral("%1 is not a zero-padded text").arg(QLatin1String(what));
        return false;
    }
    return true;
}

void FakeSimulator::handle(const QByteArray& packet) {
    const uint32_t size = read32(packet, 0);
    const uint32_t version = read32(packet, 4);
    const uint32_t type = read32(packet, 8);
    const uint32_t sendId = read32(packet, 12);
    if (sendId != nextSendId_) {
        violations << QStringLiteral("send id %1, expected %2").arg(sendId).arg(nextSendId_);
    }
    nextSendId_ = sendId + 1;
    if ((type & 0xF0000000u) != 0xF0000000u) {
        violations << QStringLiteral("packet type %1 without the high nibble").arg(type, 0, 16);
    }
    const uint32_t opcode = type & 0x0FFFFFFFu;
    const uint32_t expectedSize[] = {0,   296, 0, 0,  276, 36, 0, 0, 0, 0, 0, 0,
                                     544, 0,   0, 32, 0,   0,  0, 0, 0, 0, 0, 276};
    if (opcode >= sizeof expectedSize / sizeof expectedSize[0] || expectedSize[opcode] == 0) {
        violations << QStringLiteral("unexpected packet type %1").arg(type, 0, 16);
        return;
    }
    if (size != expectedSize[opcode]) {
        violations << QStringLiteral("packet type %1 of %2 bytes").arg(type, 0, 16).arg(size);
        return;
    }
    if (opcode == 0x01) {
        if (opened_ || openWaiting_) {
            violations << QStringLiteral("second Open");
        }
        protocol_ = version;
        checkString(packet, 16, "application name");
        opens << OpenCall{connections_,        version,
                          text(packet, 16),    read32(packet, 276),
                          read32(packet, 280), read32(packet, 284),
                          read32(packet, 288), read32(packet, 292)};
        if (refusedFrom_ != 0 && version >= refusedFrom_) {
            sendException(5, sendId, 0xFFFFFFFFu);
            return;
        }
        openWaiting_ = true;
        if (!holdOpen_) {
            answerOpen();
        }
        return;
    }
    if (!opened_) {
        violations << QStringLiteral("request of type %1 before the answer to Open").arg(type, 0, 16);
    }
    if (version != protocol_) {
        violations << QStringLiteral("header version %1 after Open as %2").arg(version).arg(protocol_);
    }
    switch (opcode) {
    case 0x0C: {
        checkString(packet, 20, "datum name");
        checkString(packet, 276, "units name");
        float epsilon = 0;
        std::memcpy(&epsilon, packet.constData() + 536, sizeof epsilon);
        definitions << DefinitionCall{connections_,       read32(packet, 16),  text(packet, 20),
                                      text(packet, 276),  read32(packet, 532), epsilon,
                                      read32(packet, 540)};
        break;
    }
    case 0x0F:
        requests << RequestCall{connections_, read32(packet, 16), read32(packet, 20), read32(packet, 24),
                                read32(packet, 28)};
        ++pendingRequests;
        answerRequests();
        break;
    case 0x04:
        checkString(packet, 20, "sim event name");
        mappedEvents << MappedEvent{connections_, read32(packet, 16), text(packet, 20)};
        break;
    case 0x05:
        transmits << TransmitCall{connections_,       read32(packet, 16),
                                  read32(packet, 20), static_cast<int32_t>(read32(packet, 24)),
                                  read32(packet, 28), read32(packet, 32)};
        break;
    case 0x17:
        checkString(packet, 20, "event name");
        subscriptions << SubscriptionCall{connections_, read32(packet, 16), text(packet, 20)};
        break;
    default:
        break;
    }
}

void FakeSimulator::answerOpen() {
    if (!openWaiting_) {
        return;
    }
    openWaiting_ = false;
    opened_ = true;
    QByteArray answer = header(308, 2);
    std::memcpy(answer.data() + 12, "KittyHawk", 9);
    const uint32_t versions[] = {11, 0, 282174, 999, 11, 0, 62651, 3};
    std::memcpy(answer.data() + 268, versions, sizeof versions);
    write(answer);
    answerRequests();
}

void FakeSimulator::setHoldOpenAnswer(bool hold) {
    holdOpen_ = hold;
    if (!hold) {
        answerOpen();
    }
}

QByteArray FakeSimulator::dataMessage(const DataValues& values, const QByteArray& title, uint32_t requestId) {
    QByteArray bytes = header(40 + 18 * 8 + 256, 9);
    const uint32_t fields[] = {requestId, 1, 0, 0, 1, 1, 19};
    std::memcpy(bytes.data() + 12, fields, sizeof fields);
    std::memcpy(bytes.data() + 40, values.data(), 18 * sizeof(double));
    std::memcpy(bytes.data() + 40 + 144, title.constData(), size_t(std::min<int>(int(title.size()), 256)));
    return bytes;
}

void FakeSimulator::queueData(const DataValues& values, const QByteArray& title) {
    queued_.push_back(dataMessage(values, title));
    answerRequests();
}

void FakeSimulator::setStreaming(const DataValues& values, const QByteArray& title) {
    streaming_ = dataMessage(values, title);
    answerRequests();
}

void FakeSimulator::answerRequests() {
    while (opened_ && pendingRequests > 0 && (!queued_.empty() || !streaming_.isEmpty())) {
        --pendingRequests;
        if (!queued_.empty()) {
            write(queued_.front());
            queued_.pop_front();
        } else {
            write(streaming_);
        }
    }
}

void FakeSimulator::sendEvent(uint32_t eventId) {
    QByteArray bytes = header(24, 4);
    put32(bytes, 12, 0xFFFFFFFFu);
    put32(bytes, 16, eventId);
    write(bytes);
}

void FakeSimulator::sendException(uint32_t exception, uint32_t sendId, uint32_t index) {
    QByteArray bytes = header(24, 1);
    put32(bytes, 12, exception);
    put32(bytes, 16, sendId);
    put32(bytes, 20, index);
    write(bytes);
}

void FakeSimulator::sendRaw(const QByteArray& bytes) {
    write(bytes);
}

void FakeSimulator::write(const QByteArray& bytes) {
    if (client_) {
        client_->write(bytes);
        client_->flush();
    }
}

void FakeSimulator::quit() {
    write(header(12, 3));
    if (client_) {
        client_->disconnectFromHost();
    }
}

void FakeSimulator::crash() {
    if (client_) {
        client_->disconnectFromHost();
    }
}

void FakeSimulator::reset() {
    if (!client_) {
        return;
    }
#ifndef _WIN32
    // No lingering: closing sends a reset instead of the orderly end of the stream.
    const linger noLinger{1, 0};
    setsockopt(int(client_->socketDescriptor()), SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger);
#endif
    client_->abort();
}
