#include "telemetry/telemetryreplay.h"

#include "telemetry/recordingcsv.h"
#include "telemetry/telemetryranges.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>

namespace {

qint64 monotonicMs() {
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

template <typename Record> Record recordOf(const Telemetry& telemetry) {
    Record r;
    static_cast<Telemetry&>(r) = telemetry;
    return r;
}

} // namespace

TelemetryReplay::TelemetryReplay(QObject* parent)
    : QObject(parent), clock_(&monotonicMs), timer_(new QTimer(this)), pool_(new QThreadPool(this)) {
    pool_->setMaxThreadCount(1);
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setInterval(5);
    connect(timer_, &QTimer::timeout, this, &TelemetryReplay::step);
}

qint64 TelemetryReplay::position() const {
    if (!running_) {
        return 0;
    }
    const qint64 p = paused_ ? base_ : base_ + (clock_() - anchor_);
    return std::clamp(p, qint64(0), length());
}

TelemetryReplay::~TelemetryReplay() {
    // A file still being read is waited for; its answer, posted to this object, goes with it.
    ++loadId_;
    pool_->waitForDone();
}

TelemetryReplay::Loaded TelemetryReplay::load(const QString& path) {
    Loaded loaded;
    const QFileInfo info(path);
    loaded.name = info.fileName();
    QFile file(path);
    // A pipe or a device would keep the reader waiting, or reading, for ever.
    if (info.exists() && !info.isFile()) {
        loaded.error = tr("The recording \"%1\" cannot be replayed: it is not a file.").arg(path);
    } else if (!file.open(QIODevice::ReadOnly)) {
        loaded.error = tr("The recording \"%1\" cannot be opened: %2").arg(path, file.errorString());
    } else {
        RecordingFile recording = RecordingCsv::parse(file);
        if (!recording.ok()) {
            loaded.error = tr("The recording \"%1\" cannot be replayed. %2").arg(path, recording.error);
        } else {
            loaded.rows = std::move(recording.rows);
        }
    }
    return loaded;
}

void TelemetryReplay::start(const QString& path) {
    const quint64 id = ++loadId_;
    pool_->start([this, path, id]() {
        const Loaded loaded = load(path);
        QMetaObject::invokeMethod(
            this,
            [this, loaded, id]() {
                // A later start or a stop meanwhile makes this file's answer stale.
                if (id != loadId_) {
                    return;
                }
                if (!loaded.error.isEmpty()) {
                    emit replayFailed(loaded.error);
                } else {
                    play(loaded.rows, loaded.name);
                }
            },
            Qt::QueuedConnection);
    });
}

void TelemetryReplay::play(const QVector<RecordingRow>& rows, const QString& name) {
    if (rows.isEmpty()) {
        emit replayFailed(tr("The recording \"%1\" has no rows.").arg(name));
        return;
    }
    stop();
    rows_ = rows;
    next_ = 0;
    paused_ = false;
    base_ = 0;
    anchor_ = clock_();
    lastReport_ = anchor_;
    running_ = true;
    emit runningChanged(true);
    emit replayStarted(name, length());
    timer_->start();
    step();
}

void TelemetryReplay::stop() {
    ++loadId_;
    if (!running_) {
        return;
    }
    timer_->stop();
    running_ = false;
    // The stream ends as a game's does.
    sendRecord(source_, Telemetry());
    emit telemetryEnded();
    source_ = Telemetry::TELEMETRY_SOURCE_NONE;
    aircraft_.clear();
    rows_.clear();
    next_ = 0;
    emit runningChanged(false);
    emit replayStopped();
}

void TelemetryReplay::setPaused(bool paused) {
    if (!running_ || paused == paused_) {
        return;
    }
    base_ = position();
    anchor_ = clock_();
    paused_ = paused;
    emit replayPaused(paused);
}

void TelemetryReplay::setLooping(bool looping) {
    looping_ = looping;
}

void TelemetryReplay::seek(qint64 position) {
    if (!running_) {
        return;
    }
    base_ = std::clamp(position, qint64(0), length());
    anchor_ = clock_();
    // The first row after the new position; the one before it is what holds there now.
    const auto after = std::upper_bound(rows_.cbegin(), rows_.cend(), base_,
                                        [](qint64 p, const RecordingRow& row) { return p < row.time; });
    next_ = static_cast<int>(after - rows_.cbegin());
    if (next_ > 0) {
        send(rows_[next_ - 1]);
    }
    reportPosition(true);
}

void TelemetryReplay::step() {
    if (!running_ || paused_) {
        return;
    }
    const qint64 now = position();
    while (next_ < rows_.size() && rows_[next_].time <= now) {
        send(rows_[next_++]);
    }
    if (next_ >= rows_.size()) {
        if (!looping_) {
            reportPosition(true);
            stop();
            return;
        }
        // Around again: the first rows go out at the next step.
        next_ = 0;
        base_ = 0;
        anchor_ = clock_();
    }
    reportPosition(false);
}

void TelemetryReplay::reportPosition(bool always) {
    const qint64 now = clock_();
    if (always || now - lastReport_ >= 100) {
        lastReport_ = now;
        emit replayPositionChanged(position(), length());
    }
}

void TelemetryReplay::send(const RecordingRow& row) {
    if (row.source != source_ || row.aircraft != aircraft_) {
        source_ = row.source;
        aircraft_ = row.aircraft;
        emit telemetrySourceChanged(source_, aircraft_);
    }
    // A recording is anyone's file: its rows are held to the ranges a game's parser holds a
    // live record to, so a replay drives no effect past what the live stream would.
    Telemetry record = row.telemetry;
    TelemetryRanges::clampToPhysicalRanges(record);
    sendRecord(row.source, record);
}

void TelemetryReplay::sendRecord(Telemetry::Source source, const Telemetry& telemetry) {
    emit telemetryRecordChanged(TelemetryRecord::fromCommon(source, telemetry));
    switch (source) {
    case Telemetry::TELEMETRY_SOURCE_MSFS:
        emit msfsTelemetryChanged(recordOf<MSFSTelemetry>(telemetry));
        break;
    case Telemetry::TELEMETRY_SOURCE_DCS:
        emit dcsTelemetryChanged(recordOf<DCSTelemetry>(telemetry));
        break;
    case Telemetry::TELEMETRY_SOURCE_IL2:
        emit shturmovikTelemetryChanged(recordOf<ShturmovikTelemetry>(telemetry));
        break;
    case Telemetry::TELEMETRY_SOURCE_WARTHUNDER:
        emit warthunderTelemetryChanged(recordOf<WarthunderTelemetry>(telemetry));
        break;
    case Telemetry::TELEMETRY_SOURCE_CONDOR:
        emit condor2TelemetryChanged(recordOf<Condor2Telemetry>(telemetry));
        break;
    default:
        break;
    }
}
