#pragma once

#include "device/devicelink.h"
#include "engine/telemetrymailbox.h"
#include "records/condor2telemetry.h"
#include "records/dcstelemetry.h"
#include "records/directxoverridetypedef.h"
#include "records/effectssettings.h"
#include "records/forces.h"
#include "records/forcessample.h"
#include "records/msfstelemetry.h"
#include "records/positioninput.h"
#include "records/recordingrow.h"
#include "records/shturmoviktelemetry.h"
#include "records/telemetry.h"
#include "records/warthundertelemetry.h"
#include "telemetry/livegame.h"
#include "telemetry/telemetryendpoints.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>

class ControlLoop;
class PanelFeed;
class QThread;
class TelemetryThread;
class UdpTelemetry;

// The control object the window talks to: every 5 ms the joystick base and the rudder unit get
// forces computed from the current game's record and the effect settings. It is a façade over
// the parts that do the work: the control loop (tick, ramps, calculators), one link per device
// (each with its own I/O thread), the mailbox the telemetry thread posts game records into, the
// UDP games read at the tick, and the feed of the panels and the recorder. It also creates the
// telemetry worker, on the endpoints its creator gives it. The Engine creates it, moves it to the control
// thread and shuts it down; tests create it on their own thread on free ports and drive tick() by hand.
//
// Threading: created without parent on the GUI thread, then moved to the control thread;
// start(), the tick and every slot run there, one at a time, and none of them waits for a
// device. joystickDisconnected() and rudderDisconnected() are emitted on the device's I/O
// thread, every other signal on the control thread; other threads connect queued.
class MainBackgroundThread : public QObject {
    Q_OBJECT

public:
    // How much of the window the user sees, which sets how often the panels hear of positions
    // and records: in front, at display rate; behind another program (the simulator, most of
    // the time), a few times a second; minimized or hidden, not at all.
    enum class PanelView { InFront, Behind, Hidden };
    Q_ENUM(PanelView)

    // `endpoints`: where the telemetry worker listens for the games and asks them; `clock`: the
    // time base of the effects and the ramps (monotonic milliseconds when empty).
    explicit MainBackgroundThread(const TelemetryEndpoints& endpoints, std::function<qint64()> clock = {},
                                  QObject* parent = nullptr);

    // Starts the run and ramp clocks and, on the control thread (ControlThread), the 5 ms tick.
    // Called once, on the thread the object lives on.
    void start();
    // One period of the loop: exactly what the control thread runs every 5 ms, given how many
    // periods passed since the last one. For tests, which drive the loop from their own thread.
    void tick(uint64_t periods = 1);
    // The forces of the three axes for `position` from the current record and settings, before
    // ramps and gain, as the tick computes them.
    Forces calculateForces(const PositionInput& position);

    // The time base of the effects and the ramps, in monotonic milliseconds. Tests replace it
    // to drive them with chosen times; call before start().
    void setClock(std::function<qint64()> clock);

    // At exit: stops the loop and leaves each connected device with the DirectX gains at zero
    // and a last report of zero force, vibration, spring and dampers, so no stick keeps pushing
    // after the program is gone. A device that does not take them within a second is given up
    // on: false then, and the guardian must let go of it. Then stops the worker threads. A plain
    // member like start(); the Engine invokes it on the control thread.
    bool shutDown();
    // Stops the telemetry and device threads (one stuck in a call that never returns is left
    // behind after a bounded wait); shutDown() and the destructor run it.
    void stopWorkers();
    ~MainBackgroundThread() override;

    // Null once the workers are stopped.
    TelemetryThread* telemetry() const { return telemetry_; }
    // The UDP games, read at every tick on the control thread.
    UdpTelemetry* udpTelemetry() const { return udp_; }
    DeviceLink* link(DeviceLink::Device device) const { return links_[device]; }
    // What the panels hear of the loop beyond this object's own signals (the axes' centres).
    PanelFeed* panelFeed() const { return feed_; }

signals:
    void telemetryChanged(Telemetry telemetry);
    void telemetrySourceChanged(Telemetry::Source source, QString name);
    void telemetryEnded();
    void joystickConnected(uint32_t version);
    void joystickDisconnected();
    void rudderConnected(uint32_t version);
    void rudderDisconnected();
    void positionChanged(PositionInput position);
    // What the devices were sent, at most 20 times a second (the latest tick wins).
    void forcesSent(ForcesSample sample);
    // Every accepted game record with the forces being sent when it arrived, for the recorder.
    void recordReceived(RecordingRow row);
    // A connected device stopped taking reports for more than about 100 ms, or takes them again.
    void joystickResponding(bool responding);
    void rudderResponding(bool responding);

public slots:
    // Either change cross-fades from the forces and DirectX gains of the settings before to
    // those of the new ones over 500 ms, and writes the DirectX override report at once.
    void changeSettingsSuddenly(EffectsSettings settings);
    void changeSettingsModerately(EffectsSettings settings);
    void enableTelemetryOverride();
    void disableTelemetryOverride();
    void overrideTelemetry(Telemetry telemetry);
    void setMsfsTelemetry(MSFSTelemetry telemetry);
    void setDcsTelemetry(DCSTelemetry telemetry);
    void setShturmovikTelemetry(ShturmovikTelemetry telemetry);
    void setWarthunderTelemetry(WarthunderTelemetry telemetry);
    void setCondor2Telemetry(Condor2Telemetry telemetry);
    void setLanded(float verticalSpeed, float airspeed);
    // A view that shows more than before hears of the latest at the next tick.
    void setPanelView(MainBackgroundThread::PanelView view);
    // The pilot's master gain in percent (0..100, out-of-range and non-finite values are
    // clamped; NaN reads as 100): scales every force, vibration and spring magnitude sent and
    // the DirectX gains. Once the loop runs, a change slews at most full scale per 500 ms.
    void setMasterGain(double percent);
    // While held, both devices receive all-zero direct-control reports and DirectX gains of
    // zero (the first ones before this returns, so a blocking call knows the stick has let go;
    // at most 30 ms, and never waiting on a device stuck in a call); on release the forces and
    // the gains ramp in from zero over 2 s. The "Forces off" button and a stop from the
    // terminal use it.
    void setForcesHeld(bool held);
    // "Send the stick's axes to MSFS": while on, MSFS's stream is live and its autopilot is off,
    // the stick's position minus the trim goes to MSFS as its axes, about 60 times a second.
    void setSendMsfsAxes(bool send);

private:
    void stopWorkers(qint64 deadlineMs);

    DeviceLink* links_[2];
    PanelFeed* feed_;
    TelemetryMailbox mailbox_;
    // Which game flies, shared by the telemetry thread and the tick; left to a telemetry
    // thread that could not be joined, which may still read it.
    std::unique_ptr<LiveGame> liveGame_;
    ControlLoop* loop_;
    UdpTelemetry* udp_;
    TelemetryThread* telemetry_;
    QThread* telemetryThread_;
};
