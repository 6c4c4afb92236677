#include "telemetry/telemetrysourcedcs.h"

#include "telemetry/dcsdatagram.h"

TelemetrySourceDCS::TelemetrySourceDCS(QObject* parent, quint16 port) : TelemetrySourceUdp(parent, port) {}

void TelemetrySourceDCS::parseDatagram(const QByteArray& datagram) {
    current_ = parseDcsDatagram(datagram);
}

QString TelemetrySourceDCS::streamName(const QByteArray& datagram) {
    const qsizetype end = datagram.indexOf(';');
    const QByteArrayView bytes = QByteArrayView(datagram).first(end < 0 ? datagram.size() : end);
    if (!nameMade_ || bytes != QByteArrayView(nameBytes_)) {
        nameMade_ = true;
        nameBytes_ = bytes.toByteArray();
        name_ = dcsStreamName(datagram);
    }
    return name_;
}

void TelemetrySourceDCS::publishTelemetry() {
    emit telemetryChanged(current_);
}

void TelemetrySourceDCS::publishDefaultTelemetry() {
    emit telemetryChanged(default_);
}
