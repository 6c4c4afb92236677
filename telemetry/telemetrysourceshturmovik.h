#pragma once

#include "records/shturmoviktelemetry.h"
#include "telemetry/shturmovikindicators.h"
#include "telemetry/telemetrysourceudp.h"

// IL-2 Sturmovik: the game sends packed indicator records (port 29777 by default). The
// indicators it last reported are kept between datagrams and streams; the game names no
// aircraft, so streams are announced as "Generic warbird".
//
// Threading: lives on the telemetry thread as a child of TelemetryThread; poll() runs as its datagrams
// arrive (see TelemetrySourceUdp) and never blocks.
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
    void publishTelemetry() override;
    void publishDefaultTelemetry() override;

private:
    // Survives the end of a stream: the next stream continues from what the game last said.
    ShturmovikIndicators indicators_;
    ShturmovikTelemetry current_;
    const ShturmovikTelemetry default_;
};
