#include "engine/controlloop.h"

#include "device/devicelink.h"
#include "engine/controlthread.h"
#include "engine/panelfeed.h"
#include "engine/telemetrymailbox.h"
#include "forces/commontelemetryforcecalculator.h"
#include "guardian/heartbeat.h"
#include "records/logcategories.h"

#include <QThread>

#include <algorithm>
#include <cmath>

namespace {

constexpr int PeriodMs = 5;
// More than this many periods between two ticks (75 ms) is a stall: the hand may have moved.
// Below the guardian's 100 ms of silence; a stop it let go in is told by its let-go count too.
// Not lower: a loaded machine would restart the 2 s ramp at every hiccup.
constexpr uint64_t StallPeriods = 15;
// How long a hold waits for the devices to have taken the zero report (well below the
// guardian's silence limit, as no tick runs meanwhile), and how long a device must have been
// inside one call to count as stuck and not be waited for.
constexpr qint64 HoldWaitMs = 30;
constexpr qint64 StuckMs = 20;
// MSFS hears the stick's axes at 60 Hz, the rate it draws frames at in most flights.
constexpr double AxesPeriodMs = 1000.0 / 60.0;

} // namespace

ControlLoop::ControlLoop(DeviceLink* joystick, DeviceLink* rudder, PanelFeed* feed, TelemetryMailbox* mailbox,
                         QObject* parent)
    : QObject(parent), clock_(&DeviceLink::monotonicMs), links_{joystick, rudder}, feed_(feed),
      mailbox_(mailbox), commonCalculator_(new CommonTelemetryForceCalculator(this)) {}

void ControlLoop::start() {
    // The program's control thread runs the tick every period; on any other thread (a test's)
    // the tick runs only when called, with the same code.
    if (auto* control = qobject_cast<ControlThread*>(thread());
        control && control->attachTick(PeriodMs, [this](uint64_t periods) { tick(periods); })) {
        ticking_ = control;
    }
    runStart_ = clock_();
    ramp_.restart(runStart_);
    for (DeviceLink* link : links_) {
        link->requestOpen();
    }
}

void ControlLoop::stopTicking() {
    if (ticking_ && QThread::currentThread() == ticking_) {
        ticking_->detachTick();
    }
    ticking_ = nullptr;
}

void ControlLoop::tick(uint64_t periods) {
    Heartbeat::beat();
    const qint64 now = clock_();
    // After a stall or a let-go of the guardian (which zeroed the forces and the game's gains)
    // the forces ramp in and the gains are given again.
    const uint64_t letGos = Heartbeat::letGos();
    if (periods > StallPeriods || letGos != letGos_) {
        letGos_ = letGos;
        if (periods > StallPeriods) {
            qCWarning(lcControlLoop) << "The loop stalled for" << periods * 5
                                     << "ms; the forces ramp in again";
        }
        ramp_.restart(now);
        if (!forcesHeld_) {
            sendGains();
        }
    }
    if (telemetryPoll_) {
        telemetryPoll_();
    }
    mailbox_->drain([this](const auto& record) { accept(record); });

    // Each link's latest read; a device opened this tick is not read yet and counts as centred.
    PositionInput position;
    bool present[2];
    for (int d = 0; d < 2; ++d) {
        const DeviceLink::State state = links_[d]->step();
        present[d] = state != DeviceLink::State::Absent;
        if (state == DeviceLink::State::Opened) {
            // The forces and the game's own effects rise from zero, whatever the other device
            // is doing; whatever gains the device held, its first override report is this tick's.
            deviceRamp_[d].restart(now);
            gainsSent_[d] = false;
        } else if (state == DeviceLink::State::Connected) {
            const HidReports::DevicePosition p = links_[d]->position();
            if (d == 0) {
                position.roll = p.positionX - p.offsetX;
                position.pitch = p.positionY - p.offsetY;
            } else {
                position.yaw = p.positionX - p.offsetX;
            }
        }
    }
    feed_->tick(position);

    followCentre(now);
    const float gain = masterGain_.advance(now);
    const Forces forces = fadedForces(position, now);
    // Each device's forces: ramped by the loop's ramp and its own, scaled by the master gain.
    Forces device[2] = {forces, forces};
    for (int d = 0; d < 2; ++d) {
        const float t = combinedRamp(ramp_, deviceRamp_[d], now);
        if (t < 1.0f) {
            device[d].scale(t);
        }
        if (forcesHeld_) {
            device[d] = Forces();
        } else if (gain < 1.0f) {
            device[d].scale(gain);
        }
    }
    // An absent device costs the tick nothing: its report is not even built. The gains go
    // first, so that the game's effects and the forces of one tick arrive together.
    for (int d = 0; d < 2; ++d) {
        if (!present[d]) {
            continue;
        }
        const DirectXOverrideTypeDef g = gains(d, now);
        if (!gainsSent_[d] || !sameGains(g, sentGains_[d])) {
            sendGains(d, g, gainsSent_[d]);
        }
        if (forcesHeld_) {
            links_[d]->sendForces(links_[d]->zeroReport());
        } else {
            links_[d]->sendForces(d == 0 ? joystickReport(device[0]) : rudderReport(device[1]));
        }
    }
    Forces sent = device[0];
    sent.axis[2] = device[1].axis[2];
    const float centres[3] = {centre_.centre(0), centre_.centre(1), centre_.centre(2)};
    feed_->setCentres(centres);
    feed_->sent(now, sent, drivingRecord());
    sendMsfsAxesIfDue(now, position, present);
}

