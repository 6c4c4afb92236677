#pragma once

#include "device/deviceopener.h"
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

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <mutex>

#include <hidapi.h>

class CommonTelemetryForceCalculator;
class QSocketNotifier;
class QThread;
class CondorTelemetryForceCalculator;
class DCSTelemetryForceCalculator;
class MSFSTelemetryForceCalculator;
class ShturmovikTelemetryForceCalculator;
class TelemetryThread;
class TickDispatcher;
class WarthunderForceCalculator;

// The control object: every 5 ms it reads the positions of the joystick base and the rudder
// unit, computes the forces of the three axes from the current telemetry record and the
// effect settings, and writes them to both devices. It owns the device handles, its own copy
// of the effect settings, the last record of every telemetry source and the force
// calculators, and it creates the telemetry worker.
//
// Threading: created without parent on the GUI thread, then moved to the control thread;
// start(), the tick and every slot run there, one at a time. Game records are posted by the
// telemetry thread into a locked mailbox that each tick drains, so a stream never wakes the
// loop between ticks; everything else arrives by queued connections with copied arguments.
// The HID calls block the control thread for their duration.
class MainBackgroundThread : public QObject {
    Q_OBJECT

public:
    // How much of the window the user sees, which sets how often the panels hear of positions
    // and records: in front, at display rate; behind another program (the simulator, most of
    // the time), a few times a second; minimized or hidden, not at all.
    enum class PanelView { InFront, Behind, Hidden };
    Q_ENUM(PanelView)

    explicit MainBackgroundThread(QObject* parent = nullptr);

    // Starts the 5 ms loop and the run and ramp clocks. Called once, on the control thread.
    void start();

    // The time base of both clocks, in monotonic milliseconds. Tests replace it to drive the
    // effects and the ramp with chosen times; call before start().
    void setClock(std::function<qint64()> clock) { clock_ = std::move(clock); }

    // At exit: stops the loop and leaves each connected device with a last report of zero
    // force, vibration, spring and dampers, so no stick keeps pushing after the program is gone.
    // Then stops and joins the telemetry and opener threads (one stuck in a call that never
    // returns is left behind after a few seconds). A plain member like start(); the main
    // window invokes it on the control thread.
    void shutDown();
    // Stops the worker threads, whose objects are destroyed on their way out; shutDown() and
    // the destructor run it.
    void stopWorkers();
    // Also closes the devices' handles.
    ~MainBackgroundThread() override;

    // Null once the workers are stopped.
    TelemetryThread* telemetry() const { return telemetry_; }
    DeviceOpener* opener(DeviceOpener::Device device) const { return openers_[device]; }

signals:
    void telemetryChanged(Telemetry telemetry);
    void telemetrySourceChanged(Telemetry::Source source, QString name);
    void telemetryEnded();
    void joystickConnected(uint32_t version);
    void joystickDisconnected();
    void rudderConnected(uint32_t version);
    void rudderDisconnected();
    void positionChanged(PositionInput position);
    // What the devices were sent, at most 60 times a second (the latest tick wins).
    void forcesSent(ForcesSample sample);
    // Every accepted game record with the forces being sent when it arrived, for the recorder.
    void recordReceived(RecordingRow row);

public slots:
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
    // clamped; NaN reads as 100): scales every force, vibration and spring magnitude sent.
    void setMasterGain(double percent);
    // While held, both devices receive all-zero direct-control reports (the first one before
    // this returns, so a blocking call knows the stick has let go); on release the forces ramp
    // in from zero over 2 s. The "Forces off" button and a stop from the terminal use it.
    void setForcesHeld(bool held);

private slots:
    Forces calculateForces(PositionInput position);
    void onTimout();
    uint32_t readJoystickVersion();
    void disconnectJoystick();
    void readJoystickPosition(PositionInput* position, PositionInput* offset);
    void writeJoystickDirectControl(Forces forces);
    void writeJoystickDirectXOverride(DirectXOverrideTypeDef gains);
    uint32_t readRudderVersion();
    void disconnectRudder();
    void readRudderPosition(PositionInput* position, PositionInput* offset);
    void writeRudderDirectControl(Forces forces);
    void writeRudderDirectXOverride(DirectXOverrideTypeDef gains);
    void writeDirectXOverride();

private:
    // One device's link: its handle (null while absent) and the ticks since the last attempt.
    struct DeviceLink {
        hid_device* handle = nullptr;
        int32_t reconnectCounter = 1000;
    };

