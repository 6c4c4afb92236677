#pragma once

#include "telemetry/telemetryendpoints.h"

#include <QObject>

#include <functional>

class ControlThread;
class MainBackgroundThread;
class ProfileSession;
class RecordingController;
class QTimer;
class TelemetryThread;

// The running program without its window: the control object (the loop, one link per device,
// the telemetry worker, the panels' and recorder's feed), the control thread it runs on and the
// profile session whose edits the loop gets.
// main() creates it after the instance lock and the guardian, hands it to the window, starts
// it and shuts it down after the event loop; tests create engines on free ports, side by side.
// It takes where the games are reached (endpoints) and its time base from its creator.
//
// Threading: created, started and shut down on the GUI thread. The control object lives on the
// control thread from start() on; other threads reach it only by queued calls (connect to
// control(), or invoke). shutDown() blocks until the control thread has joined.
class Engine : public QObject {
    Q_OBJECT

public:
    // `clock`: monotonic milliseconds for the effects and the ramps; the system's when empty.
    explicit Engine(const TelemetryEndpoints& endpoints, std::function<qint64()> clock = {},
                    QObject* parent = nullptr);
    // Shuts down (see shutDown()) if that has not been done yet: no way out leaves a stick
    // pushing.
    ~Engine() override;

    // Moves the control object to the control thread and starts that thread; the loop itself
    // starts once this thread's event loop runs, so what the window sets up before (the master
    // gain) is the loop's from its first tick. An engine shut down before that never starts.
    void start();
    bool isStarted() const { return thread_ != nullptr; }

    // Stops the loop for good, leaves each connected device with its DirectX gains and forces
    // at zero and joins the control, telemetry and device threads. True when every connected
    // device took its zero reports (the guardian may then leave without touching them); once
    // done, later calls only repeat the answer.
    bool shutDown();
    bool isShutDown() const { return control_ == nullptr; }

    // Held, both devices have had an all-zero report when this returns (`waitForZero`) or
    // shortly after, and get nothing else; released, the forces ramp in from zero. Nothing
    // once shut down: the devices are at zero then.
    void setForcesHeld(bool held, bool waitForZero);

    // The control object the window connects to; null once shut down.
    MainBackgroundThread* control() const { return control_; }
    // The telemetry worker (for the override of remote senders, its replay and its notes);
    // null once shut down.
    TelemetryThread* telemetry() const;

    // The profile session (the profile being edited, its unsaved and set-aside state, the
    // automatic selection): its changes reach the loop, cross-faded, from here on. It lives on
    // the GUI thread, with the engine, and outlasts the shut-down.
    ProfileSession& session() const { return *session_; }
    // The recorder and the replay's commands; null once shut down (a recording under way is
    // closed, whole, first).
    RecordingController* recording() const { return recording_; }

private:
    MainBackgroundThread* control_;
    ProfileSession* session_;
    RecordingController* recording_;
    ControlThread* thread_ = nullptr;
    QTimer* startTimer_ = nullptr; // GUI thread; queues the loop's start once the event loop runs
    bool devicesAtZero_ = false;
};
