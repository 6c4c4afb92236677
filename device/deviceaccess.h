#pragma once

#include <QList>
#include <QString>

#include <functional>

// Finds the Grovik devices attached to this machine and whether this user may open them,
// without opening them: a device whose hidraw node the user cannot read and write shows up
// in the system but not to the control loop. The access check is a function so that tests
// can decide it.
//
// Threading: no state of its own. enumerate() calls hidapi, whose error state is shared by
// all threads, so only main's --list-devices uses it, while no control loop runs;
// enumerateHidraw() reads sysfs only and is safe beside the control loop (status panel).
namespace DeviceAccess {

// Whether the user may open a device path for reading and writing.
using AccessCheck = std::function<bool(const QString& path)>;

struct Entry {
    unsigned short productId = 0;
    QString product; // the device's product string, empty when it names none
    QString path;    // hidapi's path, the hidraw node on Linux
    bool permitted = false;
};

enum class Presence { Absent, Permitted, NoPermission };

// On Linux access(path, R_OK | W_OK); elsewhere every path is taken as permitted.
bool userMayOpen(const QString& path);

// Every HID interface of vendor 0x3F21 (productId 0: any product), in hidapi's order.
QList<Entry> enumerate(unsigned short productId = 0, const AccessCheck& check = userMayOpen);

// The same from the kernel's list of hidraw nodes (Linux): sysfsRoot/NAME/device/uevent names
// the device ("HID_ID=BUS:VENDOR:PRODUCT", "HID_NAME=..."), devRoot/NAME is its path. Empty
// where there is no such list.
QList<Entry> enumerateHidraw(unsigned short productId, const AccessCheck& check = userMayOpen,
                             const QString& sysfsRoot = QStringLiteral("/sys/class/hidraw"),
                             const QString& devRoot = QStringLiteral("/dev"));

// Absent when no entry is attached; Permitted when the user may open one of them;
// NoPermission when some are attached but none may be opened.
Presence presence(const QList<Entry>& entries);

// "Joystick base", "Rudder unit" or "Unknown device".
QString deviceName(unsigned short productId);

// The rule that gives the user logged in at the machine access to both devices.
QString udevRule();
// What to do about a device that is present but not permitted: the rule, where to put it and
// how to make udev apply it.
QString permissionAdvice();

// The text of --list-devices for these entries, advice included when one is not permitted.
QString formatList(const QList<Entry>& entries);

} // namespace DeviceAccess
