#include "engine/controlthread.h"

#include <QCoreApplication>

#ifdef Q_OS_LINUX
#include <sys/timerfd.h>
#include <unistd.h>
#else
#include <algorithm>
#include <chrono>
#include <thread>
#endif

namespace {

// What exec() returns when it was left for the ticking loop, never from quit().
constexpr int ResumeTicking = 0x7469636b;

} // namespace

ControlThread::ControlThread(QObject* parent) : QThread(parent) {}

ControlThread::~ControlThread() {
#ifdef Q_OS_LINUX
    if (tickFd_ >= 0) {
        ::close(tickFd_);
    }
#endif
}

bool ControlThread::attachTick(int periodMs, std::function<void(uint64_t)> tick) {
    if (QThread::currentThread() != this || periodMs <= 0 || !tick) {
        return false;
    }
#ifdef Q_OS_LINUX
    // The kernel re-arms a periodic timerfd from its own schedule, never from the moment it was
    // read, so a late wake-up does not move the next tick; its count of expiries tells a stall.
    // It blocks: the thread sleeps in the read itself, one system call a period.
    const int fd = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    itimerspec period{};
    period.it_interval.tv_sec = periodMs / 1000;
    period.it_interval.tv_nsec = (periodMs % 1000) * 1000000L;
    period.it_value = period.it_interval;
    if (timerfd_settime(fd, 0, &period, nullptr) != 0) {
        ::close(fd);
        return false;
    }
    if (tickFd_ >= 0) {
        ::close(tickFd_);
    }
    tickFd_ = fd;
#else
    tickFd_ = 0;
    schedule_.start();
    nextPeriodMs_ = schedule_.elapsed() + periodMs;
#endif
    periodMs_ = periodMs;
    tick_ = std::move(tick);
    // Called from the event loop: it ends after this event and run() goes on ticking.
    exit(ResumeTicking);
    return true;
}

void ControlThread::detachTick() {
    if (QThread::currentThread() != this) {
        return;
    }
#ifdef Q_OS_LINUX
    if (tickFd_ >= 0) {
        ::close(tickFd_);
    }
#endif
    tickFd_ = -1;
    tick_ = nullptr;
}

void ControlThread::stop() {
    // While ticking, the loop sees it after the period under way: the timer never stops.
    stopping_.store(true);
    quit();
}

uint64_t ControlThread::waitForPeriod() {
#ifdef Q_OS_LINUX
    uint64_t expiries = 0;
    if (::read(tickFd_, &expiries, sizeof expiries) == static_cast<ssize_t>(sizeof expiries)) {
        return expiries;
    }
    return 0; // interrupted by a signal
#else
    // Without a kernel timer: a steady schedule of its own, so a late wake-up does not move
    // the next period either, and the periods missed are counted.
    const qint64 wait = nextPeriodMs_ - schedule_.elapsed();
    if (wait > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(wait));
    }
    const qint64 late = schedule_.elapsed() - nextPeriodMs_;
    const uint64_t periods = 1 + static_cast<uint64_t>(std::max<qint64>(late, 0) / periodMs_);
    nextPeriodMs_ += static_cast<qint64>(periods) * periodMs_;
    return periods;
#endif
}

void ControlThread::run() {
    while (!stopping_.load()) {
        if (tickFd_ < 0) {
            // Anything but the switch to ticking (quit(), stop()) ends the thread.
            if (exec() != ResumeTicking || tickFd_ < 0) {
                break;
            }
            continue;
        }
        const uint64_t periods = waitForPeriod();
        if (periods > 0 && tick_) {
            // A copy: a tick that detaches itself must not destroy the function it runs in.
            const std::function<void(uint64_t)> tick = tick_;
            tick(periods);
        }
        QCoreApplication::sendPostedEvents();
    }
}
