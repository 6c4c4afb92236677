#pragma once

#include "records/telemetry.h"

#include <QString>

// The one place where the program names a game to the pilot. Messages and the log use the
// names the games go by ("IL-2 Sturmovik", "War Thunder", "Condor 2"); the status panel's
// source field keeps the short names it has always shown ("Il2 Shturmovik", "Warthunder",
// "Condor2"). With no game: "no game" in a message, "Not detected" in the field.
//
// Threading: pure, any thread.
enum class GameNameStyle { Message, SourceField };

QString gameName(Telemetry::Source source, GameNameStyle style = GameNameStyle::Message);
