#include "app/mainbackgroundthread.h"

#include "app/heartbeat.h"

#include "device/hidreports.h"
#include "forces/commontelemetryforcecalculator.h"
#include "forces/condortelemetryforcecalculator.h"
#include "forces/dcstelemetryforcecalculator.h"
#include "forces/effectcurves.h"
#include "forces/msfstelemetryforcecalculator.h"
#include "forces/shturmoviktelemetryforcecalculator.h"
#include "forces/warthunderforcecalculator.h"
#include "telemetry/telemetrythread.h"

#include <QThread>

#include <algorithm>
#include <cmath>

#include <QSocketNotifier>

#ifdef Q_OS_LINUX
#include "app/tickdispatcher.h"

#include <QAbstractEventDispatcher>

#include <pthread.h>
#include <sched.h>
#include <sys/timerfd.h>
#include <unistd.h>
#endif

namespace {

// Ticks between open attempts for an absent device: an attempt when the counter exceeds
// this, that is every 201 ticks (1005 ms).
constexpr int32_t ReconnectTicks = 199;
constexpr qint64 RampMs = 2000;
// Positions and records go to the window every 7th tick (35 ms), under 30 updates a second,
// while it is in front; every 100th tick (twice a second) while another program has the focus. Each
// update of changing numbers costs the GUI thread about a millisecond, caches cold.
constexpr int PanelTicks = 7;
constexpr int BehindPanelTicks = 100;
// How long the shut-down waits for an open that does not return before leaving it behind.
constexpr unsigned long OpenerJoinMs = 1000;
constexpr unsigned long TelemetryJoinMs = 3000;

// The mailbox's slots, one per game.
enum MailSlot { MailMsfs, MailDcs, MailShturmovik, MailWarthunder, MailCondor, MailSlots };

qint64 monotonicMs() {
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

// Qt gives a time-critical thread its priority on Windows and macOS; on Linux that takes the
// real-time policy, which only a user allowed to (root, or an RLIMIT_RTPRIO) gets. Low among
// real-time threads: above every ordinary one, below the kernel's interrupt threads.
void useRealTimeScheduling() {
#ifdef Q_OS_LINUX
    sched_param param{};
    param.sched_priority = 10;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
#endif
}

} // namespace

MainBackgroundThread::MainBackgroundThread(QObject* parent)
    : QObject(parent), clock_(&monotonicMs), loopTimer_(new QTimer(this)),
      commonCalculator_(new CommonTelemetryForceCalculator(this)),
      msfsCalculator_(new MSFSTelemetryForceCalculator(this)),
      dcsCalculator_(new DCSTelemetryForceCalculator(this)),
      shturmovikCalculator_(new ShturmovikTelemetryForceCalculator(this)),
      warthunderCalculator_(new WarthunderForceCalculator(this)),
      condorCalculator_(new CondorTelemetryForceCalculator(this)), telemetry_(new TelemetryThread()),
      telemetryThread_(new QThread()), openers_{new DeviceOpener(DeviceOpener::Joystick),
                                                new DeviceOpener(DeviceOpener::Rudder)},
      openerThreads_{new QThread(), new QThread()}, panelInterval_(PanelTicks) {
    hid_init();

    // A coarse timer may fire up to 5 % late; even a precise one drifts by a tenth of a
    // millisecond a tick where Qt has no kernel timer under it (see startTicking()).
    loopTimer_->setTimerType(Qt::PreciseTimer);
    connect(loopTimer_, &QTimer::timeout, this, &MainBackgroundThread::onTimout);

    // A record still waiting for the window is stale once the stream has ended. The stream's
    // last, all-zero record may still sit in the mailbox: it is applied first.
    connect(telemetry_, &TelemetryThread::telemetryEnded, this, [this] {
        drainMailbox();
        telemetryPending_ = false;
        telemetryShown_ = false;
        emit telemetryEnded();
    });
    connect(telemetry_, &TelemetryThread::telemetrySourceChanged, this,
            &MainBackgroundThread::telemetrySourceChanged);
    // Records are only read at a tick: they wait in the mailbox rather than wake the loop.
    connect(
        telemetry_, &TelemetryThread::msfsTelemetryChanged, this,
        [this](const MSFSTelemetry& record) {
            std::lock_guard<std::mutex> lock(mailbox_.mutex);
            mailbox_.msfs = record;
            mailbox_.arrival[MailMsfs] = ++mailbox_.sequence;
        },
        Qt::DirectConnection);
    connect(
        telemetry_, &TelemetryThread::dcsTelemetryChanged, this,
        [this](const DCSTelemetry& record) {
            std::lock_guard<std::mutex> lock(mailbox_.mutex);
            mailbox_.dcs = record;
            mailbox_.arrival[MailDcs] = ++mailbox_.sequence;
        },
        Qt::DirectConnection);
    connect(
        telemetry_, &TelemetryThread::shturmovikTelemetryChanged, this,
        [this](const ShturmovikTelemetry& record) {
            std::lock_guard<std::mutex> lock(mailbox_.mutex);
            mailbox_.shturmovik = record;
            mailbox_.arrival[MailShturmovik] = ++mailbox_.sequence;
        },
        Qt::DirectConnection);
    connect(
        telemetry_, &TelemetryThread::warthunderTelemetryChanged, this,
        [this](const WarthunderTelemetry& record) {
            std::lock_guard<std::mutex> lock(mailbox_.mutex);
            mailbox_.warthunder = record;
            mailbox_.arrival[MailWarthunder] = ++mailbox_.sequence;
        },
        Qt::DirectConnection);
    connect(
        telemetry_, &TelemetryThread::condor2TelemetryChanged, this,
        [this](const Condor2Telemetry& record) {
            std::lock_guard<std::mutex> lock(mailbox_.mutex);
            mailbox_.condor = record;
            mailbox_.arrival[MailCondor] = ++mailbox_.sequence;
        },
        Qt::DirectConnection);
    connect(telemetry_, &TelemetryThread::landed, this, &MainBackgroundThread::setLanded);

    // The telemetry worker's start() must run on its own thread: a zero-delay timer of this
    // thread queues the call there once the event loop runs.
    auto* startTimer = new QTimer();
    connect(startTimer, &QTimer::timeout, telemetry_, &TelemetryThread::start);
    startTimer->setSingleShot(true);
    startTimer->start(0);

    // Named so that per-thread figures (top -H, the program benchmark) tell them apart. Each
    // worker is destroyed on its own thread when that thread finishes.
    telemetryThread_->setObjectName(QStringLiteral("telemetry"));
    openerThreads_[DeviceOpener::Joystick]->setObjectName(QStringLiteral("open joystick"));
    openerThreads_[DeviceOpener::Rudder]->setObjectName(QStringLiteral("open rudder"));
    connect(telemetryThread_, &QThread::finished, telemetry_, &QObject::deleteLater);
    telemetryThread_->start(QThread::InheritPriority);
    telemetry_->moveToThread(telemetryThread_);

    for (int i = 0; i < 2; ++i) {
        connect(openerThreads_[i], &QThread::finished, openers_[i], &QObject::deleteLater);
        openerThreads_[i]->start(QThread::InheritPriority);
        openers_[i]->moveToThread(openerThreads_[i]);
    }
}

MainBackgroundThread::~MainBackgroundThread() {
    stopTicking();
    stopWorkers();
    for (DeviceLink* link : {&joystick_, &rudder_}) {
        if (link->handle) {
            hid_close(link->handle);
            link->handle = nullptr;
        }
    }
}

void MainBackgroundThread::start() {
    // Only the program's own control thread runs time-critical; tests drive the loop from theirs.
    if (thread()->priority() == QThread::TimeCriticalPriority) {
        useRealTimeScheduling();
    }
    startTicking();
    runStart_ = clock_();
    rampStart_ = runStart_;
    // The first tick is an attempt for both devices: their opens start now.
    for (DeviceOpener* opener : openers_) {
        if (opener) {
            opener->request();
        }
    }
}

void MainBackgroundThread::stopWorkers() {
    if (telemetryThread_) {
        telemetryThread_->quit();
        // A worker stuck in a call that never returns is left behind: the devices' last
        // reports matter more than a clean exit.
        if (telemetryThread_->wait(TelemetryJoinMs)) {
            delete telemetryThread_;
        }
        telemetryThread_ = nullptr;
        telemetry_ = nullptr;
    }
    for (int i = 0; i < 2; ++i) {
        if (!openerThreads_[i]) {
            continue;
        }
        openers_[i]->refuseRequests();
        openerThreads_[i]->quit();
        // An open that never returns keeps its thread; it is left behind rather than waited for.
        if (openerThreads_[i]->wait(OpenerJoinMs)) {
            delete openerThreads_[i];
        }
        openerThreads_[i] = nullptr;
        openers_[i] = nullptr;
    }
}

uint64_t MainBackgroundThread::runElapsed() const {
    return runStart_ < 0 ? 0 : static_cast<uint64_t>(clock_() - runStart_);
}

qint64 MainBackgroundThread::rampElapsed() const {
    return rampStart_ < 0 ? 0 : clock_() - rampStart_;
}

void MainBackgroundThread::onTimout() {
    Heartbeat::beat();
    drainMailbox();

    PositionInput position;
    PositionInput offset;

    if (joystick_.handle) {
        readJoystickPosition(&position, &offset);
    } else {
        connectionStep(joystick_, DeviceOpener::Joystick);
    }
    if (rudder_.handle) {
        readRudderPosition(&position, &offset);
    } else {
        connectionStep(rudder_, DeviceOpener::Rudder);
    }

    position.roll -= offset.roll;
    position.pitch -= offset.pitch;
    position.yaw -= offset.yaw;
    publishToPanels(position);

    Forces forces = calculateForces(position);

    // The start ramp: the forces sent rise linearly from zero over the 2000 ms after start
    // and after every sudden settings change. Damper gains are not ramped.
    const qint64 e = rampElapsed();
    if (e <= RampMs) {
        const float t = static_cast<float>(static_cast<double>(e) / 2000.0);
        if (t < 1.0f) {
            forces.scale(t);
        }
    }

    if (forcesHeld_) {
        forces = Forces();
    } else if (masterGain_ < 1.0f) {
        forces.scale(masterGain_);
    }

    writeJoystickDirectControl(forces);
    writeRudderDirectControl(forces);
    publishForces(forces);
}

void MainBackgroundThread::setMasterGain(double percent) {
    if (std::isnan(percent)) {
        percent = 100.0;
    }
    masterGain_ = static_cast<float>(std::clamp(percent, 0.0, 100.0) / 100.0);
}

void MainBackgroundThread::setForcesHeld(bool held) {
    if (held == forcesHeld_) {
        return;
    }
    forcesHeld_ = held;
    if (held) {
        const Forces zero;
        const EffectsSettings noDampers;
        write(joystick_.handle, HidReports::joystickDirectControl(zero, positionOffset_, noDampers).data());
        write(rudder_.handle, HidReports::rudderDirectControl(zero, positionOffset_, noDampers).data());
    } else {
        rampStart_ = clock_();
    }
}

bool MainBackgroundThread::sameRecord(const Telemetry& a, const Telemetry& b) {
    return a.airspeed == b.airspeed && a.verticalSpeed == b.verticalSpeed && a.aileronAoa == b.aileronAoa &&
           a.aoa == b.aoa && a.sideslip == b.sideslip && a.rollRate == b.rollRate && a.gForce == b.gForce &&
           a.propAirflow == b.propAirflow && a.trimmerRoll == b.trimmerRoll &&
           a.trimmerPitch == b.trimmerPitch && a.trimmerYaw == b.trimmerYaw && a.gear == b.gear &&
           a.airbrake == b.airbrake && a.flaps == b.flaps && a.onGround == b.onGround;
}

Forces MainBackgroundThread::calculateForces(PositionInput position) {
    const uint64_t now = runElapsed();
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
        f.force = finiteOrZero(f.force);
        if (f.force > 100.0f) {
            f.force = 100.0f;
        } else if (f.force < -100.0f) {
            f.force = -100.0f;
        }
    }
    return forces;
}

