#include "app/mainbackgroundthread.h"
#include "app/mainwindow.h"
#include "forces/metatypes.h"
#include "profiles/profilestore.h"
#include "support/fakehid.h"
#include "support/reportbytes.h"
#include "ui/threeaxiseffectswidget.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <limits>
#include <memory>
#include <vector>

namespace {

// The reports of one command written to the joystick so far, oldest first.
std::vector<FakeHid::WrittenReport> joystickReports(uint8_t command) {
    std::vector<FakeHid::WrittenReport> out;
    for (const auto& r : FakeHid::writes(FakeHid::Device::Joystick)) {
        if (r.bytes[1] == command) {
            out.push_back(r);
        }
    }
    return out;
}

float lastElevatorForce() {
    const auto reports = joystickReports(0x20);
    return reports.empty() ? std::numeric_limits<float>::quiet_NaN() : reportFloat(reports.back().bytes, 14);
}

// Picks an effect in an axis editor's combo box and presses "Add selected effect".
void addEffect(QWidget* axisEditor, int comboRow) {
    axisEditor->findChild<QComboBox*>(QStringLiteral("effects_combo"))->setCurrentIndex(comboRow);
    QTest::mouseClick(axisEditor->findChild<QPushButton*>(QStringLiteral("activate_effect_button")),
                      Qt::LeftButton);
}

QSpinBox* panelSpin(QWidget* axisEditor, int effectType, const QString& name) {
    return axisEditor->findChild<QStackedWidget*>(QStringLiteral("effect_stack"))
        ->widget(effectType)
        ->findChild<QSpinBox*>(name);
}

} // namespace

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

    void sourceChangeIsShownBeforeTheEditorLoadsAProfile() {
        EffectsProfile profile;
        profile.resetToDefaults();
        profile.metadata.flight_data_source = Telemetry::TELEMETRY_SOURCE_DCS;
        profile.metadata.flight_module = QStringLiteral("F-16C");
        QCOMPARE(ProfileStore().save(profile), QStringLiteral("DCS_F_16C.json"));
        MainWindow window;
        auto* editor = window.findChild<ThreeAxisEffectsWidget*>(QStringLiteral("effect_settings_widget"));
        auto* source = window.findChild<QLineEdit*>(QStringLiteral("telemetry_data_source"));
        auto* module = window.findChild<QLineEdit*>(QStringLiteral("flight_module"));
        QVERIFY(editor && source && module);
        QStringList shownWhenLoaded;
        connect(editor, &ThreeAxisEffectsWidget::suddenValueChange, this,
                [&] { shownWhenLoaded << source->text() << module->text(); });

        // Emitted on the control thread, as the loop does when a stream starts.
        MainBackgroundThread* loop = window.background();
        QMetaObject::invokeMethod(loop, [loop] {
            emit loop->telemetrySourceChanged(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("F-16C"));
        });

        QTRY_COMPARE_WITH_TIMEOUT(shownWhenLoaded, (QStringList{"DCS", "F-16C"}), 5000);
    }

    void editsReachTheLoopAsCopiesInOrder() {
        FakeHid::plug(FakeHid::Device::Joystick);
        MainWindow window;
        auto* state = window.findChild<QLineEdit*>(QStringLiteral("joystick_state"));
        QVERIFY(state);
        QTRY_VERIFY_WITH_TIMEOUT(state->text().startsWith(QStringLiteral("Connected (Version ")), 5000);

        // Added (sudden), then edited twice in one go (moderate): each copy keeps its own value.
        auto* ailerons = window.findChild<QWidget*>(QStringLiteral("ailerons_effects_widget"));
        addEffect(ailerons, 0);
        QSpinBox* trimmer = panelSpin(ailerons, EffectsProfile::EFFECT_TYPE_DIRECT_X_FFB,
                                      QStringLiteral("trimmer_effect_strength"));
        QVERIFY(trimmer);
        trimmer->setValue(40);
        trimmer->setValue(80);

        // The first override is the one the device got when it was opened.
        QTRY_COMPARE_WITH_TIMEOUT(joystickReports(0x21).size(), size_t(4), 5000);
        const auto reports = joystickReports(0x21);
        QCOMPARE(reportFloat(reports[0].bytes, 2), 0.0f);
        QCOMPARE(reportFloat(reports[1].bytes, 2), 0.0f);
        QCOMPARE(reportFloat(reports[2].bytes, 2), 40.0f / 100.0f);
        QCOMPARE(reportFloat(reports[3].bytes, 2), 80.0f / 100.0f);
    }

    void overrideReachesTheLoopInOrder() {
        FakeHid::plug(FakeHid::Device::Joystick);
        MainWindow window;
        auto* elevator = window.findChild<QWidget*>(QStringLiteral("elevator_effects_widget"));
        QVERIFY(elevator);
        QTRY_VERIFY_WITH_TIMEOUT(!joystickReports(0x20).empty(), 5000);
        // The elevator's weight pulls by 10 per G at full strength.
        addEffect(elevator, 3);
        panelSpin(elevator, EffectsProfile::EFFECT_TYPE_ELEVATOR_WEIGHT,
                  QStringLiteral("total_effect_strength"))
            ->setValue(100);

        // The record set after switching on is used only if the switch arrives first.
        window.findChild<QCheckBox*>(QStringLiteral("telemetry_override"))->setChecked(true);
        window.findChild<QSlider*>(QStringLiteral("g_force_slider"))->setValue(5);
        QTRY_COMPARE_WITH_TIMEOUT(lastElevatorForce(), -50.0f, 10000);

        // Switching off sends the zero records before the switch, so the hand-set G is gone.
        window.findChild<QCheckBox*>(QStringLiteral("telemetry_override"))->setChecked(false);
        QTRY_COMPARE_WITH_TIMEOUT(lastElevatorForce(), 0.0f, 5000);
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
        // The window is gone and the threads with it; the last word to the device was zero.
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
