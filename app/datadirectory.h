#pragma once

#include <QString>

// The directory the program works in: "effect_profiles" and the window icon are paths
// relative to it. A working directory that already holds "effect_profiles" is kept (the run
// script starts the program in one); otherwise, or when the user names a directory, the
// program changes into that directory, by default the per-user data directory, so that a
// start from the desktop menu finds the same profiles every time.
//
// Threading: main thread, before the window is created.
class DataDirectory {
public:
    // The directory to work in: requested when not empty, else current when it holds
    // "effect_profiles", else standard.
    static QString choose(const QString& requested, const QString& current, const QString& standard);

    // Chooses (standard: the application's per-user data location), creates the directory
    // with its "effect_profiles", changes into it and puts the window icon there when it lacks
    // one and the installed icon is found. False with a message when it cannot.
    static bool enter(const QString& requested, QString* error);
};
