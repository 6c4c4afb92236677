#pragma once

#include "records/dcstelemetry.h"
#include "telemetry/telemetrysourceudp.h"

// DCS: the export script inside the game sends one ";"-separated text datagram per frame
// (port 29778 by default). Streams are announced with the aircraft name of field 0.
//
// Threading: lives on the control thread as a child of UdpTelemetry; poll() runs at the tick
// (see TelemetrySourceUdp) and never blocks.
class TelemetrySourceDCS : public TelemetrySourceUdp {
    Q_OBJECT

public:
    TelemetrySourceDCS(QObject* parent, quint16 port);

    Telemetry::Source source() const override { return Telemetry::TELEMETRY_SOURCE_DCS; }

signals:
    void telemetryChanged(DCSTelemetry telemetry);

protected:
    void parseDatagram(const QByteArray& datagram) override;
    QString streamName(const QByteArray& datagram) override;
    void publishTelemetry() override;
    void publishDefaultTelemetry() override;

private:
    DCSTelemetry current_;
    const DCSTelemetry default_;
    // The aircraft's name as the last datagram wrote it, and as shown: every datagram carries
    // it, and it is made again only when it changes.
    QByteArray nameBytes_;
    QString name_;
    bool nameMade_ = false;
};
