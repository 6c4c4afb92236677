#pragma once

#include "records/condor2telemetry.h"
#include "records/dcstelemetry.h"
#include "records/msfstelemetry.h"
#include "records/positioninput.h"
#include "records/shturmoviktelemetry.h"
#include "records/telemetry.h"
#include "records/telemetryrecord.h"
#include "records/warthundertelemetry.h"
#include "telemetry/livegame.h"
#include "telemetry/telemetryendpoints.h"
#include "telemetry/telemetrysource.h"
#include "telemetry/touchdowndetector.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>

class TelemetryReplay;

// The telemetry worker: owns the sources of the games that need a thread of their own (MSFS,
// War Thunder, X-Plane: connections, requests and re-subscriptions) and runs each when its input
// arrives or its own schedule falls due (see TelemetrySource). The first game with data becomes
// current through LiveGame, which it shares with the UDP games read at the tick (UdpTelemetry):
// while that stream lasts no other game runs. Every record goes to the control loop as it
// comes, as one TelemetryRecord tagged with its game. Nothing wakes the thread but arriving
// input and the sources' schedules. A replay of a recording speaks through the same signals;
// while it runs, no game runs. Every record of the current stream passes a touch-down detector,
// which raises landed at a real touch-down.
//
// Threading: created without parent on the GUI thread by MainBackgroundThread, then moved to
// a thread of its own; start() and everything after run on that thread. The control loop takes
// telemetryRecordChanged directly, on this thread, into a locked mailbox; the others reach the
// loop by queued connections.
class TelemetryThread : public QObject {
    Q_OBJECT

public:
    // Listens and asks where the endpoints say (its creator's choice: the games' own ports, or
    // free ones in tests). `live` is shared with the UDP games' reader (own one if null).
    explicit TelemetryThread(const TelemetryEndpoints& endpoints, LiveGame* live = nullptr,
                             QObject* parent = nullptr);
    ~TelemetryThread() override;

    Telemetry::Source currentSource() const { return live_->current(); }
    LiveGame* liveGame() const { return live_; }
    // The source polled for a Telemetry::Source value (null for TELEMETRY_SOURCE_NONE).
    TelemetrySource* source(int index) const {
        return (index > 0 && index < kSlots) ? sources_[index] : nullptr;
    }
    // Gives every source and the replay this clock; tests step time by hand.
    void setClock(const TelemetrySource::Clock& clock);
    // Plays recordings through this worker's signals; while it plays, no game is heard.
    TelemetryReplay* replay() const { return replay_; }

signals:
    void msfsTelemetryChanged(MSFSTelemetry telemetry);
    void dcsTelemetryChanged(DCSTelemetry telemetry);
    void shturmovikTelemetryChanged(ShturmovikTelemetry telemetry);
    void condor2TelemetryChanged(Condor2Telemetry telemetry);
    void warthunderTelemetryChanged(WarthunderTelemetry telemetry);
    void telemetrySourceChanged(Telemetry::Source source, QString name);
    void telemetryEnded();
    // The aircraft of the current stream touched down: the sink rate just before contact (m/s,
    // positive downwards) and the airspeed at contact (km/h).
    void landed(float verticalSpeed, float airspeed);
    // A game's datagram from another computer was dropped: once per sender and game.
    void remoteTelemetryRefused(QString sender);
    // Every record of every game and of a replay, tagged with its game: what the control loop
    // takes. The per-game signals above carry the same records for those who name the game.
    void telemetryRecordChanged(TelemetryRecord record);
    // Another game sends while `current` streams; it is not heard until that stream ends.
    // Once per game and stream.
    void otherSourceIgnored(Telemetry::Source other, Telemetry::Source current);
    // War Thunder's stream ended and the game is asked on at `address`.
    void warthunderWaiting(QString address);
    void acceptRemoteTelemetryChanged(bool accept);

public slots:
    // Lets the sources run: a first scan at once, then arriving input and the schedules.
    void start();
    void startReplay(const QString& path);
    void stopReplay();
    void pauseReplay(bool paused);
    void seekReplay(qint64 position);
    void setReplayLooping(bool looping);
    // Whether the UDP games' datagrams from other computers count; off until the user allows them.
    // Passed on by acceptRemoteTelemetryChanged to the UDP games' reader.
    void setAcceptRemoteTelemetry(bool accept);
    // A stream of a game read elsewhere (a UDP game at the tick) ended: the sources here may
    // run again.
    void otherStreamEnded();
    // The stick's axes for MSFS to fly by (TelemetrySourceMSFS::sendAxes); nothing while a replay
    // plays or another game is current.
    void sendMsfsAxes(PositionInput axes, bool joystick, bool rudder);

public:
    // Polls, in scan order, every source that may run and is due; then sets the timer again.
    // The worker's timer runs it; tests call it to drive a scan.
    void onTimeout();

private:
    static constexpr int kSlots = Telemetry::SourceCount;

    // Registers a game: its source runs under `index`, and each record it publishes with its
    // own `changed` signal goes out as a TelemetryRecord (and through `named`, when given).
    template <typename S, typename R>
    void addGame(Telemetry::Source index, S* source, void (S::*changed)(R),
                 void (TelemetryThread::*named)(R) = nullptr);
    void adoptSource(TelemetrySource* source, Telemetry::Source index);
    // The arbitration rule: no source runs while a replay plays; otherwise a source runs while no
    // source is current, or while it is the current one.
    bool mayRun(int index) const;
    // Arms the timer for the soonest pollDelay() of the sources that may run; stops it if none has one.
    void schedule();
    // Feeds one published record to the touch-down detector.
    void observeRecord(const Telemetry& record);

    QTimer* timer_;
    bool started_ = false;
    std::unique_ptr<LiveGame> ownLive_;
    LiveGame* live_;
    // The games already said to be ignored during the current stream, by Telemetry::Source bit,
    // and the LiveGame generation that stream began at.
    unsigned ignoredTold_ = 0;
    uint64_t generationTold_ = 0;
    // Indexed by Telemetry::Source; slot 0 is always null.
    TelemetrySource* sources_[kSlots] = {};
    TelemetryReplay* replay_ = nullptr;
    TouchdownDetector touchdown_;
};
