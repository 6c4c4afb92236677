#include "telemetry/telemetrysourceshturmovik.h"

#include "records/genericaircraftname.h"

TelemetrySourceShturmovik::TelemetrySourceShturmovik(QObject* parent, quint16 port)
    : TelemetrySourceUdp(parent, port) {}

void TelemetrySourceShturmovik::datagramArrived(const QByteArray& datagram) {
    readShturmovikEvents(events_, datagram);
}

void TelemetrySourceShturmovik::parseDatagram(const QByteArray& datagram) {
    applyShturmovikDatagram(indicators_, datagram);
    current_ = shturmovikRecord(indicators_);
    current_.gunShots = events_.gunShots;
    current_.hits = events_.hits;
    current_.damages = events_.damages;
}

QString TelemetrySourceShturmovik::streamName(const QByteArray&) {
    return events_.vehicleName.isEmpty() ? genericAircraftName(source()) : events_.vehicleName;
}

void TelemetrySourceShturmovik::publishTelemetry() {
    emit telemetryChanged(current_);
}

void TelemetrySourceShturmovik::publishDefaultTelemetry() {
    // The flight state all zero; the event counts stay, so that the next stream's first record
    // is not taken for a burst of shots.
    ShturmovikTelemetry ended;
    ended.gunShots = events_.gunShots;
    ended.hits = events_.hits;
    ended.damages = events_.damages;
    emit telemetryChanged(ended);
}
