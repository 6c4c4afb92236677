#pragma once

#include <QString>

// The one-command set-up of each UDP game: finds the game's file under the folder the user
// names and applies the edit to it. Running a set-up twice changes nothing the second time.
//
// Threading: main thread; file system only.
class GameSetup {
public:
    struct Outcome {
        bool ok = false;
        QString report; // lines for the user, each ending in a line feed
    };

    // dir: DCS's folder under Saved Games (also inside a Proton prefix). Writes the export
    // script to dir/Scripts and adds the line that loads it to dir/Scripts/Export.lua.
    static Outcome installDcsExport(const QString& dir);
    // dir: the IL-2 Sturmovik folder holding data/startup.cfg.
    static Outcome setupIl2(const QString& dir);
    // dir: the Condor 2 or Condor 3 installation folder holding Settings/ (both keep UDP.ini
    // there; it is created when missing).
    static Outcome setupCondor(const QString& dir);
};
