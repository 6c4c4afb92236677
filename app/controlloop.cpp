#include "app/controlloop.h"

#include "app/controlthread.h"
#include "app/heartbeat.h"
#include "app/panelfeed.h"
#include "app/telemetrymailbox.h"
#include "device/devicelink.h"
#include "forces/commontelemetryforcecalculator.h"
#include "forces/condortelemetryforcecalculator.h"
#include "forces/dcstelemetryforcecalculator.h"
#include "forces/msfstelemetryforcecalculator.h"
#include "forces/shturmoviktelemetryforcecalculator.h"
#include "forces/warthunderforcecalculator.h"
#include "records/logcategories.h"

#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cmath>

#ifdef Q_OS_LINUX
#include <sys/timerfd.h>
#include <unistd.h>
#endif

namespace {

constexpr int PeriodMs = 5;
// More than this many periods between two ticks (100 ms) is a stall: the hand may have moved.
constexpr uint64_t StallPeriods = 20;
// How long a hold waits for the devices to have taken the zero report, and how long a device
// must have been inside one call to count as stuck and not be waited for.
constexpr qint64 HoldWaitMs = 100;
constexpr qint64 StuckMs = 20;

} // namespace

ControlLoop::ControlLoop(DeviceLink* joystick, DeviceLink* rudder, PanelFeed* feed, TelemetryMailbox* mailbox,
                         QObject* parent)
    : QObject(parent), clock_(&DeviceLink::monotonicMs), timer_(new QTimer(this)), links_{joystick, rudder},
      feed_(feed), mailbox_(mailbox), commonCalculator_(new CommonTelemetryForceCalculator(this)),
      msfsCalculator_(new MSFSTelemetryForceCalculator(this)),
      dcsCalculator_(new DCSTelemetryForceCalculator(this)),
      shturmovikCalculator_(new ShturmovikTelemetryForceCalculator(this)),
      warthunderCalculator_(new WarthunderForceCalculator(this)),
      condorCalculator_(new CondorTelemetryForceCalculator(this)) {
    // A coarse timer may fire up to 5 % late; even a precise one drifts by a tenth of a
    // millisecond a tick where Qt has no kernel timer under it.
    timer_->setTimerType(Qt::PreciseTimer);
    connect(timer_, &QTimer::timeout, this, [this] {
        const qint64 now = DeviceLink::monotonicMs();
        const qint64 gap = lastTimeout_ < 0 ? PeriodMs : now - lastTimeout_;
        lastTimeout_ = now;
        tick(static_cast<uint64_t>(std::max<qint64>(gap / PeriodMs, 1)));
    });
}

void ControlLoop::start() {
#ifdef Q_OS_LINUX
    // The kernel re-arms a periodic timerfd from its own schedule, never from the moment it was
    // read, so a late wake-up does not move the next tick; its count of expiries tells a stall.
    tickFd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (tickFd_ >= 0) {
        itimerspec period{};
        period.it_interval.tv_nsec = PeriodMs * 1000000;
        period.it_value.tv_nsec = PeriodMs * 1000000;
        if (timerfd_settime(tickFd_, 0, &period, nullptr) == 0) {
            const auto onTimer = [this] {
                uint64_t expiries = 0;
                if (::read(tickFd_, &expiries, sizeof expiries) > 0) {
                    tick(expiries);
                }
            };
            // The program's own control thread polls the timer itself; a thread of any other
            // kind (a test's) reads it through its event loop.
            auto* control = qobject_cast<ControlThread*>(thread());
            if (control && control->attachTick(tickFd_, onTimer)) {
                pollThread_ = control;
            } else {
                tickNotifier_ = new QSocketNotifier(tickFd_, QSocketNotifier::Read, this);
                connect(tickNotifier_, &QSocketNotifier::activated, this, onTimer);
            }
        } else {
            ::close(tickFd_);
            tickFd_ = -1;
        }
    }
#endif
    if (!tickNotifier_ && !pollThread_) {
        timer_->start(PeriodMs);
    }
    runStart_ = clock_();
    ramp_.restart(runStart_);
    for (DeviceLink* link : links_) {
        link->requestOpen();
    }
}

