// The control thread's own event dispatcher: everything a Qt thread relies on still works on
// it (queued calls, timers, notifiers, deferred deletes, quit), and the tick is a direct call.
#include <QtTest>

#ifdef Q_OS_LINUX
#include "app/tickdispatcher.h"

#include <QRegularExpression>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

namespace {

// A thread running an event loop on a TickDispatcher, with a context object living there. The
// tests declare it after the variables its callbacks use, so it stops before they go.
struct DispatchedThread {
    QThread thread;
    QObject* context = new QObject();
    TickDispatcher* dispatcher = new TickDispatcher();

    DispatchedThread() {
        thread.setEventDispatcher(dispatcher);
        thread.start();
        context->moveToThread(&thread);
        QObject::connect(&thread, &QThread::finished, context, &QObject::deleteLater);
    }
    ~DispatchedThread() {
        thread.quit();
        thread.wait();
    }
    // Runs `f` on the thread and waits for it.
    void run(const std::function<void()>& f) {
        QMetaObject::invokeMethod(context, f, Qt::BlockingQueuedConnection);
    }
};

// A timerfd that expires first after `firstNs`, then every `periodNs`.
int periodicTimerFd(long periodNs, long firstNs = 0) {
    const int fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    itimerspec schedule{};
    schedule.it_interval.tv_nsec = periodNs;
    schedule.it_value.tv_nsec = firstNs > 0 ? firstNs : periodNs;
    timerfd_settime(fd, 0, &schedule, nullptr);
    return fd;
}

} // namespace

