#include "telemetry/udptelemetry.h"

#include "telemetry/telemetrysourcecondor2.h"
#include "telemetry/telemetrysourcedcs.h"
#include "telemetry/telemetrysourceshturmovik.h"
#include "telemetry/telemetrysourceudp.h"
#include "telemetry/telemetrythread.h"

#include <QtGlobal>

#include <algorithm>
#include <iterator>
#include <optional>
#include <type_traits>
#include <unistd.h>

#ifdef Q_OS_LINUX
#include <sys/epoll.h>
#else
#include <poll.h>
#endif

UdpTelemetry::UdpTelemetry(const TelemetryEndpoints& endpoints, LiveGame* live, QObject* parent)
    : QObject(parent), ownLive_(live ? nullptr : new LiveGame()), live_(live ? live : ownLive_.get()),
      replaysSeen_(live_->replays()), generationSeen_(live_->generation()) {
    // The games, in scan order; every connection is direct, as sources and reader share a thread.
    addGame(Telemetry::TELEMETRY_SOURCE_DCS, new TelemetrySourceDCS(this, endpoints.dcsPort),
            &TelemetrySourceDCS::telemetryChanged, &UdpTelemetry::dcsTelemetryChanged);
    addGame(Telemetry::TELEMETRY_SOURCE_IL2, new TelemetrySourceShturmovik(this, endpoints.il2Port),
            &TelemetrySourceShturmovik::telemetryChanged, &UdpTelemetry::shturmovikTelemetryChanged);
    addGame(Telemetry::TELEMETRY_SOURCE_CONDOR, new TelemetrySourceCondor2(this, endpoints.condorPort),
            &TelemetrySourceCondor2::telemetryChanged, &UdpTelemetry::condor2TelemetryChanged);
#ifdef Q_OS_LINUX
    // The sockets are kept in one epoll set, whose ready list is looked at each tick: asking it
    // costs the kernel next to nothing while no datagram waits, where poll() would look into
    // every socket. A socket closes itself out of the set.
    epollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
    for (int i = 1; i < kSlots && epollFd_ >= 0; ++i) {
        if (sources_[i] && sources_[i]->socketDescriptor() >= 0) {
            epoll_event interest{};
            interest.events = EPOLLIN;
            interest.data.u32 = static_cast<uint32_t>(i);
            if (::epoll_ctl(epollFd_, EPOLL_CTL_ADD, sources_[i]->socketDescriptor(), &interest) != 0) {
                ::close(epollFd_); // then every socket is read each tick, as if something waited
                epollFd_ = -1;
            }
        }
    }
#endif
}

UdpTelemetry::~UdpTelemetry() {
    if (epollFd_ >= 0) {
        ::close(epollFd_);
    }
}

template <typename S, typename R>
void UdpTelemetry::addGame(Telemetry::Source index, S* source, void (S::*changed)(R),
                           void (UdpTelemetry::*named)(R)) {
    sources_[index] = source;
    connect(
        source, changed, this,
        [this, index, named](const std::decay_t<R>& record) {
            // Only the live game drives the forces: a replay may have begun since this tick asked.
            if (live_->current() != index) {
                return;
            }
            emit(this->*named)(record);
            if (const auto landing = touchdown_.observe(record)) {
                emit landed(landing->sinkRate, landing->airspeed);
            }
            emit telemetryRecordChanged(TelemetryRecord(index, record));
        },
        Qt::DirectConnection);
    connect(source, &TelemetrySource::senderRefused, this, &UdpTelemetry::remoteTelemetryRefused,
            Qt::DirectConnection);
    connect(
        source, &TelemetrySource::telemetrySourceChanged, this,
        [this, source](Telemetry::Source s, const QString& name) {
            if (const std::optional<QString> shown = live_->startStream(source, s, name)) {
                touchdown_.reset();
                liveName_ = *shown;
                emit telemetrySourceChanged(s, liveName_);
            }
        },
        Qt::DirectConnection);
    connect(
        source, &TelemetrySource::telemetryEnded, this,
        [this, index]() {
            live_->endStream(index);
            touchdown_.reset();
            emit telemetryEnded();
        },
        Qt::DirectConnection);
}

