#pragma once

#include "records/telemetry.h"
#include "telemetry/aircraftchangewatch.h"
#include "telemetry/telemetrysource.h"

#include <QByteArray>
#include <QHostAddress>
#include <QSet>
#include <QString>

#include <functional>

#include <sys/socket.h>

// A telemetry source fed by UDP datagrams from a game. It owns the socket and the stream rules
// every UDP game shares: datagrams wait in the socket until the next poll, only the newest of
// those waiting counts, the datagram that starts a stream only announces it, and a stream ends with the
// default record once the socket has been silent for more than 1000 ms. Only this computer is
// heard unless other computers are allowed: a datagram from any other sender is read and dropped
// unparsed, and the first one from each sender is reported with senderRefused. At most 16
// datagrams are read per poll, so a flood cannot hold the tick. A stream whose aircraft name
// changes and stays changed (AircraftChangeWatch) is announced again under the new name.
// Subclasses supply the datagram grammar, the stream name and their own telemetryChanged signal.
//
// Threading: lives on the control thread as a child of UdpTelemetry, which polls it at every
// tick while the game may run; otherwise the datagrams wait in the socket. The socket is a plain
// non-blocking one with no notifier: no thread wakes for a datagram, and poll() never blocks.
class TelemetrySourceUdp : public TelemetrySource {
    Q_OBJECT

public:
    // Tells whether a sender is this computer; tests narrow it to play another computer on loopback.
    using SenderCheck = std::function<bool(const QHostAddress&)>;

    // Binds the socket to every local address and the given port, so that other computers can be
    // allowed; a failed bind leaves the source silent.
    TelemetrySourceUdp(QObject* parent, quint16 port);
    ~TelemetrySourceUdp() override;

    bool isBound() const { return fd_ >= 0; }
    // The socket, for a caller that asks all the games' sockets at once whether anything waits;
    // -1 when the port could not be bound.
    int socketDescriptor() const { return fd_; }
    // Whether a datagram waits in the socket, left there.
    bool hasWaitingDatagram() const;

    // Whether datagrams from other computers count; off by default.
    void setAcceptRemote(bool accept) override { acceptRemote_ = accept; }
    bool acceptsRemote() const { return acceptRemote_; }
    void setSenderCheck(SenderCheck check);
    // A loopback address (IPv4 127/8, ::1, or IPv4 loopback mapped into IPv6): this computer.
    static bool isThisComputer(const QHostAddress& sender);
    // One of this computer's own addresses on any of its network interfaces (a game here that
    // sends to the computer's network address rather than to loopback).
    static bool isOwnAddress(const QHostAddress& sender);

    void poll() override;
    // One step for a caller that already knows whether a datagram waits: when none does, the
    // socket is not read, and only the stream's time-out is kept.
    void poll(bool datagramWaiting);
    void forgetStream() override { active_ = false; }

    // The game this source reads.
    virtual Telemetry::Source source() const = 0;

    bool isActive() const { return active_; }

    // Most datagrams read by one poll; more wait for the next tick. A game sends one a frame,
    // so 16 in 5 ms is a flood, whose newest counts anyway.
    static constexpr int kMaxDatagramsPerPoll = 16;

protected:
    // Updates the current record from one datagram.
    virtual void parseDatagram(const QByteArray& datagram) = 0;
    // The name announced for a stream that this datagram starts; while a stream runs, the name
    // of the aircraft the datagram (already parsed) speaks of.
    virtual QString streamName(const QByteArray& datagram) = 0;
    // Every accepted datagram as it is read, the older ones of a poll included, before the
    // newest is parsed or announces a stream: for what a game sends only once.
    virtual void datagramArrived(const QByteArray& datagram);
    // Called after each datagram parsed while the stream is younger than a second, with its
    // age in whole seconds.
    virtual void streamWarmup(float seconds);
    // Emit the subclass's telemetryChanged with the current record or the all-zero one.
    virtual void publishTelemetry() = 0;
    virtual void publishDefaultTelemetry() = 0;

private:
    enum class Read { Nothing, Unusable, Got };
    // Reads the pending datagrams (at most kMaxDatagramsPerPoll), keeping the newest one that
    // carried bytes from an accepted sender in buffer_: Nothing when none was pending, Unusable
    // when the reads all failed, were empty or came from refused senders.
    Read readNewestDatagram();
    // Whether a datagram from this sender counts; reports a refused sender the first time.
    bool accept(const sockaddr_storage& from, socklen_t size);

    int fd_ = -1;
    qint64 lastDatagramTime_ = 0;
    qint64 streamStartTime_ = 0;
    bool active_ = false;
    bool acceptRemote_ = false;
    SenderCheck isThisComputer_;
    // The last sender found on this computer, as the socket names it: a game sends from one
    // address and port, so its datagrams are let in without looking at the address again.
    sockaddr_storage localSender_{};
    socklen_t localSenderSize_ = 0;
    // Senders already reported, bounded so that forged addresses cannot grow it.
    QSet<QHostAddress> refused_;
    // The newest accepted datagram, and the room the next two are read into.
    QByteArray buffer_;
    QByteArray scratch_;
    QByteArray spare_;
    AircraftChangeWatch aircraft_;
};
