// Turns the program into its variant with emulated devices: plugs them in before main() runs
// and tells what they were sent. Read from the environment:
//   TRENNAL_FAKE_DEVICES  "both" (default), "joystick", "rudder" or "none"
//   TRENNAL_FAKE_LOG      file that receives one 24-byte record per report written, native
//                         byte order: int64 steady-clock ns, uint8 device (0 joystick,
//                         1 rudder), uint8 command, 2 bytes padding, float force X,
//                         float force Y, 4 bytes padding
//   TRENNAL_FAKE_SUMMARY  file written at exit, one line per device:
//                         "<device> opens <n> writes <n> last <65 bytes in hex>"
//   TRENNAL_FAKE_HANG_WRITES  "joystick" or "rudder": after its first force report, every
//                         write to that device blocks, as with firmware that stops taking reports
// On stdout, "driven joystick" and "driven rudder" at each device's first force report.

#include "support/fakehid.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace {

struct Record {
    int64_t ns;
    uint8_t device;
    uint8_t command;
    uint8_t padding[2];
    float forceX;
    float forceY;
    uint8_t tail[4];
};
static_assert(sizeof(Record) == 24, "the log's record layout");

class FakeDevices {
public:
    FakeDevices() {
        const char* devices = std::getenv("TRENNAL_FAKE_DEVICES");
        const std::string which = devices ? devices : "both";
        if (which == "both" || which == "joystick") {
            FakeHid::plug(FakeHid::Device::Joystick);
        }
        if (which == "both" || which == "rudder") {
            FakeHid::plug(FakeHid::Device::Rudder);
        }
        // A long run must not grow the fake's own log: the observer keeps what is needed.
        FakeHid::setLogging(false);
        if (const char* path = std::getenv("TRENNAL_FAKE_LOG")) {
            log_ = std::fopen(path, "wb");
        }
        if (const char* path = std::getenv("TRENNAL_FAKE_SUMMARY")) {
            summaryPath_ = path;
        }
        if (const char* hang = std::getenv("TRENNAL_FAKE_HANG_WRITES")) {
            hang_ = std::string(hang) == "joystick" ? 0 : (std::string(hang) == "rudder" ? 1 : -1);
        }
        FakeHid::setWriteObserver([this](FakeHid::Device d, const unsigned char* bytes, size_t length) {
            observe(d, bytes, length);
        });
    }

    ~FakeDevices() {
        FakeHid::setWriteObserver(nullptr);
        std::lock_guard<std::mutex> lock(mutex_);
        if (log_) {
            std::fclose(log_);
        }
        if (summaryPath_.empty()) {
            return;
        }
        FILE* out = std::fopen(summaryPath_.c_str(), "w");
        if (!out) {
            return;
        }
        for (int d = 0; d < 2; ++d) {
            std::fprintf(out, "%s opens %d writes %ld last ", d == 0 ? "joystick" : "rudder",
                         FakeHid::openCount(static_cast<FakeHid::Device>(d)), static_cast<long>(writes_[d]));
            for (unsigned char b : last_[d]) {
                std::fprintf(out, "%02x", b);
            }
            std::fprintf(out, "\n");
        }
        std::fclose(out);
    }

private:
    void observe(FakeHid::Device device, const unsigned char* bytes, size_t length) {
        const int d = static_cast<int>(device);
        std::lock_guard<std::mutex> lock(mutex_);
        ++writes_[d];
        std::memcpy(last_[d], bytes, length < sizeof last_[d] ? length : sizeof last_[d]);
        if (bytes[1] == 0x20 && !driven_[d]) {
            driven_[d] = true;
            std::printf("driven %s\n", d == 0 ? "joystick" : "rudder");
            std::fflush(stdout);
            if (d == hang_) {
                FakeHid::holdWrites(device, true);
            }
        }
        if (log_) {
            Record r{};
            r.ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                       std::chrono::steady_clock::now().time_since_epoch())
                       .count();
            r.device = static_cast<uint8_t>(d);
            r.command = bytes[1];
            std::memcpy(&r.forceX, bytes + 10, 4);
            std::memcpy(&r.forceY, bytes + 14, 4);
            std::fwrite(&r, sizeof r, 1, log_);
        }
    }

    std::mutex mutex_;
    FILE* log_ = nullptr;
    std::string summaryPath_;
    long writes_[2] = {0, 0};
    unsigned char last_[2][65] = {};
    bool driven_[2] = {false, false};
    int hang_ = -1; // the device whose writes hang once it has been driven
};

FakeDevices fakeDevices;

} // namespace