void ControlLoop::followCentre(qint64 now) {
    const Telemetry& record = drivingRecord();
    const bool live =
        telemetryOverride_ || (currentSource_ != Telemetry::TELEMETRY_SOURCE_NONE && streamLive_);
    // Under MSFS's autopilot the stick shows the controls it sets, not the trims.
    const MSFSTelemetry* msfs = drivingMsfs();
    const bool autopilot = msfs && msfs->autopilotMaster;
    const float trims[3] = {record.trimmerRoll, record.trimmerPitch, record.trimmerYaw};
    const float controls[3] = {autopilot ? msfs->aileronPosition * 100.0f : 0.0f,
                               autopilot ? msfs->elevatorPosition * 100.0f : 0.0f,
                               autopilot ? msfs->rudderPosition * 100.0f : 0.0f};
    bool following[3];
    float goal[3];
    for (int axis = 0; axis < 3; ++axis) {
        const SimpleEffectSettings& s = settings_.axes[axis].trim_following;
        following[axis] = s.active && live;
        goal[axis] = CentreFollower::goal(autopilot ? controls[axis] : trims[axis], s.total_effect_strength);
    }
    centre_.step(static_cast<uint64_t>(std::max<qint64>(now, 0)), following, goal);
    for (int axis = 0; axis < 3; ++axis) {
        // 0 - c rather than -c: a centred axis sends +0.0, the same bytes as before.
        positionOffset_[axis] = 0.0f - centre_.centre(axis);
    }
}

void ControlLoop::sendMsfsAxesIfDue(qint64 now, const PositionInput& position, const bool present[2]) {
    const MSFSTelemetry* msfs = drivingMsfs();
    const bool flying = sendMsfsAxes_ && !telemetryOverride_ && streamLive_ && msfs &&
                        !msfs->autopilotMaster && (present[0] || present[1]);
    const double t = static_cast<double>(now);
    if (!flying) {
        nextAxesAt_ = t; // the first events go out at once when flying begins
        return;
    }
    if (t < nextAxesAt_) {
        return;
    }
    // On the 60 Hz grid while ticks keep up; after a stall the grid starts again from now.
    nextAxesAt_ = t - nextAxesAt_ > AxesPeriodMs ? t + AxesPeriodMs : nextAxesAt_ + AxesPeriodMs;
    PositionInput axes;
    axes.roll = position.roll + positionOffset_[0];
    axes.pitch = position.pitch + positionOffset_[1];
    axes.yaw = position.yaw + positionOffset_[2];
    emit msfsAxes(axes, present[0], present[1]);
}

