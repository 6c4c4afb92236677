#include "telemetry/telemetrythread.h"

#include "telemetry/telemetryreplay.h"
#include "telemetry/telemetrysource.h"
#include "telemetry/telemetrysourcecondor2.h"
#include "telemetry/telemetrysourcedcs.h"
#include "telemetry/telemetrysourcemsfs.h"
#include "telemetry/telemetrysourceshturmovik.h"
#include "telemetry/telemetrysourcewarthunder.h"

TelemetryThread::TelemetryThread(QObject* parent) : TelemetryThread(TelemetryEndpoints(), parent) {}

TelemetryThread::TelemetryThread(const TelemetryEndpoints& endpoints, QObject* parent)
    : QObject(parent), timer_(new QTimer(this)) {
    // The sources are created in scan order; each one's records are passed on unchanged.
    // Sources, timer and worker share one thread, so every connection here is direct: a source
    // that starts a stream inside poll() is current before the scan polls the next source.
    auto* msfs = new TelemetrySourceMSFS(this);
    adoptSource(msfs, Telemetry::TELEMETRY_SOURCE_MSFS);
    connect(msfs, &TelemetrySourceMSFS::telemetryChanged, this, &TelemetryThread::msfsTelemetryChanged,
            Qt::DirectConnection);

    auto* dcs = new TelemetrySourceDCS(this, endpoints.dcsPort);
    adoptSource(dcs, Telemetry::TELEMETRY_SOURCE_DCS);
    connect(dcs, &TelemetrySourceDCS::telemetryChanged, this, &TelemetryThread::dcsTelemetryChanged,
            Qt::DirectConnection);

    auto* il2 = new TelemetrySourceShturmovik(this, endpoints.il2Port);
    adoptSource(il2, Telemetry::TELEMETRY_SOURCE_IL2);
    connect(il2, &TelemetrySourceShturmovik::telemetryChanged, this,
            &TelemetryThread::shturmovikTelemetryChanged, Qt::DirectConnection);

    auto* warthunder = new TelemetrySourceWarthunder(this, endpoints.warthunderUrl);
    adoptSource(warthunder, Telemetry::TELEMETRY_SOURCE_WARTHUNDER);
    connect(warthunder, &TelemetrySourceWarthunder::telemetryChanged, this,
            &TelemetryThread::warthunderTelemetryChanged, Qt::DirectConnection);

    auto* condor = new TelemetrySourceCondor2(this, endpoints.condorPort);
    adoptSource(condor, Telemetry::TELEMETRY_SOURCE_CONDOR);
    connect(condor, &TelemetrySourceCondor2::telemetryChanged, this,
            &TelemetryThread::condor2TelemetryChanged, Qt::DirectConnection);

    connect(timer_, &QTimer::timeout, this, &TelemetryThread::onTimeout, Qt::DirectConnection);

    // A replay speaks through the same signals as the games. While it runs the games' sources
    // are muted, so a live game cannot take over; when it ends the scan starts afresh.
    replay_ = new TelemetryReplay(this);
    connect(replay_, &TelemetryReplay::msfsTelemetryChanged, this, &TelemetryThread::msfsTelemetryChanged);
    connect(replay_, &TelemetryReplay::dcsTelemetryChanged, this, &TelemetryThread::dcsTelemetryChanged);
    connect(replay_, &TelemetryReplay::shturmovikTelemetryChanged, this,
            &TelemetryThread::shturmovikTelemetryChanged);
    connect(replay_, &TelemetryReplay::warthunderTelemetryChanged, this,
            &TelemetryThread::warthunderTelemetryChanged);
    connect(replay_, &TelemetryReplay::condor2TelemetryChanged, this,
            &TelemetryThread::condor2TelemetryChanged);
    connect(replay_, &TelemetryReplay::telemetrySourceChanged, this,
            &TelemetryThread::telemetrySourceChanged);
    connect(replay_, &TelemetryReplay::telemetryEnded, this, &TelemetryThread::telemetryEnded);
    connect(replay_, &TelemetryReplay::runningChanged, this, [this](bool running) {
        for (TelemetrySource* s : sources_) {
            if (s) {
                s->blockSignals(running);
            }
        }
        currentSource_ = Telemetry::TELEMETRY_SOURCE_NONE;
    });
}

void TelemetryThread::startReplay(const QString& path) {
    replay_->start(path);
}

void TelemetryThread::stopReplay() {
    replay_->stop();
}

void TelemetryThread::pauseReplay(bool paused) {
    replay_->setPaused(paused);
}

void TelemetryThread::seekReplay(qint64 position) {
    replay_->seek(position);
}

void TelemetryThread::setReplayLooping(bool looping) {
    replay_->setLooping(looping);
}

void TelemetryThread::adoptSource(TelemetrySource* source, Telemetry::Source index) {
    sources_[index] = source;
    connect(
        source, &TelemetrySource::telemetrySourceChanged, this,
        [this](Telemetry::Source s, const QString& name) {
            currentSource_ = s;
            emit telemetrySourceChanged(s, name);
        },
        Qt::DirectConnection);
    connect(
        source, &TelemetrySource::telemetryEnded, this,
        [this]() {
            currentSource_ = Telemetry::TELEMETRY_SOURCE_NONE;
            emit telemetryEnded();
        },
        Qt::DirectConnection);
}

void TelemetryThread::start() {
    timer_->start(20);
}

void TelemetryThread::onTimeout() {
    if (replay_->isRunning()) {
        return; // the games wait, unread, until the replay ends
    }
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
