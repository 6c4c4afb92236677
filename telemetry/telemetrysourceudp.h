#pragma once

#include "forces/telemetry.h"
#include "telemetry/telemetrysource.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <functional>

class QUdpSocket;

// A telemetry source fed by UDP datagrams from a game. It owns the socket and the stream
// rules every UDP game shares: only the newest datagram of a poll counts, the datagram that
// starts a stream only announces it, and a poll that finds the socket silent for more than
// 1000 ms ends the stream with the default record. Subclasses supply the datagram grammar,
// the stream name and their own telemetryChanged signal.
//
// Threading: lives on the telemetry thread as a child of TelemetryThread. poll() is called
// from the worker's 20 ms timer, only while no other source is current (or while this one
// is); it reads the socket without waiting and never blocks.
class TelemetrySourceUdp : public TelemetrySource {
    Q_OBJECT

public:
    // Milliseconds of a monotonic clock. The default counts from construction; tests replace
    // it to step time by hand.
    using Clock = std::function<qint64()>;

    // Binds the socket to every local address and the given port; a failed bind leaves the
    // source silent.
    TelemetrySourceUdp(QObject* parent, quint16 port);

    void poll() override;

    // The game this source reads.
    virtual Telemetry::Source source() const = 0;

    void setClock(Clock clock);
    bool isActive() const { return active_; }

protected:
    // Updates the current record from one datagram.
    virtual void parseDatagram(const QByteArray& datagram) = 0;
    // The name announced for a stream that this datagram starts.
    virtual QString streamName(const QByteArray& datagram) = 0;
    // Called after each datagram parsed while the stream is younger than a second, with its
    // age in whole seconds.
    virtual void streamWarmup(float seconds);
    // Emit the subclass's telemetryChanged with the current record or the all-zero one.
    virtual void publishTelemetry() = 0;
    virtual void publishDefaultTelemetry() = 0;

private:
    // Reads every pending datagram, keeping the newest one that carried bytes in buffer_.
    bool readNewestDatagram();

    QUdpSocket* socket_;
    QElapsedTimer monotonic_;
    Clock clock_;
    qint64 lastDatagramTime_ = 0;
    qint64 streamStartTime_ = 0;
    bool active_ = false;
    QByteArray buffer_;
    QByteArray scratch_;
};