Forces ControlLoop::fadedForces(const PositionInput& position, qint64 now) {
    Forces forces = synthesize(position, settings_);
    fade_.expire(now);
    if (fade_.isFading()) {
        forces.scale(fade_.currentShare(now));
        for (int i = 0; i < fade_.size(); ++i) {
            addWeighted(forces, synthesize(position, fade_.settings(i)), fade_.share(i, now));
        }
    }
    const float s = streamRamp_.factor(now);
    if (s < 1.0f) {
        forces = blendForces(synthesize(position, settings_, &streamFrom_), forces, s);
    }
    return forces;
}

DirectXOverrideTypeDef ControlLoop::gains(int d, qint64 now) const {
    if (forcesHeld_) {
        return DirectXOverrideTypeDef();
    }
    const auto of = [d](const EffectsSettings& s) {
        return d == 0 ? HidReports::joystickDirectXOverride(s) : HidReports::rudderDirectXOverride(s);
    };
    DirectXOverrideTypeDef g = of(settings_);
    if (fade_.isFading()) {
        g = scaledGains(g, fade_.currentShare(now));
        for (int i = 0; i < fade_.size(); ++i) {
            addWeighted(g, of(fade_.settings(i)), fade_.share(i, now));
        }
    }
    const float t = combinedRamp(ramp_, deviceRamp_[d], now) * masterGain_.value();
    return t < 1.0f ? scaledGains(g, t) : g;
}

void ControlLoop::sendGains(int d, const DirectXOverrideTypeDef& gains, bool step) {
    links_[d]->sendGains(HidReports::directXOverride(gains), step);
    sentGains_[d] = gains;
    gainsSent_[d] = true;
}

HidReports::Report ControlLoop::joystickReport(const Forces& forces) const {
    return HidReports::joystickDirectControl(forces, positionOffset_, settings_);
}

HidReports::Report ControlLoop::rudderReport(const Forces& forces) const {
    return HidReports::rudderDirectControl(forces, positionOffset_, settings_);
}

Forces ControlLoop::calculateForces(const PositionInput& position) {
    return calculateForces(position, settings_, nullptr);
}

Forces ControlLoop::calculateForces(const PositionInput& position, const EffectsSettings& settings,
                                    const Telemetry* record) {
    const uint64_t now = runStart_ < 0 ? 0 : static_cast<uint64_t>(clock_() - runStart_);
    Forces forces;
    for (int axis = 0; axis < 3; ++axis) {
        AxisForce& f = forces.axis[axis];
        const float p = position.axis(axis) + positionOffset_[axis];
        if (record) {
            // A fading stream's record: the common effects alone.
            commonCalculator_->calculateAxis(f, axis, now, p, *record, settings);
        } else {
            // The game's record, or with no live game (or the override in use) the hand-set one.
            commonCalculator_->calculateAxis(f, axis, now, p, drivingRecord(), settings);
        }
        clampForce(f);
    }
    // The games' own shaking, from what only their records carry.
    if (currentSource_ != Telemetry::TELEMETRY_SOURCE_NONE && currentSource_ == record_.source) {
        if (const auto* il2 = record_.as<ShturmovikTelemetry>()) {
            shturmovikShaker_.addTo(forces, now, *il2, settings);
        } else if (const auto* condor = record_.as<Condor2Telemetry>()) {
            condorShaker_.addTo(forces, now, *condor, settings);
        }
    }
    return forces;
}

Forces ControlLoop::synthesize(const PositionInput& position, const EffectsSettings& settings,
                               const Telemetry* record) {
    // Another synthesis at the same instant leaves the oscillators where the first left them,
    // so the settings in force go first and the fading ones only read the shakers' phases.
    Forces forces = calculateForces(position, settings, record);
    boundForces(forces, HidReports::ForceLimit);
    return forces;
}

void ControlLoop::changeSettings(const EffectsSettings& settings) {
    if (runStart_ >= 0) {
        fade_.change(settings_, clock_());
    }
    settings_ = settings;
    sendGains();
}

void ControlLoop::sendGains() {
    const qint64 now = clock_();
    for (int d = 0; d < 2; ++d) {
        if (links_[d]->isConnected()) {
            sendGains(d, gains(d, now));
        }
    }
}

