#include "app/tickdispatcher.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimerEvent>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <utility>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

qint64 nowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<qint64>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

short pollEvents(QSocketNotifier::Type type) {
    switch (type) {
    case QSocketNotifier::Read:
        return POLLIN;
    case QSocketNotifier::Write:
        return POLLOUT;
    case QSocketNotifier::Exception:
    default:
        return POLLPRI;
    }
}

} // namespace

TickDispatcher::TickDispatcher(QObject* parent)
    : QAbstractEventDispatcher(parent), wakeFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (wakeFd_ < 0) {
        qFatal("TickDispatcher: no eventfd (%s)", strerror(errno));
    }
}

TickDispatcher::~TickDispatcher() {
    ::close(wakeFd_);
}

void TickDispatcher::setTick(int fd, std::function<void()> tick) {
    tickFd_ = fd;
    tick_ = fd >= 0 ? std::move(tick) : std::function<void()>();
}

bool TickDispatcher::processEvents(QEventLoop::ProcessEventsFlags flags) {
    interrupted_.store(false);
    emit awake();
    QCoreApplication::sendPostedEvents();
    if (interrupted_.load()) {
        return false;
    }

    // The wake-up, the tick and the enabled notifiers, in that order. The notifiers are kept as
    // they were polled: the tick or an earlier notifier may register or remove some.
    const std::vector<QSocketNotifier*> polled = notifiers_;
    pollfd fds[2 + 16];
    std::vector<pollfd> more;
    const size_t count = 2 + polled.size();
    pollfd* set = fds;
    if (count > sizeof fds / sizeof fds[0]) {
        more.resize(count);
        set = more.data();
    }
    set[0] = {wakeFd_, POLLIN, 0};
    set[1] = {tickFd_, POLLIN, 0}; // a negative descriptor is skipped by poll()
    for (size_t i = 0; i < polled.size(); ++i) {
        set[2 + i] = {static_cast<int>(polled[i]->socket()), pollEvents(polled[i]->type()), 0};
    }
    const int wait = (flags & QEventLoop::WaitForMoreEvents) ? timeout() : 0;
    if (wait != 0) {
        emit aboutToBlock();
    }
    const int ready = ::poll(set, static_cast<nfds_t>(count), wait);
    if (wait != 0) {
        emit awake();
    }

    bool any = false;
    if (ready > 0) {
        if (set[0].revents & POLLIN) {
            uint64_t value = 0;
            if (::read(wakeFd_, &value, sizeof value) < 0 && errno != EAGAIN) {
                qWarning("TickDispatcher: reading the wake-up failed (%s)", strerror(errno));
            }
            // Cleared after the read, so the flag never stays set with nothing left to read. A
            // wake-up asked for in between writes nothing, but what it announces is not lost:
            // every pass begins with the posted events, and the event loop checks for its exit
            // between passes.
            woken_.store(false);
            any = true;
        }
        if (set[1].fd >= 0 && set[1].fd == tickFd_ && (set[1].revents & POLLIN)) {
            uint64_t expiries = 0;
            if (::read(tickFd_, &expiries, sizeof expiries) > 0 && tick_) {
                // A copy: the tick may stop the ticking and with it this function.
                const std::function<void()> tick = tick_;
                tick();
            }
            any = true;
        }
        // A notifier sent its event may unregister itself or another; only the ones still
        // registered are told.
        std::vector<std::pair<QSocketNotifier*, bool>> due; // the notifier, and whether its socket is closed
        for (size_t i = 2; i < count; ++i) {
            if (set[i].revents & (set[i].events | POLLERR | POLLHUP | POLLNVAL)) {
                due.emplace_back(polled[i - 2], (set[i].revents & POLLNVAL) != 0);
            }
        }
        for (const auto& [notifier, closed] : due) {
            if (std::find(notifiers_.begin(), notifiers_.end(), notifier) == notifiers_.end()) {
                continue;
            }
            if (closed) {
                // A descriptor closed under its notifier would report itself at every pass.
                qWarning("TickDispatcher: socket %lld was closed under its notifier, which is disabled",
                         static_cast<long long>(notifier->socket()));
                notifier->setEnabled(false);
                continue;
            }
            QEvent event(QEvent::SockAct);
            QCoreApplication::sendEvent(notifier, &event);
            any = true;
        }
    } else if (ready < 0 && errno != EINTR) {
        qWarning("TickDispatcher: poll failed (%s)", strerror(errno));
    }
    return activateTimers() || any;
}

