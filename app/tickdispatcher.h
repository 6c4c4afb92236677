#pragma once

#include <QAbstractEventDispatcher>

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

class QSocketNotifier;

// The control thread's event dispatcher on Linux. Between two ticks the thread sleeps in one
// poll() on the tick's timerfd and a wake-up eventfd, and a tick is a direct call rather than a
// socket-notifier event travelling through a general event loop: at 200 ticks a second that
// loop's own work was more than the tick's. Posted events (queued slot calls from the other
// threads), socket notifiers and timers work as in any Qt thread; timers have millisecond
// precision whatever their type.
//
// Threading: lives on the thread it dispatches for; wakeUp() and interrupt() may be called
// from any thread.
class TickDispatcher final : public QAbstractEventDispatcher {
    Q_OBJECT

public:
    explicit TickDispatcher(QObject* parent = nullptr);
    ~TickDispatcher() override;

    // From now on an expiry of the timerfd `fd` is read here and `tick` called once, on this
    // dispatcher's thread; expiries missed while the thread was held up count as one. -1 stops.
    void setTick(int fd, std::function<void()> tick);

    bool processEvents(QEventLoop::ProcessEventsFlags flags) override;
    void registerSocketNotifier(QSocketNotifier* notifier) override;
    void unregisterSocketNotifier(QSocketNotifier* notifier) override;
    void registerTimer(int timerId, qint64 interval, Qt::TimerType timerType, QObject* object) override;
    bool unregisterTimer(int timerId) override;
    bool unregisterTimers(QObject* object) override;
    QList<TimerInfo> registeredTimers(QObject* object) const override;
    int remainingTime(int timerId) override;
    void wakeUp() override;
    void interrupt() override;

private:
    struct Timer {
        int id;
        qint64 interval;
        Qt::TimerType type;
        QObject* object;
        qint64 deadline; // monotonic ms
    };

    // Sends the timer events that are due; returns whether any was.
    bool activateTimers();
    // Milliseconds until the next timer is due: 0 when one is, -1 without timers.
    int timeout() const;

    int wakeFd_ = -1;
    std::atomic<bool> woken_{false};
    std::atomic<bool> interrupted_{false};
    int tickFd_ = -1;
    std::function<void()> tick_;
    std::vector<QSocketNotifier*> notifiers_;
    std::vector<Timer> timers_;
};
