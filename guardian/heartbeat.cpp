#include "guardian/heartbeat.h"

#include "device/devicelink.h"

namespace Heartbeat {
namespace {
std::atomic<Shared*> target{nullptr};
} // namespace

void beat() {
    if (Shared* shared = target.load(std::memory_order_acquire)) {
        shared->beats.fetch_add(1, std::memory_order_relaxed);
    }
}

uint64_t letGos() {
    const Shared* shared = target.load(std::memory_order_acquire);
    return shared ? shared->letGos.load(std::memory_order_acquire) : 0;
}

void attach(Shared* shared) {
    target.store(shared, std::memory_order_release);
    DeviceLink::watchLetGos(shared ? &shared->letGos : nullptr);
}

} // namespace Heartbeat
