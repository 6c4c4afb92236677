#pragma once

#include "device/hidreports.h"

#include <QObject>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class QThread;

// One device, the joystick base or the rudder unit, and everything said to it: the open
// attempts (one every 201 ticks while it is absent, the first at start), the version read, the
// reports, the position reads and the loss that a failed read reveals. Every hidapi call runs
// on the link's own I/O thread, so a device that stops answering holds up neither the 5 ms tick
// nor the other device.
//
// The tick hands over the newest report and never waits: a report the I/O thread has not yet
// written is replaced by the next one, never queued behind it, so a slow device gets the
// freshest forces when it takes a report again. Each force report is preceded by a position
// read (except the first after an open), whose result the next tick reads, at most one tick
// old. A failed read is answered with the DirectX gains at zero and one all-zero report
// attempt before the handle is closed.
//
// Opens of all links take turns in the order they were requested (joystick before rudder when
// both are due at one tick), and hid_open itself runs one at a time in the process.
//
// Threading: created on any thread and used from the control thread: step(), the send*()
// calls, position() and the rest never block, except the wait*() and stop() calls, whose
// waits are bounded. connected() and respondingChanged() are emitted on the control thread from
// step(); disconnected() on the I/O thread when a read fails or close() was asked for.
class DeviceLink : public QObject {
    Q_OBJECT

public:
    enum Device { Joystick = 0, Rudder = 1 };
    // What step() found: the device is absent, was opened just now, or is connected.
    enum class State { Absent, Opened, Connected };

    explicit DeviceLink(Device device, QObject* parent = nullptr);
    // Stops the I/O thread (closing the handle) within a second, or leaves it behind.
    ~DeviceLink() override;

    Device device() const { return device_; }

    // Once per tick: announces an open that has finished, or counts towards the next attempt.
    State step();
    // Asks for an open now (start); ignored while one is under way or the device is connected.
    void requestOpen();
    bool isConnected() const;
    // The version read right after the open (37 when that read failed); 0 while absent.
    uint32_t version() const;
    // The latest position read; all 0.0 while absent and until the first read after an open.
    HidReports::DevicePosition position() const;

    // The newest direct-control report, written after a position read; replaces one not yet written.
    void sendForces(const HidReports::Report& report);
    // A DirectX override report, written before the next force report, after any given before it.
    // A `step` of gains on their way somewhere (a ramp, a fade) replaces a step not yet written.
    void sendGains(const HidReports::Report& report, bool step = false);
    // The DirectX gains at zero and the all-zero direct-control report, written at once without
    // a position read (gains not yet written are dropped). Returns a number for waitWritten();
    // 0 when the device is not connected (nothing to wait for).
    uint64_t sendZero();
    // Waits until the report numbered `sequence` was written, at most until `deadlineMs` of the
    // monotonic clock; true when it was (or there was nothing to write), false when the device
    // was lost or its thread ended first.
    bool waitWritten(uint64_t sequence, qint64 deadlineMs);
    // Whether the I/O thread has been inside one call for more than `ms` milliseconds.
    bool isStalled(qint64 ms) const;
    // Whether a report given to the connected device has waited more than `ms` milliseconds
    // without a write succeeding: a call stuck in the device, or writes that keep failing.
    bool writesStalled(qint64 ms) const;

    // Drops the device: its handle is closed on the I/O thread, then disconnected() is emitted.
    void close();
    // Runs `setup` on the I/O thread before its next call (its scheduling, for one).
    void runOnIoThread(std::function<void()> setup);
    // Waits until the I/O thread has nothing to do, at most `timeoutMs` (-1: no limit). Tests
    // that tick by hand wait here, as the devices' own time passes between real ticks.
    bool waitUntilIdle(int timeoutMs = -1);
    // Ends the I/O thread after what it was given, closing the handle; waits at most
    // `timeoutMs`. A thread stuck in a call is left behind (false) and never waited for again.
    bool stop(int timeoutMs);

    // The all-zero direct-control report of this device.
    HidReports::Report zeroReport() const;

    static qint64 monotonicMs();
    // The guardian's count of let-gos, shared by every link (null: none). A report given before
    // the count last changed is not written: the guardian's zero stays until the loop's next.
    static void watchLetGos(const std::atomic<uint64_t>* counter);

signals:
    void connected(uint32_t version);
    void disconnected();
    // The connected device stopped taking reports for more than about 100 ms (false), or takes
    // them again (true). A device that is lost says so by disconnected() alone.
    void respondingChanged(bool responding);

private:
    struct Shared;
    static void run(const std::shared_ptr<Shared>& shared);

    const Device device_;
    std::shared_ptr<Shared> shared_;
    QThread* thread_;
    int32_t reconnectCounter_ = 1000;
    bool responding_ = true; // as last announced; control thread
};
