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
// that thread starts. Where RealtimeKit is asked it may block there on the system bus: up to
// 0.2 s for each of its two limits (an absent service answers at once), and up to 1 s for the
// grant, which the service checks with the desktop's authority. The accessors may be called
// from any thread.
class RealtimeScheduling {
public:
    enum class Policy {
        Ordinary,    // no real-time priority
        Direct,      // SCHED_FIFO, granted to the thread itself
        RealtimeKit, // SCHED_RR or SCHED_FIFO (as the service is set up), granted by RealtimeKit
    };

    // The SCHED_FIFO priority asked for: low among real-time threads, above every ordinary
    // one, below the kernel's interrupt threads. RealtimeKit may cap it lower.
    static constexpr int Priority = 10;
    // How long each question to RealtimeKit may take, in milliseconds.
    static constexpr int BusTimeoutMs = 200;

    enum class Ask { DirectThenRealtimeKit, RealtimeKitOnly };

    // Gives the calling thread a real-time policy if it can, remembers the thread and the way
    // it asked, and returns the policy it has now. RealtimeKitOnly skips the direct attempt (a
    // test as root uses it to reach the bus).
    static Policy makeCurrentThreadRealtime(Ask ask = Ask::DirectThenRealtimeKit);
    // The same for a thread that serves the one above (a device's I/O thread): it gets the
    // policy the same way, and the policy shown stays the control thread's.
    static void makeHelperThreadRealtime();
    // The CPU the calling thread runs on now, -1 where that is not known.
    static int currentCpu();
    // Keeps the calling thread on one CPU. The control thread and the devices' threads wake
    // each other every tick: on one CPU, at equal real-time priority, each runs when the other
    // sleeps, without the cost of waking a second, idle CPU 600 times a second.
    static void keepOnCpu(int cpu);

    // What the thread of the last call has, as the kernel says now (a late grant counts; a
    // thread that has ended is ordinary): Ordinary before any call.
    static Policy policy();
    static int priority();
    // The policy in words, as Help > About shows it: "real-time (SCHED_FIFO 10)",
    // "real-time through RealtimeKit (SCHED_RR 10)" or "ordinary (no real-time priority)".
    // RealtimeKit grants SCHED_RR unless its service is set to FIFO; the text says which.
    static QString policyText();
    static QString describe(Policy policy, int priority, bool roundRobin = false);
};
