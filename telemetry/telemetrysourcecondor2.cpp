#include "telemetry/telemetrysourcecondor2.h"

#include "telemetry/condor2datagram.h"

TelemetrySourceCondor2::TelemetrySourceCondor2(QObject* parent, quint16 port)
    : TelemetrySourceUdp(parent, port) {}

void TelemetrySourceCondor2::parseDatagram(const QByteArray& datagram) {
    current_ = parseCondor2Datagram(datagram);
}

QString TelemetrySourceCondor2::streamName(const QByteArray&) {
    return QStringLiteral("Generic glider");
}

void TelemetrySourceCondor2::publishTelemetry() {
    emit telemetryChanged(current_);
}

void TelemetrySourceCondor2::publishDefaultTelemetry() {
    emit telemetryChanged(default_);
}
