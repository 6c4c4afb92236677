#pragma once

#include "records/telemetry.h"

#include <QLoggingCategory>

// One logging category per subsystem, so that a helper can read (or silence) one part of the
// program: "QT_LOGGING_RULES=trennal.device.info=false" silences the devices' lines. Every
// category logs events only (a device found or lost, a stream's start and end, a let-go),
// never anything per tick or per datagram; info and above are on by default.
Q_DECLARE_LOGGING_CATEGORY(lcApp)         // "trennal.app": start, end, start-up problems
Q_DECLARE_LOGGING_CATEGORY(lcDevice)      // "trennal.device": opens, losses, failed writes
Q_DECLARE_LOGGING_CATEGORY(lcControlLoop) // "trennal.loop": scheduling, stalls, held forces
Q_DECLARE_LOGGING_CATEGORY(lcGuardian)    // "trennal.guardian": the watchdog and its let-go
Q_DECLARE_LOGGING_CATEGORY(lcSetup)       // "trennal.setup": the games' files the program edits
Q_DECLARE_LOGGING_CATEGORY(lcProfiles)    // "trennal.profiles": load, save, automatic selection
Q_DECLARE_LOGGING_CATEGORY(lcTelemetry)   // "trennal.telemetry": what no single game owns
Q_DECLARE_LOGGING_CATEGORY(lcTelemetryMsfs)
Q_DECLARE_LOGGING_CATEGORY(lcTelemetryDcs)
Q_DECLARE_LOGGING_CATEGORY(lcTelemetryIl2)
Q_DECLARE_LOGGING_CATEGORY(lcTelemetryWarthunder)
Q_DECLARE_LOGGING_CATEGORY(lcTelemetryCondor)
Q_DECLARE_LOGGING_CATEGORY(lcTelemetryXPlane)

// The category of one game ("trennal.telemetry.dcs" ...); lcTelemetry for none.
const QLoggingCategory& lcTelemetryOf(Telemetry::Source source);
