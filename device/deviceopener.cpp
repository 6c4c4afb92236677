#include "device/deviceopener.h"

#include "device/hidreports.h"

#include <QMutexLocker>

namespace {
// hid_open enumerates through the library's process-wide state (and its global error text).
QMutex enumerationMutex;
} // namespace

DeviceOpener::DeviceOpener(Device device, QObject* parent) : QObject(parent), device_(device) {}

DeviceOpener::~DeviceOpener() {
    if (opened_.handle) {
        hid_close(opened_.handle);
    }
}

void DeviceOpener::request() {
    {
        QMutexLocker lock(&mutex_);
        if (refusing_ || busy_) {
            return;
        }
        busy_ = true;
        done_ = false;
    }
    QMetaObject::invokeMethod(this, &DeviceOpener::open, Qt::QueuedConnection);
}

DeviceOpener::Opened DeviceOpener::take() {
    QMutexLocker lock(&mutex_);
    if (!busy_ || !done_) {
        return Opened{};
    }
    const Opened opened = opened_;
    opened_ = Opened{};
    busy_ = false;
    done_ = false;
    return opened;
}

void DeviceOpener::waitUntilIdle() {
    QMutexLocker lock(&mutex_);
    while (busy_ && !done_) {
        idle_.wait(&mutex_);
    }
}

void DeviceOpener::refuseRequests() {
    QMutexLocker lock(&mutex_);
    refusing_ = true;
}

void DeviceOpener::open() {
    const unsigned short productId =
        device_ == Joystick ? HidReports::JoystickProductId : HidReports::RudderProductId;
    Opened opened;
    {
        QMutexLocker enumeration(&enumerationMutex);
        opened.handle = hid_open(HidReports::VendorId, productId, nullptr);
    }
    if (opened.handle) {
        // The result is not examined: a failed request leaves the report id alone, version 37.
        HidReports::Report report = HidReports::featureRequest(HidReports::VersionReportId);
        hid_get_feature_report(opened.handle, report.data(), report.size());
        opened.version = HidReports::parseVersion(report);
    }
    QMutexLocker lock(&mutex_);
    opened_ = opened;
    done_ = true;
    idle_.wakeAll();
}
