#pragma once

#include <QMutex>
#include <QObject>
#include <QWaitCondition>

#include <cstdint>

#include <hidapi.h>

// Opens one device, the joystick base or the rudder unit, away from the control loop. An
// open makes the HID library enumerate every attached device (milliseconds, more on Windows)
// and the version request right after it waits for the device; the 5 ms loop never waits
// for either. Each device has its own opener, so a device that does not answer its version
// request keeps the other from neither its open nor its forces. The enumeration itself is
// process-wide state of the library: the openers take turns for hid_open.
//
// Threading: created by the control object, then moved to a thread of its own. request(),
// take(), waitUntilIdle() and refuseRequests() may be called from any thread; the open and
// the version request run on the opener's thread. An opened handle waits in a locked mailbox
// until taken, and belongs to whoever took it.
class DeviceOpener : public QObject {
    Q_OBJECT

public:
    enum Device { Joystick = 0, Rudder = 1 };

    struct Opened {
        hid_device* handle = nullptr; // null when the device was not there
        uint32_t version = 0;
    };

    explicit DeviceOpener(Device device, QObject* parent = nullptr);
    // Closes a handle that was opened but never taken.
    ~DeviceOpener() override;

    Device device() const { return device_; }
    // Queues one open; ignored while one is under way or its result has not been taken yet.
    void request();
    // The result of the last finished open, handed over once; a null handle otherwise.
    Opened take();
    // Blocks until no open is under way. Tests that tick the loop by hand wait here, so that
    // an open requested by one tick is there to be taken by the next.
    void waitUntilIdle();
    // After this, requests are ignored (the thread that would serve them is going away).
    void refuseRequests();

private:
    void open();

    const Device device_;
    QMutex mutex_;
    QWaitCondition idle_;
    bool busy_ = false; // requested and not yet taken
    bool done_ = false; // the open has run
    bool refusing_ = false;
    Opened opened_;
};
