#include "telemetry/flightrecorder.h"

#include "telemetry/aircraftname.h"
#include "telemetry/recordingcsv.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

FlightRecorder::FlightRecorder(QObject* parent) : QObject(parent) {}

QString FlightRecorder::defaultFileName(const QDateTime& when, const QString& aircraft) {
    QString name = when.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    QString plane = aircraft.trimmed();
    plane.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]+")), QStringLiteral("_"));
    plane = plane.left(64);
    if (!plane.isEmpty()) {
        name += QLatin1Char('_') + plane;
    }
    return name + QStringLiteral(".csv");
}

QString FlightRecorder::defaultDirectory() {
    return QStringLiteral("recordings");
}

QString FlightRecorder::numberedPath(const QString& path, int number) {
    if (number < 2) {
        return path;
    }
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    const qsizetype at = dot > slash + 1 ? dot : path.size();
    return path.left(at) + QLatin1Char('-') + QString::number(number) + path.mid(at);
}

void FlightRecorder::start(const QString& requested) {
    if (file_.isOpen()) {
        stop();
    }
    QString path = requested;
    if (path.isEmpty()) {
        if (!QDir().mkpath(defaultDirectory())) {
            emit recordingFailed(tr("The directory \"%1\" cannot be created.").arg(defaultDirectory()));
            return;
        }
        path = QDir(defaultDirectory()).filePath(defaultFileName(QDateTime::currentDateTime(), aircraft_));
    }
    // A new file every time, never one that exists (names of the same second, a name given
    // twice): the creation itself is exclusive, so a file made meanwhile is not replaced either.
    bool opened = false;
    for (int number = 1; number <= 1000 && !opened; ++number) {
        file_.setFileName(numberedPath(path, number));
        opened = file_.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered);
        if (!opened && !QFileInfo::exists(file_.fileName())) {
            break; // not a name taken: the directory refuses
        }
    }
    if (!opened) {
        emit recordingFailed(tr("The recording \"%1\" cannot be written: %2").arg(path, file_.errorString()));
        return;
    }
    path = file_.fileName();
    firstTime_ = -1;
    rows_ = 0;
    written_ = 0;
    const QByteArray header = RecordingCsv::header();
    if (file_.write(header) != header.size()) {
        fail(file_.errorString());
        return;
    }
    written_ = header.size();
    emit recordingStarted(path);
}

void FlightRecorder::stop() {
    if (!file_.isOpen()) {
        return;
    }
    const QString path = file_.fileName();
    file_.close();
    emit recordingStopped(path, rows_, QString());
}

void FlightRecorder::writeRow(RecordingRow row) {
    if (!file_.isOpen()) {
        return;
    }
    if (firstTime_ < 0) {
        firstTime_ = row.time;
    }
    row.time -= firstTime_;
    row.aircraft = aircraft_;
    const QByteArray line = RecordingCsv::line(row);
    // The recording stays one the reader takes back whole.
    if (rows_ >= RecordingCsv::MaxRows || written_ + line.size() > RecordingCsv::MaxFileBytes) {
        fail(tr("a recording holds at most %1 rows and %2 MiB")
                 .arg(RecordingCsv::MaxRows)
                 .arg(RecordingCsv::MaxFileBytes / (1024 * 1024)));
        return;
    }
    if (file_.write(line) != line.size()) {
        fail(file_.errorString());
        return;
    }
    written_ += line.size();
    ++rows_;
}

void FlightRecorder::changeSource(Telemetry::Source /*source*/, QString aircraft) {
    aircraft_ = AircraftName::cut(aircraft);
}

void FlightRecorder::fail(const QString& reason) {
    // A partly written line would make the file unreadable: cut it off.
    const QString path = file_.fileName();
    file_.resize(written_);
    file_.close();
    const QString message =
        tr("Recording ended: \"%1\" could not be written (%2). The %3 rows written before are kept.")
            .arg(path, reason)
            .arg(rows_);
    emit recordingStopped(path, rows_, message);
}
