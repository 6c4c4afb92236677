#pragma once

#include "records/condor2telemetry.h"
#include "telemetry/telemetrysourceudp.h"

// Condor 2 and Condor 3: the game's UDP output sends "key=value" lines (port 55278 by default).
// The game names no aircraft, so streams are announced as "Generic glider".
//
// Threading: lives on the control thread as a child of UdpTelemetry; poll() runs at the tick
// (see TelemetrySourceUdp) and never blocks.
class TelemetrySourceCondor2 : public TelemetrySourceUdp {
    Q_OBJECT

public:
    TelemetrySourceCondor2(QObject* parent, quint16 port);

    Telemetry::Source source() const override { return Telemetry::TELEMETRY_SOURCE_CONDOR; }

signals:
    void telemetryChanged(Condor2Telemetry telemetry);

protected:
    void parseDatagram(const QByteArray& datagram) override;
    QString streamName(const QByteArray& datagram) override;
    void publishTelemetry() override;
    void publishDefaultTelemetry() override;

private:
    Condor2Telemetry current_;
    const Condor2Telemetry default_;
};
