#include "device/devicelink.h"

#include "device/devicelog.h"

#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <vector>

#include <hidapi.h>

namespace {

// Ticks between open attempts for an absent device: an attempt when the counter exceeds
// this, that is every 201 ticks (1005 ms).
constexpr int32_t ReconnectTicks = 199;
// Override reports kept for a device that has not taken them yet.
constexpr size_t MaxPendingGains = 16;
// A report owed this long without a write succeeding makes the device "not responding".
constexpr qint64 NotRespondingMs = 100;

// The opens of every link take turns by ticket, in the order the control thread asked for
// them; hid_open also enumerates through the library's process-wide state.
struct OpenTurns {
    std::mutex mutex;
    std::condition_variable turn;
    uint64_t next = 0;
    uint64_t serving = 0;
};

OpenTurns& openTurns() {
    static OpenTurns turns;
    return turns;
}

// The guardian's count of let-gos; null while there is none.
std::atomic<const std::atomic<uint64_t>*> letGoCounter{nullptr};

uint64_t currentLetGos() {
    const std::atomic<uint64_t>* counter = letGoCounter.load(std::memory_order_acquire);
    return counter ? counter->load(std::memory_order_acquire) : 0;
}

} // namespace

struct DeviceLink::Shared {
    Device device;
    std::mutex mutex;
    std::condition_variable wake; // the I/O thread waits here for work
    std::condition_variable done; // the control thread waits here for the I/O thread
    DeviceLink* owner = nullptr;  // null once the link is gone; emits under `emitting`
    bool emitting = false;

    // Asked of the I/O thread.
    bool openRequested = false;
    uint64_t ticket = 0;
    bool closeRequested = false;
    bool quit = false;
    std::function<void()> setup;
    std::vector<HidReports::Report> gains; // oldest first
    uint64_t gainsLetGos = 0;              // the guardian's let-gos when they were given
    bool gainsOff = false;                 // the gains at zero, written before anything else
    bool lastGainsIsStep = false;          // the newest of `gains` is a step of a ramp
    std::optional<HidReports::Report> forces;
    uint64_t forcesLetGos = 0;
    bool forcesZero = false; // the all-zero report: never stale
    bool readFirst = true;
    uint64_t forcesSequence = 0;
    uint64_t writtenSequence = 0;

    // The device as the I/O thread left it.
    hid_device* handle = nullptr;
    bool opened = false;    // open finished, not yet announced by step()
    bool connected = false; // announced and in use
    bool freshOpen = false; // no position read since the open
    uint32_t version = 0;
    HidReports::DevicePosition position;
    bool busy = false;
    qint64 busySince = 0;
    // Since when a report has been waiting without a write succeeding; -1 while none waits.
    qint64 owedSince = -1;
    bool finished = false;

    bool hasWork() const {
        return quit || openRequested || closeRequested || setup || gainsOff || !gains.empty() || forces;
    }
    // A report given to a device that owed nothing starts the count; one behind others does not.
    void owe() {
        if (owedSince < 0) {
            owedSince = monotonicMs();
        }
    }
};

DeviceLink::DeviceLink(Device device, QObject* parent)
    : QObject(parent), device_(device), shared_(std::make_shared<Shared>()) {
    shared_->device = device;
    shared_->owner = this;
    DeviceLog::forget(device == Joystick ? HidReports::JoystickProductId : HidReports::RudderProductId);
    std::shared_ptr<Shared> shared = shared_;
    // Without a parent: a thread stuck in a call outlives the link rather than be destroyed running.
    thread_ = QThread::create([shared] { run(shared); });
    thread_->setObjectName(device == Joystick ? QStringLiteral("joystick link")
                                              : QStringLiteral("rudder link"));
    thread_->start(QThread::InheritPriority);
}

DeviceLink::~DeviceLink() {
    stop(1000);
    std::unique_lock<std::mutex> lock(shared_->mutex);
    shared_->owner = nullptr;
    shared_->done.wait(lock, [this] { return !shared_->emitting; });
}

