#include "support/fakehid.h"

#include <hidapi.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <thread>

struct hid_device_ {
    int device;
    int generation; // the plug generation it was opened in; dead once the device is unplugged
    bool closed;
};

namespace FakeHid {
namespace {

struct DeviceState {
    bool plugged = false;
    int generation = 0;
    uint8_t version[3] = {0, 0, 0};
    float position[4] = {0, 0, 0, 0};
    bool failNextPosition = false;
    bool failNextVersion = false;
    int opens = 0;
    int attempts = 0;
    int closes = 0;
    int positionReads = 0;
    bool holdVersion = false;
    int heldVersion = 0;
    std::string refusal; // why hid_open fails although the device is plugged
};

struct State {
    std::mutex mutex;
    DeviceState devices[2];
    std::vector<WrittenReport> log;
    std::vector<Device> openOrder;
    int misuse = 0;
    bool logging = true;
    WriteObserver observer;
    std::condition_variable released;
    // Handles are never freed, so a use after hid_close is detected instead of crashing.
    std::vector<hid_device*> handles;
    std::wstring globalError = L"Success"; // hid_error(NULL): why the last hid_open failed
};

State& state() {
    static State s;
    return s;
}

// Enumeration state, kept apart from the report emulation above.
struct Enumeration {
    std::mutex mutex;
    std::string paths[2] = {"/dev/null", "/dev/null"};
};

// Held writes poll these instead of waiting on the state's condition variable, so a write left
// blocked in a thread that is never joined cannot hold up the destruction of the state at exit.
std::atomic<bool> writeHeld[2];
std::atomic<int> writesBlocked[2];
std::atomic<bool> openHeld[2];
std::atomic<int> opensBlocked[2];

// Blocks while `held` is set, counted in `blocked`.
void waitWhileHeld(const std::atomic<bool>& held, std::atomic<int>& blocked) {
    if (!held) {
        return;
    }
    ++blocked;
    while (held) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    --blocked;
}

Enumeration& enumeration() {
    static Enumeration e;
    return e;
}

void resetPaths() {
    Enumeration& e = enumeration();
    std::lock_guard<std::mutex> lock(e.mutex);
    e.paths[0] = e.paths[1] = "/dev/null";
}

DeviceState& dev(State& s, Device d) {
    return s.devices[static_cast<int>(d)];
}

bool alive(State& s, hid_device* h) {
    if (!h || h->closed) {
        ++s.misuse;
        return false;
    }
    const DeviceState& d = s.devices[h->device];
    return d.plugged && d.generation == h->generation;
}

} // namespace

void reset() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    for (DeviceState& d : s.devices) {
        const int generation = d.generation + 1;
        const int held = d.heldVersion; // requests blocked right now still count themselves out
        d = DeviceState{};
        d.generation = generation;
        d.heldVersion = held;
    }
    s.log.clear();
    s.openOrder.clear();
    s.misuse = 0;
    resetPaths();
    s.logging = true;
    s.observer = nullptr;
    s.released.notify_all();
    writeHeld[0] = false;
    writeHeld[1] = false;
    openHeld[0] = false;
    openHeld[1] = false;
}

void refuseOpen(Device device, const std::string& reason) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    dev(s, device).refusal = reason;
}

void plug(Device device) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    DeviceState& d = dev(s, device);
    if (!d.plugged) {
        d.plugged = true;
        ++d.generation;
    }
}

void unplug(Device device) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    dev(s, device).plugged = false;
}

bool isPlugged(Device device) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return dev(s, device).plugged;
}

void setPosition(Device device, float x, float y, float offsetX, float offsetY) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    DeviceState& d = dev(s, device);
    d.position[0] = x;
    d.position[1] = y;
    d.position[2] = offsetX;
    d.position[3] = offsetY;
}

