#pragma once

#include <atomic>
#include <cstdint>

// The control loop's sign of life, watched by the guardian process that lets go of the devices
// when this process no longer can (killed, crashed, frozen), and the guardian's word back: how
// often it has let go, so that the loop's next reports ramp in rather than push at once.
//
// Threading: beat() is called by the control thread once per tick; it never blocks and costs
// a few nanoseconds (one atomic add on memory the guardian maps too). letGos() is read by the
// control thread once per tick. Until a mapping is attached both do nothing (tests, commands).
namespace Heartbeat {

// Lock-free, so that two processes may share it through a mapping.
struct Shared {
    std::atomic<uint64_t> beats{0};  // counted by the program at every tick
    std::atomic<uint64_t> letGos{0}; // counted by the guardian before each zero it sends
};
static_assert(std::atomic<uint64_t>::is_always_lock_free, "the heartbeat is shared with another process");

void beat();
// How often the guardian has let go; 0 while nothing is attached.
uint64_t letGos();
// Makes beat() count in `shared` from now on, and the device links drop a report built before
// the guardian's latest let-go; null detaches. Called by main() before the control loop starts.
void attach(Shared* shared);

} // namespace Heartbeat
