#include "device/devicelog.h"

#include "device/deviceaccess.h"
#include "records/logcategories.h"

#include <hidapi.h>

#include <QFile>

#include <atomic>
#include <mutex>

namespace {

struct DeviceState {
    QString lastFailure; // the reason of the last failed open that was logged
    QString path;        // where the device was opened
};

struct States {
    std::mutex mutex;
    DeviceState devices[2];
    // Read at every write, so outside the lock: the two devices' I/O threads never meet here.
    // Each is written only by its device's own I/O thread.
    std::atomic<bool> writeFailing[2] = {false, false};
};

States& states() {
    static States s;
    return s;
}

int indexOf(unsigned short productId) {
    return productId == HidReports::RudderProductId ? 1 : 0;
}

DeviceState& stateOf(States& s, unsigned short productId) {
    return s.devices[indexOf(productId)];
}

QString errorText(hid_device* handle) {
    const wchar_t* text = hid_error(handle);
    const QString reason = text ? QString::fromWCharArray(text) : QString();
    return reason.isEmpty() ? QStringLiteral("no reason given") : reason;
}

// The paths hidapi lists for the device (usually one).
QStringList pathsOf(unsigned short productId) {
    QStringList paths;
    hid_device_info* first = hid_enumerate(HidReports::VendorId, productId);
    for (const hid_device_info* info = first; info; info = info->next) {
        if (info->path) {
            paths << QFile::decodeName(info->path);
        }
    }
    hid_free_enumeration(first);
    return paths;
}

} // namespace

namespace DeviceLog {

QString name(unsigned short productId) {
    return DeviceAccess::deviceName(productId) +
           QStringLiteral(" (3F21:%1)").arg(QString::number(productId, 16).toUpper().rightJustified(4, u'0'));
}

void forget(unsigned short productId) {
    States& s = states();
    std::lock_guard<std::mutex> lock(s.mutex);
    stateOf(s, productId) = DeviceState();
    s.writeFailing[indexOf(productId)] = false;
}

void opened(unsigned short productId, hid_device* handle) {
    // Read first: the enumeration below replaces it.
    const QString reason = handle ? QString() : errorText(nullptr);
    States& s = states();
    std::unique_lock<std::mutex> lock(s.mutex);
    DeviceState& d = stateOf(s, productId);
    if (handle) {
        d.lastFailure.clear();
        s.writeFailing[indexOf(productId)] = false;
        lock.unlock();
        const QStringList paths = pathsOf(productId);
        lock.lock();
        d.path = paths.value(0);
        return;
    }
    if (reason == d.lastFailure) {
        return; // tried again every second: said once
    }
    d.lastFailure = reason;
    lock.unlock();
    const QStringList paths = pathsOf(productId);
    if (paths.isEmpty()) {
        qCInfo(lcDevice).noquote() << name(productId) << "not found:" << reason;
        return;
    }
    for (const QString& path : paths) {
        const bool permitted = DeviceAccess::userMayOpen(path);
        qCWarning(lcDevice).noquote() << name(productId) << "at" << path << "could not be opened:" << reason
                                      << (permitted ? QString()
                                                    : QStringLiteral("(this user may not read and write it; "
                                                                     "grovik-trennal --list-devices says how "
                                                                     "to allow it)"));
    }
}

void connected(unsigned short productId, hid_device* handle, int read, uint32_t version) {
    QString path;
    {
        States& s = states();
        std::lock_guard<std::mutex> lock(s.mutex);
        path = stateOf(s, productId).path;
    }
    if (read < 0) {
        qCWarning(lcDevice).noquote() << name(productId) << "connected at" << path
                                      << "but its version could not be read:" << errorText(handle)
                                      << QStringLiteral("(taken as %1)").arg(version);
        return;
    }
    qCInfo(lcDevice).noquote() << name(productId) << "connected at" << path
                               << QStringLiteral("(version %1)").arg(version);
}

int write(unsigned short productId, hid_device* handle, const HidReports::Report& report) {
    const int result = hid_write(handle, report.data(), report.size());
    std::atomic<bool>& failing = states().writeFailing[indexOf(productId)];
    if ((result < 0) == failing.load(std::memory_order_relaxed)) {
        return result; // nothing new: still failing, or still writing
    }
    failing.store(result < 0, std::memory_order_relaxed);
    if (result < 0) {
        qCWarning(lcDevice).noquote()
            << name(productId) << "did not take a report (command"
            << QStringLiteral("0x%1):").arg(report[1], 2, 16, QLatin1Char('0')) << errorText(handle);
    } else {
        qCInfo(lcDevice).noquote() << name(productId) << "takes reports again";
    }
    return result;
}

void lost(unsigned short productId, hid_device* handle) {
    qCWarning(lcDevice).noquote() << name(productId)
                                  << "lost: its position could not be read:" << errorText(handle)
                                  << "(one zero report sent, tried again every second)";
}

void closed(unsigned short productId) {
    qCInfo(lcDevice).noquote() << name(productId) << "closed by the program";
}

} // namespace DeviceLog