void ControlLoop::setOverride(bool on) {
    telemetryOverride_ = on;
    if (!on) {
        // The game's next record takes over from the hand-set one as a stream that starts.
        streamLive_ = false;
    }
    // The panel shows the hand-set record meanwhile; the next game record is shown whatever it is.
    feed_->forgetShown();
}

void ControlLoop::overrideTelemetry(const Telemetry& record) {
    if (!telemetryOverride_) {
        return;
    }
    currentSource_ = Telemetry::TELEMETRY_SOURCE_NONE;
    overrideRecord_ = record;
}

void ControlLoop::beginRecord(Telemetry::Source source) {
    if (streamLive_ && source == currentSource_) {
        return;
    }
    streamLive_ = true;
    if (runStart_ >= 0) {
        // What drove the forces until now (the stream's all-zero last record after a time-out,
        // the hand-set record) is where the fade starts.
        streamFrom_ = drivingRecord();
        streamRamp_.restart(clock_());
    }
}

void ControlLoop::endStream() {
    streamLive_ = false;
}

void ControlLoop::accept(const TelemetryRecord& record) {
    if (telemetryOverride_) {
        return;
    }
    beginRecord(record.source);
    record_ = record;
    currentSource_ = record.source;
    streamLive_ = true;
    feed_->offerRecord(clock_(), record.source, record.flight());
}

const Telemetry& ControlLoop::drivingRecord() const {
    if (currentSource_ == Telemetry::TELEMETRY_SOURCE_NONE || currentSource_ != record_.source) {
        return overrideRecord_;
    }
    return record_.flight();
}

const MSFSTelemetry* ControlLoop::drivingMsfs() const {
    if (currentSource_ != Telemetry::TELEMETRY_SOURCE_MSFS || currentSource_ != record_.source) {
        return nullptr;
    }
    return record_.as<MSFSTelemetry>();
}

void ControlLoop::land(float verticalSpeed, float airspeed) {
    LandingEvent event;
    event.time = runStart_ < 0 ? 0 : static_cast<uint64_t>(clock_() - runStart_);
    event.airspeed = airspeed;
    event.verticalSpeed = verticalSpeed;
    commonCalculator_->land(event, settings_);
}

void ControlLoop::setMasterGain(double percent) {
    if (std::isnan(percent)) {
        percent = 100.0;
    }
    const float gain = static_cast<float>(std::clamp(percent, 0.0, 100.0) / 100.0);
    if (runStart_ < 0) {
        masterGain_.jumpTo(gain);
    } else {
        masterGain_.setTarget(gain);
    }
}

void ControlLoop::setForcesHeld(bool held) {
    if (held == forcesHeld_) {
        return;
    }
    forcesHeld_ = held;
    qCInfo(lcControlLoop) << (held ? "Forces held at zero" : "Forces released; they ramp in");
    if (!held) {
        ramp_.restart(clock_());
        sendGains();
        return;
    }
    const qint64 deadline = DeviceLink::monotonicMs() + HoldWaitMs;
    uint64_t sequence[2];
    bool stuck[2];
    for (int d = 0; d < 2; ++d) {
        stuck[d] = links_[d]->isStalled(StuckMs);
        // The game's own effects go too, written before the zero forces.
        if (links_[d]->isConnected()) {
            sendGains(d, DirectXOverrideTypeDef());
        }
        sequence[d] = links_[d]->sendZero();
    }
    for (int d = 0; d < 2; ++d) {
        if (!stuck[d]) {
            links_[d]->waitWritten(sequence[d], deadline);
        }
    }
}

bool ControlLoop::zeroDevices(qint64 deadlineMs) {
    uint64_t sequence[2];
    for (int d = 0; d < 2; ++d) {
        sequence[d] = links_[d]->sendZero();
    }
    bool confirmed = true;
    for (int d = 0; d < 2; ++d) {
        if (!links_[d]->waitWritten(sequence[d], deadlineMs)) {
            confirmed = false;
            qCWarning(lcControlLoop) << (d == 0 ? "Joystick base" : "Rudder unit")
                                     << "did not take its last zero report";
        }
    }
    return confirmed;
}
