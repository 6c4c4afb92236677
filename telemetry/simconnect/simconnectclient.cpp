#include "telemetry/simconnect/simconnectclient.h"

#include <algorithm>
#include <utility>

#ifdef _WIN32
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601 // inet_pton
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
using NativeSocket = SOCKET;
#else
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
using NativeSocket = int;
#endif

namespace {

// Bytes read per call at most, so that a flooding peer cannot hold the telemetry thread.
constexpr size_t kReadPerCall = 256 * 1024;
// Sent data unacknowledged for this long, or keep-alive probes unanswered as long, ends the
// connection: a cut network is noticed within seconds, not minutes.
constexpr int kUserTimeoutMs = 5000;

#ifdef _WIN32
constexpr intptr_t kNoSocket = static_cast<intptr_t>(INVALID_SOCKET);

bool startNetwork() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}
bool wouldBlock() {
    const int error = WSAGetLastError();
    return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS || error == WSAEINTR;
}
void closeNative(NativeSocket s) {
    closesocket(s);
}
bool makeNonBlocking(NativeSocket s) {
    u_long on = 1;
    return ioctlsocket(s, FIONBIO, &on) == 0;
}
// 1 when the connect finished (well or not), 0 while it runs, -1 on error. Windows reports a
// failed connect among the exceptions, not as writable.
int connectFinished(NativeSocket s) {
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval now{0, 0};
    const int result = select(0, nullptr, &writable, &failed, &now);
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}
constexpr int kSendFlags = 0;
#else
constexpr intptr_t kNoSocket = -1;

bool startNetwork() {
    return true;
}
bool wouldBlock() {
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINPROGRESS || errno == EINTR;
}
void closeNative(NativeSocket s) {
    ::close(s);
}
bool makeNonBlocking(NativeSocket s) {
    const int flags = fcntl(s, F_GETFL, 0);
    return flags >= 0 && fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0 && fcntl(s, F_SETFD, FD_CLOEXEC) == 0;
}
// 1 when the connect finished (well or not), 0 while it runs, -1 on error.
int connectFinished(NativeSocket s) {
    pollfd fd{s, POLLOUT, 0};
    const int result = ::poll(&fd, 1, 0);
    return result < 0 ? -1 : (result > 0 && fd.revents != 0 ? 1 : 0);
}
constexpr int kSendFlags = MSG_NOSIGNAL; // a closed peer is an error to read, not a signal
#endif

NativeSocket native(intptr_t s) {
    return static_cast<NativeSocket>(s);
}

void setOption(NativeSocket s, int level, int name, int value) {
    setsockopt(s, level, name, reinterpret_cast<const char*>(&value), sizeof value);
}

} // namespace

SimConnectClient::SimConnectClient(std::string address, uint16_t port, std::string applicationName)
    : address_(std::move(address)), port_(port), applicationName_(std::move(applicationName)),
      protocol_(
          std::make_unique<SimConnectProtocol>(SimConnectProtocol::kKittyHawk, applicationName_.c_str())) {}

SimConnectClient::~SimConnectClient() {
    closeSocket();
}

void SimConnectClient::closeSocket() {
    if (socket_ != kNoSocket) {
        closeNative(native(socket_));
        socket_ = kNoSocket;
    }
    connected_ = false;
}

bool SimConnectClient::connect() {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port_);
    if (!startNetwork() || inet_pton(AF_INET, address_.c_str(), &peer.sin_addr) != 1) {
        return false;
    }
    const NativeSocket s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (static_cast<intptr_t>(s) == kNoSocket) {
        return false;
    }
    socket_ = static_cast<intptr_t>(s);
    if (!makeNonBlocking(s)) {
        closeSocket();
        return false;
    }
    // Data answers are small and late ones are useless: no Nagle delay.
    setOption(s, IPPROTO_TCP, TCP_NODELAY, 1);
    setOption(s, SOL_SOCKET, SO_KEEPALIVE, 1);
#ifdef TCP_KEEPIDLE
    setOption(s, IPPROTO_TCP, TCP_KEEPIDLE, 2);
    setOption(s, IPPROTO_TCP, TCP_KEEPINTVL, 1);
    setOption(s, IPPROTO_TCP, TCP_KEEPCNT, 3);
#endif
#if defined(TCP_USER_TIMEOUT)
    setOption(s, IPPROTO_TCP, TCP_USER_TIMEOUT, kUserTimeoutMs);
#elif defined(TCP_MAXRT)
    setOption(s, IPPROTO_TCP, TCP_MAXRT, kUserTimeoutMs / 1000);
#endif
    attemptStarted_ = std::chrono::steady_clock::now();
    if (::connect(s, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0) {
        connected_ = true;
        return true;
    }
    if (!wouldBlock()) {
        closeSocket();
        return false;
    }
    return true;
}

