#pragma once

#include <atomic>
#include <cstdint>

// The control loop's sign of life, watched by the guardian process that lets go of the devices
// when this process no longer can (killed, crashed, frozen).
//
// Threading: beat() is called by the control thread once per tick; it never blocks and costs
// a few nanoseconds (one atomic add on memory the guardian maps too). Until a counter is
// attached it does nothing (tests, commands).
namespace Heartbeat {

// Lock-free, so that two processes may share it through a mapping.
using Counter = std::atomic<uint64_t>;
static_assert(Counter::is_always_lock_free, "the heartbeat is shared with another process");

void beat();
// Makes beat() count in `counter` from now on; null detaches. Called by main() before the
// control loop starts and after it has stopped.
void attach(Counter* counter);

} // namespace Heartbeat
