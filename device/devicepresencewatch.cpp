#include "device/devicepresencewatch.h"

#include "device/hidreports.h"

#include <QTimer>

#include <utility>

DevicePresenceWatch::DevicePresenceWatch(QObject* parent)
    : QObject(parent), probe_([](unsigned short productId) {
          return DeviceAccess::presence(DeviceAccess::enumerateHidraw(productId));
      }),
      timer_(new QTimer(this)) {
    timer_->setInterval(2000);
    connect(timer_, &QTimer::timeout, this, &DevicePresenceWatch::probe);
    timer_->start();
}

void DevicePresenceWatch::setProbe(Probe probe) {
    probe_ = std::move(probe);
}

void DevicePresenceWatch::probe() {
    const std::pair<bool, unsigned short> devices[] = {{joystickConnected_, HidReports::JoystickProductId},
                                                       {rudderConnected_, HidReports::RudderProductId}};
    for (const auto& [connected, productId] : devices) {
        if (!connected) {
            emit presenceFound(productId, probe_(productId));
        }
    }
}

void DevicePresenceWatch::setConnected(bool& connected, bool now) {
    connected = now;
    if (joystickConnected_ && rudderConnected_) {
        timer_->stop();
    } else if (!timer_->isActive()) {
        timer_->start();
    }
}

void DevicePresenceWatch::connectJoystick() {
    setConnected(joystickConnected_, true);
}

void DevicePresenceWatch::disconnectJoystick() {
    setConnected(joystickConnected_, false);
}

void DevicePresenceWatch::connectRudder() {
    setConnected(rudderConnected_, true);
}

void DevicePresenceWatch::disconnectRudder() {
    setConnected(rudderConnected_, false);
}
