#pragma once

#include "records/condor2telemetry.h"
#include "records/dcstelemetry.h"
#include "records/msfstelemetry.h"
#include "records/recordingrow.h"
#include "records/shturmoviktelemetry.h"
#include "records/telemetry.h"
#include "records/telemetryrecord.h"
#include "records/warthundertelemetry.h"

#include <QObject>
#include <QString>
#include <QVector>

#include <functional>

class QThreadPool;
class QTimer;

// Plays a flight recording in real time as if its game were running: the stream opens with
// telemetrySourceChanged for the recorded game and aircraft (again whenever either changes in
// the file), each row goes out through its game's record signal at its time, and stopping (or
// reaching the end without looping) closes the stream with an all-zero record and
// telemetryEnded. Each row is held to the physical ranges a live game's record is held to. The telemetry
// worker passes its signals on exactly as a source's.
//
// Threading: lives on the telemetry thread as a child of TelemetryThread; every slot and its
// 5 ms timer run there. A file is read and parsed on a worker thread of its own (capped in
// bytes by the reader), and the replay starts, or replayFailed comes, when it is done.
class TelemetryReplay : public QObject {
    Q_OBJECT

public:
    explicit TelemetryReplay(QObject* parent = nullptr);
    ~TelemetryReplay() override;

    // The time base in monotonic milliseconds; tests drive it by hand.
    void setClock(std::function<qint64()> clock) { clock_ = std::move(clock); }

    bool isRunning() const { return running_; }
    bool isPaused() const { return paused_; }
    bool isLooping() const { return looping_; }
    // Where the replay stands and how long the recording is, in ms from its first row.
    qint64 position() const;
    qint64 length() const { return rows_.isEmpty() ? 0 : rows_.last().time; }

    // Starts playing rows already read; `name` is what replayStarted reports.
    void play(const QVector<RecordingRow>& rows, const QString& name);

public slots:
    // Reads the recording at `path` off this thread and plays it; an unreadable file gives
    // replayFailed and leaves a running replay alone. Only the latest start counts, and a
    // stop before the file is read cancels it.
    void start(const QString& path);
    void stop();
    void setPaused(bool paused);
    void setLooping(bool looping);
    // Moves to `position` ms (clamped to the recording) and sends the row in force there.
    void seek(qint64 position);
    // Sends every row whose time has come. Run by the timer; tests call it directly.
    void step();

signals:
    void msfsTelemetryChanged(MSFSTelemetry telemetry);
    void dcsTelemetryChanged(DCSTelemetry telemetry);
    void shturmovikTelemetryChanged(ShturmovikTelemetry telemetry);
    void condor2TelemetryChanged(Condor2Telemetry telemetry);
    void warthunderTelemetryChanged(WarthunderTelemetry telemetry);
    // Every row's record, whatever the game, as the control loop takes it.
    void telemetryRecordChanged(TelemetryRecord record);
    void telemetrySourceChanged(Telemetry::Source source, QString name);
    void telemetryEnded();

    void runningChanged(bool running);
    void replayStarted(QString name, qint64 length);
    void replayPaused(bool paused);
    // While playing, at most ten times a second.
    void replayPositionChanged(qint64 position, qint64 length);
    void replayStopped();
    void replayFailed(QString message);

private:
    struct Loaded {
        QVector<RecordingRow> rows;
        QString name;
        QString error;
    };
    // Runs on the worker: reads and parses the file.
    static Loaded load(const QString& path);
    void send(const RecordingRow& row);
    void sendRecord(Telemetry::Source source, const Telemetry& telemetry);
    void reportPosition(bool always);

    std::function<qint64()> clock_;
    QTimer* timer_;
    QThreadPool* pool_;
    quint64 loadId_ = 0; // the start whose file is awaited
    QVector<RecordingRow> rows_;
    int next_ = 0;
    bool running_ = false;
    bool paused_ = false;
    bool looping_ = false;
    qint64 base_ = 0;   // position at the anchor
    qint64 anchor_ = 0; // clock at the anchor
    qint64 lastReport_ = 0;
    Telemetry::Source source_ = Telemetry::TELEMETRY_SOURCE_NONE;
    QString aircraft_;
};
