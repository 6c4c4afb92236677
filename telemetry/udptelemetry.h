#pragma once

#include "records/condor2telemetry.h"
#include "records/dcstelemetry.h"
#include "records/shturmoviktelemetry.h"
#include "records/telemetry.h"
#include "records/telemetryrecord.h"
#include "telemetry/livegame.h"
#include "telemetry/telemetryendpoints.h"
#include "telemetry/telemetrysource.h"
#include "telemetry/touchdowndetector.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

class TelemetrySourceUdp;
class TelemetryThread;

// The UDP games (DCS, IL-2, Condor), read where their records are used: poll() runs at every
// tick of the control loop and reads each game's socket without waiting, so no thread wakes for
// a datagram. A game is read only while LiveGame lets it run; a game that sends while another
// flies is told once per stream (otherSourceIgnored) and its datagrams wait in its socket. A
// replay's start forgets the streams it cuts short. Every record of the live stream passes a
// touch-down detector, which raises landed at a real touch-down. The signals carry what
// TelemetryThread's signals of the same names carry for the other games.
//
// Threading: created on the thread that ticks (the control thread, or a test's) and used there
// only; poll() is called once a tick and never blocks. setAcceptRemoteTelemetry() arrives queued.
class UdpTelemetry : public QObject {
    Q_OBJECT

public:
    // Listens where the endpoints say; `live` is shared with the telemetry thread (own one if null).
    UdpTelemetry(const TelemetryEndpoints& endpoints, LiveGame* live, QObject* parent = nullptr);
    ~UdpTelemetry() override;

    // One tick's reading: every game that may run is polled, in scan order.
    void poll();
    // The source of a UDP game (null for the others).
    TelemetrySourceUdp* source(int index) const {
        return (index > 0 && index < kSlots) ? sources_[index] : nullptr;
    }
    LiveGame* liveGame() const { return live_; }
    // The aircraft of the stream announced last.
    const QString& liveName() const { return liveName_; }
    // Speaks through the telemetry worker where the window listens (senders refused, a game
    // ignored), takes the user's choice about other computers from it, and tells it when a
    // stream ends so that its games may run again. Either side may be on another thread.
    void joinWorker(TelemetryThread* worker);
    void setClock(const TelemetrySource::Clock& clock);

signals:
    void dcsTelemetryChanged(DCSTelemetry telemetry);
    void shturmovikTelemetryChanged(ShturmovikTelemetry telemetry);
    void condor2TelemetryChanged(Condor2Telemetry telemetry);
    void telemetrySourceChanged(Telemetry::Source source, QString name);
    void telemetryEnded();
    void landed(float verticalSpeed, float airspeed);
    void remoteTelemetryRefused(QString sender);
    void telemetryRecordChanged(TelemetryRecord record);
    void otherSourceIgnored(Telemetry::Source other, Telemetry::Source current);

public slots:
    void setAcceptRemoteTelemetry(bool accept);

private:
    static constexpr int kSlots = Telemetry::SourceCount;

    template <typename S, typename R>
    void addGame(Telemetry::Source index, S* source, void (S::*changed)(R), void (UdpTelemetry::*named)(R));

    std::unique_ptr<LiveGame> ownLive_;
    LiveGame* live_;
    uint64_t replaysSeen_ = 0;
    uint64_t generationSeen_ = 0;
    // The games already said to be ignored during the current stream, by Telemetry::Source bit.
    unsigned ignoredTold_ = 0;
    TelemetrySourceUdp* sources_[kSlots] = {};
    // The games' sockets, looked at together each tick (-1: each is read as if something waited).
    int epollFd_ = -1;
    TouchdownDetector touchdown_;
    QString liveName_;
};
