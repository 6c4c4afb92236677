#pragma once

#include "records/telemetry.h"
#include "telemetry/aircraftchangewatch.h"
#include "telemetry/telemetrysource.h"
#include "telemetry/xplane/xplanedatarefs.h"

#include <QHostAddress>
#include <QString>

class QUdpSocket;

// X-Plane 11 and 12 over the simulator's own UDP interface, with nothing to set up in it: the
// source asks for the datarefs it needs with RREF requests (to 127.0.0.1:49000, the simulator's
// receive port, unless told otherwise) and X-Plane answers at the asked rate to this source's
// socket. The requests are sent again every few seconds, so a simulator started or restarted
// after the program is picked up by itself; at destruction the subscriptions are cancelled so the
// simulator stops sending. Answers from any other address are dropped. A stream starts with the
// first answer and is announced once the aircraft's name has arrived (at most a second later);
// it ends after a second without answers. While the simulator is paused the records are all
// zero, so no force follows the frozen flight. A simulator on another computer is asked only
// while telemetry from other computers is allowed.
//
// Threading: lives on the telemetry thread as a child of TelemetryThread; poll() runs when
// answers arrive or a request, the announcement or the time-out falls due, and never blocks.
class TelemetrySourceXPlane : public TelemetrySource {
    Q_OBJECT

public:
    static constexpr quint16 DefaultPort = 49000;
    // A stream ends once no answer has come for longer than this.
    static constexpr qint64 StreamTimeoutMs = 1000;
    // How often the subscriptions are asked for again.
    static constexpr qint64 RequestIntervalMs = 4000;
    // Longest wait for the aircraft's name before a stream is announced without it.
    static constexpr qint64 NameWaitMs = 1000;
    static constexpr int MaxDatagramsPerPoll = 64;

    // `host` is an address or a host name; empty means this computer.
    TelemetrySourceXPlane(QObject* parent, const QString& host, quint16 port);
    ~TelemetrySourceXPlane() override;

    // "HOST:PORT", "HOST" or "[IPv6]:PORT" into its parts; false (with `host` untouched) when
    // the text is not one of them or the port is not 1..65535.
    static bool parseEndpoint(const QString& text, QString* host, quint16* port);

    void poll() override;
    qint64 pollDelay() const override;
    void forgetStream() override;
    void setAcceptRemote(bool accept) override;
    // A datagram waits; asking again (a resolved host, remote games allowed) is not telemetry.
    bool inputIsTelemetry() const override;

    bool isActive() const { return active_; }
    // The port the answers come to; 0 before the socket is bound.
    quint16 localPort() const;
    // Sends the rate-0 requests that end the subscriptions; also done at destruction.
    void cancelSubscriptions();

signals:
    void telemetryChanged(Telemetry telemetry);

private:
    bool mayAsk() const;
    // The requests [from, to), at their own rates or all at `rateOverride` (>= 0).
    void sendRequests(qint32 rateOverride, int from, int to);
    // Reads what waits (bounded); true when an answer from the simulator was taken.
    bool readAnswers();
    void announce();

    QUdpSocket* socket_;
    QHostAddress address_;
    quint16 port_;
    bool acceptRemote_ = false;
    bool refusedReported_ = false;
    bool asked_ = false;
    bool mayHaveDatagrams_ = false;
    bool active_ = false;
    bool announced_ = false;
    AircraftChangeWatch aircraft_;
    qint64 nextRequest_ = 0;
    qint64 lastAnswer_ = 0;
    qint64 streamStart_ = 0;
    XPlaneDatarefs::Table values_;
};
