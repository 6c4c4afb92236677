#pragma once

// The control loop's sign of life, watched by the guardian process that lets go of the devices
// when this process no longer can (killed, crashed, frozen).
//
// Threading: beat() is called by the control thread once per tick; it never blocks and costs
// a few nanoseconds. Until a guardian is attached it does nothing (tests, commands).
namespace Heartbeat {

void beat();

} // namespace Heartbeat
