#pragma once

#include <QString>

// An aircraft name as the program keeps it: at most MaxLength characters, whatever a game
// sends (a DCS datagram may carry 64 KiB). Every name a source reports goes through here, so a
// recording's rows stay within what the recording reader accepts.
//
// Threading: pure function.
namespace AircraftName {

constexpr int MaxLength = 128;

inline QString cut(const QString& name) {
    if (name.size() <= MaxLength) {
        return name;
    }
    // A character outside the basic plane is two; it goes whole or not at all.
    const int length = name.at(MaxLength - 1).isHighSurrogate() ? MaxLength - 1 : MaxLength;
    return name.left(length);
}

} // namespace AircraftName
