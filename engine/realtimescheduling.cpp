#include "engine/realtimescheduling.h"

#include <QtGlobal>

#include <atomic>

#ifdef Q_OS_LINUX
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QVariant>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {

// The thread that asked, and the way it asked: Direct when the kernel granted SCHED_FIFO at
// once, RealtimeKit when the service was asked. What the thread has is read from the kernel
// whenever it is wanted, so a grant that answers late, or a service that later takes the
// policy back, still shows as it is.
std::atomic<long> askingThread{0};
std::atomic<int> askedWay{static_cast<int>(RealtimeScheduling::Policy::Ordinary)};

struct KernelPolicy {
    bool realtime = false;
    bool roundRobin = false;
    int priority = 0;
};

#ifdef Q_OS_LINUX
const QString kService = QStringLiteral("org.freedesktop.RealtimeKit1");
const QString kPath = QStringLiteral("/org/freedesktop/RealtimeKit1");
// RealtimeKit asks the desktop's authority before it grants, which can take longer than a
// property read; still short enough not to hold the loop's start for long.
constexpr int kGrantTimeoutMs = 1000;

long currentThreadId() {
    return static_cast<long>(syscall(SYS_gettid));
}

// RealtimeKit grants SCHED_RR unless it is set up for FIFO, and adds SCHED_RESET_ON_FORK.
KernelPolicy kernelPolicy(long thread) {
    KernelPolicy out;
    if (thread <= 0) {
        return out;
    }
    const int policy = sched_getscheduler(static_cast<pid_t>(thread));
    sched_param param{};
    if (policy < 0 || sched_getparam(static_cast<pid_t>(thread), &param) != 0) {
        return out;
    }
    const int base = policy & ~SCHED_RESET_ON_FORK;
    out.realtime = base == SCHED_FIFO || base == SCHED_RR;
    out.roundRobin = base == SCHED_RR;
    out.priority = out.realtime ? param.sched_priority : 0;
    return out;
}

// A property of RealtimeKit as a 64-bit integer; false when the bus or the service does not answer.
bool rtkitProperty(QDBusConnection& bus, const QString& name, qlonglong* value) {
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kService << name;
    const QDBusMessage reply = bus.call(get, QDBus::Block, RealtimeScheduling::BusTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return false;
    }
    bool ok = false;
    *value = qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant().toLongLong(&ok);
    return ok;
}

// RealtimeKit grants a real-time policy only to a process that has promised, with
// RLIMIT_RTTIME, to block at least every RTTimeUSecMax microseconds of real-time CPU; the tick
// blocks every 5 ms. False when the service is absent or refuses before being asked.
bool askRealtimeKit(long thread) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        return false;
    }
    qlonglong maxPriority = 0;
    qlonglong maxRtTime = 0;
    if (!rtkitProperty(bus, QStringLiteral("MaxRealtimePriority"), &maxPriority) ||
        !rtkitProperty(bus, QStringLiteral("RTTimeUSecMax"), &maxRtTime) || maxPriority < 1 ||
        maxRtTime < 1) {
        return false;
    }
    rlimit limit{};
    if (getrlimit(RLIMIT_RTTIME, &limit) != 0) {
        return false;
    }
    const rlim_t allowed = static_cast<rlim_t>(maxRtTime);
    if (limit.rlim_max == RLIM_INFINITY || limit.rlim_max > allowed) {
        limit.rlim_max = allowed;
    }
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
    }
    if (setrlimit(RLIMIT_RTTIME, &limit) != 0) {
        return false;
    }
    const uint priority = static_cast<uint>(qMin<qlonglong>(RealtimeScheduling::Priority, maxPriority));
    QDBusMessage make =
        QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("MakeThreadRealtime"));
    make << QVariant::fromValue(static_cast<qulonglong>(thread)) << QVariant::fromValue(priority);
    bus.call(make, QDBus::Block, kGrantTimeoutMs);
    return true;
}
#else
KernelPolicy kernelPolicy(long) {
    return KernelPolicy{};
}
#endif

// A real-time thread whose grant did not come through RealtimeKit got it from the kernel.
RealtimeScheduling::Policy wayOf(const KernelPolicy& now) {
    if (!now.realtime) {
        return RealtimeScheduling::Policy::Ordinary;
    }
    const auto way = static_cast<RealtimeScheduling::Policy>(askedWay.load());
    return way == RealtimeScheduling::Policy::RealtimeKit ? way : RealtimeScheduling::Policy::Direct;
}

} // namespace

RealtimeScheduling::Policy RealtimeScheduling::makeCurrentThreadRealtime(Ask ask) {
#ifdef Q_OS_LINUX
    const long thread = currentThreadId();
    askingThread.store(thread);
    askedWay.store(static_cast<int>(Policy::Ordinary));
    if (ask == Ask::DirectThenRealtimeKit) {
        sched_param param{};
        param.sched_priority = Priority;
        if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0) {
            askedWay.store(static_cast<int>(Policy::Direct));
            return Policy::Direct;
        }
    }
    if (askRealtimeKit(thread)) {
        askedWay.store(static_cast<int>(Policy::RealtimeKit));
    }
#else
    Q_UNUSED(ask);
#endif
    return policy();
}

void RealtimeScheduling::makeHelperThreadRealtime() {
#ifdef Q_OS_LINUX
    sched_param param{};
    param.sched_priority = Priority;
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) != 0) {
        askRealtimeKit(currentThreadId());
    }
#endif
}

int RealtimeScheduling::currentCpu() {
#ifdef Q_OS_LINUX
    return sched_getcpu();
#else
    return -1;
#endif
}

void RealtimeScheduling::keepOnCpu(int cpu) {
#ifdef Q_OS_LINUX
    if (cpu < 0 || cpu >= CPU_SETSIZE) {
        return;
    }
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    pthread_setaffinity_np(pthread_self(), sizeof set, &set);
#else
    Q_UNUSED(cpu);
#endif
}

RealtimeScheduling::Policy RealtimeScheduling::policy() {
    return wayOf(kernelPolicy(askingThread.load()));
}

int RealtimeScheduling::priority() {
    return kernelPolicy(askingThread.load()).priority;
}

QString RealtimeScheduling::policyText() {
    const KernelPolicy now = kernelPolicy(askingThread.load());
    return describe(wayOf(now), now.priority, now.roundRobin);
}

QString RealtimeScheduling::describe(Policy policy, int priority, bool roundRobin) {
    const QString kernelPolicy = roundRobin ? QStringLiteral("SCHED_RR") : QStringLiteral("SCHED_FIFO");
    switch (policy) {
    case Policy::Direct:
        return QStringLiteral("real-time (%1 %2)").arg(kernelPolicy).arg(priority);
    case Policy::RealtimeKit:
        return QStringLiteral("real-time through RealtimeKit (%1 %2)").arg(kernelPolicy).arg(priority);
    case Policy::Ordinary:
        break;
    }
    return QStringLiteral("ordinary (no real-time priority)");
}
