// Turns the program into its variant with emulated devices: plugs them in before main() runs
// and tells what they were sent. The program's guardian (the same executable started with
// --guardian) has emulated devices of its own, plugged the same way; both processes report
// into the same files. Read from the environment:
//   TRENNAL_FAKE_DEVICES  "both" (default), "joystick", "rudder" or "none"
//   TRENNAL_FAKE_LOG      file that receives one 24-byte record per report written, native
//                         byte order: int64 steady-clock ns, uint8 device (0 joystick,
//                         1 rudder), uint8 command, uint8 writer (0 the program, 1 its
//                         guardian), 1 byte padding, float force X, float force Y, 4 bytes
//                         padding. The program empties it at start; both append whole records,
//                         the program's in blocks of 170 (a killed program loses its last block).
//   TRENNAL_FAKE_SUMMARY  file written at the program's exit, and by the guardian after each
//                         report it writes (so it exists after a SIGKILL), one line per device:
//                         "<device> opens <n> writes <n> last <65 bytes in hex> gains <65 bytes
//                         in hex>", the counts of the process that wrote it, its last report
//                         and its last DirectX override report (all 0 when none was written);
//                         the program's is not written once its guardian has written to a device
//   TRENNAL_FAKE_STARTS   file that receives a line "program <pid>" or "guardian <pid>" as each
//                         process starts
//   TRENNAL_FAKE_HANG_WRITES  "joystick" or "rudder": after the program's first force report,
//                         every write of the program to that device blocks, as with firmware
//                         that stops taking reports; the guardian finds it taking reports again
//   TRENNAL_FAKE_HOLD_OPENS  "joystick" or "rudder": the guardian's opens of that device block,
//                         as with a device resuming from suspend, until the file named by
//                         TRENNAL_FAKE_RELEASE exists
// On stdout, "driven joystick" and "driven rudder" at each device's first force report.

#include "support/fakehid.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace {

struct Record {
    int64_t ns;
    uint8_t device;
    uint8_t command;
    uint8_t writer;
    uint8_t padding;
    float forceX;
    float forceY;
    uint8_t tail[4];
};
static_assert(sizeof(Record) == 24, "the log's record layout");

// Whether this process is the program's guardian: its arguments, read before main() runs.
bool startedAsGuardian() {
    FILE* in = std::fopen("/proc/self/cmdline", "rb");
    if (!in) {
        return false;
    }
    char arguments[4096] = {};
    const size_t length = std::fread(arguments, 1, sizeof arguments - 1, in);
    std::fclose(in);
    for (size_t i = std::strlen(arguments) + 1; i < length; i += std::strlen(arguments + i) + 1) {
        if (std::strcmp(arguments + i, "--guardian") == 0) {
            return true;
        }
    }
    return false;
}

void appendLine(const char* path, const std::string& line) {
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd >= 0) {
        [[maybe_unused]] const ssize_t written = ::write(fd, line.data(), line.size());
        ::close(fd);
    }
}

class FakeDevices {
public:
    FakeDevices() : guardian_(startedAsGuardian()) {
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
            const int fd =
                ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | (guardian_ ? 0 : O_TRUNC), 0644);
            log_ = fd >= 0 ? ::fdopen(fd, "ab") : nullptr;
            if (log_) {
                // Whole records per write, so the two processes' appends never cut into each other.
                std::setvbuf(log_, logBuffer_, _IOFBF, sizeof logBuffer_);
            }
        }
        if (const char* path = std::getenv("TRENNAL_FAKE_SUMMARY")) {
            summaryPath_ = path;
            if (!guardian_) {
                std::remove((summaryPath_ + ".guardian").c_str());
            }
        }
        if (const char* path = std::getenv("TRENNAL_FAKE_STARTS")) {
            appendLine(path,
                       std::string(guardian_ ? "guardian " : "program ") + std::to_string(::getpid()) + "\n");
        }
        if (const char* hang = std::getenv("TRENNAL_FAKE_HANG_WRITES"); hang && !guardian_) {
            hang_ = deviceNamed(hang);
        }
        const char* held = std::getenv("TRENNAL_FAKE_HOLD_OPENS");
        const char* release = std::getenv("TRENNAL_FAKE_RELEASE");
        if (guardian_ && held && release && deviceNamed(held) >= 0) {
            const auto device = static_cast<FakeHid::Device>(deviceNamed(held));
            FakeHid::holdOpens(device, true);
            std::thread([device, path = std::string(release)] {
                while (::access(path.c_str(), F_OK) != 0) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
                FakeHid::holdOpens(device, false);
            }).detach();
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
        // The guardian's summary is already written. The program's replaces it unless the
        // guardian wrote after the program's last report: one that lets go while the program is
        // still on its way out (a device that did not confirm its zero) has the last word.
        if (!guardian_ && guardianWroteAt() <= lastWriteNs_) {
            writeSummary();
        }
    }

