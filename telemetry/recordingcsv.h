#pragma once

#include "records/recordingrow.h"

#include <QByteArray>
#include <QString>
#include <QVector>

class QIODevice;

// The flight recording file: comma-separated text, a header line naming the columns, then one
// line per telemetry record the control loop received:
//   time_ms,source,aircraft,<every field of Telemetry in declaration order>,
//   force_ailerons,force_elevator,force_rudder
// time_ms counts from the first row, source is the Telemetry::Source number, onGround is 0
// or 1, and every number is written so that it reads back as the same float. The reader
// finds columns by name, so extra columns are ignored; it is a pure function, bounded in
// memory and time whatever it is given, and answers anything it cannot use with an error.
struct RecordingFile {
    QVector<RecordingRow> rows;
    QString error; // empty when the whole file was read

    bool ok() const { return error.isEmpty(); }
};

namespace RecordingCsv {

// Longest line the reader accepts, and most rows: at 50 records a second about five and a
// half hours of flight.
constexpr int MaxLineBytes = 4096;
constexpr int MaxRows = 1000000;
// Most bytes read from a file: a million rows of a few hundred bytes.
constexpr qint64 MaxFileBytes = 256 * 1024 * 1024;

// The names of the columns, in the order they are written.
QStringList columns();
// The header line, with its line feed.
QByteArray header();
// One row as a line, with its line feed. Non-finite values are written as 0, the value the
// force synthesis reads them as; line breaks in the aircraft name become spaces.
QByteArray line(const RecordingRow& row);

// Reads a whole recording. Rows keep the times of the file, made relative to the first row.
RecordingFile parse(QIODevice& device);
RecordingFile parse(const QByteArray& text);

} // namespace RecordingCsv
