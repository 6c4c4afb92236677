#include "engine/controlthread.h"

#include <QCoreApplication>

#ifdef Q_OS_LINUX
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#endif

#include <cstdint>

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
#endif
}

bool ControlThread::attachTick(int fd, std::function<void()> tick) {
    if (QThread::currentThread() != this || wakeFd_ < 0 || fd < 0 || !tick) {
        return false;
    }
    tickFd_ = fd;
    tick_ = std::move(tick);
    // Called from the event loop: it ends after this event and run() goes on polling.
    exit(ResumeTicking);
    return true;
}

void ControlThread::detachTick() {
    if (QThread::currentThread() != this) {
        return;
    }
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

void ControlThread::run() {
#ifdef Q_OS_LINUX
    while (!stopping_.load()) {
        if (tickFd_ < 0) {
            // Anything but the switch to ticking (quit(), stop()) ends the thread.
            if (exec() != ResumeTicking || tickFd_ < 0) {
                break;
            }
            continue;
        }
        pollfd fds[2] = {{tickFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            continue; // interrupted by a signal
        }
        if (fds[1].revents & POLLIN) {
            uint64_t count = 0;
            [[maybe_unused]] const ssize_t got = ::read(wakeFd_, &count, sizeof count);
        }
        if (fds[0].revents & POLLIN) {
            // A copy: a tick that detaches itself must not destroy the function it runs in.
            const std::function<void()> tick = tick_;
            tick();
        }
        QCoreApplication::sendPostedEvents();
    }
#else
    exec();
#endif
}