private:
    static int deviceNamed(const char* name) {
        return std::strcmp(name, "joystick") == 0 ? 0 : (std::strcmp(name, "rudder") == 0 ? 1 : -1);
    }

    void observe(FakeHid::Device device, const unsigned char* bytes, size_t length) {
        const int d = static_cast<int>(device);
        std::lock_guard<std::mutex> lock(mutex_);
        ++writes_[d];
        std::memcpy(last_[d], bytes, length < sizeof last_[d] ? length : sizeof last_[d]);
        lastWriteNs_ = std::chrono::duration_cast<std::chrono::nanoseconds>(
                           std::chrono::steady_clock::now().time_since_epoch())
                           .count();
        if (bytes[1] == 0x21) {
            std::memcpy(gains_[d], bytes, length < sizeof gains_[d] ? length : sizeof gains_[d]);
        }
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
            r.ns = lastWriteNs_;
            r.device = static_cast<uint8_t>(d);
            r.command = bytes[1];
            r.writer = guardian_ ? 1 : 0;
            std::memcpy(&r.forceX, bytes + 10, 4);
            std::memcpy(&r.forceY, bytes + 14, 4);
            std::fwrite(&r, sizeof r, 1, log_);
            if (guardian_) {
                std::fflush(log_);
            }
        }
        if (guardian_ && !summaryPath_.empty()) {
            writeSummary();
            // When the guardian last wrote, for the program's summary at its exit.
            const std::string marker = summaryPath_ + ".guardian";
            std::remove(marker.c_str());
            appendLine(marker.c_str(), std::to_string(lastWriteNs_));
        }
    }

    // When the guardian last wrote to a device, steady-clock ns; 0 when it has not.
    int64_t guardianWroteAt() const {
        FILE* in = std::fopen((summaryPath_ + ".guardian").c_str(), "r");
        if (!in) {
            return 0;
        }
        long long ns = 0;
        const int read = std::fscanf(in, "%lld", &ns);
        std::fclose(in);
        return read == 1 ? ns : 0;
    }

    // Replaces the summary in one step, so a reader never sees half of it.
    void writeSummary() {
        if (summaryPath_.empty()) {
            return;
        }
        const std::string partial = summaryPath_ + ".partial" + std::to_string(::getpid());
        FILE* out = std::fopen(partial.c_str(), "w");
        if (!out) {
            return;
        }
        for (int d = 0; d < 2; ++d) {
            std::fprintf(out, "%s opens %d writes %ld last ", d == 0 ? "joystick" : "rudder",
                         FakeHid::openCount(static_cast<FakeHid::Device>(d)), static_cast<long>(writes_[d]));
            for (unsigned char b : last_[d]) {
                std::fprintf(out, "%02x", b);
            }
            std::fprintf(out, " gains ");
            for (unsigned char b : gains_[d]) {
                std::fprintf(out, "%02x", b);
            }
            std::fprintf(out, "\n");
        }
        if (std::fclose(out) == 0) {
            std::rename(partial.c_str(), summaryPath_.c_str());
        }
    }

    const bool guardian_;
    std::mutex mutex_;
    FILE* log_ = nullptr;
    char logBuffer_[sizeof(Record) * 170];
    std::string summaryPath_;
    long writes_[2] = {0, 0};
    unsigned char last_[2][65] = {};
    unsigned char gains_[2][65] = {};
    int64_t lastWriteNs_ = 0;
    bool driven_[2] = {false, false};
    int hang_ = -1; // the device whose writes hang once it has been driven
};

FakeDevices fakeDevices;

} // namespace
