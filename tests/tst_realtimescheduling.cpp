// Real-time priority for the control thread: straight from the kernel, through RealtimeKit on
// the system bus (a stand-in for it on a private bus here), or quietly none.

#include "engine/realtimescheduling.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QtTest>

#include <atomic>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Answers like RealtimeKit: its two limits as properties, and MakeThreadRealtime, which sets
// SCHED_RR with SCHED_RESET_ON_FORK for the thread as the real service does by default (that
// takes root here) and records the call.
class FakeRealtimeKit : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.RealtimeKit1")
    Q_PROPERTY(int MaxRealtimePriority READ maxRealtimePriority)
    Q_PROPERTY(qlonglong RTTimeUSecMax READ rtTimeUSecMax)

public:
    int maxRealtimePriority() const { return 5; }
    qlonglong rtTimeUSecMax() const { return 150000; }

    std::atomic<qulonglong> askedThread{0};
    std::atomic<uint> askedPriority{0};

public slots:
    void MakeThreadRealtime(qulonglong thread, uint priority) {
        askedThread = thread;
        askedPriority = priority;
        sched_param param{};
        param.sched_priority = static_cast<int>(priority);
        sched_setscheduler(static_cast<pid_t>(thread), SCHED_RR | SCHED_RESET_ON_FORK, &param);
    }
};

struct Outcome {
    RealtimeScheduling::Policy policy = RealtimeScheduling::Policy::Ordinary;
    qulonglong thread = 0;
    int kernelPolicy = -1;
    QString text; // what About would show while the thread runs
};

// Runs the request on a thread of its own, so the test's thread keeps its policy.
Outcome askOnNewThread(RealtimeScheduling::Ask ask) {
    Outcome out;
    QThread* thread = QThread::create([&out, ask] {
        out.thread = static_cast<qulonglong>(syscall(SYS_gettid));
        out.policy = RealtimeScheduling::makeCurrentThreadRealtime(ask);
        sched_param param{};
        pthread_getschedparam(pthread_self(), &out.kernelPolicy, &param);
        out.kernelPolicy &= ~SCHED_RESET_ON_FORK;
        out.text = RealtimeScheduling::policyText();
    });
    thread->start();
    thread->wait();
    delete thread;
    return out;
}

bool isRoot() {
    return geteuid() == 0;
}

} // namespace

class TestRealtimeScheduling : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty()) {
            QSKIP("dbus-daemon is not installed");
        }
        // A private bus stands in for the system bus: the process reads its address once.
        bus_.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                            QStringLiteral("--print-address")});
        QVERIFY(bus_.waitForReadyRead(10000));
        address_ = QString::fromUtf8(bus_.readLine().trimmed());
        QVERIFY(!address_.isEmpty());
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", address_.toUtf8());
        QVERIFY(QDBusConnection::systemBus().isConnected());
    }

    void cleanupTestCase() {
        if (fakeThread_.isRunning()) {
            fakeThread_.quit();
            fakeThread_.wait();
        }
        delete fake_;
        bus_.terminate();
        bus_.waitForFinished(5000);
    }

    void policyTexts_data() {
        QTest::addColumn<int>("policy");
        QTest::addColumn<int>("priority");
        QTest::addColumn<bool>("roundRobin");
        QTest::addColumn<QString>("text");
        using P = RealtimeScheduling::Policy;
        QTest::newRow("direct") << int(P::Direct) << 10 << false << "real-time (SCHED_FIFO 10)";
        QTest::newRow("RealtimeKit, FIFO")
            << int(P::RealtimeKit) << 5 << false << "real-time through RealtimeKit (SCHED_FIFO 5)";
        QTest::newRow("RealtimeKit, round-robin")
            << int(P::RealtimeKit) << 10 << true << "real-time through RealtimeKit (SCHED_RR 10)";
        QTest::newRow("ordinary") << int(P::Ordinary) << 0 << false << "ordinary (no real-time priority)";
    }
    void policyTexts() {
        QFETCH(int, policy);
        QFETCH(int, priority);
        QFETCH(bool, roundRobin);
        QFETCH(QString, text);
        QCOMPARE(RealtimeScheduling::describe(RealtimeScheduling::Policy(policy), priority, roundRobin),
                 text);
    }

    // No RealtimeKit on the bus: the thread stays ordinary, and says so.
    void withoutRealtimeKitTheThreadStaysOrdinary() {
        const Outcome out = askOnNewThread(RealtimeScheduling::Ask::RealtimeKitOnly);
        QCOMPARE(out.policy, RealtimeScheduling::Policy::Ordinary);
        QCOMPARE(out.kernelPolicy, SCHED_OTHER);
        QCOMPARE(out.text, QStringLiteral("ordinary (no real-time priority)"));
    }

    // RealtimeKit is asked for the calling thread at a priority within its cap, after the
    // real-time CPU limit it demands; what is recorded is what the kernel then says.
    void realtimeKitIsAskedForTheCallingThread() {
        if (fake_ == nullptr) {
            fake_ = new FakeRealtimeKit;
            fake_->moveToThread(&fakeThread_);
            fakeThread_.start();
            QDBusConnection service = QDBusConnection::connectToBus(address_, QStringLiteral("fake-rtkit"));
            QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/RealtimeKit1"), fake_,
                                           QDBusConnection::ExportAllSlots |
                                               QDBusConnection::ExportAllProperties));
            QVERIFY(service.registerService(QStringLiteral("org.freedesktop.RealtimeKit1")));
        }
        const Outcome out = askOnNewThread(RealtimeScheduling::Ask::RealtimeKitOnly);
        QCOMPARE(fake_->askedThread.load(), out.thread);
        QCOMPARE(fake_->askedPriority.load(), 5u); // 10 asked, capped by MaxRealtimePriority
        rlimit limit{};
        QCOMPARE(getrlimit(RLIMIT_RTTIME, &limit), 0);
        QVERIFY(limit.rlim_max != RLIM_INFINITY && limit.rlim_max <= 150000);
        QVERIFY(limit.rlim_cur <= limit.rlim_max);
        if (isRoot()) {
            QCOMPARE(out.policy, RealtimeScheduling::Policy::RealtimeKit);
            QCOMPARE(out.kernelPolicy, SCHED_RR);
            QCOMPARE(out.text, QStringLiteral("real-time through RealtimeKit (SCHED_RR 5)"));
        } else {
            // The stand-in could not grant it: no claim without the policy.
            QCOMPARE(out.policy, RealtimeScheduling::Policy::Ordinary);
            QCOMPARE(out.kernelPolicy, SCHED_OTHER);
        }
    }

    void directPolicyWhereTheKernelGrantsIt() {
        if (!isRoot()) {
            QSKIP("SCHED_FIFO is granted directly to root");
        }
        const Outcome out = askOnNewThread(RealtimeScheduling::Ask::DirectThenRealtimeKit);
        QCOMPARE(out.policy, RealtimeScheduling::Policy::Direct);
        QCOMPARE(out.kernelPolicy, SCHED_FIFO);
        QCOMPARE(out.text, QStringLiteral("real-time (SCHED_FIFO 10)"));
    }

private:
    QProcess bus_;
    QString address_;
    QThread fakeThread_;
    FakeRealtimeKit* fake_ = nullptr;
};

QTEST_GUILESS_MAIN(TestRealtimeScheduling)
#include "tst_realtimescheduling.moc"