void ControlLoop::stopTicking() {
    timer_->stop();
    delete tickNotifier_;
    tickNotifier_ = nullptr;
    if (pollThread_ && QThread::currentThread() == pollThread_) {
        pollThread_->detachTick();
    }
    pollThread_ = nullptr;
#ifdef Q_OS_LINUX
    if (tickFd_ >= 0) {
        ::close(tickFd_);
        tickFd_ = -1;
    }
#endif
}

void ControlLoop::tick(uint64_t periods) {
    Heartbeat::beat();
    const qint64 now = clock_();
    if (periods > StallPeriods) {
        qCWarning(lcControlLoop) << "The loop stalled for" << periods * 5 << "ms; the forces ramp in again";
        ramp_.restart(now);
    }
    mailbox_->drain([this](const auto& record) { accept(record); });

    // Each link's latest read; a device opened this tick is not read yet and counts as centred.
    PositionInput position;
    bool present[2];
    for (int d = 0; d < 2; ++d) {
        const DeviceLink::State state = links_[d]->step();
        present[d] = state != DeviceLink::State::Absent;
        if (state == DeviceLink::State::Opened) {
            // The game's own effects run with the current gains from the first report on, and
            // the forces rise from zero, whatever the other device is doing.
            deviceRamp_[d].restart(now);
            links_[d]->sendGains(
                HidReports::directXOverride(d == 0 ? HidReports::joystickDirectXOverride(settings_)
                                                   : HidReports::rudderDirectXOverride(settings_)));
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

    const Forces forces = calculateForces(position);
    // Each device's forces: ramped by the loop's ramp and its own, scaled by the master gain.
    Forces device[2] = {forces, forces};
    for (int d = 0; d < 2; ++d) {
        const float t = combinedRamp(ramp_, deviceRamp_[d], now);
        if (t < 1.0f) {
            device[d].scale(t);
        }
        if (forcesHeld_) {
            device[d] = Forces();
        } else if (masterGain_ < 1.0f) {
            device[d].scale(masterGain_);
        }
    }
    // An absent device costs the tick nothing: its report is not even built.
    for (int d = 0; d < 2; ++d) {
        if (!present[d]) {
            continue;
        }
        if (forcesHeld_) {
            links_[d]->sendForces(links_[d]->zeroReport());
        } else {
            links_[d]->sendForces(d == 0 ? joystickReport(device[0]) : rudderReport(device[1]));
        }
    }
    Forces sent = device[0];
    sent.axis[2] = device[1].axis[2];
    feed_->sent(now, sent, drivingRecord());
}

HidReports::Report ControlLoop::joystickReport(const Forces& forces) const {
    return HidReports::joystickDirectControl(forces, positionOffset_, settings_);
}

HidReports::Report ControlLoop::rudderReport(const Forces& forces) const {
    return HidReports::rudderDirectControl(forces, positionOffset_, settings_);
}

Forces ControlLoop::calculateForces(const PositionInput& position) {
    const uint64_t now = runStart_ < 0 ? 0 : static_cast<uint64_t>(clock_() - runStart_);
    Forces forces;
    for (int axis = 0; axis < 3; ++axis) {
        AxisForce& f = forces.axis[axis];
        const float p = position.axis(axis) + positionOffset_[axis];
        switch (currentSource_) {
        case Telemetry::TELEMETRY_SOURCE_MSFS:
            commonCalculator_->calculateAxis(f, axis, now, p, msfsRecord_, settings_);
            msfsCalculator_->addSourceForces(f, axis, now, p, msfsRecord_, settings_);
            break;
        case Telemetry::TELEMETRY_SOURCE_DCS:
            commonCalculator_->calculateAxis(f, axis, now, p, dcsRecord_, settings_);
            dcsCalculator_->addSourceForces(f, axis, now, p, dcsRecord_, settings_);
            break;
        case Telemetry::TELEMETRY_SOURCE_IL2:
            commonCalculator_->calculateAxis(f, axis, now, p, shturmovikRecord_, settings_);
            shturmovikCalculator_->addSourceForces(f, axis, now, p, shturmovikRecord_, settings_);
            break;
        case Telemetry::TELEMETRY_SOURCE_WARTHUNDER:
            commonCalculator_->calculateAxis(f, axis, now, p, warthunderRecord_, settings_);
            warthunderCalculator_->addSourceForces(f, axis, now, p, warthunderRecord_, settings_);
            break;
        case Telemetry::TELEMETRY_SOURCE_CONDOR:
            commonCalculator_->calculateAxis(f, axis, now, p, condorRecord_, settings_);
            condorCalculator_->addSourceForces(f, axis, now, p, condorRecord_, settings_);
            break;
        default:
            // No live source (or the override is in use): the hand-set record drives the forces.
            commonCalculator_->calculateAxis(f, axis, now, p, overrideRecord_, settings_);
            break;
        }
        clampForce(f);
    }
    return forces;
}

void ControlLoop::changeSettings(const EffectsSettings& settings, bool sudden) {
    if (sudden) {
        ramp_.restart(clock_());
    }
    settings_ = settings;
    sendGains();
}

void ControlLoop::sendGains() {
    links_[0]->sendGains(HidReports::directXOverride(HidReports::joystickDirectXOverride(settings_)));
    links_[1]->sendGains(HidReports::directXOverride(HidReports::rudderDirectXOverride(settings_)));
}

void ControlLoop::setOverride(bool on) {
    telemetryOverride_ = on;
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

void ControlLoop::store(Telemetry::Source source, const Telemetry& record) {
    currentSource_ = source;
    feed_->offerRecord(clock_(), source, record);
}

void ControlLoop::accept(const MSFSTelemetry& record) {
    if (!telemetryOverride_) {
        msfsRecord_ = record;
        store(Telemetry::TELEMETRY_SOURCE_MSFS, record);
    }
}

void ControlLoop::accept(const DCSTelemetry& record) {
    if (!telemetryOverride_) {
        dcsRecord_ = record;
        store(Telemetry::TELEMETRY_SOURCE_DCS, record);
    }
}

void ControlLoop::accept(const ShturmovikTelemetry& record) {
    if (!telemetryOverride_) {
        shturmovikRecord_ = record;
        store(Telemetry::TELEMETRY_SOURCE_IL2, record);
    }
}

void ControlLoop::accept(const WarthunderTelemetry& record) {
    if (!telemetryOverride_) {
        warthunderRecord_ = record;
        store(Telemetry::TELEMETRY_SOURCE_WARTHUNDER, record);
    }
}

void ControlLoop::accept(const Condor2Telemetry& record) {
    if (!telemetryOverride_) {
        condorRecord_ = record;
        store(Telemetry::TELEMETRY_SOURCE_CONDOR, record);
    }
}

const Telemetry& ControlLoop::drivingRecord() const {
    switch (currentSource_) {
    case Telemetry::TELEMETRY_SOURCE_MSFS:
        return msfsRecord_;
    case Telemetry::TELEMETRY_SOURCE_DCS:
        return dcsRecord_;
    case Telemetry::TELEMETRY_SOURCE_IL2:
        return shturmovikRecord_;
    case Telemetry::TELEMETRY_SOURCE_WARTHUNDER:
        return warthunderRecord_;
    case Telemetry::TELEMETRY_SOURCE_CONDOR:
        return condorRecord_;
    default:
        return overrideRecord_;
    }
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
    masterGain_ = static_cast<float>(std::clamp(percent, 0.0, 100.0) / 100.0);
}

void ControlLoop::setForcesHeld(bool held) {
    if (held == forcesHeld_) {
        return;
    }
    forcesHeld_ = held;
    qCInfo(lcControlLoop) << (held ? "Forces held at zero" : "Forces released; they ramp in");
    if (!held) {
        ramp_.restart(clock_());
        return;
    }
    const qint64 deadline = DeviceLink::monotonicMs() + HoldWaitMs;
    uint64_t sequence[2];
    bool stuck[2];
    for (int d = 0; d < 2; ++d) {
        stuck[d] = links_[d]->isStalled(StuckMs);
        sequence[d] = links_[d]->sendZero();
    }
    for (int d = 0; d < 2; ++d) {
        if (!stuck[d]) {
            links_[d]->waitWritten(sequence[d], deadline);
        }
    }
}

void ControlLoop::zeroDevices(qint64 deadlineMs) {
    uint64_t sequence[2];
    for (int d = 0; d < 2; ++d) {
        sequence[d] = links_[d]->sendZero();
    }
    for (int d = 0; d < 2; ++d) {
        if (!links_[d]->waitWritten(sequence[d], deadlineMs)) {
            qCWarning(lcControlLoop) << (d == 0 ? "Joystick base" : "Rudder unit")
                                     << "did not take its last zero report";
        }
    }
}
