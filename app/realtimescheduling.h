#pragma once

#include <QString>

// Real-time priority for the control loop's thread. A game loads the CPU; at ordinary priority
// the tick then comes late now and then, and the stick's forces with it. The thread asks for
// SCHED_FIFO itself, which root and users with an RLIMIT_RTPRIO get; where that is refused
// (an ordinary user), it asks RealtimeKit over the system D-Bus, as audio programs on the
// Linux desktop do; where neither is there it stays ordinary, quietly. Elsewhere than Linux
// the thread stays ordinary.
//
// Threading: makeCurrentThreadRealtime() runs on the thread that wants the policy, once, as
// that thread starts; it may block on the system bus for up to about 0.2 s per call there
// (three calls at most), never longer. The accessors may be called from any thread.
class RealtimeScheduling {
public:
    enum class Policy {
        Ordinary,    // no real-time priority
        Direct,      // SCHED_FIFO, granted to the thread itself
        RealtimeKit, // SCHED_FIFO, granted by RealtimeKit
    };

    // The SCHED_FIFO priority asked for: low among real-time threads, above every ordinary
    // one, below the kernel's interrupt threads. RealtimeKit may cap it lower.
    static constexpr int Priority = 10;
    // How long each question to RealtimeKit may take, in milliseconds.
    static constexpr int BusTimeoutMs = 200;

    enum class Ask { DirectThenRealtimeKit, RealtimeKitOnly };

    // Gives the calling thread SCHED_FIFO if it can, records the policy and priority it got,
    // and returns the policy. RealtimeKitOnly skips the direct attempt (a test as root uses it
    // to reach the bus).
    static Policy makeCurrentThreadRealtime(Ask ask = Ask::DirectThenRealtimeKit);

    // What the last call recorded: Ordinary before any call.
    static Policy policy();
    static int priority();
    // The policy in words, as Help > About shows it: "real-time (SCHED_FIFO 10)",
    // "real-time through RealtimeKit (SCHED_FIFO 10)" or "ordinary (no real-time priority)".
    static QString policyText();
    static QString describe(Policy policy, int priority);
};
