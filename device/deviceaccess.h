#pragma once

#include <QList>
#include <QString>

#include <functional>

// Finds the Grovik devices attached to this machine and whether this user may open them,
// without opening them: a device whose hidraw node the user cannot read and write shows up
// in the system but not to the control loop. Enumeration goes through hidapi; the access
// check is a function so that tests can decide it.
//
// Threading: no state of its own; called on the GUI thread (status panel) or from main.
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

// Absent when nothing of the product is attached; Permitted when the user may open one of
// its interfaces; NoPermission when it is attached but none may be opened.
Presence presence(unsigned short productId, const AccessCheck& check = userMayOpen);

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
