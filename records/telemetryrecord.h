#pragma once

#include "records/condor2telemetry.h"
#include "records/dcstelemetry.h"
#include "records/msfstelemetry.h"
#include "records/shturmoviktelemetry.h"
#include "records/telemetry.h"
#include "records/warthundertelemetry.h"

#include <QMetaType>

#include <variant>

// One game's flight state on its way to the control loop: the game it came from and the game's
// own record, whose leading part is the common flight state every effect reads. A game whose
// record is exactly the common state travels as a plain Telemetry; a game with fields of its own
// adds its record type to GameRecord, and an effect that only that game drives reads them with
// as<T>(). It is a plain value copied from the telemetry thread to the control thread.
struct TelemetryRecord {
    using GameRecord = std::variant<Telemetry, MSFSTelemetry, DCSTelemetry, ShturmovikTelemetry,
                                    WarthunderTelemetry, Condor2Telemetry>;

    Telemetry::Source source = Telemetry::TELEMETRY_SOURCE_NONE;
    GameRecord game;

    TelemetryRecord() = default;
    template <typename R> TelemetryRecord(Telemetry::Source s, const R& record) : source(s), game(record) {}

    // The common flight state, whatever the game.
    const Telemetry& flight() const {
        return std::visit([](const Telemetry& t) -> const Telemetry& { return t; }, game);
    }
    // The game's own record when it is of type R, else null.
    template <typename R> const R* as() const { return std::get_if<R>(&game); }

    // The record a game sends, rebuilt from its common part (a recording keeps only that): the
    // game's own fields read 0.
    static TelemetryRecord fromCommon(Telemetry::Source source, const Telemetry& common);
};

Q_DECLARE_METATYPE(TelemetryRecord)
