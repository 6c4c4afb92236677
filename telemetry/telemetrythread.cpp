#include "telemetry/telemetrythread.h"

#include "telemetry/telemetryreplay.h"
#include "telemetry/telemetrysource.h"
#include "telemetry/telemetrysourcemsfs.h"
#include "telemetry/telemetrysourcewarthunder.h"
#include "telemetry/xplane/telemetrysourcexplane.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <type_traits>

TelemetryThread::TelemetryThread(const TelemetryEndpoints& endpoints, LiveGame* live, QObject* parent)
    : QObject(parent), timer_(new QTimer(this)), ownLive_(live ? nullptr : new LiveGame()),
      live_(live ? live : ownLive_.get()) {
    // The games, in scan order; one line each. Sources, timer and worker share one thread, so
    // every connection is direct: a source that starts a stream inside poll() is current before
    // any other source runs.
    addGame(Telemetry::TELEMETRY_SOURCE_MSFS, new TelemetrySourceMSFS(this),
            &TelemetrySourceMSFS::telemetryChanged, &TelemetryThread::msfsTelemetryChanged);
    auto* warthunder = new TelemetrySourceWarthunder(this, endpoints.warthunderUrl);
    addGame(Telemetry::TELEMETRY_SOURCE_WARTHUNDER, warthunder, &TelemetrySourceWarthunder::telemetryChanged,
            &TelemetryThread::warthunderTelemetryChanged);
    connect(warthunder, &TelemetrySourceWarthunder::waitingForGame, this, &TelemetryThread::warthunderWaiting,
            Qt::DirectConnection);
    addGame(Telemetry::TELEMETRY_SOURCE_XPLANE,
            new TelemetrySourceXPlane(this, endpoints.xplaneHost, endpoints.xplanePort),
            &TelemetrySourceXPlane::telemetryChanged);

    // One single-shot timer serves every schedule; a precise one never fires before the moment a
    // source asked for, so no wake-up is wasted on a source that is not yet due.
    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer);
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
    connect(replay_, &TelemetryReplay::telemetryRecordChanged, this,
            &TelemetryThread::telemetryRecordChanged);
    connect(replay_, &TelemetryReplay::telemetrySourceChanged, this,
            &TelemetryThread::telemetrySourceChanged);
    connect(replay_, &TelemetryReplay::telemetryEnded, this, &TelemetryThread::telemetryEnded);
    // Every record the thread passes on, a game's or a replay's, may be a touch-down; a stream's
    // start and end forget where the aircraft was.
    connect(
        this, &TelemetryThread::telemetryRecordChanged, this,
        [this](const TelemetryRecord& r) { observeRecord(r.flight()); }, Qt::DirectConnection);
    connect(
        this, &TelemetryThread::telemetrySourceChanged, this, [this] { touchdown_.reset(); },
        Qt::DirectConnection);
    connect(
        this, &TelemetryThread::telemetryEnded, this, [this] { touchdown_.reset(); }, Qt::DirectConnection);

    connect(replay_, &TelemetryReplay::runningChanged, this, [this](bool running) {
        // A game's stream the replay cuts short is forgotten, so that the game announces itself
        // afresh once the replay has ended its own stream.
        if (running) {
            for (TelemetrySource* s : sources_) {
                if (s) {
                    s->forgetStream();
                }
            }
        }
        live_->setReplaying(running);
        schedule();
    });
}

TelemetryThread::~TelemetryThread() = default;

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
    // A jump in a recording is no flight: from the ground after it, nothing has landed.
    touchdown_.reset();
    replay_->seek(position);
}

void TelemetryThread::setReplayLooping(bool looping) {
    replay_->setLooping(looping);
}

void TelemetryThread::setAcceptRemoteTelemetry(bool accept) {
    for (TelemetrySource* s : sources_) {
        if (s) {
            s->setAcceptRemote(accept);
        }
    }
    emit acceptRemoteTelemetryChanged(accept);
}

void TelemetryThread::otherStreamEnded() {
    schedule();
}