qint64 DeviceLink::monotonicMs() {
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

void DeviceLink::watchLetGos(const std::atomic<uint64_t>* counter) {
    letGoCounter.store(counter, std::memory_order_release);
}

HidReports::Report DeviceLink::zeroReport() const {
    const float noOffset[3] = {0.0f, 0.0f, 0.0f};
    const EffectsSettings noDampers;
    return device_ == Joystick ? HidReports::joystickDirectControl(Forces(), noOffset, noDampers)
                               : HidReports::rudderDirectControl(Forces(), noOffset, noDampers);
}

DeviceLink::State DeviceLink::step() {
    std::unique_lock<std::mutex> lock(shared_->mutex);
    if (shared_->connected) {
        const bool responding =
            shared_->owedSince < 0 || monotonicMs() - shared_->owedSince <= NotRespondingMs;
        lock.unlock();
        if (responding != responding_) {
            responding_ = responding;
            emit respondingChanged(responding);
        }
        return State::Connected;
    }
    // A device that is gone is announced by disconnected(); when it is back it starts afresh.
    responding_ = true;
    if (shared_->opened) {
        shared_->opened = false;
        shared_->connected = true;
        reconnectCounter_ = 0;
        const uint32_t version = shared_->version;
        lock.unlock();
        emit connected(version);
        return State::Opened;
    }
    if (reconnectCounter_ <= ReconnectTicks) {
        ++reconnectCounter_;
        if (reconnectCounter_ > ReconnectTicks) {
            lock.unlock();
            requestOpen();
        }
    } else {
        reconnectCounter_ = 0;
    }
    return State::Absent;
}

void DeviceLink::requestOpen() {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    // A busy thread (stuck, perhaps) gets no ticket: the other link's opens never wait behind it.
    if (shared_->quit || shared_->openRequested || shared_->busy || shared_->opened || shared_->connected ||
        shared_->handle) {
        return;
    }
    {
        OpenTurns& turns = openTurns();
        std::lock_guard<std::mutex> turnLock(turns.mutex);
        shared_->ticket = turns.next++;
    }
    shared_->openRequested = true;
    shared_->wake.notify_one();
}

bool DeviceLink::isConnected() const {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->connected;
}

uint32_t DeviceLink::version() const {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->connected ? shared_->version : 0;
}

HidReports::DevicePosition DeviceLink::position() const {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->position;
}

void DeviceLink::sendForces(const HidReports::Report& report) {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    if (!shared_->connected) {
        return;
    }
    shared_->owe();
    shared_->forces = report;
    shared_->forcesLetGos = currentLetGos();
    shared_->forcesZero = false;
    shared_->readFirst = true;
    ++shared_->forcesSequence;
    shared_->wake.notify_one();
}

void DeviceLink::sendGains(const HidReports::Report& report, bool step) {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    if (!shared_->connected) {
        return;
    }
    // Those given before the guardian last let go are stale.
    const uint64_t letGos = currentLetGos();
    if (letGos != shared_->gainsLetGos) {
        shared_->gains.clear();
        shared_->gainsLetGos = letGos;
    }
    shared_->owe();
    // A slow device gets the newest step of a ramp, not every step queued before its forces.
    const bool replace = step && shared_->lastGainsIsStep && !shared_->gains.empty();
    shared_->lastGainsIsStep = step;
    if (replace) {
        shared_->gains.back() = report;
        return;
    }
    // Each change reaches the device in order; only a device that takes nothing lets them
    // pile up, and then the oldest go.
    if (shared_->gains.size() >= MaxPendingGains) {
        shared_->gains.erase(shared_->gains.begin());
    }
    shared_->gains.push_back(report);
    shared_->wake.notify_one();
}

uint64_t DeviceLink::sendZero() {
    const HidReports::Report zero = zeroReport();
    std::lock_guard<std::mutex> lock(shared_->mutex);
    if (!shared_->connected) {
        return 0;
    }
    shared_->owe();
    shared_->forces = zero;
    shared_->forcesZero = true;
    // The game's own effects stop with the program's: gains given before are moot.
    shared_->gains.clear();
    shared_->gainsOff = true;
    shared_->readFirst = false;
    shared_->wake.notify_one();
    return ++shared_->forcesSequence;
}

bool DeviceLink::waitWritten(uint64_t sequence, qint64 deadlineMs) {
    std::unique_lock<std::mutex> lock(shared_->mutex);
    const auto written = [&] { return sequence == 0 || shared_->writtenSequence >= sequence; };
    while (!written()) {
        // A device lost meanwhile has nothing left to write to, and did not confirm.
        if (!shared_->connected || shared_->finished) {
            return false;
        }
        const qint64 left = deadlineMs - monotonicMs();
        if (left <= 0) {
            return false;
        }
        shared_->done.wait_for(lock, std::chrono::milliseconds(left));
    }
    return true;
}

bool DeviceLink::isStalled(qint64 ms) const {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->busy && monotonicMs() - shared_->busySince > ms;
}

bool DeviceLink::writesStalled(qint64 ms) const {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->connected && shared_->owedSince >= 0 && monotonicMs() - shared_->owedSince > ms;
}

void DeviceLink::close() {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    if (shared_->connected) {
        shared_->closeRequested = true;
        shared_->wake.notify_one();
    }
}

void DeviceLink::runOnIoThread(std::function<void()> setup) {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->setup = std::move(setup);
    shared_->wake.notify_one();
}

bool DeviceLink::waitUntilIdle(int timeoutMs) {
    std::unique_lock<std::mutex> lock(shared_->mutex);
    const auto idle = [this] {
        return shared_->finished || (!shared_->busy && !shared_->emitting && !shared_->hasWork());
    };
    if (timeoutMs < 0) {
        shared_->done.wait(lock, idle);
        return true;
    }
    return shared_->done.wait_for(lock, std::chrono::milliseconds(timeoutMs), idle);
}

bool DeviceLink::stop(int timeoutMs) {
    if (!thread_) {
        return true;
    }
    {
        std::unique_lock<std::mutex> lock(shared_->mutex);
        shared_->quit = true;
        shared_->wake.notify_one();
        if (!shared_->done.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                    [this] { return shared_->finished; })) {
            // Stuck in a call that may never return: left behind with the state it holds, and
            // silent from now on, whatever it finds when (if ever) the call returns.
            thread_ = nullptr;
            shared_->owner = nullptr;
            shared_->done.wait(lock, [this] { return !shared_->emitting; });
            return false;
        }
    }
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
    return true;
}

