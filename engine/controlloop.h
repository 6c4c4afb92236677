#pragma once

#include "device/hidreports.h"
#include "forces/centrefollower.h"
#include "forces/condorshaker.h"
#include "forces/forceramp.h"
#include "forces/settingscrossfade.h"
#include "forces/shturmovikshaker.h"
#include "records/directxoverridetypedef.h"
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
class TelemetryMailbox;

// The 5 ms tick: takes the records posted since the last one, reads the positions the device
// links last read, computes the forces of the three axes from the record of the current game
// and the effect settings, ramps and scales them, and hands each link its newest report. It
// holds the settings, the newest game record and the force synthesis; it never calls
// the HID library itself.
//
// What the devices get never jumps of the program's own making: each force is held to the
// device's range first; a settings change cross-fades from the old forces to the new ones over
// 500 ms; a game's stream that starts (or starts again after its time-out) fades in from the
// forces of the record that drove before, over 2 s; the master gain slews; a connect, a release
// of held forces and a stall ramp in from zero. The DirectX override gains follow the same
// cross-fade, ramps, gain and hold, and their report is sent whenever they move.
//
// The tick comes from the control thread (ControlThread), which runs it every period; tests
// call tick() themselves, the same code with chosen periods. A stall of more than 75 ms between
// ticks (a frozen or starved process) or a let-go of the guardian ramps the forces in again.
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

    // Starts the run and ramp clocks and, on a ControlThread, the periodic tick; the first tick
    // is an attempt for both devices.
    void start();
    void stopTicking();
    // One tick; `periods` is how many 5 ms periods have passed since the last one.
    void tick(uint64_t periods = 1);
    // Reads the games read at the tick (the UDP games), first thing in every tick, before the
    // records the telemetry thread posted are taken.
    void setTelemetryPoll(std::function<void()> poll) { telemetryPoll_ = std::move(poll); }
    Forces calculateForces(const PositionInput& position);

    // Every change, sudden or moderate, cross-fades from the forces of the settings before.
    void changeSettings(const EffectsSettings& settings);
    const EffectsSettings& settings() const { return settings_; }
    // The DirectX override reports of the gains as they stand now, to both connected devices,
    // whether or not they changed.
    void sendGains();
    HidReports::Report joystickReport(const Forces& forces) const;
    HidReports::Report rudderReport(const Forces& forces) const;

    void setOverride(bool on);
    void overrideTelemetry(const Telemetry& record);
    // A game's record: from now on it drives the forces, unless the override is in use; the
    // first of a stream fades in from what drove before.
    void accept(const TelemetryRecord& record);
    void land(float verticalSpeed, float airspeed);
    // The current game's stream has ended: its next record starts a stream again, and the
    // stick's centre glides home from where it was.
    void endStream();

    // Whether the stick's axes go to MSFS (msfsAxes) while its stream is live and the autopilot
    // is off.
    void setSendMsfsAxes(bool send) { sendMsfsAxes_ = send; }
    // Where the centre of an axis's position-driven effects is now, in full deflections.
    float centre(int axis) const { return centre_.centre(axis); }

signals:
    // About 60 times a second while MSFS flies by the stick: each present device's position
    // minus the centre, in full deflections.
    void msfsAxes(PositionInput axes, bool joystick, bool rudder);

public:
    void setMasterGain(double percent);
    // Held: zero reports and the DirectX gains at zero from now on, the first written before
    // this returns (at most 30 ms, never waiting on a device that is stuck); released: the
    // forces ramp in and the gains are given again.
    void setForcesHeld(bool held);
    // At exit: both devices get the gains at zero and the all-zero report at once; waits for
    // them until `deadlineMs`. True when every connected device has taken them.
    bool zeroDevices(qint64 deadlineMs);

private:
    const Telemetry& drivingRecord() const;
    // Moves the centres one tick towards the trims (or the autopilot's controls) and makes them
    // the position offset of the synthesis and the reports.
    void followCentre(qint64 now);
    void sendMsfsAxesIfDue(qint64 now, const PositionInput& position, const bool present[2]);
    // MSFS's own record while it drives the forces, else null.
    const MSFSTelemetry* drivingMsfs() const;
    // Before a game's record is stored: a stream that starts fades in from what drove before.
    void beginRecord(Telemetry::Source source);
    // The synthesis with the given settings, from the driving record or, given one, from
    // `record` through the common effects alone; the force clamped as calculateForces does.
    Forces calculateForces(const PositionInput& position, const EffectsSettings& settings,
                           const Telemetry* record);
    // The same with spring magnitude and vibration held to the device's range too, before any
    // ramp, fade or gain scales them, so that those scale what the stick feels.
    Forces synthesize(const PositionInput& position, const EffectsSettings& settings,
                      const Telemetry* record = nullptr);
    // What the tick sends before ramps, gain and hold: cross-faded and faded in.
    Forces fadedForces(const PositionInput& position, qint64 now);
    // The DirectX gains of device `d` as they stand at `now`: cross-faded, ramped, scaled by
    // the master gain, zero while held.
    DirectXOverrideTypeDef gains(int d, qint64 now) const;
    // `step`: the gains moved on since the last report (a ramp, a fade, a slew); a step the
    // device has not taken yet is replaced.
    void sendGains(int d, const DirectXOverrideTypeDef& gains, bool step = false);

    std::function<qint64()> clock_;
    std::function<void()> telemetryPoll_;
    qint64 runStart_ = -1;
    ForceRamp ramp_;          // start, release of held forces, stalls
    ForceRamp deviceRamp_[2]; // each device's own, from the tick it was opened
    ForceRamp streamRamp_;    // a game's stream starting; fades from `streamFrom_`
    Telemetry streamFrom_;    // the record that drove the forces before the stream
    SettingsCrossFade fade_;
    DirectXOverrideTypeDef sentGains_[2];
    bool gainsSent_[2] = {false, false}; // since the device was opened
    ControlThread* ticking_ = nullptr;   // the thread that runs the tick, once started there
    DeviceLink* links_[2];
    PanelFeed* feed_;
    TelemetryMailbox* mailbox_;
    float positionOffset_[3] = {0.0f, 0.0f, 0.0f}; // minus the centre of each axis
    CentreFollower centre_;
    bool streamLive_ = false; // a game's records are coming; false from its end on
    bool sendMsfsAxes_ = false;
    double nextAxesAt_ = 0.0; // ms of the clock: when the next axis events are due
    EffectsSettings settings_;
    bool telemetryOverride_ = false;
    Telemetry::Source currentSource_ = Telemetry::TELEMETRY_SOURCE_NONE;
    Telemetry overrideRecord_;
    // The newest game record; it drives the forces while currentSource_ is its game.
    TelemetryRecord record_;
    CommonTelemetryForceCalculator* commonCalculator_;
    ShturmovikShaker shturmovikShaker_;
    CondorShaker condorShaker_;
    GainSlew masterGain_;
    bool forcesHeld_ = false;
    uint64_t letGos_ = 0; // the guardian's let-gos the forces last ramped in after
};