void MainBackgroundThread::changeSettingsSuddenly(EffectsSettings settings) {
    rampStart_ = clock_();
    settings_ = settings;
    writeDirectXOverride();
}

void MainBackgroundThread::changeSettingsModerately(EffectsSettings settings) {
    settings_ = settings;
    writeDirectXOverride();
}

void MainBackgroundThread::enableTelemetryOverride() {
    telemetryOverride_ = true;
    // The panel shows the hand-set record meanwhile; the next game record is shown whatever it is.
    telemetryShown_ = false;
}

void MainBackgroundThread::disableTelemetryOverride() {
    telemetryOverride_ = false;
    telemetryShown_ = false;
}

void MainBackgroundThread::overrideTelemetry(Telemetry telemetry) {
    if (!telemetryOverride_) {
        return;
    }
    currentSource_ = Telemetry::TELEMETRY_SOURCE_NONE;
    overrideRecord_ = telemetry;
}

void MainBackgroundThread::storeRecord(Telemetry::Source source, const Telemetry& common) {
    currentSource_ = source;
    pendingTelemetry_ = common;
    telemetryPending_ = true;
    emit recordReceived(RecordingRow{clock_(),
                                     source,
                                     QString(),
                                     common,
                                     {sent_.axis[0].force, sent_.axis[1].force, sent_.axis[2].force}});
}

