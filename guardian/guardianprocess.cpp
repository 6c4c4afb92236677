#include "guardian/guardianprocess.h"

#include "device/hidreports.h"
#include "guardian/guardian.h"
#include "guardian/heartbeat.h"
#include "records/logcategories.h"

#include <atomic>
#include <cstring>
#include <initializer_list>

#ifdef __linux__
#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <hidapi.h>
#endif

namespace {

#ifdef __linux__
// Sampled every 50 ms, a beat that stops is noticed 100 to 150 ms after the last one, which
// leaves the zero reports well inside a quarter of a second; 20 wake-ups a second cost next to
// nothing.
constexpr int SampleMs = 50;
constexpr int64_t SilenceNs = 100'000'000;
// Once the program is gone, a device that does not take its zero is tried again this often,
// and waited for this long: a write hung in the kernel gives up after 5 s, and a device
// resuming from suspend takes a few seconds to answer.
constexpr int64_t RetryNs = 100'000'000;
constexpr int64_t FinalWaitNs = 30'000'000'000;
// hid_open goes one at a time, as the library keeps process-wide state; a thread whose turn does
// not come within this long goes ahead, as the one before it is then blocked in the kernel's
// open, where it holds none of that state.
constexpr int64_t OpenTurnNs = 50'000'000;

int64_t monotonicNs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

void sleepNs(int64_t ns) {
    const timespec pause{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
    ::nanosleep(&pause, nullptr);
}

Heartbeat::Shared* shared = nullptr;
// Set when the program has ended without a farewell: every device must be left at zero, however
// long it takes to answer.
std::atomic<bool> programGone{false};
std::atomic<int64_t> giveUpAt{0};
pthread_mutex_t openTurn = PTHREAD_MUTEX_INITIALIZER;

// One device's way to zero, run on a thread of its own so that a device that does not answer
// (an open or a write blocked in the kernel) delays nothing of the other.
struct Release {
    unsigned short productId = 0;
    HidReports::Report forces{};
    std::atomic<bool> busy{false};
    uint64_t silentAt = 0; // the beat count the silence was seen at
};
Release releases[2];

hid_device* openDevice(unsigned short productId) {
    timespec until{};
    ::clock_gettime(CLOCK_REALTIME, &until);
    until.tv_nsec += OpenTurnNs;
    if (until.tv_nsec >= 1'000'000'000) {
        until.tv_nsec -= 1'000'000'000;
        ++until.tv_sec;
    }
    const bool turn = ::pthread_mutex_timedlock(&openTurn, &until) == 0;
    hid_device* device = ::hid_open(HidReports::VendorId, productId, nullptr);
    if (turn) {
        ::pthread_mutex_unlock(&openTurn);
    }
    return device;
}

void* releaseDevice(void* argument) {
    auto* release = static_cast<Release*>(argument);
    const HidReports::Report gainsOff = HidReports::directXOverrideOff();
    for (;;) {
        hid_device* device = openDevice(release->productId);
        if (!device) {
            qCWarning(lcGuardian).noquote()
                << "Guardian let go:"
                << (release->productId == HidReports::JoystickProductId ? "joystick base" : "rudder unit")
                << "not opened";
            break; // absent: nothing of it pushes
        }
        // The program may have come back while the open took its time: its own reports then
        // lead, and a zero now would cut into them.
        if (!programGone.load() && shared->beats.load() != release->silentAt) {
            ::hid_close(device);
            break;
        }
        // Counted before the write: whatever report the program built before it is dropped,
        // and the loop ramps in from zero.
        shared->letGos.fetch_add(1);
        // The game's own effects first, then the program's forces: the last report is the
        // all-zero direct-control one.
        const bool gainsSent = ::hid_write(device, gainsOff.data(), gainsOff.size()) >= 0;
        const bool forcesSent = ::hid_write(device, release->forces.data(), release->forces.size()) >= 0;
        ::hid_close(device);
        qCWarning(lcGuardian).noquote()
            << "Guardian let go:"
            << (release->productId == HidReports::JoystickProductId ? "joystick base" : "rudder unit")
            << (gainsSent && forcesSent ? "zeroed" : "did not take its zero report");
        if ((gainsSent && forcesSent) || !programGone.load() || monotonicNs() >= giveUpAt.load()) {
            break;
        }
        sleepNs(RetryNs);
    }
    release->busy.store(false);
    return nullptr;
}

// Lets go of each device on a thread of its own; one still busy with an earlier let-go (an open
// or a write that has not returned) is left to it.
void letGo(uint64_t silentAt) {
    for (Release& release : releases) {
        if (release.busy.exchange(true)) {
            continue;
        }
        release.silentAt = silentAt;
        pthread_attr_t attributes;
        ::pthread_attr_init(&attributes);
        ::pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
        pthread_t thread{};
        const bool started = ::pthread_create(&thread, &attributes, releaseDevice, &release) == 0;
        ::pthread_attr_destroy(&attributes);
        if (!started) {
            // No thread to be had: this one does it, the other device waits its turn.
            releaseDevice(&release);
        }
    }
}

// Until every device's let-go has finished, at most until giveUpAt.
void waitForReleases() {
    while (monotonicNs() < giveUpAt.load() && (releases[0].busy.load() || releases[1].busy.load())) {
        sleepNs(10'000'000);
    }
}
#endif

} // namespace

namespace GuardianProcess {

bool isRequested(int argc, char* argv[]) {
    return argc == 2 && std::strcmp(argv[1], "--guardian") == 0;
}

int run() {
#ifdef __linux__
    // Signals meant for the program (a terminal's, a full pipe) leave the guardian where it is;
    // SIGTERM and SIGKILL still end it.
    for (int number : {SIGINT, SIGQUIT, SIGHUP, SIGTSTP, SIGTTIN, SIGTTOU, SIGPIPE, SIGXFSZ}) {
        ::signal(number, SIG_IGN);
    }
    ::prctl(PR_SET_NAME, "trennal-guard", 0, 0, 0);
    void* mapping = ::mmap(nullptr, sizeof(Heartbeat::Shared), PROT_READ | PROT_WRITE, MAP_SHARED,
                           Guardian::HeartbeatFd, 0);
    if (mapping == MAP_FAILED || ::fcntl(Guardian::LifelineFd, F_GETFD) < 0) {
        return 2;
    }
    ::close(Guardian::HeartbeatFd);
    shared = static_cast<Heartbeat::Shared*>(mapping);
    ::hid_init();
    const Forces zero;
    const EffectsSettings noDampers;
    const float noOffset[3] = {0.0f, 0.0f, 0.0f};
    releases[0].productId = HidReports::JoystickProductId;
    releases[0].forces = HidReports::joystickDirectControl(zero, noOffset, noDampers);
    releases[1].productId = HidReports::RudderProductId;
    releases[1].forces = HidReports::rudderDirectControl(zero, noOffset, noDampers);

    uint64_t seen = shared->beats.load(std::memory_order_relaxed);
    int64_t changedAt = monotonicNs();
    bool silenceExpected = false;
    bool letGoSinceBeat = false;
    for (;;) {
        pollfd lifeline{Guardian::LifelineFd, POLLIN, 0};
        const int ready = ::poll(&lifeline, 1, SampleMs);
        if (ready > 0) {
            char bytes[16];
            const ssize_t n = ::read(Guardian::LifelineFd, bytes, sizeof bytes);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                // The program is gone without a farewell: whatever it sent last may still push,
                // and a device that does not answer yet is waited for.
                giveUpAt.store(monotonicNs() + FinalWaitNs);
                programGone.store(true);
                if (shared->beats.load(std::memory_order_relaxed) != 0) {
                    letGo(seen);
                    qCWarning(lcGuardian)
                        << "The program ended without a farewell; the guardian let go of the devices";
                }
                waitForReleases();
                break;
            }
            if (std::memchr(bytes, Guardian::Farewell, static_cast<size_t>(n))) {
                break;
            }
            if (std::memchr(bytes, Guardian::SilenceExpected, static_cast<size_t>(n))) {
                silenceExpected = true;
            }
        }
        const uint64_t beats = shared->beats.load(std::memory_order_relaxed);
        const int64_t now = monotonicNs();
        if (beats != seen) {
            seen = beats;
            changedAt = now;
            letGoSinceBeat = false;
        } else if (seen != 0 && !silenceExpected && !letGoSinceBeat && now - changedAt >= SilenceNs) {
            // Frozen, stopped or starved: the devices let go, and the guardian waits for the beat.
            letGo(seen);
            qCWarning(lcGuardian) << "No heartbeat for" << (now - changedAt) / 1000000
                                  << "ms; the guardian let go of the devices";
            letGoSinceBeat = true;
        }
    }
    // A thread still inside a call of the library keeps it: the process's end takes both.
    if (!releases[0].busy.load() && !releases[1].busy.load()) {
        ::hid_exit();
    }
    return 0;
#else
    return 2;
#endif
}

} // namespace GuardianProcess
