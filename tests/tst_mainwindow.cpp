#include "app/mainbackgroundthread.h"
#include "app/mainwindow.h"
#include "forces/metatypes.h"
#include "support/fakehid.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <memory>

// The assembled window: its form, title, placement, threads and shut-down.
class TestMainWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    QString previousDir_;

private slots:
    void initTestCase() { registerMetaTypes(); }
    void init() {
        FakeHid::reset();
        // Every window scans and may write profiles in the working directory.
        previousDir_ = QDir::currentPath();
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        QVERIFY(QDir::setCurrent(dir_->path()));
    }
    void cleanup() {
        QDir::setCurrent(previousDir_);
        dir_.reset();
    }

    void startsTitledAndCentred() {
        MainWindow window;
        window.show();
        window.centre();
        QCOMPARE(window.windowTitle(), QStringLiteral("Grovik Trennal"));
        // The form asks for 909 x 539; the panels' layouts may need more.
        QVERIFY(window.width() >= 909);
        QVERIFY(window.height() >= 539);
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(window.geometry().x(), (screen.width() - window.width()) / 2);
        QCOMPARE(window.geometry().y(), (screen.height() - window.height()) / 2);
    }

    void formHoldsTheTwoPanels() {
        MainWindow window;
        auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("tabWidget"));
        QVERIFY(tabs);
        QCOMPARE(tabs->count(), 1);
        QCOMPARE(tabs->tabText(0), QStringLiteral("Effects"));
        QCOMPARE(tabs->currentIndex(), 0);
        QVERIFY(window.findChild<QWidget*>(QStringLiteral("effect_settings_widget")));
        QVERIFY(window.findChild<QWidget*>(QStringLiteral("status_widget")));
        QCOMPARE(window.menuBar()->objectName(), QStringLiteral("menubar"));
        QVERIFY(window.menuBar()->actions().isEmpty());
    }

    void controlLoopRunsOnItsOwnThread() {
        FakeHid::plug(FakeHid::Device::Joystick);
        MainWindow window;
        MainBackgroundThread* loop = window.background();
        QVERIFY(loop->thread() != QThread::currentThread());
        QSignalSpy connected(loop, &MainBackgroundThread::joystickConnected);
        // The loop starts once the GUI event loop runs and finds the device in its first tick.
        QTRY_COMPARE_WITH_TIMEOUT(connected.size(), 1, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(FakeHid::writes(FakeHid::Device::Joystick).size() > 20, 5000);
    }

    void windowGoneBeforeTheEventLoopLeavesNoLoopRunning() {
        FakeHid::plug(FakeHid::Device::Joystick);
        { MainWindow window; }
        QTest::qWait(300);
        QVERIFY(FakeHid::writes(FakeHid::Device::Joystick).empty());
    }

    void closingTheWindowEndsTheEventLoopAndZeroesTheDevices() {
        FakeHid::plug(FakeHid::Device::Joystick);
        {
            MainWindow window;
            window.show();
            // Dampers are not ramped, so the reports carry them at once.
            EffectsSettings dampers;
            dampers.axes[0].smart_damper.active = true;
            dampers.axes[0].smart_damper.total_effect_strength = 100.0f;
            dampers.axes[0].smart_damper.static_dampening = 50.0f;
            QMetaObject::invokeMethod(window.background(), "changeSettingsModerately", Qt::QueuedConnection,
                                      Q_ARG(EffectsSettings, dampers));
            QTRY_VERIFY_WITH_TIMEOUT(!FakeHid::writes(FakeHid::Device::Joystick).empty() &&
                                         FakeHid::writes(FakeHid::Device::Joystick).back().bytes[29] != 0,
                                     5000);
            QTimer::singleShot(100, &window, &QWidget::close);
            QCOMPARE(qApp->exec(), 0);
        }
        // The window is gone; the workers still run, but the last word to the device was zero.
        const auto writes = FakeHid::writes(FakeHid::Device::Joystick);
        const auto last = writes.back().bytes;
        QCOMPARE(last[1], uint8_t(0x20));
        for (int i = 2; i < 65; ++i) {
            QCOMPARE(last[i], uint8_t(0));
        }
        QTest::qWait(100);
        QCOMPARE(FakeHid::writes(FakeHid::Device::Joystick).size(), writes.size());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
