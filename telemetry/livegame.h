#pragma once

#include "records/telemetry.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <optional>

// Which game flies now: the stream rules every game's reader follows, wherever it runs. The
// first game whose stream starts becomes the live one; no other game is heard until its stream
// ends. While a replay plays, no game is heard at all, and a game's stream it cuts short is
// forgotten. The UDP games are read at the control loop's tick, the others on the telemetry
// thread; both ask this one object, so that two games can never drive the forces at once.
//
// Threading: every member may be called from any thread; none blocks (atomics only).
class TelemetrySource;

class LiveGame {
public:
    Telemetry::Source current() const { return static_cast<Telemetry::Source>(current_.load()); }
    bool replaying() const { return replaying_.load(); }
    // Whether a game's input may be read now: no replay plays, and no other game is live.
    bool mayRun(Telemetry::Source source) const {
        const int live = current_.load();
        return !replaying() && (live == Telemetry::TELEMETRY_SOURCE_NONE || live == source);
    }
    // A game's stream starts: true when the game is now the live one (it was, or none was).
    bool claim(Telemetry::Source source);
    // A game's stream ended: true when it was the live one, which it is no longer.
    bool release(Telemetry::Source source);
    // What every reader does when one of its sources says a stream started: the game becomes the
    // live one, its start is logged, and the aircraft's name comes back as rows and panels show
    // it; or another game (or a replay) has it, and the source forgets the stream without a word,
    // to start afresh once that one ends.
    std::optional<QString> startStream(TelemetrySource* source, Telemetry::Source game, const QString& name);
    // A source's stream ended: the game is live no longer, and its end is logged.
    void endStream(Telemetry::Source game);
    // A replay starts or ends: no game is live afterwards either way.
    void setReplaying(bool replaying);
    // Changes whenever the live game or the replay changes; readers compare it to tell the
    // pilot once per stream about a game that is not heard, and to forget streams a replay cut.
    uint64_t generation() const { return generation_.load(); }
    // Changes only when a replay starts.
    uint64_t replays() const { return replays_.load(); }

private:
    std::atomic<int> current_{Telemetry::TELEMETRY_SOURCE_NONE};
    std::atomic<bool> replaying_{false};
    std::atomic<uint64_t> generation_{0};
    std::atomic<uint64_t> replays_{0};
};
