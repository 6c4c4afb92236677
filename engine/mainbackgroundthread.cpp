#include "engine/mainbackgroundthread.h"

#include "engine/controlloop.h"
#include "engine/panelfeed.h"
#include "engine/realtimescheduling.h"
#include "records/logcategories.h"
#include "telemetry/telemetrythread.h"
#include "telemetry/udptelemetry.h"

#include <QMetaMethod>
#include <QThread>
#include <QTimer>

#include <algorithm>

#include <hidapi.h>

namespace {

// How long the shut-down waits for the devices' last reports and their threads.
constexpr qint64 DeviceStopMs = 1000;
constexpr unsigned long TelemetryJoinMs = 3000;

} // namespace

MainBackgroundThread::MainBackgroundThread(const TelemetryEndpoints& endpoints, std::function<qint64()> clock,
                                           QObject* parent)
    : QObject(parent), links_{new DeviceLink(DeviceLink::Joystick, this),
                              new DeviceLink(DeviceLink::Rudder, this)},
      feed_(new PanelFeed(this)), liveGame_(new LiveGame()),
      loop_(new ControlLoop(links_[0], links_[1], feed_, &mailbox_, this)),
      udp_(new UdpTelemetry(endpoints, liveGame_.get(), this)),
      telemetry_(new TelemetryThread(endpoints, liveGame_.get())), telemetryThread_(new QThread()) {
    hid_init();
    if (clock) {
        loop_->setClock(std::move(clock));
    }

    // A loss is announced from the device's own thread, at once.
    connect(links_[0], &DeviceLink::connected, this, &MainBackgroundThread::joystickConnected);
    connect(links_[0], &DeviceLink::disconnected, this, &MainBackgroundThread::joystickDisconnected,
            Qt::DirectConnection);
    connect(links_[1], &DeviceLink::connected, this, &MainBackgroundThread::rudderConnected);
    connect(links_[1], &DeviceLink::disconnected, this, &MainBackgroundThread::rudderDisconnected,
            Qt::DirectConnection);
    connect(links_[0], &DeviceLink::respondingChanged, this, &MainBackgroundThread::joystickResponding);
    connect(links_[1], &DeviceLink::respondingChanged, this, &MainBackgroundThread::rudderResponding);
    connect(feed_, &PanelFeed::positionChanged, this, &MainBackgroundThread::positionChanged);
    connect(feed_, &PanelFeed::telemetryChanged, this, &MainBackgroundThread::telemetryChanged);
    connect(feed_, &PanelFeed::forcesSent, this, &MainBackgroundThread::forcesSent);
    // Samples are made only while someone listens: the plot on screen, a test, a benchmark.
    feed_->setSamplesWanted([this, signal = QMetaMethod::fromSignal(&MainBackgroundThread::forcesSent)] {
        return isSignalConnected(signal);
    });
    connect(feed_, &PanelFeed::recordReceived, this, &MainBackgroundThread::recordReceived);
    feed_->setRowsWanted([this, signal = QMetaMethod::fromSignal(&MainBackgroundThread::recordReceived)] {
        return isSignalConnected(signal);
    });

    // A record still waiting for the window is stale once the stream has ended. The stream's
    // last, all-zero record may still sit in the mailbox: it is applied first.
    connect(telemetry_, &TelemetryThread::telemetryEnded, this, [this] {
        mailbox_.drain([this](const auto& record) { loop_->accept(record); });
        loop_->endStream();
        feed_->forgetRecord();
        emit telemetryEnded();
        // A UDP game may have started at the tick before this end arrived: the window is told
        // of it again, so that it shows the game that flies.
        const Telemetry::Source live = liveGame_->current();
        if (udp_->source(live)) {
            emit telemetrySourceChanged(live, udp_->liveName());
        }
    });
    connect(telemetry_, &TelemetryThread::telemetrySourceChanged, this,
            &MainBackgroundThread::telemetrySourceChanged);
    // Records are only read at a tick: they wait in the mailbox rather than wake the loop.
    TelemetryMailbox* mailbox = &mailbox_;
    connect(
        telemetry_, &TelemetryThread::telemetryRecordChanged, this,
        [mailbox](const TelemetryRecord& record) { mailbox->post(record); }, Qt::DirectConnection);
    connect(telemetry_, &TelemetryThread::landed, this, &MainBackgroundThread::setLanded);

    // The UDP games are read at the tick, on this thread: their records go straight to the loop,
    // before the mailbox is drained, and their stream's end needs no drain.
    loop_->setTelemetryPoll([this] { udp_->poll(); });
    connect(udp_, &UdpTelemetry::telemetryRecordChanged, this,
            [this](const TelemetryRecord& record) { loop_->accept(record); });
    connect(udp_, &UdpTelemetry::telemetrySourceChanged, this, &MainBackgroundThread::telemetrySourceChanged);
    connect(udp_, &UdpTelemetry::telemetryEnded, this, [this] {
        loop_->endStream();
        feed_->forgetRecord();
        emit telemetryEnded();
    });
    connect(udp_, &UdpTelemetry::landed, this, &MainBackgroundThread::setLanded);
    udp_->joinWorker(telemetry_);
    // The stick's axes for MSFS, queued to the telemetry thread that owns the connection.
    connect(loop_, &ControlLoop::msfsAxes, telemetry_, &TelemetryThread::sendMsfsAxes);

    // The telemetry worker's start() must run on its own thread: a zero-delay timer of this
    // thread queues the call there once the event loop runs.
    auto* startTimer = new QTimer();
    connect(startTimer, &QTimer::timeout, telemetry_, &TelemetryThread::start);
    connect(startTimer, &QTimer::timeout, startTimer, &QObject::deleteLater);
    startTimer->setSingleShot(true);
    startTimer->start(0);

    // Named so that per-thread figures (top -H, the program benchmark) tell them apart. The
    // worker is destroyed on its own thread when that thread finishes.
    telemetryThread_->setObjectName(QStringLiteral("telemetry"));
    connect(telemetryThread_, &QThread::finished, telemetry_, &QObject::deleteLater);
    telemetryThread_->start(QThread::InheritPriority);
    telemetry_->moveToThread(telemetryThread_);
}

