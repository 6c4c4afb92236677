#include "engine/engine.h"

#include "engine/controlthread.h"
#include "engine/mainbackgroundthread.h"
#include "engine/recordingcontroller.h"
#include "profiles/profilesession.h"

#include <QThread>
#include <QTimer>

Engine::Engine(const TelemetryEndpoints& endpoints, std::function<qint64()> clock, QObject* parent)
    : QObject(parent), control_(new MainBackgroundThread(endpoints, std::move(clock))),
      session_(new ProfileSession(this)), recording_(new RecordingController(control_, this)) {
    connect(session_, &ProfileSession::suddenValueChange, control_,
            &MainBackgroundThread::changeSettingsSuddenly);
    connect(session_, &ProfileSession::moderateValueChange, control_,
            &MainBackgroundThread::changeSettingsModerately);
}

Engine::~Engine() {
    shutDown();
}

void Engine::start() {
    if (thread_ || !control_) {
        return;
    }
    // The loop's start must run on its own thread: this zero-delay timer of the GUI thread
    // queues it there once the event loop runs.
    startTimer_ = new QTimer();
    connect(startTimer_, &QTimer::timeout, control_, &MainBackgroundThread::start);
    startTimer_->setSingleShot(true);
    startTimer_->start(0);

    thread_ = new ControlThread();
    thread_->setObjectName(QStringLiteral("control"));
    // Time-critical: the 5 ms period must hold while the machine is busy with a simulator.
    thread_->start(QThread::TimeCriticalPriority);
    control_->moveToThread(thread_);
}

bool Engine::shutDown() {
    if (!control_) {
        return devicesAtZero_;
    }
    // An engine shut down before its first event-loop pass must not leave a loop that starts
    // later and drives the devices on its own; a start already queued runs before the shut-down.
    delete startTimer_;
    startTimer_ = nullptr;
    // A recording under way ends with its file whole before the loop stops feeding it.
    delete recording_;
    recording_ = nullptr;
    MainBackgroundThread* control = control_;
    bool atZero = false;
    if (control->thread() == QThread::currentThread()) {
        atZero = control->shutDown();
    } else {
        QMetaObject::invokeMethod(
            control, [control, &atZero] { atZero = control->shutDown(); }, Qt::BlockingQueuedConnection);
    }
    control_ = nullptr;
    if (thread_) {
        // The shut-down joined the telemetry and device threads; the control thread ends here and
        // destroys the control object on its way out, all before the application object goes.
        connect(thread_, &QThread::finished, control, &QObject::deleteLater);
        thread_->stop();
        thread_->wait();
        delete thread_;
        thread_ = nullptr;
    } else {
        delete control;
    }
    devicesAtZero_ = atZero;
    return atZero;
}

void Engine::setForcesHeld(bool held, bool waitForZero) {
    MainBackgroundThread* control = control_;
    if (!control) {
        return;
    }
    if (control->thread() == QThread::currentThread()) {
        control->setForcesHeld(held);
        return;
    }
    QMetaObject::invokeMethod(
        control, [control, held] { control->setForcesHeld(held); },
        held && waitForZero ? Qt::BlockingQueuedConnection : Qt::QueuedConnection);
}

TelemetryThread* Engine::telemetry() const {
    return control_ ? control_->telemetry() : nullptr;
}
