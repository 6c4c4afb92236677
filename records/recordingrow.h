#pragma once

#include "records/telemetry.h"

#include <QMetaType>
#include <QString>
#include <QtGlobal>

// One row of a flight recording: a telemetry record the control loop received, which game
// it came from, and the three axis forces the loop was sending when it arrived. The loop
// fills time, source, telemetry and forces; the recorder adds the aircraft name. A plain
// value copied from the control thread to the recorder's thread and out of a parsed file.
struct RecordingRow {
    qint64 time = 0; // ms; the loop's clock when sent, from the first row when read from a file
    Telemetry::Source source = Telemetry::TELEMETRY_SOURCE_NONE;
    QString aircraft;
    Telemetry telemetry;
    float force[3] = {0.0f, 0.0f, 0.0f}; // ailerons, elevator, rudder
};

Q_DECLARE_METATYPE(RecordingRow)
