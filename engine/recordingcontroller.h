#pragma once

#include <QObject>
#include <QString>

class FlightRecorder;
class MainBackgroundThread;
class QThread;
class TelemetryThread;

// Ties the recorder and the replay to the control loop: the recorder gets every record the loop
// accepts on a thread of its own, the replay's commands go to the telemetry worker, and what
// both report comes back as state and messages for the window.
//
// Threading: GUI thread. The recorder lives on its own thread, created and ended here; the
// replay lives on the telemetry thread. Every call to them is queued.
class RecordingController : public QObject {
    Q_OBJECT

public:
    RecordingController(MainBackgroundThread* loop, QObject* parent = nullptr);
    // Ends a running recording (its file stays whole) and the recorder's thread.
    ~RecordingController() override;

    FlightRecorder* recorder() const { return recorder_; }
    bool isRecording() const { return recording_; }
    bool isReplaying() const { return replaying_; }

public slots:
    // An empty path records into the "recordings" directory under a name of date, time and aircraft.
    void startRecording(const QString& path = QString());
    void stopRecording();
    void setRecording(bool on);
    void startReplay(const QString& path);
    void stopReplay();
    void pauseReplay(bool paused);
    void seekReplay(qint64 position);
    void setReplayLooping(bool looping);

signals:
    void recordingChanged(bool recording, QString text);
    // A sentence for the user: recording ended by a full disk, unreadable recording, ...
    void problem(QString message);
    void message(QString message);
    // A replay started (with the recording's name) or ended: the stream is not a live game.
    void replayChanged(bool replaying, QString name);

private:
    MainBackgroundThread* loop_;
    TelemetryThread* telemetry_;
    FlightRecorder* recorder_;
    QThread* recorderThread_;
    bool recording_ = false;
    // The loop's rows reach the recorder only while a recording is wanted: an idle recorder
    // thread costs nothing while a game streams.
    QMetaObject::Connection rows_;
    bool replaying_ = false;
};