class TestTickDispatcher : public QObject {
    Q_OBJECT

private slots:
    // Each row starts something on the thread and counts how often it happened there.
    void qtMachineryRunsOnTheThread_data() {
        QTest::addColumn<QString>("what");
        QTest::addColumn<int>("atLeast");
        QTest::addColumn<int>("atMost");
        QTest::newRow("queued calls, in order") << "queued" << 100 << 100;
        QTest::newRow("single-shot timer") << "single shot" << 1 << 1;
        QTest::newRow("repeating timer, stopped after 5") << "repeating" << 5 << 5;
        QTest::newRow("socket notifier") << "notifier" << 1 << 1;
        QTest::newRow("tick: a 5 ms timerfd for 200 ms") << "tick" << 5 << 41;
        QTest::newRow("tick stopped") << "tick stopped" << 0 << 0;
    }
    void qtMachineryRunsOnTheThread() {
        QFETCH(QString, what);
        QFETCH(int, atLeast);
        QFETCH(int, atMost);
        std::atomic<int> count{0};
        std::atomic<bool> inOrder{true};
        std::atomic<bool> onThread{true};
        int fd = -1;
        DispatchedThread t;
        const auto hit = [&] {
            if (QThread::currentThread() != &t.thread) {
                onThread = false;
            }
            ++count;
        };
        if (what == "queued") {
            for (int i = 0; i < 100; ++i) {
                QMetaObject::invokeMethod(t.context, [&, i] {
                    if (count != i) {
                        inOrder = false;
                    }
                    hit();
                });
            }
        } else if (what == "single shot") {
            t.run([&] { QTimer::singleShot(20, t.context, hit); });
        } else if (what == "repeating") {
            t.run([&] {
                auto* timer = new QTimer(t.context);
                QObject::connect(timer, &QTimer::timeout, t.context, [&, timer] {
                    hit();
                    if (count == 5) {
                        timer->stop();
                    }
                });
                timer->start(5);
            });
        } else if (what == "notifier") {
            fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
            t.run([&] {
                auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, t.context);
                QObject::connect(notifier, &QSocketNotifier::activated, t.context, [&, notifier] {
                    uint64_t value = 0;
                    QCOMPARE(::read(fd, &value, sizeof value), qint64(sizeof value));
                    hit();
                    notifier->setEnabled(false);
                });
            });
            const uint64_t one = 1;
            QCOMPARE(::write(fd, &one, sizeof one), qint64(sizeof one));
        } else if (what == "tick" || what == "tick stopped") {
            fd = periodicTimerFd(5000000);
            t.run([&] { t.dispatcher->setTick(fd, hit); });
            if (what == "tick stopped") {
                t.run([&] { t.dispatcher->setTick(-1, {}); });
            }
        }
        QTest::qWait(200);
        t.run([] {}); // whatever was due has run
        t.run([&] { t.dispatcher->setTick(-1, {}); });
        if (fd >= 0) {
            ::close(fd);
        }
        QVERIFY2(count >= atLeast && count <= atMost, qPrintable(QString::number(count)));
        QVERIFY(inOrder);
        QVERIFY(onThread);
    }

    // A tick that deletes a notifier whose socket was ready in the same poll: that notifier is
    // not told, and neither is the one registered after it, whose socket is silent.
    void notifierRemovedByTheTickIsNotTold() {
        const int ready = eventfd(1, EFD_NONBLOCK | EFD_CLOEXEC);
        const int silent = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        // Expired at once, then every 5 ms: the first poll after the set-up finds both ready.
        const int tickFd = periodicTimerFd(5000000, 1);
        std::atomic<int> ticks{0};
        std::atomic<int> told{0};
        DispatchedThread t;
        t.run([&] {
            auto* doomed = new QSocketNotifier(ready, QSocketNotifier::Read, t.context);
            QObject::connect(doomed, &QSocketNotifier::activated, t.context, [&] { ++told; });
            auto* other = new QSocketNotifier(silent, QSocketNotifier::Read, t.context);
            QObject::connect(other, &QSocketNotifier::activated, t.context, [&] { ++told; });
            t.dispatcher->setTick(tickFd, [&, doomed]() mutable {
                if (ticks++ == 0) {
                    delete doomed;
                    doomed = nullptr;
                }
            });
        });
        QTRY_VERIFY(ticks >= 3);
        t.run([&] {
            t.dispatcher->setTick(-1, {});
            qDeleteAll(t.context->findChildren<QSocketNotifier*>());
        });
        for (int fd : {tickFd, ready, silent}) {
            ::close(fd);
        }
        QCOMPARE(told.load(), 0);
    }

    // A descriptor closed while its notifier still watches it: the notifier is disabled with a
    // warning instead of being told at every pass.
    void notifierOfAClosedSocketIsDisabled() {
        const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        std::atomic<int> told{0};
        QSocketNotifier* notifier = nullptr;
        DispatchedThread t;
        t.run([&] {
            notifier = new QSocketNotifier(fd, QSocketNotifier::Read, t.context);
            QObject::connect(notifier, &QSocketNotifier::activated, t.context, [&] { ++told; });
        });
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("was closed under its notifier"));
        ::close(fd);
        t.dispatcher->wakeUp(); // the next poll sees the closed descriptor
        bool enabled = true;
        QTRY_VERIFY((t.run([&] { enabled = notifier->isEnabled(); }), !enabled));
        QCOMPARE(told.load(), 0);
        t.run([&] { delete notifier; });
    }

    // quit() wakes a thread asleep with nothing to do, and objects left for deletion are
    // deleted on the way out.
    void quitEndsTheThreadAndDeletesWhatWasLeft() {
        auto t = std::make_unique<DispatchedThread>();
        QPointer<QObject> context = t->context;
        QTest::qWait(50); // asleep in poll() without a timer: only the wake-up can end it
        t->thread.quit();
        QVERIFY(t->thread.wait(5000));
        QTRY_VERIFY(context.isNull());
    }

    // A timer keeps its schedule and tells how long it has left.
    void timersReportWhatIsRegistered() {
        DispatchedThread t;
        t.run([&] {
            QTimer timer;
            timer.start(1000);
            const QList<QAbstractEventDispatcher::TimerInfo> timers = t.dispatcher->registeredTimers(&timer);
            QCOMPARE(timers.size(), 1);
            QCOMPARE(timers.first().interval, 1000);
            const int left = t.dispatcher->remainingTime(timers.first().timerId);
            QVERIFY(left > 900 && left <= 1000);
            timer.stop();
            QCOMPARE(t.dispatcher->registeredTimers(&timer).size(), 0);
            QCOMPARE(t.dispatcher->remainingTime(timers.first().timerId), -1);
        });
    }
};

#else

class TestTickDispatcher : public QObject {
    Q_OBJECT

private slots:
    void linuxOnly() { QSKIP("The control thread's own dispatcher is built on Linux only"); }
};

#endif

QTEST_GUILESS_MAIN(TestTickDispatcher)
#include "tst_tickdispatcher.moc"