void TickDispatcher::registerSocketNotifier(QSocketNotifier* notifier) {
    if (std::find(notifiers_.begin(), notifiers_.end(), notifier) == notifiers_.end()) {
        notifiers_.push_back(notifier);
    }
}

void TickDispatcher::unregisterSocketNotifier(QSocketNotifier* notifier) {
    notifiers_.erase(std::remove(notifiers_.begin(), notifiers_.end(), notifier), notifiers_.end());
}

void TickDispatcher::registerTimer(int timerId, qint64 interval, Qt::TimerType timerType, QObject* object) {
    timers_.push_back(Timer{timerId, interval, timerType, object, nowMs() + interval});
}

bool TickDispatcher::unregisterTimer(int timerId) {
    const auto it =
        std::find_if(timers_.begin(), timers_.end(), [timerId](const Timer& t) { return t.id == timerId; });
    if (it == timers_.end()) {
        return false;
    }
    timers_.erase(it);
    return true;
}

bool TickDispatcher::unregisterTimers(QObject* object) {
    const auto end = std::remove_if(timers_.begin(), timers_.end(),
                                    [object](const Timer& t) { return t.object == object; });
    const bool any = end != timers_.end();
    timers_.erase(end, timers_.end());
    return any;
}

QList<QAbstractEventDispatcher::TimerInfo> TickDispatcher::registeredTimers(QObject* object) const {
    QList<TimerInfo> list;
    for (const Timer& t : timers_) {
        if (t.object == object) {
            list.append(TimerInfo(t.id, static_cast<int>(t.interval), t.type));
        }
    }
    return list;
}

int TickDispatcher::remainingTime(int timerId) {
    for (const Timer& t : timers_) {
        if (t.id == timerId) {
            return static_cast<int>(std::clamp<qint64>(t.deadline - nowMs(), 0, INT_MAX));
        }
    }
    return -1;
}

void TickDispatcher::wakeUp() {
    // One write until the thread has woken: posting many events costs one system call.
    if (!woken_.exchange(true)) {
        const uint64_t one = 1;
        if (::write(wakeFd_, &one, sizeof one) < 0 && errno != EAGAIN) {
            qWarning("TickDispatcher: waking the thread failed (%s)", strerror(errno));
        }
    }
}

void TickDispatcher::interrupt() {
    interrupted_.store(true);
    wakeUp();
}

bool TickDispatcher::activateTimers() {
    if (timers_.empty()) {
        return false;
    }
    const qint64 now = nowMs();
    std::vector<int> due;
    for (const Timer& t : timers_) {
        if (t.deadline <= now) {
            due.push_back(t.id);
        }
    }
    for (int id : due) {
        // Each is looked up again: an earlier timer event may have stopped or restarted it.
        const auto it =
            std::find_if(timers_.begin(), timers_.end(), [id](const Timer& t) { return t.id == id; });
        if (it == timers_.end() || it->deadline > now) {
            continue;
        }
        // The next expiry keeps the schedule, unless the thread fell a whole interval behind:
        // then it is an interval from now, and missed expiries are dropped.
        it->deadline += it->interval;
        if (it->deadline <= now && it->interval > 0) {
            it->deadline = now + it->interval;
        }
        QObject* object = it->object;
        QTimerEvent event(id);
        QCoreApplication::sendEvent(object, &event);
    }
    return !due.empty();
}

int TickDispatcher::timeout() const {
    if (timers_.empty()) {
        return -1;
    }
    qint64 soonest = LLONG_MAX;
    for (const Timer& t : timers_) {
        soonest = std::min(soonest, t.deadline);
    }
    return static_cast<int>(std::clamp<qint64>(soonest - nowMs(), 0, INT_MAX));
}