    uint64_t runElapsed() const;
    qint64 rampElapsed() const;
    // One connection step for an absent device; returns true when it was opened this tick.
    bool connectionStep(DeviceLink& link, DeviceOpener::Device device);
    // Reads report 0x24; on failure drops the device. Returns false when the device was lost.
    bool readPosition(DeviceLink& link, bool joystick, float* positionX, float* positionY, float* offsetX,
                      float* offsetY);
    uint32_t readVersion(hid_device* handle);
    void publishToPanels(const PositionInput& position);
    static bool sameRecord(const Telemetry& a, const Telemetry& b);
    void startTicking();
    void stopTicking();
    void drop(DeviceLink& link, bool joystick);
    void write(hid_device* handle, const unsigned char* bytes);
    void storeRecord(Telemetry::Source source, const Telemetry& common);
    // Hands the records posted since the last drain to their slots, in the order they arrived.
    void drainMailbox();
    // The live force view and the recorder: remembers what a tick sent and publishes it.
    void publishForces(const Forces& sent);
    const Telemetry& drivingRecord() const;

    std::function<qint64()> clock_;
    qint64 runStart_ = -1;
    qint64 rampStart_ = -1;
    // The tick's clock: on Linux a kernel timer (timerfd) whose expiries keep an absolute 5 ms
    // schedule; elsewhere, or should it fail, a precise QTimer.
    QTimer* loopTimer_;
    QSocketNotifier* tickNotifier_ = nullptr;
    TickDispatcher* tickDispatcher_ = nullptr; // the control thread's, while it ticks
    int tickFd_ = -1;
    DeviceLink joystick_;
    DeviceLink rudder_;
    float positionOffset_[3] = {0.0f, 0.0f, 0.0f};
    EffectsSettings settings_;
    bool telemetryOverride_ = false;
    Telemetry::Source currentSource_ = Telemetry::TELEMETRY_SOURCE_NONE;
    Telemetry overrideRecord_;
    MSFSTelemetry msfsRecord_;
    DCSTelemetry dcsRecord_;
    ShturmovikTelemetry shturmovikRecord_;
    WarthunderTelemetry warthunderRecord_;
    Condor2Telemetry condorRecord_;
    CommonTelemetryForceCalculator* commonCalculator_;
    MSFSTelemetryForceCalculator* msfsCalculator_;
    DCSTelemetryForceCalculator* dcsCalculator_;
    ShturmovikTelemetryForceCalculator* shturmovikCalculator_;
    WarthunderForceCalculator* warthunderCalculator_;
    CondorTelemetryForceCalculator* condorCalculator_;
    TelemetryThread* telemetry_;
    QThread* telemetryThread_;
    DeviceOpener* openers_[2];
    QThread* openerThreads_[2];
    // Positions and records reach the window at a tick boundary every few ticks; a record
    // waits here until then and a newer one replaces it.
    int panelTicks_ = 0;
    int panelInterval_; // ticks between updates; 0: none
    bool positionShown_ = false;
    PositionInput shownPosition_;
    bool telemetryPending_ = false;
    Telemetry pendingTelemetry_;
    // What the panel was last sent; cleared when it shows something else (override, stream end).
    bool telemetryShown_ = false;
    Telemetry shownTelemetry_;
    Forces sent_;
    qint64 lastPublished_ = -1;
    float masterGain_ = 1.0f;
    bool forcesHeld_ = false;

    // The latest record of each game since the last drain, and when it arrived (0: none).
    struct Mailbox {
        // The telemetry thread posts while the tick drains; each holds it only to copy records.
        std::mutex mutex;
        uint64_t sequence = 0;
        uint64_t arrival[5] = {};
        MSFSTelemetry msfs;
        DCSTelemetry dcs;
        ShturmovikTelemetry shturmovik;
        WarthunderTelemetry warthunder;
        Condor2Telemetry condor;
    };
    Mailbox mailbox_;
};
