#include "telemetry/telemetrysourceshturmovik.h"

TelemetrySourceShturmovik::TelemetrySourceShturmovik(QObject* parent, quint16 port)
    : TelemetrySourceUdp(parent, port) {}

void TelemetrySourceShturmovik::parseDatagram(const QByteArray& datagram) {
    applyShturmovikDatagram(indicators_, datagram);
    current_ = shturmovikRecord(indicators_);
}

QString TelemetrySourceShturmovik::streamName(const QByteArray&) {
    return QStringLiteral("Generic warbird");
}

void TelemetrySourceShturmovik::publishTelemetry() {
    emit telemetryChanged(current_);
}

void TelemetrySourceShturmovik::publishDefaultTelemetry() {
    emit telemetryChanged(default_);
}
