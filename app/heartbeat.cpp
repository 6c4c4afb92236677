#include "app/heartbeat.h"

namespace Heartbeat {
namespace {
std::atomic<Counter*> target{nullptr};
} // namespace

void beat() {
    if (Counter* counter = target.load(std::memory_order_acquire)) {
        counter->fetch_add(1, std::memory_order_relaxed);
    }
}

void attach(Counter* counter) {
    target.store(counter, std::memory_order_release);
}

} // namespace Heartbeat
