#include "telemetry/telemetrythread.h"

#include "telemetry/telemetrysource.h"
#include "telemetry/telemetrysourcemsfs.h"
#include "telemetry/telemetrysourcewarthunder.h"

TelemetryThread::TelemetryThread(QObject* parent) : QObject(parent), timer_(new QTimer(this)) {
    auto* msfs = new TelemetrySourceMSFS(this);
    adoptSource(msfs, Telemetry::TELEMETRY_SOURCE_MSFS);
    connect(msfs, &TelemetrySourceMSFS::telemetryChanged, this, &TelemetryThread::msfsTelemetryChanged);

    auto* warthunder = new TelemetrySourceWarthunder(this);
    adoptSource(warthunder, Telemetry::TELEMETRY_SOURCE_WARTHUNDER);
    connect(warthunder, &TelemetrySourceWarthunder::telemetryChanged, this,
            &TelemetryThread::warthunderTelemetryChanged);

    connect(timer_, &QTimer::timeout, this, &TelemetryThread::onTimeout);
}

void TelemetryThread::adoptSource(TelemetrySource* source, Telemetry::Source index) {
    sources_[index] = source;
    connect(source, &TelemetrySource::telemetrySourceChanged, this,
            [this](Telemetry::Source s, const QString& name) {
                currentSource_ = s;
                emit telemetrySourceChanged(s, name);
            });
    connect(source, &TelemetrySource::telemetryEnded, this, [this]() {
        currentSource_ = Telemetry::TELEMETRY_SOURCE_NONE;
        emit telemetryEnded();
    });
}

void TelemetryThread::start() {
    timer_->start(20);
}

void TelemetryThread::onTimeout() {
    const Telemetry::Source current = currentSource_;
    if (current != Telemetry::TELEMETRY_SOURCE_NONE) {
        if (TelemetrySource* s = source(current)) {
            s->poll();
        }
        return;
    }
    // No stream: scan every source in order. A later source that also starts a stream in
    // this scan takes over, and from the next tick on only that one is polled.
    for (int i = 1; i < 6; ++i) {
        if (sources_[i]) {
            sources_[i]->poll();
        }
    }
}