void SimConnectClient::flush() {
    while (connected_ && protocol_->outputSize() > 0) {
        const auto sent = ::send(native(socket_), reinterpret_cast<const char*>(protocol_->output()),
                                 static_cast<int>(protocol_->outputSize()), kSendFlags);
        if (sent > 0) {
            protocol_->consumeOutput(static_cast<size_t>(sent));
        } else {
            if (sent < 0 && wouldBlock()) {
                return; // the rest goes at a later call
            }
            protocol_->lost();
            closeSocket();
            return;
        }
    }
}

void SimConnectClient::pump() {
    flush();
    unsigned char buffer[16 * 1024];
    size_t total = 0;
    while (connected_ && total < kReadPerCall && protocol_->receiveRoom() > 0) {
        const size_t want = std::min(sizeof buffer, protocol_->receiveRoom());
        const auto got = ::recv(native(socket_), reinterpret_cast<char*>(buffer), static_cast<int>(want), 0);
        if (got > 0) {
            protocol_->receive(buffer, static_cast<size_t>(got));
            total += static_cast<size_t>(got);
        } else if (got < 0 && wouldBlock()) {
            return;
        } else {
            // End of stream, reset or any other error: the connection is over.
            protocol_->lost();
            closeSocket();
            return;
        }
    }
}

SimConnectClient::OpenStatus SimConnectClient::advanceOpen() {
    for (;;) {
        switch (protocol_->state()) {
        case SimConnectProtocol::State::Open:
            return OpenStatus::Open;
        case SimConnectProtocol::State::VersionRefused:
            if (protocol_->version().protocol != SimConnectProtocol::kFsxSp2.protocol) {
                // An older simulator: ask again as FSX SP2, on a new connection.
                closeSocket();
                protocol_ = std::make_unique<SimConnectProtocol>(SimConnectProtocol::kFsxSp2,
                                                                 applicationName_.c_str());
                continue;
            }
            return OpenStatus::Failed;
        case SimConnectProtocol::State::Opening:
            break;
        default:
            return OpenStatus::Failed;
        }
        if (socket_ != kNoSocket && std::chrono::steady_clock::now() - attemptStarted_ > kOpenDeadline) {
            // Connected and never answered, or never connected: give up; the caller tries anew.
            closeSocket();
            return OpenStatus::Failed;
        }
        if (socket_ == kNoSocket && !connect()) {
            return OpenStatus::Failed;
        }
        if (!connected_) {
            const int finished = connectFinished(native(socket_));
            if (finished < 0) {
                closeSocket();
                return OpenStatus::Failed;
            }
            if (finished == 0) {
                return OpenStatus::Pending; // still connecting
            }
            int error = 0;
            socklen_t length = sizeof error;
            if (getsockopt(native(socket_), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) !=
                    0 ||
                error != 0) {
                closeSocket();
                return OpenStatus::Failed; // refused or unreachable
            }
            connected_ = true;
        }
        pump();
        protocol_->advanceOpening();
        if (protocol_->state() == SimConnectProtocol::State::Opening) {
            return OpenStatus::Pending;
        }
    }
}

bool SimConnectClient::addToDataDefinition(uint32_t defineId, const char* datumName, const char* unitsName,
                                           uint32_t datumType, float epsilon, uint32_t datumId) {
    const bool queued =
        protocol_->addToDataDefinition(defineId, datumName, unitsName, datumType, epsilon, datumId);
    flush();
    return queued;
}

bool SimConnectClient::requestDataOnSimObjectType(uint32_t requestId, uint32_t defineId,
                                                  uint32_t radiusMeters, uint32_t objectType) {
    const bool queued = protocol_->requestDataOnSimObjectType(requestId, defineId, radiusMeters, objectType);
    flush();
    return queued;
}

bool SimConnectClient::subscribeToSystemEvent(uint32_t eventId, const char* eventName) {
    const bool queued = protocol_->subscribeToSystemEvent(eventId, eventName);
    flush();
    return queued;
}

bool SimConnectClient::mapClientEventToSimEvent(uint32_t eventId, const char* eventName) {
    const bool queued = protocol_->mapClientEventToSimEvent(eventId, eventName);
    flush();
    return queued;
}

bool SimConnectClient::transmitClientEvent(uint32_t objectId, uint32_t eventId, uint32_t data,
                                           uint32_t groupId, uint32_t flags) {
    const bool queued = protocol_->transmitClientEvent(objectId, eventId, data, groupId, flags);
    flush();
    return queued;
}

bool SimConnectClient::nextDispatch(const unsigned char** message, size_t* size) {
    if (protocol_->state() != SimConnectProtocol::State::Open) {
        return false;
    }
    pump();
    return protocol_->nextMessage(message, size);
}
