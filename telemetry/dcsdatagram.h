#pragma once

#include "records/dcstelemetry.h"

#include <QByteArray>
#include <QString>

// The DCS export script's datagram: UTF-8 text, fields separated by ";": aircraft name,
// airspeed, vertical speed, angle of attack, g-load, gear, air brake and flaps as fractions,
// propeller airflow, on-ground flag. Pure functions, total for any bytes: a missing or
// unreadable field reads as 0, no field of the record is ever NaN or infinite, and each is held
// to what an aircraft reaches (telemetry/telemetryranges.h).
// Threading: no state; called by TelemetrySourceDCS on the telemetry thread, and by the fuzzer.

DCSTelemetry parseDcsDatagram(const QByteArray& datagram);
// Field 0, taken whole: the aircraft name a stream is announced with.
QString dcsStreamName(const QByteArray& datagram);