void UdpTelemetry::joinWorker(TelemetryThread* worker) {
    connect(this, &UdpTelemetry::remoteTelemetryRefused, worker, &TelemetryThread::remoteTelemetryRefused);
    connect(this, &UdpTelemetry::otherSourceIgnored, worker, &TelemetryThread::otherSourceIgnored);
    connect(this, &UdpTelemetry::telemetryEnded, worker, &TelemetryThread::otherStreamEnded);
    connect(worker, &TelemetryThread::acceptRemoteTelemetryChanged, this,
            &UdpTelemetry::setAcceptRemoteTelemetry);
}

void UdpTelemetry::setClock(const TelemetrySource::Clock& clock) {
    for (TelemetrySource* s : sources_) {
        if (s) {
            s->setClock(clock);
        }
    }
}

void UdpTelemetry::setAcceptRemoteTelemetry(bool accept) {
    for (TelemetrySource* s : sources_) {
        if (s) {
            s->setAcceptRemote(accept);
        }
    }
}

void UdpTelemetry::poll() {
    // A replay that started since the last tick cut the live game's stream short: forgotten
    // without a word, so that the game announces itself afresh once the replay has ended.
    const uint64_t replays = live_->replays();
    if (replays != replaysSeen_) {
        replaysSeen_ = replays;
        for (TelemetrySourceUdp* s : sources_) {
            if (s) {
                s->forgetStream();
            }
        }
        touchdown_.reset();
    }
    // One look at every game's socket: on most ticks nothing waits anywhere, and one system
    // call then tells them all. Should the look fail, each socket is read as if something waited.
    bool waiting[kSlots] = {};
#ifdef Q_OS_LINUX
    epoll_event ready[kSlots];
    const int readyCount = epollFd_ >= 0 ? ::epoll_wait(epollFd_, ready, kSlots, 0) : -1;
    if (readyCount < 0) {
        std::fill(std::begin(waiting), std::end(waiting), true);
    }
    for (int k = 0; k < readyCount; ++k) {
        if (ready[k].data.u32 < static_cast<uint32_t>(kSlots)) {
            waiting[ready[k].data.u32] = true;
        }
    }
#else
    pollfd sockets[kSlots] = {};
    int gameOf[kSlots] = {};
    nfds_t count = 0;
    for (int i = 1; i < kSlots; ++i) {
        if (sources_[i] && sources_[i]->socketDescriptor() >= 0) {
            sockets[count] = pollfd{sources_[i]->socketDescriptor(), POLLIN, 0};
            gameOf[count++] = i;
        }
    }
    const bool looked = ::poll(sockets, count, 0) >= 0;
    for (nfds_t k = 0; k < count; ++k) {
        waiting[gameOf[k]] = !looked || sockets[k].revents != 0;
    }
#endif
    // The rule is read again for each game: once one has started a stream, the others wait.
    for (int i = 1; i < kSlots; ++i) {
        TelemetrySourceUdp* s = sources_[i];
        if (!s) {
            continue;
        }
        const auto game = static_cast<Telemetry::Source>(i);
        if (live_->mayRun(game)) {
            s->poll(waiting[i]);
            continue;
        }
        const uint64_t generation = live_->generation();
        if (generation != generationSeen_) {
            generationSeen_ = generation;
            ignoredTold_ = 0;
        }
        const Telemetry::Source current = live_->current();
        // The pilot may have started the second game on purpose: told once per stream.
        if (current != Telemetry::TELEMETRY_SOURCE_NONE && !live_->replaying() &&
            !(ignoredTold_ & (1u << i)) && waiting[i] && s->hasWaitingDatagram()) {
            ignoredTold_ |= 1u << i;
            emit otherSourceIgnored(game, current);
        }
    }
}
