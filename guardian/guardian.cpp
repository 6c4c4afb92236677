#include "guardian/guardian.h"

#include "guardian/heartbeat.h"
#include "records/logcategories.h"

#include <initializer_list>
#include <new>

#ifdef __linux__
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

Guardian::~Guardian() {
    leave();
}

bool Guardian::start(const char* programName) {
#ifdef __linux__
    if (lifeline_ >= 0) {
        return true;
    }
    if (counterFd_ < 0) {
        const int counterFd = ::memfd_create("trennal-heartbeat", MFD_CLOEXEC);
        if (counterFd < 0) {
            return false;
        }
        void* mapping = MAP_FAILED;
        if (::ftruncate(counterFd, sizeof(Heartbeat::Shared)) == 0) {
            mapping =
                ::mmap(nullptr, sizeof(Heartbeat::Shared), PROT_READ | PROT_WRITE, MAP_SHARED, counterFd, 0);
        }
        if (mapping == MAP_FAILED) {
            ::close(counterFd);
            return false;
        }
        counter_ = new (mapping) Heartbeat::Shared();
        // Kept open: a guardian started again watches the same counter.
        counterFd_ = counterFd;
    }
    programName_ = programName ? programName : "grovik-trennal";
    if (!spawn()) {
        qCWarning(lcGuardian)
            << "No guardian could be started: should this program be killed, nothing lets go of the devices";
        return false;
    }
    // The mapping stays for the life of the process: the control thread may be in beat() until
    // the very end.
    Heartbeat::attach(static_cast<Heartbeat::Shared*>(counter_));
    return true;
#else
    (void)programName;
    return false;
#endif
}

bool Guardian::spawn() {
#ifdef __linux__
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return false;
    }
    // Above the numbers the child gets them under, so that neither dup2 clobbers the other.
    const int childLifeline = ::fcntl(ends[0], F_DUPFD_CLOEXEC, 10);
    const int childCounter = ::fcntl(counterFd_, F_DUPFD_CLOEXEC, 10);
    ::close(ends[0]);
    if (childLifeline < 0 || childCounter < 0) {
        for (int fd : {childLifeline, childCounter, ends[1]}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
        return false;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, childLifeline, LifelineFd);
    posix_spawn_file_actions_adddup2(&actions, childCounter, HeartbeatFd);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // Nothing else of the program's (its lock file, sockets, the X connection) stays open in it.
    posix_spawn_file_actions_addclosefrom_np(&actions, HeartbeatFd + 1);
#endif
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP, SIGPIPE, SIGXFSZ, SIGCHLD}) {
        sigaddset(&defaults, number);
    }
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    // A session of its own: the terminal's Ctrl+C and Ctrl+Z are for the program, not for it.
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);

    char option[] = "--guardian";
    char* const arguments[] = {programName_.data(), option, nullptr};
    pid_t pid = -1;
    // /proc/self/exe: this very executable, even when a package update has replaced its file.
    const int spawned = ::posix_spawn(&pid, "/proc/self/exe", &actions, &attributes, arguments, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(childLifeline);
    ::close(childCounter);
    if (spawned != 0) {
        ::close(ends[1]);
        return false;
    }
    lifeline_ = ends[1];
    pid_ = pid;
    exitFd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (exitFd_ >= 0) {
        ::fcntl(exitFd_, F_SETFD, FD_CLOEXEC);
    }
    started_.start();
    qCInfo(lcGuardian) << "Guardian process" << pid << "watches the control loop";
    return true;
#else
    return false;
#endif
}

bool Guardian::restartIfGone() {
#ifdef __linux__
    if (pid_ < 0) {
        return isRunning();
    }
    // 0: still there. Otherwise collected now, or already (-1), and gone either way.
    if (::waitpid(static_cast<pid_t>(pid_), nullptr, WNOHANG) == 0) {
        return true;
    }
    // Gone without being told: killed by hand or by the out-of-memory killer. The devices have
    // no one to let go of them until another guardian watches.
    qCWarning(lcGuardian) << "Guardian process" << pid_ << "ended while the program runs";
    pid_ = -1;
    if (exitFd_ >= 0) {
        ::close(exitFd_);
        exitFd_ = -1;
    }
    if (lifeline_ >= 0) {
        ::close(lifeline_);
        lifeline_ = -1;
    }
    if (silenceExpected_) {
        return false;
    }
    // One that dies as soon as it starts is not started for ever: after a few quick ends in a
    // row, the program flies on without.
    quickEnds_ = started_.elapsed() < QuickEndMs ? quickEnds_ + 1 : 0;
    if (quickEnds_ >= MaxQuickEnds) {
        qCCritical(lcGuardian) << "The guardian keeps ending as it starts; no other is started";
        return false;
    }
    return spawn();
#else
    return false;
#endif
}

void Guardian::expectSilence() {
    silenceExpected_ = true;
    send(SilenceExpected);
}

void Guardian::farewell() {
    send(Farewell);
    leave();
}

void Guardian::leave() {
#ifdef __linux__
    if (lifeline_ < 0) {
        return;
    }
    ::close(lifeline_);
    lifeline_ = -1;
    if (exitFd_ >= 0) {
        ::close(exitFd_);
        exitFd_ = -1;
    }
    // Collected if it has already gone; otherwise it is this process's end that collects it.
    ::waitpid(static_cast<pid_t>(pid_), nullptr, WNOHANG);
#endif
}

void Guardian::send(char byte) {
#ifdef __linux__
    if (lifeline_ < 0) {
        return;
    }
    ssize_t written;
    do {
        written = ::write(lifeline_, &byte, 1);
    } while (written < 0 && errno == EINTR);
#else
    (void)byte;
#endif
}
