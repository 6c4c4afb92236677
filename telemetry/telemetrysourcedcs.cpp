#include "telemetry/telemetrysourcedcs.h"

#include "telemetry/dcsdatagram.h"

TelemetrySourceDCS::TelemetrySourceDCS(QObject* parent, quint16 port) : TelemetrySourceUdp(parent, port) {}

void TelemetrySourceDCS::parseDatagram(const QByteArray& datagram) {
    current_ = parseDcsDatagram(datagram);
}

QString TelemetrySourceDCS::streamName(const QByteArray& datagram) {
    return dcsStreamName(datagram);
}

void TelemetrySourceDCS::publishTelemetry() {
    emit telemetryChanged(current_);
}

void TelemetrySourceDCS::publishDefaultTelemetry() {
    emit telemetryChanged(default_);
}
