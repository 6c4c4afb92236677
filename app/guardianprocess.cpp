#include "app/guardianprocess.h"

#include "app/guardian.h"
#include "app/heartbeat.h"
#include "app/logfile.h"
#include "device/hidreports.h"
#include "records/logcategories.h"

#include <QDir>

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

int64_t monotonicNs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

void send(hid_device* device, const HidReports::Report& report) {
    if (device) {
        ::hid_write(device, report.data(), report.size());
    }
}

struct PendingWrite {
    hid_device* device;
    const HidReports::Report* report;
};

void* writeOnItsOwn(void* pending) {
    const auto* write = static_cast<const PendingWrite*>(pending);
    send(write->device, *write->report);
    return nullptr;
}

// Opens both devices as the program does, joystick first, and leaves each at zero force,
// vibration, spring and dampers.
void letGo() {
    const Forces zero;
    const EffectsSettings noDampers;
    const float noOffset[3] = {0.0f, 0.0f, 0.0f};
    const HidReports::Report joystickReport = HidReports::joystickDirectControl(zero, noOffset, noDampers);
    const HidReports::Report rudderReport = HidReports::rudderDirectControl(zero, noOffset, noDampers);
    hid_device* joystick = ::hid_open(HidReports::VendorId, HidReports::JoystickProductId, nullptr);
    const QString joystickError = joystick ? QString() : QString::fromWCharArray(::hid_error(nullptr));
    hid_device* rudder = ::hid_open(HidReports::VendorId, HidReports::RudderProductId, nullptr);
    const QString rudderError = rudder ? QString() : QString::fromWCharArray(::hid_error(nullptr));
    // A device whose writes hang (up to 5 s in the kernel) must not delay the other one; should no
    // thread be had, the rudder waits its turn.
    PendingWrite rudderWrite{rudder, &rudderReport};
    pthread_t thread{};
    const bool threaded = rudder && ::pthread_create(&thread, nullptr, writeOnItsOwn, &rudderWrite) == 0;
    if (!threaded) {
        send(rudder, rudderReport);
    }
    send(joystick, joystickReport);
    if (threaded) {
        ::pthread_join(thread, nullptr);
    }
    if (rudder) {
        ::hid_close(rudder);
    }
    if (joystick) {
        ::hid_close(joystick);
    }
    // Told once both reports are out: the log waits, the hand does not.
    qCWarning(lcGuardian).noquote() << "Guardian let go: joystick base"
                                    << (joystick ? QStringLiteral("zeroed")
                                                 : QStringLiteral("not opened (%1)").arg(joystickError))
                                    << "- rudder unit"
                                    << (rudder ? QStringLiteral("zeroed")
                                               : QStringLiteral("not opened (%1)").arg(rudderError));
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
    void* mapping =
        ::mmap(nullptr, sizeof(Heartbeat::Counter), PROT_READ, MAP_SHARED, Guardian::HeartbeatFd, 0);
    if (mapping == MAP_FAILED || ::fcntl(Guardian::LifelineFd, F_GETFD) < 0) {
        return 2;
    }
    ::close(Guardian::HeartbeatFd);
    LogFile::install(QDir::current().absoluteFilePath(LogFile::FileName), LogFile::Echo::FileOnly,
                     LogFile::Writing::Direct);
    const auto* counter = static_cast<const Heartbeat::Counter*>(mapping);
    ::hid_init();

    uint64_t seen = counter->load(std::memory_order_relaxed);
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
                // The program is gone without a farewell: whatever it sent last may still push.
                if (counter->load(std::memory_order_relaxed) != 0) {
                    letGo();
                    qCWarning(lcGuardian)
                        << "The program ended without a farewell; the guardian let go of the devices";
                }
                break;
            }
            if (std::memchr(bytes, Guardian::Farewell, static_cast<size_t>(n))) {
                break;
            }
            if (std::memchr(bytes, Guardian::SilenceExpected, static_cast<size_t>(n))) {
                silenceExpected = true;
            }
        }
        const uint64_t beats = counter->load(std::memory_order_relaxed);
        const int64_t now = monotonicNs();
        if (beats != seen) {
            seen = beats;
            changedAt = now;
            letGoSinceBeat = false;
        } else if (seen != 0 && !silenceExpected && !letGoSinceBeat && now - changedAt >= SilenceNs) {
            // Frozen, stopped or starved: the devices let go, and the guardian waits for the beat.
            letGo();
            qCWarning(lcGuardian) << "No heartbeat for" << (now - changedAt) / 1000000
                                  << "ms; the guardian let go of the devices";
            letGoSinceBeat = true;
        }
    }
    ::hid_exit();
    return 0;
#else
    return 2;
#endif
}

} // namespace GuardianProcess
