#pragma once

#include "forces/telemetry.h"

#include <QObject>
#include <QString>

// One game's telemetry input, polled by TelemetryThread. A source starts a stream when data
// first arrives (telemetrySourceChanged with the aircraft name), publishes records with its
// own telemetryChanged signal while the stream lasts, and ends it with an all-zero record
// followed by telemetryEnded.
//
// Threading: lives on the telemetry thread as a child of TelemetryThread; poll() is called
// from its 20 ms timer and must not block.
class TelemetrySource : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

public slots:
    // One step of work: read pending input, advance the stream.
    virtual void poll() = 0;

signals:
    void telemetrySourceChanged(Telemetry::Source source, QString name);
    void telemetryEnded();
    void landed(float initialMagnitude);
};