void setVersionBytes(Device device, uint8_t b1, uint8_t b2, uint8_t b3) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    DeviceState& d = dev(s, device);
    d.version[0] = b1;
    d.version[1] = b2;
    d.version[2] = b3;
}

void failNextPositionRead(Device device) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    dev(s, device).failNextPosition = true;
}

void failNextVersionRead(Device device) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    dev(s, device).failNextVersion = true;
}

std::vector<WrittenReport> writes() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.log;
}

std::vector<WrittenReport> writes(Device device) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    std::vector<WrittenReport> out;
    for (const WrittenReport& r : s.log) {
        if (r.device == device) {
            out.push_back(r);
        }
    }
    return out;
}

void clearWrites() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.log.clear();
}

int openCount(Device device) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return dev(s, device).opens;
}

int openAttempts(Device device) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return dev(s, device).attempts;
}

std::vector<Device> openOrder() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.openOrder;
}

int closeCount(Device device) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return dev(s, device).closes;
}

int positionReads(Device device) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return dev(s, device).positionReads;
}

int misuseCount() {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.misuse;
}

void setPath(Device device, const std::string& path) {
    Enumeration& e = enumeration();
    std::lock_guard<std::mutex> lock(e.mutex);
    e.paths[static_cast<int>(device)] = path;
}

void holdVersionReads(Device device, bool held) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    dev(s, device).holdVersion = held;
    if (!held) {
        s.released.notify_all();
    }
}

int heldVersionReads(Device device) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return dev(s, device).heldVersion;
}

void holdWrites(Device device, bool held) {
    writeHeld[static_cast<int>(device)] = held;
}

int heldWrites(Device device) {
    return writesBlocked[static_cast<int>(device)];
}

void holdOpens(Device device, bool held) {
    openHeld[static_cast<int>(device)] = held;
}

int heldOpens(Device device) {
    return opensBlocked[static_cast<int>(device)];
}

void setWriteObserver(WriteObserver observer) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.observer = std::move(observer);
}

void setLogging(bool on) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.logging = on;
}

} // namespace FakeHid

using namespace FakeHid;

extern "C" {

int HID_API_EXPORT hid_init(void) {
    return 0;
}

int HID_API_EXPORT hid_exit(void) {
    return 0;
}

// Not the installed library's version, so that a test sees whether a text asks the library.
const char* HID_API_EXPORT hid_version_str(void) {
    return FakeHid::VersionText;
}

hid_device* HID_API_EXPORT hid_open(unsigned short vendor_id, unsigned short product_id, const wchar_t*) {
    if (vendor_id != 0x3F21) {
        return nullptr;
    }
    int index;
    if (product_id == 0x7A10) {
        index = 0;
    } else if (product_id == 0x7A2C) {
        index = 1;
    } else {
        return nullptr;
    }
    // Outside the fake's lock, as the kernel's open blocks nothing of the other device.
    waitWhileHeld(openHeld[index], opensBlocked[index]);
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    DeviceState& d = s.devices[index];
    ++d.attempts;
    s.openOrder.push_back(static_cast<Device>(index));
    if (!d.plugged) {
        s.globalError = L"No HID devices with requested VID/PID found in the system.";
        return nullptr;
    }
    if (!d.refusal.empty()) {
        std::string path;
        {
            Enumeration& e = enumeration();
            std::lock_guard<std::mutex> pathLock(e.mutex);
            path = e.paths[index];
        }
        const std::string text = "Failed to open a device with path '" + path + "': " + d.refusal;
        s.globalError.assign(text.begin(), text.end());
        return nullptr;
    }
    s.globalError = L"Success";
    ++d.opens;
    auto* h = new hid_device_{index, d.generation, false};
    s.handles.push_back(h);
    return h;
}

hid_device* HID_API_EXPORT hid_open_path(const char*) {
    return nullptr;
}

struct hid_device_info* HID_API_EXPORT hid_enumerate(unsigned short vendor_id, unsigned short product_id) {
    static const unsigned short productIds[2] = {0x7A10, 0x7A2C};
    static const wchar_t* const products[2] = {L"Grovik joystick base", L"Grovik rudder unit"};
    hid_device_info* first = nullptr;
    hid_device_info** next = &first;
    for (int i = 0; i < 2; ++i) {
        if ((vendor_id != 0 && vendor_id != 0x3F21) || (product_id != 0 && product_id != productIds[i]) ||
            !isPlugged(static_cast<Device>(i))) {
            continue;
        }
        auto* info = new hid_device_info{};
        {
            Enumeration& e = enumeration();
            std::lock_guard<std::mutex> lock(e.mutex);
            info->path = strdup(e.paths[i].c_str());
        }
        info->vendor_id = 0x3F21;
        info->product_id = productIds[i];
        info->product_string = wcsdup(products[i]);
        *next = info;
        next = &info->next;
    }
    return first;
}

void HID_API_EXPORT hid_free_enumeration(struct hid_device_info* devs) {
    while (devs) {
        hid_device_info* next = devs->next;
        free(devs->path);
        free(devs->product_string);
        delete devs;
        devs = next;
    }
}

int HID_API_EXPORT hid_write(hid_device* dev, const unsigned char* data, size_t length) {
    State& s = state();
    // Handles are never freed, so the device index of a closed one can still be read.
    if (dev) {
        waitWhileHeld(writeHeld[dev->device], writesBlocked[dev->device]);
    }
    WriteObserver observer;
    Device device;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!alive(s, dev) || length != 65) {
            return -1;
        }
        device = static_cast<Device>(dev->device);
        if (s.logging) {
            WrittenReport r;
            r.device = device;
            std::memcpy(r.bytes.data(), data, 65);
            s.log.push_back(r);
        }
        observer = s.observer;
    }
    if (observer) {
        observer(device, data, length);
    }
    return 65;
}