template <typename S, typename R>
void TelemetryThread::addGame(Telemetry::Source index, S* source, void (S::*changed)(R),
                              void (TelemetryThread::*named)(R)) {
    adoptSource(source, index);
    connect(
        source, changed, this,
        [this, index, named](const std::decay_t<R>& record) {
            // Only the live game drives the forces, whichever thread won the race to start first.
            if (live_->current() != index) {
                return;
            }
            if (named) {
                emit(this->*named)(record);
            }
            emit telemetryRecordChanged(TelemetryRecord(index, record));
        },
        Qt::DirectConnection);
}

void TelemetryThread::adoptSource(TelemetrySource* source, Telemetry::Source index) {
    sources_[index] = source;
    connect(source, &TelemetrySource::senderRefused, this, &TelemetryThread::remoteTelemetryRefused,
            Qt::DirectConnection);
    connect(
        source, &TelemetrySource::telemetrySourceChanged, this,
        [this, source](Telemetry::Source s, const QString& name) {
            if (const std::optional<QString> shown = live_->startStream(source, s, name)) {
                emit telemetrySourceChanged(s, *shown);
            }
        },
        Qt::DirectConnection);
    connect(
        source, &TelemetrySource::telemetryEnded, this,
        [this, index]() {
            live_->endStream(index);
            emit telemetryEnded();
        },
        Qt::DirectConnection);
    connect(
        source, &TelemetrySource::inputReady, this,
        [this, index]() {
            if (started_ && mayRun(index)) {
                sources_[index]->poll();
            } else if (started_ && !replay_->isRunning()) {
                const Telemetry::Source current = live_->current();
                if (live_->generation() != generationTold_) {
                    generationTold_ = live_->generation();
                    ignoredTold_ = 0;
                }
                // The pilot may have started the second game on purpose: it is told, once.
                if (current != Telemetry::TELEMETRY_SOURCE_NONE && !(ignoredTold_ & (1u << index)) &&
                    sources_[index]->inputIsTelemetry()) {
                    ignoredTold_ |= 1u << index;
                    emit otherSourceIgnored(index, current);
                }
            }
            schedule();
        },
        Qt::DirectConnection);
}

void TelemetryThread::observeRecord(const Telemetry& record) {
    if (const auto landing = touchdown_.observe(record)) {
        emit landed(landing->sinkRate, landing->airspeed);
    }
}

void TelemetryThread::setClock(const TelemetrySource::Clock& clock) {
    for (TelemetrySource* s : sources_) {
        if (s) {
            s->setClock(clock);
        }
    }
    replay_->setClock(clock);
}

bool TelemetryThread::mayRun(int index) const {
    // While a replay runs the games wait, unread, until it ends.
    if (replay_->isRunning()) {
        return false;
    }
    return live_->mayRun(static_cast<Telemetry::Source>(index));
}

void TelemetryThread::start() {
    started_ = true;
    timer_->start(0);
}

void TelemetryThread::onTimeout() {
    // Every source that may run and is due, in scan order. The rule is read again for each one:
    // once a source has started a stream, the others wait until it ends.
    for (int i = 1; i < kSlots; ++i) {
        TelemetrySource* s = sources_[i];
        if (s && mayRun(i) && s->pollDelay() == 0) {
            s->poll();
        }
    }
    schedule();
}

void TelemetryThread::schedule() {
    if (!started_) {
        return;
    }
    qint64 soonest = -1;
    for (int i = 1; i < kSlots; ++i) {
        if (sources_[i] && mayRun(i)) {
            const qint64 delay = sources_[i]->pollDelay();
            if (delay >= 0 && (soonest < 0 || delay < soonest)) {
                soonest = delay;
            }
        }
    }
    if (soonest < 0) {
        timer_->stop();
        return;
    }
    // A timer that fires no later than needed is left alone: a stream's time-out moves with every
    // datagram, and an early wake-up only finds nothing due and sets the timer again.
    if (timer_->isActive() && timer_->remainingTime() <= soonest) {
        return;
    }
    timer_->start(static_cast<int>(std::min<qint64>(soonest, std::numeric_limits<int>::max())));
}

void TelemetryThread::sendMsfsAxes(PositionInput axes, bool joystick, bool rudder) {
    if (mayRun(Telemetry::TELEMETRY_SOURCE_MSFS) && live_->current() == Telemetry::TELEMETRY_SOURCE_MSFS) {
        static_cast<TelemetrySourceMSFS*>(sources_[Telemetry::TELEMETRY_SOURCE_MSFS])
            ->sendAxes(axes, joystick, rudder);
    }
}
