#pragma once

#include "device/deviceaccess.h"

#include <QObject>

#include <functional>

class QTimer;

// Looks about every 2 s for each device the control loop has not connected, and says what it
// finds: absent, attached and permitted, or attached but not to be opened by this user. A device
// the user may not open never reaches the loop, so without this the pilot would only ever read
// "Not detected" and never learn of the missing udev rule. It stops while both are connected.
//
// Threading: lives on the GUI thread, whose event loop runs its timer. The default probe reads
// the kernel's hidraw list (sysfs) only, never hidapi, which the control thread uses meanwhile.
class DevicePresenceWatch : public QObject {
    Q_OBJECT

public:
    // Where a device is looked for: attached, and may it be opened.
    using Probe = std::function<DeviceAccess::Presence(unsigned short productId)>;

    explicit DevicePresenceWatch(QObject* parent = nullptr);

    // Replaces the probe (by default the kernel's hidraw list and the user's access to the node).
    void setProbe(Probe probe);

signals:
    void presenceFound(unsigned short productId, DeviceAccess::Presence presence);

public slots:
    // The loop connected or lost a device: a connected one is not looked for.
    void connectJoystick();
    void disconnectJoystick();
    void connectRudder();
    void disconnectRudder();
    // Looks for each device not connected now and reports what the probe finds.
    void probe();

private:
    void setConnected(bool& connected, bool now);

    Probe probe_;
    QTimer* timer_; // child; runs while a device is not connected
    bool joystickConnected_ = false;
    bool rudderConnected_ = false;
};
