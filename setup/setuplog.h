#pragma once

#include "setup/gamesetup.h"

#include <QString>

// What a game's set-up tells the log: which game and folder, whether it was set up, and the
// files it changed or why it changed none (the lines the user was shown).
//
// Threading: the thread that ran the set-up.
namespace SetupLog {

void outcome(const QString& game, const QString& folder, const GameSetup::Outcome& outcome);

} // namespace SetupLog
