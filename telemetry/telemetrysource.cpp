#include "telemetry/telemetrysource.h"

TelemetrySource::TelemetrySource(QObject* parent) : QObject(parent) {
    monotonic_.start();
    clock_ = [this]() { return monotonic_.elapsed(); };
}

void TelemetrySource::setClock(Clock clock) {
    if (clock) {
        clock_ = std::move(clock);
    }
}
