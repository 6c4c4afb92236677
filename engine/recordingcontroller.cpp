#include "engine/recordingcontroller.h"

#include "engine/mainbackgroundthread.h"
#include "telemetry/flightrecorder.h"
#include "telemetry/telemetryreplay.h"
#include "telemetry/telemetrythread.h"

#include <QThread>

RecordingController::RecordingController(MainBackgroundThread* loop, QObject* parent)
    : QObject(parent), loop_(loop), telemetry_(loop->telemetry()), recorder_(new FlightRecorder()),
      recorderThread_(new QThread(this)) {
    recorderThread_->setObjectName(QStringLiteral("recorder"));
    recorder_->moveToThread(recorderThread_);
    recorderThread_->start();

    // Always connected, so the recorder knows the aircraft when a recording starts mid-flight.
    // The rows themselves are connected only from the start of a recording to its end; rows
    // that arrive before the file is open or after it is closed are dropped by the recorder.
    connect(loop_, &MainBackgroundThread::telemetrySourceChanged, recorder_, &FlightRecorder::changeSource);

    connect(recorder_, &FlightRecorder::recordingStarted, this, [this](const QString& path) {
        recording_ = true;
        emit recordingChanged(true, tr("Recording to %1").arg(path));
        emit message(tr("Recording to %1").arg(path));
    });
    connect(recorder_, &FlightRecorder::recordingStopped, this,
            [this](const QString& path, int rows, const QString& problem) {
                recording_ = false;
                disconnect(rows_);
                const QString text = tr("Recorded %1 rows to %2").arg(rows).arg(path);
                emit recordingChanged(false, problem.isEmpty() ? text : problem);
                if (problem.isEmpty()) {
                    emit message(text);
                } else {
                    emit this->problem(problem);
                }
            });
    connect(recorder_, &FlightRecorder::recordingFailed, this, [this](const QString& problem) {
        recording_ = false;
        disconnect(rows_);
        emit recordingChanged(false, problem);
        emit this->problem(problem);
    });

    TelemetryReplay* replay = telemetry_->replay();
    connect(replay, &TelemetryReplay::replayStarted, this, [this](const QString& name, qint64) {
        replaying_ = true;
        emit message(tr("Replaying %1").arg(name));
        emit replayChanged(true, name);
    });
    connect(replay, &TelemetryReplay::replayStopped, this, [this]() {
        replaying_ = false;
        emit replayChanged(false, QString());
    });
    connect(replay, &TelemetryReplay::replayFailed, this, &RecordingController::problem);
}

RecordingController::~RecordingController() {
    // The recorder closes its file and comes back to this thread to be deleted here.
    QThread* here = thread();
    QMetaObject::invokeMethod(
        recorder_,
        [r = recorder_, here]() {
            r->stop();
            r->moveToThread(here);
        },
        Qt::BlockingQueuedConnection);
    recorderThread_->quit();
    recorderThread_->wait();
    delete recorder_;
}

void RecordingController::startRecording(const QString& path) {
    if (!rows_) {
        rows_ = connect(loop_, &MainBackgroundThread::recordReceived, recorder_, &FlightRecorder::writeRow);
    }
    QMetaObject::invokeMethod(
        recorder_, [r = recorder_, path]() { r->start(path); }, Qt::QueuedConnection);
}

void RecordingController::stopRecording() {
    QMetaObject::invokeMethod(recorder_, &FlightRecorder::stop, Qt::QueuedConnection);
}

void RecordingController::setRecording(bool on) {
    if (on) {
        startRecording();
    } else {
        stopRecording();
    }
}

void RecordingController::startReplay(const QString& path) {
    QMetaObject::invokeMethod(
        telemetry_, [t = telemetry_, path]() { t->startReplay(path); }, Qt::QueuedConnection);
}

void RecordingController::stopReplay() {
    QMetaObject::invokeMethod(telemetry_, &TelemetryThread::stopReplay, Qt::QueuedConnection);
}

void RecordingController::pauseReplay(bool paused) {
    QMetaObject::invokeMethod(
        telemetry_, [t = telemetry_, paused]() { t->pauseReplay(paused); }, Qt::QueuedConnection);
}

void RecordingController::seekReplay(qint64 position) {
    QMetaObject::invokeMethod(
        telemetry_, [t = telemetry_, position]() { t->seekReplay(position); }, Qt::QueuedConnection);
}

void RecordingController::setReplayLooping(bool looping) {
    QMetaObject::invokeMethod(
        telemetry_, [t = telemetry_, looping]() { t->setReplayLooping(looping); }, Qt::QueuedConnection);
}
