#pragma once

#include "device/hidreports.h"

#include <QString>

#include <cstdint>

struct hid_device_;
typedef struct hid_device_ hid_device;

// What the device links tell the log, with the facts a helper asks for: which device, its
// path, and hidapi's own reason for a failed call (hid_error). Events only: an absent device
// is tried every second, but a failed open is logged only when its reason changes; a run of
// failed writes is logged at its first failure and at its end.
//
// Threading: called on the links' I/O threads. hidapi keeps the reason of a failed open in
// state shared by the whole process, so opened() runs inside the link's open turn, right after
// hid_open and before any other hidapi call.
namespace DeviceLog {

// "Joystick base (3F21:7A10)", "Rudder unit (3F21:7A2C)".
QString name(unsigned short productId);

// A new link: its first failed open is logged again, whatever an earlier link logged.
void forget(unsigned short productId);
// After hid_open: a failure with its path (when the device is attached) and its reason, once
// per reason; a success remembers the path for connected().
void opened(unsigned short productId, hid_device* handle);
// After the version read that follows an open: `read` is what hid_get_feature_report returned.
void connected(unsigned short productId, hid_device* handle, int read, uint32_t version);
// hid_write with the report; logs the first failure of a run and the first success after it.
int write(unsigned short productId, hid_device* handle, const HidReports::Report& report);
// A failed position read, which drops the device: after its last zero report, before its
// handle is closed.
void lost(unsigned short productId, hid_device* handle);
// The handle closed because the program asked.
void closed(unsigned short productId);

} // namespace DeviceLog
