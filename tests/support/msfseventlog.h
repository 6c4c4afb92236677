#pragma once

#include "telemetry/telemetrysourcemsfs.h"

#include <QObject>
#include <QStringList>

// The signals of an MSFS source in the order they came, as short texts: "start SOURCE NAME",
// "data AIRSPEED", "end".
struct EventLog {
    QStringList entries;
    explicit EventLog(TelemetrySourceMSFS* source) {
        QObject::connect(source, &TelemetrySource::telemetrySourceChanged, source,
                         [this](Telemetry::Source s, const QString& name) {
                             entries << QStringLiteral("start %1 %2").arg(int(s)).arg(name);
                         });
        QObject::connect(
            source, &TelemetrySourceMSFS::telemetryChanged, source,
            [this](const MSFSTelemetry& t) { entries << QStringLiteral("data %1").arg(t.airspeed); });
        QObject::connect(source, &TelemetrySource::telemetryEnded, source, [this]() { entries << "end"; });
    }
};
