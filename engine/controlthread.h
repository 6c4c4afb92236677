#pragma once

#include <QThread>

#include <atomic>
#include <functional>

// The thread the control loop runs on. Until a periodic tick is attached it runs an ordinary
// event loop; from then on a plain loop that sleeps in poll() on the tick's timer descriptor
// and a wake-up descriptor of its own, runs the tick, then delivers the events posted to the
// thread's objects (queued and blocking queued calls), at most one period after they were
// posted. Neither timers nor socket notifiers of the thread run while it ticks: the tick is
// all the thread has to do, and the general event loop costs a third of its time.
//
// Threading: attachTick() and detachTick() run on this thread; stop() on any other.
class ControlThread : public QThread {
    Q_OBJECT

public:
    explicit ControlThread(QObject* parent = nullptr);
    ~ControlThread() override;

    // From now on `tick` runs whenever `fd` is readable; it must read it. False (and nothing
    // changes) when called from another thread or where there is no poll() loop.
    bool attachTick(int fd, std::function<void()> tick);
    // The tick runs no more; the thread returns to its event loop.
    void detachTick();
    // Ends run() after the tick or event under way, whichever loop the thread is in.
    void stop();

protected:
    void run() override;

private:
    int wakeFd_ = -1;
    std::atomic<bool> stopping_{false};
    int tickFd_ = -1;
    std::function<void()> tick_;
};
