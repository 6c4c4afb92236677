#include "engine/controlthread.h"

#include <QCoreApplication>

#ifdef Q_OS_LINUX
#include <poll.h>
#include <sys/eventfd.h>
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

ControlThread::ControlThread(QObject* parent) : QThread(parent) {
#ifdef Q_OS_LINUX
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
#endif
}

ControlThread::~ControlThread() {
#ifdef Q_OS_LINUX
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
    }
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
    if (wakeFd_ < 0) {
        return false;
    }
    // The kernel re-arms a periodic timerfd from its own schedule, never from the moment it was
    // read, so a late wake-up does not move the next tick; its count of expiries tells a stall.
    const int fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
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
    stopping_.store(true);
#ifdef Q_OS_LINUX
    if (wakeFd_ >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
    }
#endif
    quit();
}

uint64_t ControlThread::waitForPeriod() {
#ifdef Q_OS_LINUX
    pollfd fds[2] = {{tickFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
        return 0; // interrupted by a signal
    }
    if (fds[1].revents & POLLIN) {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = ::read(wakeFd_, &count, sizeof count);
    }
    uint64_t expiries = 0;
    if ((fds[0].revents & POLLIN) && ::read(tickFd_, &expiries, sizeof expiries) > 0) {
        return expiries;
    }
    return 0;
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
