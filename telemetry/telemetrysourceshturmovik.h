#pragma once

#include "records/shturmoviktelemetry.h"
#include "telemetry/shturmovikindicators.h"
#include "telemetry/telemetrysourceudp.h"

// IL-2 Sturmovik: the game sends packed indicator records followed by events (port 29777 by
// default). The indicators it last reported are kept between datagrams and streams. The events
// of every datagram are read, so that no name, shot or hit is lost where only the newest
// datagram's indicators count. A stream carries the aircraft's name from the game's
// vehicle-name event, "Generic warbird" before any has come (a program started mid-mission).
//
// Threading: lives on the control thread as a child of UdpTelemetry; poll() runs at the tick
// (see TelemetrySourceUdp) and never blocks.
class TelemetrySourceShturmovik : public TelemetrySourceUdp {
    Q_OBJECT

public:
    TelemetrySourceShturmovik(QObject* parent, quint16 port);

    Telemetry::Source source() const override { return Telemetry::TELEMETRY_SOURCE_IL2; }

signals:
    void telemetryChanged(ShturmovikTelemetry telemetry);

protected:
    void parseDatagram(const QByteArray& datagram) override;
    QString streamName(const QByteArray& datagram) override;
    void datagramArrived(const QByteArray& datagram) override;
    void publishTelemetry() override;
    void publishDefaultTelemetry() override;

private:
    // Survive the end of a stream: the next stream continues from what the game last said.
    ShturmovikIndicators indicators_;
    ShturmovikEvents events_;
    ShturmovikTelemetry current_;
};
