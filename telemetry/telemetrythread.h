#pragma once

#include "records/condor2telemetry.h"
#include "records/dcstelemetry.h"
#include "records/msfstelemetry.h"
#include "records/positioninput.h"
#include "records/shturmoviktelemetry.h"
#include "records/telemetry.h"
#include "records/warthundertelemetry.h"
#include "telemetry/telemetryendpoints.h"
#include "telemetry/telemetrysource.h"

#include <QObject>
#include <QString>
#include <QTimer>

class TelemetryReplay;

// The telemetry worker: owns one source per game and runs each when its input arrives or its own
// schedule falls due (see TelemetrySource), lets the first source with data become current
// (while its stream lasts no other source runs) and re-emits every record to the control loop
// as it comes. Nothing wakes the thread but arriving input and the sources' schedules. A replay
// of a recording speaks through the same signals; while it runs, no game runs.
//
// Threading: created without parent on the GUI thread by MainBackgroundThread, then moved to
// a thread of its own; start() and everything after run on that thread. The control loop takes
// its record signals directly, on this thread, into a locked mailbox; the others reach the loop
// by queued connections.
class TelemetryThread : public QObject {
    Q_OBJECT

public:
    // Listens on the games' own ports and address.
    explicit TelemetryThread(QObject* parent = nullptr);
    // Listens where the endpoints say; tests use it to run the worker on free ports.
    TelemetryThread(const TelemetryEndpoints& endpoints, QObject* parent = nullptr);

    Telemetry::Source currentSource() const { return currentSource_; }
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
    // Part of the interface the control loop connects; no source raises it.
    void landed(float verticalSpeed, float airspeed);
    // A game's datagram from another computer was dropped: once per sender and game.
    void remoteTelemetryRefused(QString sender);

public slots:
    // Lets the sources run: a first scan at once, then arriving input and the schedules.
    void start();
    void startReplay(const QString& path);
    void stopReplay();
    void pauseReplay(bool paused);
    void seekReplay(qint64 position);
    void setReplayLooping(bool looping);
    // Whether the UDP games' datagrams from other computers count; off until the user allows them.
    void setAcceptRemoteTelemetry(bool accept);
    // The stick's axes for MSFS to fly by (TelemetrySourceMSFS::sendAxes); nothing while a replay
    // plays or another game is current.
    void sendMsfsAxes(PositionInput axes, bool joystick, bool rudder);

private slots:
    // Polls, in scan order, every source that may run and is due; then sets the timer again.
    void onTimeout();

private:
    static constexpr int kSlots = 6;

    void adoptSource(TelemetrySource* source, Telemetry::Source index);
    // The arbitration rule: no source runs while a replay plays; otherwise a source runs while no
    // source is current, or while it is the current one.
    bool mayRun(int index) const;
    // Arms the timer for the soonest pollDelay() of the sources that may run; stops it if none has one.
    void schedule();

    QTimer* timer_;
    bool started_ = false;
    Telemetry::Source currentSource_ = Telemetry::TELEMETRY_SOURCE_NONE;
    // Indexed by Telemetry::Source; slot 0 is always null.
    TelemetrySource* sources_[kSlots] = {};
    TelemetryReplay* replay_ = nullptr;
};
