#pragma once

#include "forces/condor2telemetry.h"
#include "forces/dcstelemetry.h"
#include "forces/msfstelemetry.h"
#include "forces/shturmoviktelemetry.h"
#include "forces/telemetry.h"
#include "forces/warthundertelemetry.h"
#include "telemetry/telemetryendpoints.h"

#include <QObject>
#include <QString>
#include <QTimer>

class TelemetryReplay;
class TelemetrySource;

// The telemetry worker: owns one source per game, polls them every 20 ms, lets the first
// source with data become current (only the current one is polled while its stream lasts)
// and re-emits every record to the control loop.
//
// Threading: created without parent on the GUI thread by MainBackgroundThread, then moved to
// a thread of its own; start() and everything after run on that thread. Its signals reach the
// control loop by queued connections carrying the records by value.
class TelemetryThread : public QObject {
    Q_OBJECT

public:
    // Listens on the games' own ports and address.
    explicit TelemetryThread(QObject* parent = nullptr);
    // Listens where the endpoints say; tests use it to run the worker on free ports.
    TelemetryThread(const TelemetryEndpoints& endpoints, QObject* parent = nullptr);

    Telemetry::Source currentSource() const { return currentSource_; }
    // The source polled for a Telemetry::Source value (null for TELEMETRY_SOURCE_NONE).
    TelemetrySource* source(int index) const { return (index > 0 && index < 6) ? sources_[index] : nullptr; }
    // Plays recordings through this worker's signals; while it plays, no game is heard.
    TelemetryReplay* replay() const { return replay_; }

signals:
    void msfsTelemetryChanged(MSFSTelemetry telemetry);
    void dcsTelemetryChanged(DCSTelemetry telemetry);
    void shturmovikTelemetryChanged(ShturmovikTelemetry telemetry);
    void condor2TelemetryChanged(Condor2Telemetry telemetry);
    void warthunderTelemetryChanged(WarthunderTelemetry telemetry);
    void telemetrySourceChanged(Telemetry::Source source, QString name);
    void telemetryEnded();
    // Part of the interface the control loop connects; no source raises it.
    void landed(float verticalSpeed, float airspeed);

public slots:
    void start();
    void startReplay(const QString& path);
    void stopReplay();
    void pauseReplay(bool paused);
    void seekReplay(qint64 position);
    void setReplayLooping(bool looping);

private slots:
    void onTimeout();

private:
    void adoptSource(TelemetrySource* source, Telemetry::Source index);

    QTimer* timer_;
    Telemetry::Source currentSource_ = Telemetry::TELEMETRY_SOURCE_NONE;
    // Indexed by Telemetry::Source; slot 0 is always null.
    TelemetrySource* sources_[6] = {};
    TelemetryReplay* replay_ = nullptr;
};