MainBackgroundThread::~MainBackgroundThread() {
    loop_->stopTicking();
    stopWorkers();
}

void MainBackgroundThread::setClock(std::function<qint64()> clock) {
    loop_->setClock(std::move(clock));
}

void MainBackgroundThread::start() {
    // Only the program's own control thread runs time-critical; tests drive the loop from theirs.
    // The devices' threads write the tick's reports, so they keep its pace with it.
    if (thread()->priority() == QThread::TimeCriticalPriority) {
        // Qt gives a time-critical thread its priority on Windows and macOS; on Linux that takes
        // the real-time policy, asked of the kernel or of RealtimeKit.
        // Real-time, the three threads that run every tick share one CPU: none of them waits
        // for another there, and no second CPU is woken from idle for each report.
        const bool realtime =
            RealtimeScheduling::makeCurrentThreadRealtime() != RealtimeScheduling::Policy::Ordinary;
        const int cpu = realtime ? RealtimeScheduling::currentCpu() : -1;
        RealtimeScheduling::keepOnCpu(cpu);
        // Said once on the terminal as well as in Help > About: a tick that comes late under
        // a game's load shows first in the pilot's hand, and this is the first thing to ask.
        qCInfo(lcControlLoop).noquote() << "Control loop:" << RealtimeScheduling::policyText();
        for (DeviceLink* link : links_) {
            link->runOnIoThread([cpu] {
                RealtimeScheduling::makeHelperThreadRealtime();
                RealtimeScheduling::keepOnCpu(cpu);
            });
        }
    }
    loop_->start();
}

