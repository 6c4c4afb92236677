#pragma once

#include "records/recordingrow.h"
#include "records/telemetry.h"

#include <QDateTime>
#include <QFile>
#include <QObject>
#include <QString>

// Writes the flight recording file: the header, then one line per row the control loop hands
// over, with the aircraft of the stream the loop last announced. Every line goes to the disk
// as it comes, so a failed write (a full disk) loses nothing written before: the file is cut
// back to its last whole line, closed, and the recording ends with a message. A recording
// also ends at the reader's limits, so every file written can be replayed.
//
// Threading: created without parent on the GUI thread, then moved to a thread of its own;
// every slot runs there. Rows reach it by queued connections, so the control thread never
// waits for the disk.
class FlightRecorder : public QObject {
    Q_OBJECT

public:
    explicit FlightRecorder(QObject* parent = nullptr);

    bool isRecording() const { return file_.isOpen(); }
    // The default file name for a recording started at `when` with `aircraft` flying:
    // "<yyyy-MM-dd_HH-mm-ss>_<aircraft>.csv", the aircraft's unsafe characters as '_'.
    static QString defaultFileName(const QDateTime& when, const QString& aircraft);
    // "recordings" beside "effect_profiles", in the working directory.
    static QString defaultDirectory();
    // path with "-<number>" before its extension; path itself for number 1.
    static QString numberedPath(const QString& path, int number);

public slots:
    // Starts writing to a new file `path`; when that name exists, "-2", "-3", ... is added
    // before the extension. An empty path takes a default name in the default directory. A
    // recording already running ends first.
    void start(const QString& path);
    void stop();
    void writeRow(RecordingRow row);
    void changeSource(Telemetry::Source source, QString aircraft);

signals:
    void recordingStarted(QString path);
    // `message` is empty for a recording stopped on request.
    void recordingStopped(QString path, int rows, QString message);
    void recordingFailed(QString message);

private:
    void fail(const QString& message);

    QFile file_;
    QString aircraft_;
    qint64 firstTime_ = -1;
    qint64 written_ = 0; // bytes of whole lines in the file
    int rows_ = 0;
};
