#pragma once

#include "device/hidreports.h"
#include "forces/condorshaker.h"
#include "forces/forceramp.h"
#include "forces/shturmovikshaker.h"
#include "records/effectssettings.h"
#include "records/forces.h"
#include "records/positioninput.h"
#include "records/telemetry.h"
#include "records/telemetryrecord.h"

#include <QObject>

#include <cstdint>
#include <functional>

class CommonTelemetryForceCalculator;
class ControlThread;
class DeviceLink;
class PanelFeed;
class QSocketNotifier;
class QTimer;
class TelemetryMailbox;

// The 5 ms tick: takes the records posted since the last one, reads the positions the device
// links last read, computes the forces of the three axes from the record of the current game
// and the effect settings, ramps and scales them, and hands each link its newest report. It
// holds the settings, the newest game record and the force synthesis; it never calls
// the HID library itself.
//
// The tick comes from a periodic kernel timer (timerfd), polled by the control thread itself
// (ControlThread) or read through a socket notifier of any other thread's event loop, or from
// a precise QTimer where there is no such timer. A stall of more
// than 100 ms between ticks (a frozen or starved process) ramps the forces in again.
//
// Threading: lives on the control thread; every member runs there, one at a time.
class ControlLoop : public QObject {
    Q_OBJECT

public:
    ControlLoop(DeviceLink* joystick, DeviceLink* rudder, PanelFeed* feed, TelemetryMailbox* mailbox,
                QObject* parent = nullptr);

    // The time base of the effects and the ramps, in monotonic milliseconds; tests replace it.
    void setClock(std::function<qint64()> clock) { clock_ = std::move(clock); }
    qint64 now() const { return clock_(); }

    // Starts the run and ramp clocks and the tick; the first tick is an attempt for both devices.
    void start();
    void stopTicking();
    // One tick; `periods` is how many 5 ms periods have passed since the last one.
    void tick(uint64_t periods = 1);
    Forces calculateForces(const PositionInput& position);

    void changeSettings(const EffectsSettings& settings, bool sudden);
    const EffectsSettings& settings() const { return settings_; }
    // The DirectX override reports of the current settings, to both connected devices.
    void sendGains();
    HidReports::Report joystickReport(const Forces& forces) const;
    HidReports::Report rudderReport(const Forces& forces) const;

    void setOverride(bool on);
    void overrideTelemetry(const Telemetry& record);
    // A game's record: from now on it drives the forces, unless the override is in use.
    void accept(const TelemetryRecord& record);
    void land(float verticalSpeed, float airspeed);

    void setMasterGain(double percent);
    // Held: zero reports from now on, the first written before this returns (at most 100 ms,
    // never waiting on a device that is stuck); released: the forces ramp in.
    void setForcesHeld(bool held);
    // At exit: both devices get the all-zero report at once; waits for them until `deadlineMs`.
    void zeroDevices(qint64 deadlineMs);

private:
    const Telemetry& drivingRecord() const;

    std::function<qint64()> clock_;
    qint64 runStart_ = -1;
    ForceRamp ramp_;          // start, sudden changes, release of held forces, stalls
    ForceRamp deviceRamp_[2]; // each device's own, from the tick it was opened
    QTimer* timer_;
    QSocketNotifier* tickNotifier_ = nullptr;
    ControlThread* pollThread_ = nullptr; // the thread that polls the timer, when it does
    int tickFd_ = -1;
    qint64 lastTimeout_ = -1; // the QTimer's, to tell a stall where the kernel timer is missing
    DeviceLink* links_[2];
    PanelFeed* feed_;
    TelemetryMailbox* mailbox_;
    float positionOffset_[3] = {0.0f, 0.0f, 0.0f};
    EffectsSettings settings_;
    bool telemetryOverride_ = false;
    Telemetry::Source currentSource_ = Telemetry::TELEMETRY_SOURCE_NONE;
    Telemetry overrideRecord_;
    // The newest game record; it drives the forces while currentSource_ is its game.
    TelemetryRecord record_;
    CommonTelemetryForceCalculator* commonCalculator_;
    ShturmovikShaker shturmovikShaker_;
    CondorShaker condorShaker_;
    float masterGain_ = 1.0f;
    bool forcesHeld_ = false;
};
