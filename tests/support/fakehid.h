#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// An in-process emulation of the Grovik joystick base (3F21:7A10) and rudder unit
// (3F21:7A2C) behind the hidapi C functions. Tests link it instead of hidapi and drive it
// through this API: plug and unplug, positions and offsets, version bytes, failing reads,
// and the log of every report written. It is safe to use from the test thread while the
// control loop runs on its own thread.
namespace FakeHid {

enum class Device { Joystick = 0, Rudder = 1 };

struct WrittenReport {
    Device device;
    std::array<uint8_t, 65> bytes;
};

// hid_version_str() of the fake library; differs from the installed hidapi's version.
constexpr const char* VersionText = "0.99.7-fake";

// Back to the start state: both devices unplugged, version bytes 0, positions 0, empty log.
void reset();

void plug(Device device);
// A device that is unplugged fails every read and write of the handles opened on it; a
// handle opened before an unplug stays dead after the device is plugged in again.
void unplug(Device device);
bool isPlugged(Device device);

// The floats the position report 0x24 carries: first axis, second axis, their offsets.
void setPosition(Device device, float x, float y = 0.0f, float offsetX = 0.0f, float offsetY = 0.0f);
// Bytes 1..3 of the version report 0x25.
void setVersionBytes(Device device, uint8_t b1, uint8_t b2, uint8_t b3);
// The next position read of the device fails (returns -1) although it stays plugged.
void failNextPositionRead(Device device);
// The version request right after the next open fails (returns -1).
void failNextVersionRead(Device device);

std::vector<WrittenReport> writes();
std::vector<WrittenReport> writes(Device device);
void clearWrites();

int openCount(Device device);
// Every hid_open of the device, whether it was plugged or not.
int openAttempts(Device device);
// The devices of every hid_open since the last reset, plugged or not, in the order they ran.
std::vector<Device> openOrder();
int closeCount(Device device);
int positionReads(Device device);
// Calls made on a handle after hid_close, or with a null handle: must stay 0.
int misuseCount();

// While set (not empty), every hid_open of the plugged device fails as hidapi's does when the
// node cannot be opened, hid_error(NULL) saying "Failed to open a device with path '<path>':
// <reason>"; an unplugged device's open says it was not found. reset() clears it.
void refuseOpen(Device device, const std::string& reason);

// hid_enumerate lists every plugged device with this path (default "/dev/null", which every
// user may open); a test points it at a file the user cannot write to emulate a hidraw node
// without permission. reset() restores the default.
void setPath(Device device, const std::string& path);
// While held, the device's version request (the first thing asked after an open) blocks, as
// with a device that never answers, until released; reset() releases it too.
void holdVersionReads(Device device, bool held);
// Number of version requests of the device blocked at this moment.
int heldVersionReads(Device device);
// While held, every write to the device blocks, as with firmware that stops taking reports,
// until released; reset() releases it too. A write blocked at exit does not hold the exit up.
void holdWrites(Device device, bool held);
// Number of writes of the device blocked at this moment.
int heldWrites(Device device);
// While held, every hid_open of the device blocks, as with a device resuming from suspend or a
// kernel lock held by a hung write, until released; reset() releases it too. An open blocked
// at exit does not hold the exit up.
void holdOpens(Device device, bool held);
// Number of opens of the device blocked at this moment.
int heldOpens(Device device);

// Called on every successful write, outside the fake's lock, on the writing thread.
using WriteObserver = std::function<void(Device device, const unsigned char* bytes, size_t length)>;
void setWriteObserver(WriteObserver observer);
// Off, the log of written reports stays empty (long runs would grow it without bound).
void setLogging(bool on);

} // namespace FakeHid
