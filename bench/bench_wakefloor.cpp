// What a 200 Hz loop costs on this machine before it does anything: the CPU time of a thread
// that sleeps in a blocking read of a 5 ms timerfd and does nothing else, then of the same thread handing
// every tick to one and to two further threads that do nothing either (the control thread and the two
// devices' I/O threads of the program, without the work). Like the program, the threads ask for SCHED_FIFO 10
// and keep to one CPU where that is granted.
//
//   build/bench/bench_wakefloor [SECONDS]   (default 10 per row)
//
// Prints the CPU of each row as a percentage of one core and per tick. A virtual machine
// charges much of its cost of waking an idle CPU to the thread that wakes: that share is the
// floor under the program's figures.
#include <QtGlobal>

#ifdef Q_OS_LINUX
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <thread>
#include <vector>

#include <pthread.h>
#include <sched.h>
#include <sys/timerfd.h>
#include <unistd.h>

namespace {

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// SCHED_FIFO 10 and the given CPU; false where real-time is refused (then nothing is pinned).
bool makeRealtime(int cpu) {
    sched_param param{};
    param.sched_priority = 10;
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) != 0) {
        return false;
    }
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    pthread_setaffinity_np(pthread_self(), sizeof set, &set);
    return true;
}

struct Helpers {
    std::mutex mutex;
    std::condition_variable wake[2];
    bool work[2] = {false, false};
    bool quit = false;
};

// CPU of the whole process per tick, in seconds, over `seconds` of ticks.
double run(int helpers, int seconds, bool& realtime) {
    Helpers shared;
    const int cpu = sched_getcpu();
    realtime = makeRealtime(cpu);
    const bool pin = realtime;
    std::vector<std::thread> threads;
    for (int i = 0; i < helpers; ++i) {
        threads.emplace_back([&shared, i, cpu, pin] {
            if (pin) {
                makeRealtime(cpu);
            }
            std::unique_lock<std::mutex> lock(shared.mutex);
            for (;;) {
                shared.wake[i].wait(lock, [&] { return shared.work[i] || shared.quit; });
                if (shared.quit) {
                    return;
                }
                shared.work[i] = false;
            }
        });
    }
    const int fd = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    itimerspec period{};
    period.it_interval.tv_nsec = 5000000;
    period.it_value.tv_nsec = 5000000;
    timerfd_settime(fd, 0, &period, nullptr);
    const int ticks = seconds * 200;
    double start = 0.0;
    for (int tick = -20; tick < ticks; ++tick) { // 100 ms to settle first
        if (tick == 0) {
            start = processCpuSeconds();
        }
        uint64_t expiries = 0;
        [[maybe_unused]] const ssize_t got = read(fd, &expiries, sizeof expiries);
        std::lock_guard<std::mutex> lock(shared.mutex);
        for (int i = 0; i < helpers; ++i) {
            shared.work[i] = true;
            shared.wake[i].notify_one();
        }
    }
    const double cpuSeconds = processCpuSeconds() - start;
    {
        std::lock_guard<std::mutex> lock(shared.mutex);
        shared.quit = true;
        for (auto& w : shared.wake) {
            w.notify_all();
        }
    }
    for (std::thread& t : threads) {
        t.join();
    }
    close(fd);
    return cpuSeconds / ticks;
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    std::printf("threads woken per 5 ms tick, %d s each: CPU %% of one core, µs per tick\n", seconds);
    for (int helpers = 0; helpers <= 2; ++helpers) {
        bool realtime = false;
        const double perTick = run(helpers, seconds, realtime);
        std::printf("  %d (%s)  %5.2f %%  %6.1f µs\n", helpers + 1,
                    realtime ? "SCHED_FIFO 10, one CPU" : "ordinary", perTick * 200.0 * 100.0, perTick * 1e6);
    }
    return 0;
}
#else
#include <cstdio>
int main() {
    std::puts("Linux only");
    return 0;
}
#endif