// ---- Live force view and recorder --------------------------------------------------------

void MainBackgroundThread::publishForces(const Forces& sent) {
    sent_ = sent;
    const qint64 now = clock_();
    // 17 ms apart at least: under 60 samples a second whatever the tick rate.
    if (lastPublished_ >= 0 && now - lastPublished_ < 17) {
        return;
    }
    lastPublished_ = now;
    ForcesSample sample;
    sample.time = now;
    for (int axis = 0; axis < 3; ++axis) {
        sample.force[axis] = sent.axis[axis].force;
        sample.vibration[axis] = sent.axis[axis].vibration;
        sample.springMagnitude[axis] = sent.axis[axis].springMagnitude;
    }
    const Telemetry& record = drivingRecord();
    sample.airspeed = finiteOrZero(record.airspeed);
    sample.aoa = finiteOrZero(record.aoa);
    sample.gForce = finiteOrZero(record.gForce);
    emit forcesSent(sample);
}

const Telemetry& MainBackgroundThread::drivingRecord() const {
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

void MainBackgroundThread::setPanelView(MainBackgroundThread::PanelView view) {
    const int interval =
        view == PanelView::InFront ? PanelTicks : (view == PanelView::Behind ? BehindPanelTicks : 0);
    if (interval != 0 && (panelInterval_ == 0 || interval < panelInterval_)) {
        panelTicks_ = 0;
    }
    panelInterval_ = interval;
}

void MainBackgroundThread::publishToPanels(const PositionInput& position) {
    // A hidden window hears nothing; what it missed waits here for it.
    if (panelInterval_ == 0) {
        return;
    }
    if (panelTicks_ > 0) {
        --panelTicks_;
        return;
    }
    panelTicks_ = panelInterval_ - 1;
    // A stick at rest wakes nobody: the panel already shows this position.
    if (!positionShown_ || position.roll != shownPosition_.roll || position.pitch != shownPosition_.pitch ||
        position.yaw != shownPosition_.yaw) {
        positionShown_ = true;
        shownPosition_ = position;
        emit positionChanged(position);
    }
    // Nor does a game that repeats itself (paused, or parked on the ground).
    if (telemetryPending_) {
        telemetryPending_ = false;
        if (!telemetryShown_ || !sameRecord(pendingTelemetry_, shownTelemetry_)) {
            telemetryShown_ = true;
            shownTelemetry_ = pendingTelemetry_;
            emit telemetryChanged(pendingTelemetry_);
        }
    }
}

void MainBackgroundThread::drainMailbox() {
    uint64_t arrival[MailSlots];
    MSFSTelemetry msfs;
    DCSTelemetry dcs;
    ShturmovikTelemetry shturmovik;
    WarthunderTelemetry warthunder;
    Condor2Telemetry condor;
    {
        std::lock_guard<std::mutex> lock(mailbox_.mutex);
        bool any = false;
        for (int slot = 0; slot < MailSlots; ++slot) {
            arrival[slot] = mailbox_.arrival[slot];
            mailbox_.arrival[slot] = 0;
            any = any || arrival[slot] != 0;
        }
        if (!any) {
            return;
        }
        if (arrival[MailMsfs]) {
            msfs = mailbox_.msfs;
        }
        if (arrival[MailDcs]) {
            dcs = mailbox_.dcs;
        }
        if (arrival[MailShturmovik]) {
            shturmovik = mailbox_.shturmovik;
        }
        if (arrival[MailWarthunder]) {
            warthunder = mailbox_.warthunder;
        }
        if (arrival[MailCondor]) {
            condor = mailbox_.condor;
        }
    }
    // Oldest first, so the source that spoke last stays the current one.
    for (;;) {
        int next = -1;
        for (int slot = 0; slot < MailSlots; ++slot) {
            if (arrival[slot] != 0 && (next < 0 || arrival[slot] < arrival[next])) {
                next = slot;
            }
        }
        if (next < 0) {
            return;
        }
        arrival[next] = 0;
        switch (next) {
        case MailMsfs:
            setMsfsTelemetry(msfs);
            break;
        case MailDcs:
            setDcsTelemetry(dcs);
            break;
        case MailShturmovik:
            setShturmovikTelemetry(shturmovik);
            break;
        case MailWarthunder:
            setWarthunderTelemetry(warthunder);
            break;
        default:
            setCondor2Telemetry(condor);
            break;
        }
    }
}

void MainBackgroundThread::setMsfsTelemetry(MSFSTelemetry telemetry) {
    if (telemetryOverride_) {
        return;
    }
    msfsRecord_ = telemetry;
    storeRecord(Telemetry::TELEMETRY_SOURCE_MSFS, telemetry);
}

void MainBackgroundThread::setDcsTelemetry(DCSTelemetry telemetry) {
    if (telemetryOverride_) {
        return;
    }
    dcsRecord_ = telemetry;
    storeRecord(Telemetry::TELEMETRY_SOURCE_DCS, telemetry);
}

void MainBackgroundThread::setShturmovikTelemetry(ShturmovikTelemetry telemetry) {
    if (telemetryOverride_) {
        return;
    }
    shturmovikRecord_ = telemetry;
    storeRecord(Telemetry::TELEMETRY_SOURCE_IL2, telemetry);
}

void MainBackgroundThread::setWarthunderTelemetry(WarthunderTelemetry telemetry) {
    if (telemetryOverride_) {
        return;
    }
    warthunderRecord_ = telemetry;
    storeRecord(Telemetry::TELEMETRY_SOURCE_WARTHUNDER, telemetry);
}

void MainBackgroundThread::setCondor2Telemetry(Condor2Telemetry telemetry) {
    if (telemetryOverride_) {
        return;
    }
    condorRecord_ = telemetry;
    storeRecord(Telemetry::TELEMETRY_SOURCE_CONDOR, telemetry);
}

void MainBackgroundThread::setLanded(float verticalSpeed, float airspeed) {
    LandingEvent event;
    event.time = runElapsed();
    event.airspeed = airspeed;
    event.verticalSpeed = verticalSpeed;
    commonCalculator_->land(event, settings_);
}

void MainBackgroundThread::startTicking() {
#ifdef Q_OS_LINUX
    // The kernel re-arms a periodic timerfd from its own schedule, never from the moment it was
    // read, so a late wake-up does not move the next tick.
    tickFd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (tickFd_ >= 0) {
        itimerspec period{};
        period.it_interval.tv_nsec = 5000000;
        period.it_value.tv_nsec = 5000000;
        if (timerfd_settime(tickFd_, 0, &period, nullptr) == 0) {
            // On the program's control thread the dispatcher reads the timer and calls the tick;
            // elsewhere (the tests drive the loop on their own thread) a notifier does.
            if (auto* dispatcher = dynamic_cast<TickDispatcher*>(QAbstractEventDispatcher::instance())) {
                tickDispatcher_ = dispatcher;
                dispatcher->setTick(tickFd_, [this] { onTimout(); });
                return;
            }
            tickNotifier_ = new QSocketNotifier(tickFd_, QSocketNotifier::Read, this);
            connect(tickNotifier_, &QSocketNotifier::activated, this, [this] {
                // Expiries missed while the thread was held up are dropped, as a QTimer does.
                uint64_t expiries = 0;
                if (::read(tickFd_, &expiries, sizeof expiries) > 0) {
                    onTimout();
                }
            });
            return;
        }
        ::close(tickFd_);
        tickFd_ = -1;
    }
#endif
    loopTimer_->start(5);
}

void MainBackgroundThread::stopTicking() {
    loopTimer_->stop();
    delete tickNotifier_;
    tickNotifier_ = nullptr;
#ifdef Q_OS_LINUX
    if (tickDispatcher_) {
        tickDispatcher_->setTick(-1, {});
        tickDispatcher_ = nullptr;
    }
    if (tickFd_ >= 0) {
        ::close(tickFd_);
        tickFd_ = -1;
    }
#endif
}

void MainBackgroundThread::shutDown() {
    stopTicking();
    const Forces zero;
    const EffectsSettings noDampers;
    if (joystick_.handle) {
        write(joystick_.handle, HidReports::joystickDirectControl(zero, positionOffset_, noDampers).data());
    }
    if (rudder_.handle) {
        write(rudder_.handle, HidReports::rudderDirectControl(zero, positionOffset_, noDampers).data());
    }
    stopWorkers();
}

// ---- Device link ----------------------------------------------------------------------

// The open runs on the opener's thread: it is requested on the tick before the attempt and
// its handle is taken at the attempt, or at the first tick after it once a slow open returns.
// Taking comes first, so an open that finishes during a tick waits for the next one.
bool MainBackgroundThread::connectionStep(DeviceLink& link, DeviceOpener::Device device) {
    DeviceOpener* opener = openers_[device];
    if (!opener) {
        return false;
    }
    const DeviceOpener::Opened opened = opener->take();
    if (!opened.handle) {
        if (link.reconnectCounter <= ReconnectTicks) {
            ++link.reconnectCounter;
            if (link.reconnectCounter > ReconnectTicks) {
                opener->request();
            }
        } else {
            link.reconnectCounter = 0;
        }
        return false;
    }
    link.reconnectCounter = 0;
    link.handle = opened.handle;
    // The game's own effects run with the current gains from the first report on.
    if (device == DeviceOpener::Joystick) {
        emit joystickConnected(opened.version);
        write(link.handle,
              HidReports::directXOverride(HidReports::joystickDirectXOverride(settings_)).data());
    } else {
        emit rudderConnected(opened.version);
        write(link.handle, HidReports::directXOverride(HidReports::rudderDirectXOverride(settings_)).data());
    }
    return true;
}

uint32_t MainBackgroundThread::readVersion(hid_device* handle) {
    // The result is not examined: a failed request leaves the report id alone, version 37.
    HidReports::Report report = HidReports::featureRequest(HidReports::VersionReportId);
    hid_get_feature_report(handle, report.data(), report.size());
    return HidReports::parseVersion(report);
}

void MainBackgroundThread::drop(DeviceLink& link, bool joystick) {
    hid_close(link.handle);
    link.handle = nullptr;
    if (joystick) {
        emit joystickDisconnected();
    } else {
        emit rudderDisconnected();
    }
}

bool MainBackgroundThread::readPosition(DeviceLink& link, bool joystick, float* positionX, float* positionY,
                                        float* offsetX, float* offsetY) {
    if (!link.handle) {
        return false;
    }
    HidReports::Report report = HidReports::featureRequest(HidReports::PositionReportId);
    if (hid_get_feature_report(link.handle, report.data(), report.size()) <= 0) {
        // A failed read is how a lost device shows itself; the counter keeps its value, so
        // the next attempt to reopen it comes 201 ticks later.
        drop(link, joystick);
        return false;
    }
    const HidReports::DevicePosition p = HidReports::parsePosition(report);
    *positionX = p.positionX;
    *offsetX = p.offsetX;
    if (positionY) {
        *positionY = p.positionY;
        *offsetY = p.offsetY;
    }
    return true;
}

void MainBackgroundThread::write(hid_device* handle, const unsigned char* bytes) {
    if (handle) {
        hid_write(handle, bytes, HidReports::ReportSize);
    }
}

uint32_t MainBackgroundThread::readJoystickVersion() {
    return joystick_.handle ? readVersion(joystick_.handle) : 0;
}

uint32_t MainBackgroundThread::readRudderVersion() {
    return rudder_.handle ? readVersion(rudder_.handle) : 0;
}

void MainBackgroundThread::disconnectJoystick() {
    if (joystick_.handle) {
        drop(joystick_, true);
    }
}

void MainBackgroundThread::disconnectRudder() {
    if (rudder_.handle) {
        drop(rudder_, false);
    }
}

void MainBackgroundThread::readJoystickPosition(PositionInput* position, PositionInput* offset) {
    readPosition(joystick_, true, &position->roll, &position->pitch, &offset->roll, &offset->pitch);
}

void MainBackgroundThread::readRudderPosition(PositionInput* position, PositionInput* offset) {
    readPosition(rudder_, false, &position->yaw, nullptr, &offset->yaw, nullptr);
}

// An absent device costs the tick nothing: its report is not even built.
void MainBackgroundThread::writeJoystickDirectControl(Forces forces) {
    if (!joystick_.handle) {
        return;
    }
    write(joystick_.handle, HidReports::joystickDirectControl(forces, positionOffset_, settings_).data());
}

void MainBackgroundThread::writeRudderDirectControl(Forces forces) {
    if (!rudder_.handle) {
        return;
    }
    write(rudder_.handle, HidReports::rudderDirectControl(forces, positionOffset_, settings_).data());
}

void MainBackgroundThread::writeJoystickDirectXOverride(DirectXOverrideTypeDef gains) {
    write(joystick_.handle, HidReports::directXOverride(gains).data());
}

void MainBackgroundThread::writeRudderDirectXOverride(DirectXOverrideTypeDef gains) {
    write(rudder_.handle, HidReports::directXOverride(gains).data());
}

void MainBackgroundThread::writeDirectXOverride() {
    write(joystick_.handle,
          HidReports::directXOverride(HidReports::joystickDirectXOverride(settings_)).data());
    write(rudder_.handle, HidReports::directXOverride(HidReports::rudderDirectXOverride(settings_)).data());
}
