#pragma once

// The guardian process's own main (see Guardian): watches the heartbeat on Guardian::HeartbeatFd
// and the pipe on Guardian::LifelineFd, and sends both devices the DirectX gains at zero and an
// all-zero direct-control report when the beat stops for about 100 ms or the program ends
// without a farewell.
//
// Threading: the guardian's main thread wakes 20 times a second, runs no Qt event loop and
// creates no application object. Letting go opens and zeroes each device on a short-lived
// thread of its own, so that a device whose open or writes hang keeps the other from nothing.
namespace GuardianProcess {

// Whether main()'s arguments ask for the guardian: exactly `--guardian`, which --help never
// lists.
bool isRequested(int argc, char* argv[]);
// Returns the process's exit status: 0 after a farewell or the program's end, 2 when the
// descriptors it expects are not there (started by hand).
int run();

} // namespace GuardianProcess
