#pragma once

#include <QElapsedTimer>

#include <string>

// The guardian: a small second process that lets go of the devices when this one cannot. The
// devices keep applying their last report until another arrives, so a program that is killed
// (SIGKILL, the out-of-memory killer), crashes, aborts, loses its display past the window's
// shut-down, or is frozen (SIGSTOP, a control thread that stops ticking) would leave a motor
// pushing against the pilot's hand. The guardian watches the control loop's heartbeat and a
// pipe from this process: about 100 ms without a beat, or the end of the pipe without a
// farewell, and it opens each device through hidapi on a thread of its own (one that does not
// answer delays nothing of the other), sends it the DirectX gains at zero and an all-zero
// direct-control report, and closes it again. While this process lives it then waits for the
// beat to return; the let-go it counts in the shared mapping makes the loop ramp in again.
//
// It is this same executable started again with the hidden option --guardian (see
// GuardianProcess), not a fork: the program has threads by the time it holds the instance
// lock, and a forked child of a threaded process may not call hidapi (it allocates and takes
// locks) before an exec. It runs in a session of its own, so Ctrl+C and Ctrl+Z in a terminal
// reach the program but not its guardian, and it shows in `ps` as "grovik-trennal --guardian".
//
// A guardian that ends while the program flies (killed by hand, or by the out-of-memory killer)
// is started again on the same heartbeat as soon as main() hears of it through
// exitDescriptor().
//
// Threading: main thread; start() once the instance lock is held (a second instance starts
// none), restartIfGone() from the event loop, expectSilence() when the event loop has returned,
// farewell() once the engine's shut-down has seen every device take its zero report, leave()
// (or the destructor) otherwise.
class Guardian {
public:
    // Descriptors the guardian finds open at start, and the bytes the program sends it.
    static constexpr int LifelineFd = 3;         // read end of the pipe; its end means the program is gone
    static constexpr int HeartbeatFd = 4;        // the shared Heartbeat::Shared
    static constexpr char SilenceExpected = 'h'; // the loop stops on purpose: the orderly shut-down
    static constexpr char Farewell = 'x';        // the devices are at zero: leave them alone

    Guardian() = default;
    Guardian(const Guardian&) = delete;
    Guardian& operator=(const Guardian&) = delete;
    // Leaves without a farewell (see leave()) unless farewell() was said.
    ~Guardian();

    // Starts the guardian of this process and attaches the heartbeat it watches. False where it
    // cannot be started (not Linux, no memfd, the executable gone); the program runs on without.
    bool start(const char* programName);
    bool isRunning() const { return lifeline_ >= 0; }
    // Readable once the guardian process has ended; -1 while none runs (or where the kernel
    // cannot tell). The descriptor changes when a guardian is started again.
    int exitDescriptor() const { return exitFd_; }
    // Collects a guardian that has ended and, unless the program is on its way out or the
    // guardian keeps ending as soon as it starts, starts another on the same heartbeat. True
    // when a guardian runs afterwards.
    bool restartIfGone();

    // From now on the loop stops on purpose; the guardian still lets go should this process
    // end before the farewell.
    void expectSilence();
    // The devices have confirmed their zero reports: the guardian ends without a word to them.
    void farewell();
    // The program ends without confirmation that every device is at zero (one hung at the
    // shut-down, for one): the guardian lets go of each, waiting for a device that is slow.
    void leave();

private:
    // Ends within this long of its start count as quick; this many in a row, and no more starts.
    static constexpr long long QuickEndMs = 1000;
    static constexpr int MaxQuickEnds = 3;

    bool spawn();
    void send(char byte);

    std::string programName_;
    int counterFd_ = -1;
    void* counter_ = nullptr;
    int lifeline_ = -1;
    int exitFd_ = -1;
    long pid_ = -1;
    QElapsedTimer started_; // since the running guardian was started
    int quickEnds_ = 0;
    bool silenceExpected_ = false;
};
