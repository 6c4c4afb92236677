#pragma once

#include "records/telemetry.h"

#include <QByteArray>
#include <QDir>
#include <QString>

// What the profile store tells the log: a profile file that reads as the default profile and
// why, a save that failed, and the profile an aircraft was given. Events only: each is a
// user's action or a stream's start.
//
// Threading: GUI thread, with the store.
namespace ProfileLog {

// After a load: `bytes` is what was read of the file (empty when nothing could be).
void loaded(const QDir& directory, const QString& fileName, const QByteArray& bytes, qint64 maxBytes);
void saveFailed(const QString& path, const QString& reason);
// The automatic choice for an aircraft: its own profile, its game's default, or none.
void selected(Telemetry::Source source, const QString& aircraft, const QString& own, const QString& chosen);

} // namespace ProfileLog