// ---- The I/O thread -----------------------------------------------------------------------

void DeviceLink::run(const std::shared_ptr<Shared>& shared) {
    Shared& s = *shared;
    const unsigned short productId =
        s.device == Joystick ? HidReports::JoystickProductId : HidReports::RudderProductId;
    const auto emitDisconnected = [&s](std::unique_lock<std::mutex>& lock) {
        if (!s.owner) {
            return;
        }
        s.emitting = true;
        DeviceLink* owner = s.owner;
        lock.unlock();
        emit owner->disconnected();
        lock.lock();
        s.emitting = false;
    };
    const auto finishCall = [&s] {
        s.busy = false;
        s.done.notify_all();
    };

    std::unique_lock<std::mutex> lock(s.mutex);
    for (;;) {
        s.wake.wait(lock, [&s] { return s.hasWork(); });
        if (s.setup) {
            const std::function<void()> setup = std::move(s.setup);
            s.setup = nullptr;
            lock.unlock();
            setup();
            lock.lock();
            continue;
        }
        if (s.openRequested) {
            const uint64_t ticket = s.ticket;
            const bool skip = s.quit;
            s.busy = true;
            s.busySince = monotonicMs();
            lock.unlock();
            hid_device* handle = nullptr;
            {
                OpenTurns& turns = openTurns();
                std::unique_lock<std::mutex> turn(turns.mutex);
                turns.turn.wait(turn, [&] { return turns.serving == ticket; });
                if (!skip) {
                    handle = hid_open(HidReports::VendorId, productId, nullptr);
                    DeviceLog::opened(productId, handle);
                }
                ++turns.serving;
                turns.turn.notify_all();
            }
            uint32_t version = 0;
            if (handle) {
                // The result is not examined: a failed request leaves the report id alone, version 37.
                HidReports::Report report = HidReports::featureRequest(HidReports::VersionReportId);
                const int read = hid_get_feature_report(handle, report.data(), report.size());
                version = HidReports::parseVersion(report);
                DeviceLog::connected(productId, handle, read, version);
            }
            lock.lock();
            s.openRequested = false;
            if (handle) {
                s.handle = handle;
                s.version = version;
                s.opened = true;
                s.freshOpen = true;
                s.owedSince = -1;
            }
            finishCall();
            continue;
        }
        if (!s.handle || !s.connected) {
            // Nothing to write to: what was left for a device now gone is dropped.
            s.gains.clear();
            s.gainsOff = false;
            s.forces.reset();
            s.closeRequested = false;
            s.owedSince = -1;
            if (s.quit) {
                break;
            }
            s.done.notify_all();
            continue;
        }
        if (s.closeRequested) {
            s.closeRequested = false;
            DeviceLog::closed(productId);
            hid_close(s.handle);
            s.handle = nullptr;
            s.connected = false;
            s.owedSince = -1;
            s.position = HidReports::DevicePosition();
            emitDisconnected(lock);
            s.done.notify_all();
            continue;
        }
        if (!s.gainsOff && s.gains.empty() && !s.forces) {
            break; // quit, everything given written
        }
        const bool gainsOff = s.gainsOff;
        s.gainsOff = false;
        std::vector<HidReports::Report> gains;
        gains.swap(s.gains);
        const uint64_t gainsLetGos = s.gainsLetGos;
        const std::optional<HidReports::Report> forces = s.forces;
        const uint64_t forcesLetGos = s.forcesLetGos;
        const bool forcesZero = s.forcesZero;
        const bool read = forces && s.readFirst && !s.freshOpen;
        const uint64_t sequence = s.forcesSequence;
        s.forces.reset();
        hid_device* const handle = s.handle;
        s.busy = true;
        s.busySince = monotonicMs();
        lock.unlock();

        bool lost = false;
        HidReports::DevicePosition position;
        if (read) {
            HidReports::Report report = HidReports::featureRequest(HidReports::PositionReportId);
            if (hid_get_feature_report(handle, report.data(), report.size()) <= 0) {
                // A failed read is how a lost device shows itself. One last word, in case it is
                // still listening, so that it is not left pushing.
                lost = true;
                const float noOffset[3] = {0.0f, 0.0f, 0.0f};
                const EffectsSettings noDampers;
                const HidReports::Report zero =
                    s.device == Joystick ? HidReports::joystickDirectControl(Forces(), noOffset, noDampers)
                                         : HidReports::rudderDirectControl(Forces(), noOffset, noDampers);
                const HidReports::Report gainsZero = HidReports::directXOverrideOff();
                hid_write(handle, gainsZero.data(), gainsZero.size());
                hid_write(handle, zero.data(), zero.size());
                DeviceLog::lost(productId, handle);
                hid_close(handle);
            } else {
                position = HidReports::parsePosition(report);
            }
        }
        bool wrote = true; // every write of this round went through
        bool forcesWritten = false;
        bool forcesTaken = false; // the device confirmed the write
        if (!lost) {
            if (gainsOff) {
                const HidReports::Report off = HidReports::directXOverrideOff();
                wrote = DeviceLog::write(productId, handle, off) >= 0 && wrote;
            }
            // Reports built before the guardian let go of the device (this process was stopped
            // or starved meanwhile) would undo its zero at once: the loop sends fresh ones.
            if (gainsLetGos == currentLetGos()) {
                for (const HidReports::Report& report : gains) {
                    wrote = DeviceLog::write(productId, handle, report) >= 0 && wrote;
                }
            }
            if (forces && (forcesZero || forcesLetGos == currentLetGos())) {
                forcesTaken = DeviceLog::write(productId, handle, *forces) >= 0;
                forcesWritten = true;
                wrote = forcesTaken && wrote;
            }
        }

        lock.lock();
        if (lost) {
            s.handle = nullptr;
            s.connected = false;
            s.owedSince = -1;
            s.position = HidReports::DevicePosition();
            s.gains.clear();
            s.forces.reset();
            finishCall();
            emitDisconnected(lock);
            s.done.notify_all();
            continue;
        }
        if (read) {
            s.position = position;
        }
        if (wrote) {
            // Reports flow: what was given meanwhile starts its own count now.
            s.owedSince = !s.gainsOff && s.gains.empty() && !s.forces ? -1 : monotonicMs();
        }
        if (forcesWritten) {
            s.freshOpen = false;
        }
        if (forcesTaken) {
            s.writtenSequence = sequence;
        }
        finishCall();
    }
    if (s.handle) {
        hid_close(s.handle);
        s.handle = nullptr;
    }
    s.connected = false;
    s.finished = true;
    s.done.notify_all();
}