int HID_API_EXPORT hid_get_feature_report(hid_device* dev, unsigned char* data, size_t length) {
    State& s = state();
    std::unique_lock<std::mutex> lock(s.mutex);
    if (dev && !dev->closed && data && data[0] == 0x25) {
        DeviceState& held = s.devices[dev->device];
        if (held.holdVersion) {
            ++held.heldVersion;
            s.released.wait(lock, [&held] { return !held.holdVersion; });
            --held.heldVersion;
        }
    }
    if (!alive(s, dev) || length < 17 || !data) {
        return -1;
    }
    DeviceState& d = s.devices[dev->device];
    if (data[0] == 0x24) {
        ++d.positionReads;
        if (d.failNextPosition) {
            d.failNextPosition = false;
            return -1;
        }
        std::memcpy(data + 1, d.position, sizeof d.position);
        return static_cast<int>(length);
    }
    if (data[0] == 0x25) {
        if (d.failNextVersion) {
            d.failNextVersion = false;
            return -1;
        }
        std::memcpy(data + 1, d.version, 3);
        return static_cast<int>(length);
    }
    return -1;
}

int HID_API_EXPORT hid_send_feature_report(hid_device* dev, const unsigned char*, size_t) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return alive(s, dev) ? 0 : -1;
}

int HID_API_EXPORT hid_read(hid_device*, unsigned char*, size_t) {
    return 0;
}

int HID_API_EXPORT hid_read_timeout(hid_device*, unsigned char*, size_t, int) {
    return 0;
}

int HID_API_EXPORT hid_set_nonblocking(hid_device*, int) {
    return 0;
}

void HID_API_EXPORT hid_close(hid_device* dev) {
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!dev || dev->closed) {
        ++s.misuse;
        return;
    }
    dev->closed = true;
    ++s.devices[dev->device].closes;
}

const wchar_t* HID_API_EXPORT hid_error(hid_device* dev) {
    if (!dev) {
        State& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        return s.globalError.c_str();
    }
    return L"fake device";
}

} // extern "C"