bool MainBackgroundThread::shutDown() {
    loop_->stopTicking();
    const qint64 deadline = DeviceLink::monotonicMs() + DeviceStopMs;
    const bool atZero = loop_->zeroDevices(deadline);
    stopWorkers(deadline);
    return atZero;
}

void MainBackgroundThread::stopWorkers() {
    stopWorkers(DeviceLink::monotonicMs() + DeviceStopMs);
}

void MainBackgroundThread::stopWorkers(qint64 deadlineMs) {
    for (DeviceLink* link : links_) {
        link->stop(static_cast<int>(std::max<qint64>(deadlineMs - DeviceLink::monotonicMs(), 10)));
    }
    if (telemetryThread_) {
        telemetryThread_->quit();
        // A worker stuck in a call that never returns is left behind: the devices' last
        // reports matter more than a clean exit.
        if (telemetryThread_->wait(TelemetryJoinMs)) {
            delete telemetryThread_;
        } else {
            (void)liveGame_.release();
        }
        telemetryThread_ = nullptr;
        telemetry_ = nullptr;
    }
}

// ---- Slots --------------------------------------------------------------------------------

void MainBackgroundThread::changeSettingsSuddenly(EffectsSettings settings) {
    loop_->changeSettings(settings);
}

void MainBackgroundThread::changeSettingsModerately(EffectsSettings settings) {
    loop_->changeSettings(settings);
}

void MainBackgroundThread::enableTelemetryOverride() {
    loop_->setOverride(true);
}

void MainBackgroundThread::disableTelemetryOverride() {
    loop_->setOverride(false);
}

void MainBackgroundThread::overrideTelemetry(Telemetry telemetry) {
    loop_->overrideTelemetry(telemetry);
}

void MainBackgroundThread::setMsfsTelemetry(MSFSTelemetry telemetry) {
    loop_->accept(TelemetryRecord(Telemetry::TELEMETRY_SOURCE_MSFS, telemetry));
}

void MainBackgroundThread::setDcsTelemetry(DCSTelemetry telemetry) {
    loop_->accept(TelemetryRecord(Telemetry::TELEMETRY_SOURCE_DCS, telemetry));
}

void MainBackgroundThread::setShturmovikTelemetry(ShturmovikTelemetry telemetry) {
    loop_->accept(TelemetryRecord(Telemetry::TELEMETRY_SOURCE_IL2, telemetry));
}

void MainBackgroundThread::setWarthunderTelemetry(WarthunderTelemetry telemetry) {
    loop_->accept(TelemetryRecord(Telemetry::TELEMETRY_SOURCE_WARTHUNDER, telemetry));
}

void MainBackgroundThread::setCondor2Telemetry(Condor2Telemetry telemetry) {
    loop_->accept(TelemetryRecord(Telemetry::TELEMETRY_SOURCE_CONDOR, telemetry));
}

void MainBackgroundThread::setLanded(float verticalSpeed, float airspeed) {
    loop_->land(verticalSpeed, airspeed);
}

void MainBackgroundThread::setPanelView(MainBackgroundThread::PanelView view) {
    feed_->setInterval(view == PanelView::InFront ? PanelFeed::InFrontTicks
                                                  : (view == PanelView::Behind ? PanelFeed::BehindTicks : 0));
}

void MainBackgroundThread::setMasterGain(double percent) {
    loop_->setMasterGain(percent);
}

void MainBackgroundThread::setSendMsfsAxes(bool send) {
    loop_->setSendMsfsAxes(send);
}

void MainBackgroundThread::setForcesHeld(bool held) {
    loop_->setForcesHeld(held);
}

Forces MainBackgroundThread::calculateForces(const PositionInput& position) {
    return loop_->calculateForces(position);
}

void MainBackgroundThread::tick(uint64_t periods) {
    loop_->tick(periods);
}
