#include "app/realtimescheduling.h"

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

std::atomic<int> recordedPolicy{static_cast<int>(RealtimeScheduling::Policy::Ordinary)};
std::atomic<int> recordedPriority{0};

RealtimeScheduling::Policy record(RealtimeScheduling::Policy policy, int priority) {
    recordedPriority.store(priority);
    recordedPolicy.store(static_cast<int>(policy));
    return policy;
}

#ifdef Q_OS_LINUX
const QString kService = QStringLiteral("org.freedesktop.RealtimeKit1");
const QString kPath = QStringLiteral("/org/freedesktop/RealtimeKit1");

// The thread's policy is SCHED_FIFO now; its priority in *priority.
bool isFifo(int* priority) {
    int policy = 0;
    sched_param param{};
    if (pthread_getschedparam(pthread_self(), &policy, &param) != 0 || policy != SCHED_FIFO) {
        return false;
    }
    *priority = param.sched_priority;
    return true;
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

// RealtimeKit grants SCHED_FIFO only to a process that has promised, with RLIMIT_RTTIME, to
// block at least every RTTimeUSecMax microseconds of real-time CPU; the tick blocks every 5 ms.
bool askRealtimeKit(int* granted) {
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
    make << QVariant::fromValue(static_cast<qulonglong>(syscall(SYS_gettid)))
         << QVariant::fromValue(priority);
    const QDBusMessage reply = bus.call(make, QDBus::Block, RealtimeScheduling::BusTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage && isFifo(granted);
}
#endif

} // namespace

RealtimeScheduling::Policy RealtimeScheduling::makeCurrentThreadRealtime(Ask ask) {
#ifdef Q_OS_LINUX
    if (ask == Ask::DirectThenRealtimeKit) {
        sched_param param{};
        param.sched_priority = Priority;
        if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0) {
            return record(Policy::Direct, Priority);
        }
    }
    int granted = 0;
    if (askRealtimeKit(&granted)) {
        return record(Policy::RealtimeKit, granted);
    }
#else
    Q_UNUSED(ask);
#endif
    return record(Policy::Ordinary, 0);
}

RealtimeScheduling::Policy RealtimeScheduling::policy() {
    return static_cast<Policy>(recordedPolicy.load());
}

int RealtimeScheduling::priority() {
    return recordedPriority.load();
}

QString RealtimeScheduling::policyText() {
    return describe(policy(), priority());
}

QString RealtimeScheduling::describe(Policy policy, int priority) {
    switch (policy) {
    case Policy::Direct:
        return QStringLiteral("real-time (SCHED_FIFO %1)").arg(priority);
    case Policy::RealtimeKit:
        return QStringLiteral("real-time through RealtimeKit (SCHED_FIFO %1)").arg(priority);
    case Policy::Ordinary:
        break;
    }
    return QStringLiteral("ordinary (no real-time priority)");
}
