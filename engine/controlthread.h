#pragma once

#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <functional>

// The thread the control loop runs on, and the one way into its tick. Until a periodic tick is
// attached it runs an ordinary event loop; from then on a plain loop that sleeps until the next
// period (in a blocking read of a periodic kernel timer), runs the tick with the number of periods that
// passed, then delivers the events posted to the thread's objects (queued and blocking queued calls), at most
// one period after they were posted. Neither timers nor socket notifiers of the thread run while it ticks:
// the tick is all the thread has to do, and the general event loop costs a third of its time.
//
// Threading: attachTick() and detachTick() run on this thread; stop() on any other.
class ControlThread : public QThread {
    Q_OBJECT

public:
    explicit ControlThread(QObject* parent = nullptr);
    ~ControlThread() override;

    // From now on `tick` runs every `periodMs`, told how many periods passed since it last ran
    // (more than one after a stall). False (and nothing changes) when called from another
    // thread or when no periodic timer can be had.
    bool attachTick(int periodMs, std::function<void(uint64_t periods)> tick);
    // The tick runs no more; the thread returns to its event loop.
    void detachTick();
    // Ends run() after the tick or event under way, whichever loop the thread is in; while
    // ticking, within one period.
    void stop();

protected:
    void run() override;

private:
    // Sleeps until the next period; the periods that passed, 0 when a signal cut the sleep short.
    uint64_t waitForPeriod();

    std::atomic<bool> stopping_{false};
    int tickFd_ = -1;
    int periodMs_ = 0;
#ifndef Q_OS_LINUX
    // Where there is no kernel timer: the thread's own schedule and when the next period is due.
    QElapsedTimer schedule_;
    qint64 nextPeriodMs_ = 0;
#endif
    std::function<void(uint64_t)> tick_;
};
