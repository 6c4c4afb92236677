#pragma once

#include <QList>
#include <QString>

// The one-command set-up of each game: finds the game's file under the folder the user names
// and applies the edit to it (the command line and Help > Setting up the games run the same). Running a
// set-up twice changes nothing the second time.
//
// Threading: main thread; the file system, and for MSFS a probe of local TCP ports.
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
    // dir: the folder holding MSFS's SimConnect.xml; dataDir: the folder the program works in,
    // where SimConnect.cfg goes. The simulator gets a listener of its own on 127.0.0.1 and a
    // port of 1024 or above that is free here and in the file; the program connects there.
    static Outcome setupMsfs(const QString& dir, const QString& dataDir);
    // The first port from `first` up that no listener in `taken` names and nothing on this
    // computer listens on; 0 when none of the next few hundred is.
    static quint16 freePort(quint16 first, const QList<int>& taken);
};
