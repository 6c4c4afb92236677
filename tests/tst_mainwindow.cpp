#include "app/mainwindow.h"
#include "engine/mainbackgroundthread.h"
#include "engine/panelfeed.h"
#include "engine/recordingcontroller.h"
#include "profiles/profilesession.h"
#include "profiles/profilestore.h"
#include "records/effectsprofile.h"
#include "records/metatypes.h"
#include "support/fakehid.h"
#include "support/logcapture.h"
#include "support/programtesting.h"
#include "support/reportbytes.h"
#include "telemetry/recordingcsv.h"
#include "telemetry/telemetrysourceudp.h"
#include "telemetry/telemetrythread.h"
#include "telemetry/udptelemetry.h"
#include "ui/forcesoffkeydialog.h"
#include "ui/forcesviewwidget.h"
#include "ui/gamesetupdialog.h"
#include "ui/stripchart.h"
#include "ui/threeaxiseffectswidget.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QFileDialog>
#include <QGuiApplication>
#include <QKeySequence>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QNetworkInterface>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <cmath>
#include <deque>
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

// The elevator's DirectX trimmer gain in the joystick's latest override report.
float lastElevatorTrimmerGain() {
    const auto reports = joystickReports(0x21);
    return reports.empty() ? std::numeric_limits<float>::quiet_NaN() : reportFloat(reports.back().bytes, 6);
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

// Waits until the joystick is driven, then puts the elevator's weight at full strength (10 per
// G) and the hand-set record at 5 G, until the joystick's elevator pushes at -50.
void pullFiveG(QWidget& window) {
    auto* elevator = window.findChild<QWidget*>(QStringLiteral("elevator_effects_widget"));
    QVERIFY(elevator);
    QTRY_VERIFY_WITH_TIMEOUT(!joystickReports(0x20).empty(), 5000);
    addEffect(elevator, 3);
    panelSpin(elevator, EffectsProfile::EFFECT_TYPE_ELEVATOR_WEIGHT, QStringLiteral("total_effect_strength"))
        ->setValue(100);
    window.findChild<QCheckBox*>(QStringLiteral("telemetry_override"))->setChecked(true);
    window.findChild<QSlider*>(QStringLiteral("g_force_slider"))->setValue(5);
    QTRY_COMPARE_WITH_TIMEOUT(lastElevatorForce(), -50.0f, 10000);
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
        MainWindow::windowSettings()->clear();
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
        TestProgram program;
        MainWindow& window = program.window;
        window.show();
        window.centre();
        QCOMPARE(window.windowTitle(), QStringLiteral("Grovik Trennal"));
        // The form asks for 909 x 539; the panels' layouts may need more.
        QVERIFY(window.width() >= 909);
        QVERIFY(window.height() >= 539);
        // Centred in the screen's free area, frame and title bar included.
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect frame = window.frameGeometry();
        QVERIFY(area.contains(frame));
        QVERIFY(qAbs((frame.left() - area.left()) - (area.right() - frame.right())) <= 1);
        QVERIFY(qAbs((frame.top() - area.top()) - (area.bottom() - frame.bottom())) <= 1);
    }

    // On the 1366 x 768 test screen the whole window, title bar included, stays on screen,
    // whatever size and place the last run left; what fits is kept as it was.
    void windowFitsTheScreen_data() {
        QTest::addColumn<QRect>("saved"); // the last run's window; null for a first run
        QTest::addColumn<bool>("kept");
        QTest::newRow("first run") << QRect() << false;
        QTest::newRow("remembered, fits") << QRect(40, 80, 1300, 560) << true;
        QTest::newRow("remembered, larger than the screen") << QRect(-300, -200, 2400, 1500) << false;
        QTest::newRow("remembered, off the screen's edge") << QRect(900, 500, 1000, 600) << false;
    }

    void windowFitsTheScreen() {
        QFETCH(QRect, saved);
        QFETCH(bool, kept);
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(screen.size(), QSize(1366, 768));
        if (!saved.isNull()) {
            TestProgram firstProgram;
            MainWindow& first = firstProgram.window;
            first.show();
            first.setGeometry(saved);
            QVERIFY(first.close());
        }
        TestProgram program;
        MainWindow& window = program.window;
        // Every control is reachable at this height: the tall panels scroll.
        QVERIFY2(window.minimumSizeHint().height() + 40 <= 768 - 48,
                 qPrintable(QString::number(window.minimumSizeHint().height())));
        QVERIFY(window.minimumSizeHint().width() + 16 <= 1366);
        QVERIFY(window.findChild<QWidget*>(QStringLiteral("status_widget"))
                    ->parentWidget()
                    ->parentWidget()
                    ->inherits("QScrollArea"));
        // Placed before it is shown, as at start-up.
        window.centre();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY2(screen.contains(window.frameGeometry()),
                 qPrintable(QStringLiteral("%1,%2 %3x%4")
                                .arg(window.frameGeometry().x())
                                .arg(window.frameGeometry().y())
                                .arg(window.frameGeometry().width())
                                .arg(window.frameGeometry().height())));
        if (kept) {
            QCOMPARE(window.geometry(), saved);
        }
    }

    // Small screens: the window's least size fits 1024 x 600, and 1366 x 768 at 125 % and 150 %
    // scaling (1093 x 614 and 911 x 512 in the window's units), frame and title bar included.
    // At that size the forces' controls and both panels are on screen.
    void fitsSmallScreens_data() {
        QTest::addColumn<QSize>("screen");
        QTest::newRow("1024 x 600") << QSize(1024, 600);
        QTest::newRow("1366 x 768 at 125 %") << QSize(1093, 614);
        QTest::newRow("1366 x 768 at 150 %") << QSize(911, 512);
    }

    void fitsSmallScreens() {
        QFETCH(QSize, screen);
        TestProgram program;
        MainWindow& window = program.window;
        const QSize least = window.minimumSizeHint();
        QVERIFY2(least.width() + 16 <= screen.width() && least.height() + 40 <= screen.height(),
                 qPrintable(QStringLiteral("%1 x %2").arg(least.width()).arg(least.height())));
        window.resize(screen - QSize(16, 40));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.size(), screen - QSize(16, 40));
        for (const char* name : {"forces_off_button", "master_gain", "editor_scroll", "status_scroll"}) {
            auto* w = window.findChild<QWidget*>(QLatin1String(name));
            QVERIFY2(w && w->isVisible(), name);
            const QRect place(w->mapTo(&window, QPoint()), w->size());
            QVERIFY2(window.rect().contains(place) && place.width() >= w->minimumSizeHint().width() &&
                         place.height() >= 20,
                     name);
        }
    }

    void remembersTabs_data() {
        QTest::addColumn<int>("mainTab");
        QTest::addColumn<int>("axisTab");
        QTest::addColumn<int>("expectedAxisTab");
        QTest::newRow("rudder") << 0 << 2 << 2;
        QTest::newRow("elevator") << 0 << 1 << 1;
        QTest::newRow("a tab that no longer exists") << 0 << 9 << 0;
    }

    void remembersTabs() {
        QFETCH(int, mainTab);
        QFETCH(int, axisTab);
        QFETCH(int, expectedAxisTab);
        const QString axisKey = QStringLiteral("tabs/centralwidget.tabWidget.qt_tabwidget_stackedwidget.tab."
                                               "effect_settings_widget.tabWidget");
        {
            TestProgram firstProgram;
            MainWindow& first = firstProgram.window;
            first.show();
            first.findChild<QTabWidget*>(QStringLiteral("tabWidget"))->setCurrentIndex(mainTab);
            first.findChild<QWidget*>(QStringLiteral("effect_settings_widget"))
                ->findChild<QTabWidget*>(QStringLiteral("tabWidget"))
                ->setCurrentIndex(axisTab);
            QVERIFY(first.close());
        }
        if (axisTab > 2) {
            MainWindow::windowSettings()->setValue(axisKey, axisTab);
        }
        QCOMPARE(MainWindow::windowSettings()->value(axisKey).toInt(), axisTab);
        TestProgram program;
        MainWindow& window = program.window;
        window.show();
        QCOMPARE(window.findChild<QTabWidget*>(QStringLiteral("tabWidget"))->currentIndex(), mainTab);
        QCOMPARE(window.findChild<QWidget*>(QStringLiteral("effect_settings_widget"))
                     ->findChild<QTabWidget*>(QStringLiteral("tabWidget"))
                     ->currentIndex(),
                 expectedAxisTab);
    }

    // Closing with unsaved profile edits asks Save / Discard / Cancel; Cancel keeps the window.
    void closingWithUnsavedEditsAsks_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<bool>("fileWritten");
        QTest::addColumn<bool>("viaQuit"); // File > Quit (Ctrl+Q) rather than the window's close
        QTest::newRow("save") << int(QMessageBox::Save) << true << true << false;
        QTest::newRow("discard") << int(QMessageBox::Discard) << true << false << false;
        QTest::newRow("cancel") << int(QMessageBox::Cancel) << false << false << false;
        QTest::newRow("File > Quit, cancel") << int(QMessageBox::Cancel) << false << false << true;
    }

    void closingWithUnsavedEditsAsks() {
        QFETCH(int, answer);
        QFETCH(bool, closes);
        QFETCH(bool, fileWritten);
        QFETCH(bool, viaQuit);
        TestProgram program;
        MainWindow& window = program.window;
        window.show();
        auto* editor = window.findChild<ThreeAxisEffectsWidget*>(QStringLiteral("effect_settings_widget"));
        QStringList asked;
        editor->setAsk([&](QMessageBox::Icon, const QString& text, QMessageBox::StandardButtons) {
            asked << text;
            return QMessageBox::StandardButton(answer);
        });
        // Nothing edited: closing asks nothing.
        {
            TestProgram untouchedProgram;
            MainWindow& untouched = untouchedProgram.window;
            untouched.show();
            QVERIFY(untouched.close());
        }
        MainWindow::windowSettings()->clear();
        editor->findChild<QLineEdit*>(QStringLiteral("flight_module_input"))
            ->setText(QStringLiteral("Yak-52"));

        if (viaQuit) {
            auto* quit = window.findChild<QAction*>(QStringLiteral("quit_action"));
            QCOMPARE(quit->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
            quit->trigger();
        } else {
            QCOMPARE(window.close(), closes);
        }

        QCOMPARE(asked.size(), 1);
        QCOMPARE(window.isVisible(), !closes);
        QCOMPARE(QFile::exists(QStringLiteral("effect_profiles/GENERIC_Yak_52.json")), fileWritten);
        // A refused close leaves the remembered state as it was.
        QCOMPARE(MainWindow::windowSettings()->contains(QStringLiteral("window/geometry")), closes);
    }

    // Set-aside edits are asked about on close: saved to their own file (the editor keeps what
    // flies), or, renamed, back in the editor to be saved there.
    void closingWithSetAsideEditsAsks_data() {
        QTest::addColumn<bool>("renamed"); // the comment, part of the file name, was edited
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closes");
        QTest::newRow("save") << false << int(QMessageBox::Save) << true;
        QTest::newRow("discard") << false << int(QMessageBox::Discard) << true;
        QTest::newRow("cancel") << false << int(QMessageBox::Cancel) << false;
        QTest::newRow("renamed, save, rename refused") << true << int(QMessageBox::Save) << false;
    }
    void closingWithSetAsideEditsAsks() {
        QFETCH(bool, renamed);
        QFETCH(int, answer);
        QFETCH(bool, closes);
        EffectsProfile profile;
        profile.resetToDefaults();
        profile.metadata.flight_data_source = Telemetry::TELEMETRY_SOURCE_DCS;
        for (const char* module : {"F-5E", "MiG-21"}) {
            profile.metadata.flight_module = QLatin1String(module);
            ProfileStore().save(profile);
        }
        const auto readA = [] {
            QFile file(QStringLiteral("effect_profiles/DCS_F_5E.json"));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        const QByteArray original = readA();
        TestProgram program;
        MainWindow& window = program.window;
        window.show();
        auto* editor = window.findChild<ThreeAxisEffectsWidget*>(QStringLiteral("effect_settings_widget"));
        QStringList asked;
        editor->setAsk([&](QMessageBox::Icon, const QString& text, QMessageBox::StandardButtons) {
            asked << text;
            return QMessageBox::StandardButton(answer);
        });
        program.engine.session().selectProfileFor(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("F-5E"));
        if (renamed) {
            editor->findChild<QLineEdit*>(QStringLiteral("profile_comment_input"))
                ->setText(QStringLiteral("soft"));
        } else {
            addEffect(window.findChild<QWidget*>(QStringLiteral("elevator_effects_widget")), 3);
        }
        program.engine.session().selectProfileFor(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("MiG-21"));
        QVERIFY(program.engine.session().canRestoreSetAside() &&
                !program.engine.session().hasUnsavedChanges());

        QCOMPARE(window.close(), closes);

        QVERIFY2(asked.value(0).contains(QStringLiteral("\"F-5E [DCS]\" were set aside")),
                 qPrintable(asked.value(0)));
        QCOMPARE(readA() != original, !renamed && answer == QMessageBox::Save);
        // Nothing set aside is lost without the pilot saying so.
        QCOMPARE(program.engine.session().canRestoreSetAside(), answer == QMessageBox::Cancel);
        QCOMPARE(program.engine.session().profile().metadata.comment,
                 renamed ? QStringLiteral("soft") : QString());
    }

    void automaticChoiceSetsEditsAsideAndEditRestoresThem() {
        EffectsProfile a;
        a.resetToDefaults();
        a.metadata.flight_data_source = Telemetry::TELEMETRY_SOURCE_DCS;
        a.metadata.flight_module = QStringLiteral("F-5E");
        ProfileStore().save(a);
        EffectsProfile b = a;
        b.metadata.flight_module = QStringLiteral("MiG-21");
        ProfileStore().save(b);
        TestProgram program;
        MainWindow& window = program.window;
        auto* editor = window.findChild<ThreeAxisEffectsWidget*>(QStringLiteral("effect_settings_widget"));
        auto* restore = window.findChild<QAction*>(QStringLiteral("restore_unsaved_action"));
        QVERIFY(restore);
        QVERIFY(!restore->isEnabled());
        QVERIFY(window.menuBar()->actions().contains(
            restore->parent() ? qobject_cast<QMenu*>(restore->parent())->menuAction() : nullptr));
        program.engine.session().selectProfileFor(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("F-5E"));
        editor->findChild<QLineEdit*>(QStringLiteral("profile_comment_input"))
            ->setText(QStringLiteral("soft"));

        program.engine.session().selectProfileFor(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("MiG-21"));

        QVERIFY2(window.statusBar()->currentMessage().contains(QStringLiteral("F-5E [DCS]")),
                 qPrintable(window.statusBar()->currentMessage()));
        QVERIFY(restore->isEnabled());
        restore->trigger();
        QCOMPARE(program.engine.session().profile().metadata.flight_module, QStringLiteral("F-5E"));
        QCOMPARE(program.engine.session().profile().metadata.comment, QStringLiteral("soft"));
        QVERIFY(program.engine.session().hasUnsavedChanges());
        QVERIFY(!restore->isEnabled());
    }

    // Device trouble is said in the window, naming the device: its field reads "Not responding"
    // while its reports stall and until they flow again, and a lost device gets a message.
    void deviceTroubleIsShown_data() {
        QTest::addColumn<int>("device");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("name");
        QTest::newRow("joystick") << int(FakeHid::Device::Joystick) << QStringLiteral("joystick_state")
                                  << QStringLiteral("joystick base");
        QTest::newRow("rudder") << int(FakeHid::Device::Rudder) << QStringLiteral("rudder_state")
                                << QStringLiteral("rudder unit");
    }
    void deviceTroubleIsShown() {
        QFETCH(int, device);
        QFETCH(QString, field);
        QFETCH(QString, name);
        const auto d = static_cast<FakeHid::Device>(device);
        FakeHid::plug(d);
        FakeHid::setVersionBytes(d, 1, 2, 3);
        TestProgram program;
        MainWindow& window = program.window;
        window.show();
        auto* state = window.findChild<QLineEdit*>(field);
        QVERIFY(state);
        QTRY_COMPARE_WITH_TIMEOUT(state->text(), QStringLiteral("Connected (Version 1.2.3)"), 10000);

        FakeHid::holdWrites(d, true);
        QTRY_COMPARE_WITH_TIMEOUT(state->text(), QStringLiteral("Not responding"), 10000);
        QVERIFY2(window.statusBar()->currentMessage().contains(name + QStringLiteral(" is not responding")),
                 qPrintable(window.statusBar()->currentMessage()));
        FakeHid::holdWrites(d, false);
        QTRY_COMPARE_WITH_TIMEOUT(state->text(), QStringLiteral("Connected (Version 1.2.3)"), 10000);

        FakeHid::unplug(d);
        QTRY_COMPARE_WITH_TIMEOUT(state->text(), QStringLiteral("Not detected"), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(
            window.statusBar()->currentMessage().contains(QStringLiteral("The %1 was lost").arg(name)), 5000);
    }

    // A note about a stream goes when the stream changes: the status bar never speaks of a
    // game or an aircraft the window no longer shows.
    void streamNotesGoWithTheStream_data() {
        QTest::addColumn<bool>("warthunder");
        QTest::addColumn<QString>("expected");
        QTest::newRow("another game sends") << false
                                            << "IL-2 Sturmovik is sending telemetry too; it is ignored "
                                               "while DCS flies.";
        QTest::newRow("War Thunder silent") << true << "Waiting for War Thunder on 127.0.0.1:8111";
    }
    void streamNotesGoWithTheStream() {
        QFETCH(bool, warthunder);
        QFETCH(QString, expected);
        TestProgram program;
        MainWindow& window = program.window;
        MainBackgroundThread* loop = window.background();
        TelemetryThread* telemetry = loop->telemetry();
        QMetaObject::invokeMethod(telemetry, [telemetry, warthunder] {
            if (warthunder) {
                emit telemetry->warthunderWaiting(QStringLiteral("127.0.0.1:8111"));
            } else {
                emit telemetry->otherSourceIgnored(Telemetry::TELEMETRY_SOURCE_IL2,
                                                   Telemetry::TELEMETRY_SOURCE_DCS);
            }
        });
        QTRY_VERIFY2_WITH_TIMEOUT(window.statusBar()->currentMessage().startsWith(expected),
                                  qPrintable(window.statusBar()->currentMessage()), 5000);
        QMetaObject::invokeMethod(loop, [loop] {
            emit loop->telemetrySourceChanged(Telemetry::TELEMETRY_SOURCE_CONDOR,
                                              QStringLiteral("Generic glider"));
        });
        QTRY_VERIFY_WITH_TIMEOUT(!window.statusBar()->currentMessage().startsWith(expected), 5000);
    }

    void formHoldsTheTwoPanels() {
        TestProgram program;
        MainWindow& window = program.window;
        auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("tabWidget"));
        QVERIFY(tabs);
        QCOMPARE(tabs->count(), 2);
        QCOMPARE(tabs->tabText(0), QStringLiteral("Effects"));
        QCOMPARE(tabs->tabText(1), QStringLiteral("Forces"));
        QCOMPARE(tabs->widget(1)->objectName(), QStringLiteral("forces_view"));
        QCOMPARE(tabs->currentIndex(), 0);
        QVERIFY(window.findChild<QWidget*>(QStringLiteral("effect_settings_widget")));
        QVERIFY(window.findChild<QWidget*>(QStringLiteral("status_widget")));
        QCOMPARE(window.menuBar()->objectName(), QStringLiteral("menubar"));
        // File, Edit, Settings and Help, in that order; File drives the recorder and the replay.
        QStringList menus;
        for (const QAction* action : window.menuBar()->actions()) {
            menus << action->text();
        }
        QCOMPARE(menus, (QStringList{QStringLiteral("&File"), QStringLiteral("&Edit"),
                                     QStringLiteral("&Settings"), QStringLiteral("&Help")}));
        QMenu* file = window.menuBar()->actions().first()->menu();
        QVERIFY(file);
        QStringList items;
        for (QAction* a : file->actions()) {
            items << a->text();
        }
        // ... and ends with Quit, after a separator.
        QCOMPARE(items, (QStringList{QStringLiteral("Replay recording…"), QStringLiteral("Record"), QString(),
                                     QStringLiteral("&Quit")}));
        // Help is the last menu of the bar.
        QCOMPARE(window.menuBar()->actions().last()->text().remove(QLatin1Char('&')), QStringLiteral("Help"));
    }

    // Each Help entry opens its dialog without blocking the window; the guide is the built-in
    // copy of docs/games.md.
    void helpMenuOpensItsDialogs_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("textWidget");
        QTest::addColumn<QString>("expected");
        QTest::newRow("about") << QStringLiteral("About") << QStringLiteral("About Grovik Trennal")
                               << QStringLiteral("about_text") << QStringLiteral("Profiles are read from");
        QTest::newRow("set-up guide")
            << QStringLiteral("Setting up the games") << QStringLiteral("Setting up the games")
            << QStringLiteral("guide_text") << QStringLiteral("IL-2 Sturmovik (UDP 29777)");
        QTest::newRow("log") << QStringLiteral("Show log") << QStringLiteral("Grovik Trennal log")
                             << QStringLiteral("log_text")
                             << QStringLiteral("Joystick base (3F21:7A10) not found: No HID devices");
    }
    void helpMenuOpensItsDialogs() {
        QFETCH(QString, entry);
        QFETCH(QString, title);
        QFETCH(QString, textWidget);
        QFETCH(QString, expected);
        const LogCapture log;
        TestProgram program;
        MainWindow& window = program.window;
        // The loop has tried the (unplugged) devices once.
        QTRY_VERIFY_WITH_TIMEOUT(!log.lines(QStringLiteral("Rudder unit")).isEmpty(), 20000);
        QMenu* help = window.menuBar()->actions().last()->menu();
        QVERIFY(help);
        QAction* action = nullptr;
        for (QAction* a : help->actions()) {
            if (a->text().remove(QLatin1Char('&')) == entry) {
                action = a;
            }
        }
        QVERIFY2(action, qPrintable(entry));
        action->trigger();
        QDialog* dialog = nullptr;
        for (QDialog* d : window.findChildren<QDialog*>()) {
            if (d->isVisible()) {
                dialog = d;
            }
        }
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), title);
        QWidget* text = dialog->findChild<QWidget*>(textWidget);
        QVERIFY(text);
        const QString shown = text->property("plainText").isValid() ? text->property("plainText").toString()
                                                                    : text->property("text").toString();
        QVERIFY2(shown.contains(expected), qPrintable(shown));
        dialog->close();
    }

    // Other computers are refused until the user allows them: the choice is remembered and
    // reaches the telemetry worker, and a refused sender is named in the status bar.
    void otherComputersAreAllowedFromTheSettingsMenu_data() {
        QTest::addColumn<bool>("stored");
        QTest::addColumn<bool>("forThisRun");
        QTest::addColumn<bool>("check"); // the user checks the action
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<bool>("remembered");
        QTest::newRow("by default refused") << false << false << false << false << false;
        QTest::newRow("checked by the user") << false << false << true << true << true;
        QTest::newRow("remembered from a run before") << true << false << false << true << true;
        QTest::newRow("for this run only") << false << true << false << true << false;
    }

    void otherComputersAreAllowedFromTheSettingsMenu() {
        QFETCH(bool, stored);
        QFETCH(bool, forThisRun);
        QFETCH(bool, check);
        QFETCH(bool, accepted);
        QFETCH(bool, remembered);
        if (stored) {
            MainWindow::windowSettings()->setValue(QStringLiteral("telemetry/acceptRemote"), true);
        }
        TestProgram program;
        MainWindow& window = program.window;
        if (forThisRun) {
            window.acceptRemoteTelemetryForThisRun();
        }
        auto* action = window.findChild<QAction*>(QStringLiteral("accept_remote_action"));
        QVERIFY(action);
        QCOMPARE(action->text(), QStringLiteral("Accept telemetry from other computers"));
        auto* menu = window.menuBar()->findChild<QMenu*>(QStringLiteral("settings_menu"));
        QVERIFY(menu && menu->actions().contains(action));
        if (check) {
            action->trigger();
        }
        QCOMPARE(action->isChecked(), accepted);
        TelemetryThread* telemetry = window.background()->telemetry();
        // The UDP games are read on the loop's thread.
        UdpTelemetry* udp = window.background()->udpTelemetry();
        const auto acceptsRemote = [udp]() {
            bool all = true;
            QMetaObject::invokeMethod(
                udp,
                [&all, udp]() {
                    for (int s : {Telemetry::TELEMETRY_SOURCE_DCS, Telemetry::TELEMETRY_SOURCE_IL2,
                                  Telemetry::TELEMETRY_SOURCE_CONDOR}) {
                        all = all && udp->source(s)->acceptsRemote();
                    }
                },
                udp->thread() == QThread::currentThread() ? Qt::DirectConnection
                                                          : Qt::BlockingQueuedConnection);
            return all;
        };
        QTRY_COMPARE_WITH_TIMEOUT(acceptsRemote(), accepted, 5000);
        QCOMPARE(
            MainWindow::windowSettings()->value(QStringLiteral("telemetry/acceptRemote"), false).toBool(),
            remembered);

        QMetaObject::invokeMethod(
            telemetry, [telemetry]() { emit telemetry->remoteTelemetryRefused(QStringLiteral("192.0.2.7")); },
            Qt::QueuedConnection);
        QTRY_VERIFY_WITH_TIMEOUT(window.statusBar()->currentMessage().contains(QStringLiteral("192.0.2.7")),
                                 5000);
        QVERIFY(window.statusBar()->currentMessage().contains(action->text()));
        QVERIFY(window.statusBar()->currentMessage().contains(QStringLiteral("another computer")));
        // This computer's own network address is not another computer.
        for (const QHostAddress& own : QNetworkInterface::allAddresses()) {
            if (!own.isLoopback()) {
                emit telemetry->remoteTelemetryRefused(own.toString());
                QVERIFY(!window.statusBar()->currentMessage().contains(QStringLiteral("another computer")));
                QVERIFY(window.statusBar()->currentMessage().contains(own.toString()));
            }
        }
    }

    void controlLoopRunsOnItsOwnThread() {
        FakeHid::plug(FakeHid::Device::Joystick);
        TestProgram program;
        MainWindow& window = program.window;
        MainBackgroundThread* loop = window.background();
        QVERIFY(loop->thread() != QThread::currentThread());
        QSignalSpy connected(loop, &MainBackgroundThread::joystickConnected);
        // The loop starts once the GUI event loop runs and finds the device in its first tick.
        QTRY_COMPARE_WITH_TIMEOUT(connected.size(), 1, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(FakeHid::writes(FakeHid::Device::Joystick).size() > 20, 5000);
    }

    void programGoneBeforeTheEventLoopLeavesNoLoopRunning() {
        FakeHid::plug(FakeHid::Device::Joystick);
        { TestProgram program; }
        QTest::qWait(300);
        QVERIFY(FakeHid::writes(FakeHid::Device::Joystick).empty());
    }

    void sourceChangeIsShownBeforeTheEditorLoadsAProfile() {
        EffectsProfile profile;
        profile.resetToDefaults();
        profile.metadata.flight_data_source = Telemetry::TELEMETRY_SOURCE_DCS;
        profile.metadata.flight_module = QStringLiteral("F-16C");
        QCOMPARE(ProfileStore().save(profile), QStringLiteral("DCS_F_16C.json"));
        TestProgram program;
        MainWindow& window = program.window;
        auto* editor = window.findChild<ThreeAxisEffectsWidget*>(QStringLiteral("effect_settings_widget"));
        auto* source = window.findChild<QLineEdit*>(QStringLiteral("telemetry_data_source"));
        auto* module = window.findChild<QLineEdit*>(QStringLiteral("flight_module"));
        QVERIFY(editor && source && module);
        QStringList shownWhenLoaded;
        connect(&program.engine.session(), &ProfileSession::suddenValueChange, this,
                [&] { shownWhenLoaded << source->text() << module->text(); });

        // Emitted on the control thread, as the loop does when a stream starts.
        MainBackgroundThread* loop = window.background();
        QMetaObject::invokeMethod(loop, [loop] {
            emit loop->telemetrySourceChanged(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("F-16C"));
        });

        QTRY_COMPARE_WITH_TIMEOUT(shownWhenLoaded, (QStringList{"DCS", "F-16C"}), 5000);
    }

    // The aircraft without a profile is named in the status bar and in a line of the profile
    // area, which stays while it flies and goes with the stream.
    void aircraftWithoutProfileIsNamedUntilTheStreamEnds() {
        TestProgram program;
        MainWindow& window = program.window;
        window.show();
        auto* notice = window.findChild<QWidget*>(QStringLiteral("aircraft_notice"));
        QVERIFY(notice);
        QVERIFY(!notice->isVisible());
        MainBackgroundThread* loop = window.background();
        QMetaObject::invokeMethod(loop, [loop] {
            emit loop->telemetrySourceChanged(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("A-10C"));
        });
        QTRY_VERIFY_WITH_TIMEOUT(notice->isVisible(), 5000);
        QVERIFY2(window.statusBar()->currentMessage().startsWith(QStringLiteral("No profile for A-10C")),
                 qPrintable(window.statusBar()->currentMessage()));
        QMetaObject::invokeMethod(loop, [loop] { emit loop->telemetryEnded(); });
        QTRY_VERIFY_WITH_TIMEOUT(!notice->isVisible(), 5000);
        // The status bar says no more of it than the line does.
        QVERIFY2(window.statusBar()->currentMessage().isEmpty(),
                 qPrintable(window.statusBar()->currentMessage()));
    }

    void editsReachTheLoopAsCopiesInOrder() {
        FakeHid::plug(FakeHid::Device::Joystick);
        TestProgram program;
        MainWindow& window = program.window;
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

        // The first override is the one the device got when it was opened. The reports then
        // follow the gain as it rises (the device's ramp from its open, the glide to each edit),
        // never back, to the last edit's value.
        QTRY_VERIFY_WITH_TIMEOUT(!joystickReports(0x21).empty() &&
                                     reportFloat(joystickReports(0x21).back().bytes, 2) == 80.0f / 100.0f,
                                 5000);
        const auto reports = joystickReports(0x21);
        QVERIFY(reports.size() >= 3);
        QCOMPARE(reportFloat(reports[0].bytes, 2), 0.0f);
        for (size_t i = 1; i < reports.size(); ++i) {
            QVERIFY(reportFloat(reports[i].bytes, 2) >= reportFloat(reports[i - 1].bytes, 2));
        }
    }

    void overrideReachesTheLoopInOrder() {
        FakeHid::plug(FakeHid::Device::Joystick);
        TestProgram program;
        MainWindow& window = program.window;
        // The record set after switching on is used only if the switch arrives first.
        pullFiveG(window);
        if (QTest::currentTestFailed()) {
            return;
        }

        // The status bar says the game's data is ignored for as long as the override is on.
        auto* indicator = window.findChild<QLabel*>(QStringLiteral("override_indicator"));
        QVERIFY(indicator && indicator->isVisibleTo(&window) &&
                indicator->text().contains(QStringLiteral("ignored")));

        // Switching off sends the zero records before the switch, so the hand-set G is gone.
        window.findChild<QCheckBox*>(QStringLiteral("telemetry_override"))->setChecked(false);
        QTRY_COMPARE_WITH_TIMEOUT(lastElevatorForce(), 0.0f, 5000);
        QVERIFY(!indicator->isVisibleTo(&window));
    }

    // "Master gain (%)" scales what the loop sends and is remembered; "Forces off", by button
    // or key, takes every force off while it is down and gives them back when released. Both
    // act on the game's own effects too: the DirectX gains the device gets.
    void masterGainAndForcesOffReachTheLoop_data() {
        QTest::addColumn<int>("gain");
        QTest::addColumn<bool>("byKey");
        QTest::newRow("full gain, button") << 100 << false;
        QTest::newRow("half gain, key") << 50 << true;
        QTest::newRow("a fifth, button") << 20 << false;
    }

    void masterGainAndForcesOffReachTheLoop() {
        QFETCH(int, gain);
        QFETCH(bool, byKey);
        FakeHid::plug(FakeHid::Device::Joystick);
        {
            TestProgram program;
            MainWindow& window = program.window;
            window.show();
            QApplication::setActiveWindow(&window);
            QVERIFY(QTest::qWaitForWindowActive(&window));
            // Keys pressed right after start go to the editor, never to the gain.
            QWidget* focused = QApplication::focusWidget();
            QVERIFY2(
                window.findChild<QWidget*>(QStringLiteral("effect_settings_widget"))->isAncestorOf(focused),
                focused ? qPrintable(focused->objectName()) : "nothing");
            pullFiveG(window);
            if (QTest::currentTestFailed()) {
                return;
            }
            auto* elevator = window.findChild<QWidget*>(QStringLiteral("elevator_effects_widget"));
            addEffect(elevator, 0);
            panelSpin(elevator, EffectsProfile::EFFECT_TYPE_DIRECT_X_FFB,
                      QStringLiteral("trimmer_effect_strength"))
                ->setValue(80);
            QTRY_COMPARE_WITH_TIMEOUT(lastElevatorTrimmerGain(), 0.8f, 5000);

            auto* gainBox = window.findChild<QSpinBox*>(QStringLiteral("master_gain"));
            QVERIFY(gainBox);
            QCOMPARE(gainBox->value(), 100);
            QCOMPARE(gainBox->minimum(), 0);
            QCOMPARE(gainBox->maximum(), 100);
            gainBox->setValue(gain);
            const float scaled = -50.0f * float(gain) / 100.0f;
            QTRY_COMPARE_WITH_TIMEOUT(lastElevatorForce(), scaled, 5000);
            QTRY_COMPARE_WITH_TIMEOUT(lastElevatorTrimmerGain(), 0.8f * float(gain) / 100.0f, 5000);

            auto* off = window.findChild<QAction*>(QStringLiteral("forces_off_action"));
            QVERIFY(off && off->isCheckable());
            QVERIFY(off->toolTip().contains(QStringLiteral("Ctrl+Shift+Space")));
            const auto press = [&] {
                if (byKey) {
                    QTest::keyClick(&window, Qt::Key_Space, Qt::ControlModifier | Qt::ShiftModifier);
                } else {
                    QTest::mouseClick(window.findChild<QWidget*>(QStringLiteral("forces_off_button")),
                                      Qt::LeftButton);
                }
            };
            press();
            QVERIFY(off->isChecked());
            QTRY_COMPARE_WITH_TIMEOUT(lastElevatorForce(), 0.0f, 5000);
            QCOMPARE(lastElevatorTrimmerGain(), 0.0f);
            // Held, every tick stays at zero.
            const size_t heldAt = joystickReports(0x20).size();
            QTRY_VERIFY_WITH_TIMEOUT(joystickReports(0x20).size() > heldAt + 20, 5000);
            const auto held = joystickReports(0x20);
            for (size_t i = heldAt; i < held.size(); ++i) {
                QCOMPARE(reportFloat(held[i].bytes, 14), 0.0f);
            }
            press();
            QVERIFY(!off->isChecked());
            QTRY_COMPARE_WITH_TIMEOUT(lastElevatorForce(), scaled, 10000);
            QTRY_COMPARE_WITH_TIMEOUT(lastElevatorTrimmerGain(), 0.8f * float(gain) / 100.0f, 5000);
        }
        // The next run starts with the same gain.
        QCOMPARE(MainWindow::windowSettings()->value(QStringLiteral("forces/master_gain"), 100).toInt(),
                 gain);
        TestProgram nextProgram;
        MainWindow& next = nextProgram.window;
        QCOMPARE(next.findChild<QSpinBox*>(QStringLiteral("master_gain"))->value(), gain);
    }

    // The "Forces off" key takes the forces off from every dialog, modal or not, and leaves the
    // dialog as it was: no button pressed, still open.
    void forcesOffKeyLeavesDialogsAlone_data() {
        QTest::addColumn<QString>("dialog");
        QTest::newRow("Save changes?") << QStringLiteral("save");
        QTest::newRow("delete") << QStringLiteral("delete");
        QTest::newRow("set-up window") << QStringLiteral("setup");
        QTest::newRow("set-up folder") << QStringLiteral("folder");
    }

    void forcesOffKeyLeavesDialogsAlone() {
        QFETCH(QString, dialog);
        EffectsProfile profile;
        profile.resetToDefaults();
        profile.metadata.flight_module = QStringLiteral("Yak-52");
        ProfileStore().save(profile);
        const QStringList files = QDir(QStringLiteral("effect_profiles")).entryList(QDir::Files);
        QCOMPARE(files.size(), 1);
        TestProgram program;
        MainWindow& window = program.window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        auto* off = window.findChild<QAction*>(QStringLiteral("forces_off_action"));
        QSignalSpy held(&window, &MainWindow::forcesHeldChanged);
        QString seen;
        bool offInDialog = false;
        bool openAfterKey = false;
        bool buttonPressed = false;
        // Presses the key in the dialog once it is up, then closes the dialog as Escape would.
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, this, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || (dialog == QLatin1String("folder") && !qobject_cast<QFileDialog*>(modal))) {
                return;
            }
            poll.stop();
            seen = QString::fromLatin1(modal->metaObject()->className());
            QTest::keyClick(modal->focusWidget() ? modal->focusWidget() : modal, Qt::Key_Space,
                            Qt::ControlModifier | Qt::ShiftModifier);
            offInDialog = off->isChecked();
            openAfterKey = modal->isVisible();
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                buttonPressed = box->clickedButton() != nullptr;
            }
            modal->close();
        });
        poll.start();
        const auto openSetUp = [&window] {
            QMenu* help = window.menuBar()->findChild<QMenu*>(QStringLiteral("help_menu"));
            help->actions().constFirst()->trigger();
            return window.findChild<GameSetupDialog*>();
        };
        if (dialog == QLatin1String("save")) {
            window.findChild<QLineEdit*>(QStringLiteral("flight_module_input"))
                ->setText(QStringLiteral("Yak-53"));
            QVERIFY(!window.close());
        } else if (dialog == QLatin1String("delete")) {
            window.findChild<QComboBox*>(QStringLiteral("profile_combo"))->setCurrentIndex(0);
            QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("delete_profile")),
                              Qt::LeftButton);
        } else if (dialog == QLatin1String("setup")) {
            QVERIFY(openSetUp());
        } else {
            GameSetupDialog* setUp = openSetUp();
            QVERIFY(setUp);
            QTest::mouseClick(setUp->findChild<QPushButton*>(QStringLiteral("setup_dcs")), Qt::LeftButton);
            QVERIFY(setUp->isVisible());
        }
        QTRY_VERIFY_WITH_TIMEOUT(!seen.isEmpty(), 5000);
        QVERIFY2(offInDialog, qPrintable(seen));
        QVERIFY(openAfterKey);
        QVERIFY(!buttonPressed);
        QCOMPARE(held.size(), 1);
        QCOMPARE(held.at(0).at(0).toBool(), true);
        // Nothing saved, deleted or set up; the window is still there.
        QVERIFY(window.isVisible());
        QCOMPARE(QDir(QStringLiteral("effect_profiles")).entryList(QDir::Files), files);
    }

    // Settings > Forces off key: the key is remembered for the next run; a key other programs
    // need for typing cannot be chosen, and a stored one that is unusable gives the default.
    void forcesOffKeyIsChosenInSettings_data() {
        QTest::addColumn<QString>("stored");     // from the last run; empty for none
        QTest::addColumn<QKeySequence>("typed"); // recorded in the dialog; empty for none
        QTest::addColumn<QKeySequence>("expected");
        QTest::addColumn<QString>("remembered");
        const QKeySequence standard(QStringLiteral("Ctrl+Shift+Space"));
        QTest::newRow("default") << QString() << QKeySequence() << standard << QString();
        QTest::newRow("from the last run")
            << QStringLiteral("Ctrl+Alt+F") << QKeySequence() << QKeySequence(QStringLiteral("Ctrl+Alt+F"))
            << QStringLiteral("Ctrl+Alt+F");
        QTest::newRow("bare key from the last run")
            << QStringLiteral("F") << QKeySequence() << standard << QStringLiteral("F");
        QTest::newRow("two keys from the last run") << QStringLiteral("Ctrl+A, Ctrl+B") << QKeySequence()
                                                    << standard << QStringLiteral("Ctrl+A, Ctrl+B");
        QTest::newRow("chosen") << QString() << QKeySequence(QStringLiteral("Ctrl+F12"))
                                << QKeySequence(QStringLiteral("Ctrl+F12")) << QStringLiteral("Ctrl+F12");
        QTest::newRow("bare key refused")
            << QString() << QKeySequence(QStringLiteral("B")) << standard << QString();
        QTest::newRow("key without a symbol refused")
            << QString() << QKeySequence(QStringLiteral("Ctrl+Shift+Volume Up")) << standard << QString();
    }

    void forcesOffKeyIsChosenInSettings() {
        QFETCH(QString, stored);
        QFETCH(QKeySequence, typed);
        QFETCH(QKeySequence, expected);
        QFETCH(QString, remembered);
        if (!stored.isEmpty()) {
            MainWindow::windowSettings()->setValue(QStringLiteral("forces/off_key"), stored);
        }
        {
            TestProgram program;
            MainWindow& window = program.window;
            window.show();
            QVERIFY(QTest::qWaitForWindowActive(&window));
            if (!typed.isEmpty()) {
                window.findChild<QAction*>(QStringLiteral("forces_off_key_action"))->trigger();
                auto* chooser = window.findChild<ForcesOffKeyDialog*>();
                QVERIFY(chooser && chooser->isVisible());
                auto* edit = chooser->findChild<QKeySequenceEdit*>();
                edit->setFocus();
                QTest::keyClick(edit, typed[0].key(), typed[0].keyboardModifiers());
                QPushButton* ok = chooser->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
                QCOMPARE(ok->isEnabled(), typed == expected);
                ok->isEnabled() ? ok->click() : chooser->reject();
            }
            QCOMPARE(MainWindow::windowSettings()->value(QStringLiteral("forces/off_key")).toString(),
                     remembered);
            auto* status = window.findChild<QLabel*>(QStringLiteral("forces_off_key_status"));
            QVERIFY(status && window.statusBar()->isAncestorOf(status));
            QVERIFY2(status->text().contains(expected.toString(QKeySequence::NativeText)),
                     qPrintable(status->text()));
            // The offscreen display has no desktop to take the key from; the window says so.
            QVERIFY2(status->text().contains(QStringLiteral("only in this program")),
                     qPrintable(status->text()));
            auto* off = window.findChild<QAction*>(QStringLiteral("forces_off_action"));
            QVERIFY(off->toolTip().contains(expected.toString(QKeySequence::NativeText)));
            QTest::keyClick(&window, expected[0].key(), expected[0].keyboardModifiers());
            QVERIFY(off->isChecked());
            if (expected != QKeySequence(QStringLiteral("Ctrl+Shift+Space"))) {
                QTest::keyClick(&window, Qt::Key_Space, Qt::ControlModifier | Qt::ShiftModifier);
                QVERIFY(off->isChecked());
            }
            QTest::keyClick(&window, expected[0].key(), expected[0].keyboardModifiers());
            QVERIFY(!off->isChecked());
        }
        TestProgram nextProgram;
        MainWindow& next = nextProgram.window;
        QVERIFY(next.findChild<QLabel*>(QStringLiteral("forces_off_key_status"))
                    ->text()
                    .contains(expected.toString(QKeySequence::NativeText)));
    }

    // The plot listens to the loop only while its tab is on screen, at most 30 samples a second.
    void forcesTabListensOnlyWhileShown() {
        TestProgram program;
        MainWindow& window = program.window;
        window.show();
        auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("tabWidget"));
        auto* view = window.findChild<ForcesViewWidget*>(QStringLiteral("forces_view"));
        QVERIFY(tabs && view);
        QVERIFY(!view->isListening());
        // The plots are made when the tab is first shown.
        QCOMPARE(view->findChildren<StripChart*>().size(), 0);
        tabs->setCurrentWidget(view);
        QVERIFY(view->isListening());
        QCOMPARE(view->findChildren<StripChart*>().size(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(view->samples().size() > 10, 5000);
        qint64 previous = -1;
        for (const ForcesSample& s : view->samples()) {
            QVERIFY(previous < 0 || s.time - previous >= PanelFeed::SampleMs);
            previous = s.time;
        }
        tabs->setCurrentIndex(0);
        QVERIFY(!view->isListening());
        QTest::qWait(100); // samples already queued are let in
        const size_t kept = view->samples().size();
        QTest::qWait(200);
        QCOMPARE(view->samples().size(), kept);
    }

    // Minimized, the window stops the panels' feed, and the force view stops listening; shown
    // again, both come back. A closed status panel stops the feed alone.
    void minimizedWindowStopsThePanels_data() {
        QTest::addColumn<bool>("minimize");
        QTest::newRow("window minimized") << true;
        QTest::newRow("status panel closed") << false;
    }
    void minimizedWindowStopsThePanels() {
        QFETCH(bool, minimize);
        TestProgram program;
        MainWindow& window = program.window;
        QSignalSpy views(&window, &MainWindow::panelViewChanged);
        window.show();
        auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("tabWidget"));
        auto* forces = window.findChild<ForcesViewWidget*>(QStringLiteral("forces_view"));
        auto* dock = window.findChild<QDockWidget*>(QStringLiteral("status_dock"));
        QVERIFY(tabs && forces && dock);
        tabs->setCurrentWidget(forces);
        QTRY_VERIFY(forces->isListening());
        if (minimize) {
            window.showMinimized();
        } else {
            dock->close();
        }
        QTRY_VERIFY(!views.isEmpty() && views.last().at(0).value<MainBackgroundThread::PanelView>() ==
                                            MainBackgroundThread::PanelView::Hidden);
        QCOMPARE(forces->isListening(), !minimize);
        if (minimize) {
            window.showNormal();
        } else {
            dock->show();
        }
        QTRY_VERIFY(views.last().at(0).value<MainBackgroundThread::PanelView>() !=
                    MainBackgroundThread::PanelView::Hidden);
        QTRY_VERIFY(forces->isListening());
        window.hide();
        QCOMPARE(views.last().at(0).value<MainBackgroundThread::PanelView>(),
                 MainBackgroundThread::PanelView::Hidden);
    }

    // A plot nobody sees (tab hidden, window minimized, program behind) does no drawing, and
    // shows what it holds at once when it is seen again.
    void hiddenPlotDrawsNothingUntilShown_data() {
        QTest::addColumn<int>("how");
        QTest::newRow("hidden") << 0;
        QTest::newRow("minimized") << 1;
        QTest::newRow("program behind") << 2;
    }
    void hiddenPlotDrawsNothingUntilShown() {
        QFETCH(int, how);
        ForcesViewWidget view;
        QObject source;
        view.setSampleSource(&source, [&] { return connect(&source, &QObject::objectNameChanged, [] {}); });
        view.show();
        QTRY_VERIFY(view.isListening());
        const auto sample = [&view](qint64 time) {
            ForcesSample s;
            s.time = time;
            s.airspeed = 200.0f;
            view.addSample(s);
        };
        sample(1000);
        view.redraw();
        const int drawn = view.drawCount();
        view.redraw(); // nothing new: nothing drawn
        QCOMPARE(view.drawCount(), drawn);
        const QList<StripChart*> charts = view.findChildren<StripChart*>();
        QCOMPARE(charts.size(), 2);
        for (const StripChart* chart : charts) {
            QTRY_COMPARE(chart->drawnTime(), qint64(1000));
        }
        if (how == 0) {
            view.hide();
        } else if (how == 1) {
            view.showMinimized();
        } else {
            view.setProgramInFront(false);
        }
        QTRY_VERIFY(!view.isListening());
        for (int i = 1; i <= 5; ++i) {
            sample(1000 + i * 20); // queued before the hiding
        }
        QTest::qWait(120);
        QCOMPARE(view.drawCount(), drawn);
        // Nor do the charts draw the lines' new pieces.
        for (const StripChart* chart : charts) {
            QCOMPARE(chart->drawnTime(), qint64(1000));
        }
        if (how == 2) {
            view.setProgramInFront(true);
        } else {
            view.showNormal();
        }
        QTRY_VERIFY(view.isListening());
        QCOMPARE(view.drawCount(), drawn + 1);
        // Seen again, each chart draws up to the newest sample.
        for (const StripChart* chart : charts) {
            QTRY_COMPARE(chart->drawnTime(), qint64(1100));
        }
    }

    // In a window of its own the plot keeps listening beside the editor; closing it puts it back.
    void forcesViewDetachesIntoItsOwnWindow() {
        TestProgram program;
        MainWindow& window = program.window;
        window.show();
        auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("tabWidget"));
        auto* view = window.findChild<ForcesViewWidget*>(QStringLiteral("forces_view"));
        auto* detach = view->findChild<QPushButton*>(QStringLiteral("detach_button"));
        QVERIFY(detach);
        detach->click();
        QVERIFY(view->isDetached());
        QVERIFY(view->isWindow());
        // Whole on the screen with room for its frame and title bar.
        const QRect room =
            QGuiApplication::primaryScreen()->availableGeometry().marginsRemoved(QMargins(8, 32, 8, 8));
        QVERIFY2(room.contains(view->geometry()),
                 qPrintable(QStringLiteral("%1,%2").arg(view->geometry().x()).arg(view->geometry().y())));
        QCOMPARE(tabs->count(), 1);
        QCOMPARE(tabs->currentIndex(), 0); // the editor stays in view
        QTRY_VERIFY_WITH_TIMEOUT(view->isListening(), 5000);
        QCOMPARE(view->parent(), &window);

        view->close();
        QVERIFY(!view->isDetached());
        QVERIFY(!view->isWindow());
        QCOMPARE(tabs->count(), 2);
        QCOMPARE(tabs->widget(1), view);
        QCOMPARE(tabs->tabText(1), QStringLiteral("Forces"));
        QVERIFY(!detach->isChecked());
    }

    void forcesPlotKeepsTenSecondsAndFitsItsRange_data() {
        QTest::addColumn<float>("force");
        QTest::addColumn<float>("vibration");
        QTest::addColumn<float>("spring");
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::newRow("nothing sent") << 0.0f << 0.0f << 0.0f << 0.0 << 0.0;
        QTest::newRow("force both ways") << 80.0f << 0.0f << 0.0f << -80.0 << 80.0;
        QTest::newRow("small vibration") << 0.0f << 1.5f << 0.0f << -1.5 << 1.5;
        QTest::newRow("strong spring") << -5.0f << 0.0f << 300.0f << -5.0 << 300.0;
    }
    void forcesPlotKeepsTenSecondsAndFitsItsRange() {
        QFETCH(float, force);
        QFETCH(float, vibration);
        QFETCH(float, spring);
        QFETCH(double, low);
        QFETCH(double, high);
        ForcesViewWidget view;
        for (int i = 0; i <= 200; ++i) {
            ForcesSample s;
            s.time = 100000 + i * 100;
            const float sign = (i % 2) ? 1.0f : -1.0f;
            s.force[i % 3] = force * sign;
            s.vibration[1] = vibration * sign;
            s.springMagnitude[2] = spring;
            s.airspeed = 300.0f;
            view.addSample(s);
        }
        QCOMPARE(view.samples().back().time, qint64(120000));
        QCOMPARE(view.samples().front().time, qint64(110000));
        view.redraw();
        const QList<StripChart*> charts = view.findChildren<StripChart*>();
        QCOMPARE(charts.size(), 2);
        // Every value scale names its unit and labels its ticks as round numbers; the time scale
        // counts whole seconds, two apart.
        QStringList valueTitles;
        for (const StripChart* chart : charts) {
            QCOMPARE(chart->timeLabels(), (QStringList{"-10", "-8", "-6", "-4", "-2", "0"}));
            for (int i = 0; i < chart->scaleCount(); ++i) {
                const StripChart::Scale& scale = chart->scale(i);
                valueTitles << scale.title;
                const QStringList labels = chart->tickLabels(i);
                QVERIFY2(!labels.isEmpty(), qPrintable(scale.title));
                for (const QString& label : labels) {
                    QVERIFY2(!label.contains(QLatin1Char('e')) && !label.startsWith(QStringLiteral("-0")) &&
                                 label.size() <= 6,
                             qPrintable(label));
                    const double tick = label.toDouble();
                    QVERIFY(tick >= scale.min - 1e-9 && tick <= scale.max + 1e-9);
                    QVERIFY(std::abs(tick / scale.step - std::round(tick / scale.step)) < 1e-6);
                }
            }
        }
        // Airspeed, AoA and G each on a scale of its own, named with its unit; level flight's
        // 1 G stays on the G scale.
        QCOMPARE(valueTitles, (QStringList{"% of full force", "Airspeed (km/h)", "AoA (degrees)", "G"}));
        QVERIFY(charts[1]->scale(2).max >= 1.0);
        QVERIFY(charts[1]->scale(0).max >= 300.0 && charts[1]->scale(0).max <= 375.0);
        const auto range = view.forceRange();
        QVERIFY(range.first <= low && range.second >= high);
        // Fitted, not fixed: no more than a fifth of spare room, and at least a unit wide.
        const double span = std::max(high - low, 1.0);
        QVERIFY2(range.second - range.first <= span * 1.25,
                 qPrintable(QStringLiteral("%1 .. %2").arg(range.first).arg(range.second)));

        // Paused, the plot takes nothing in.
        view.setPlotPaused(true);
        ForcesSample late;
        late.time = 130000;
        view.addSample(late);
        QCOMPARE(view.samples().back().time, qint64(120000));
        view.setPlotPaused(false);
        view.addSample(late);
        QCOMPARE(view.samples().back().time, qint64(130000));
    }

    // A scale keeps its range while the values fit it with at most a quarter to spare, so that
    // the lines are not drawn anew at every frame; else it is fitted again. First fitted to 0..100.
    void plotScaleHoldsWhileTheValuesFit_data() {
        QTest::addColumn<double>("lo");
        QTest::addColumn<double>("hi");
        QTest::addColumn<bool>("changed");
        QTest::addColumn<double>("min");
        QTest::addColumn<double>("max");
        QTest::newRow("the same") << 0.0 << 100.0 << false << 0.0 << 110.0;
        QTest::newRow("a little less") << 0.0 << 95.0 << false << 0.0 << 110.0;
        QTest::newRow("half") << 0.0 << 50.0 << true << 0.0 << 55.0;
        QTest::newRow("beyond the top") << 0.0 << 120.0 << true << 0.0 << 132.0;
        QTest::newRow("below zero") << -10.0 << 100.0 << true << -21.0 << 111.0;
        QTest::newRow("not a number") << qQNaN() << 100.0 << true << 0.0 << 0.6;
        QTest::newRow("infinite") << 0.0 << qInf() << true << 0.0 << 0.6;
    }
    void plotScaleHoldsWhileTheValuesFit() {
        QFETCH(double, lo);
        QFETCH(double, hi);
        QFETCH(bool, changed);
        QFETCH(double, min);
        QFETCH(double, max);
        StripChart::Scale scale;
        QVERIFY(StripChart::fit(scale, 0.0, 100.0));
        QCOMPARE(StripChart::fit(scale, lo, hi), changed);
        QCOMPARE(scale.min + 1.0, min + 1.0);
        QCOMPARE(scale.max, max);
        QVERIFY(std::isfinite(scale.step) && scale.step >= 1.0);
    }

    // Frame by frame the plot scrolls the window's own copy and paints only the new strip: what
    // the window holds then is what a full repaint of the chart shows. Samples come every
    // `step` ms, `frame` samples between frames; a wide pen, a jump in time and values beyond
    // the scale are the cases where a strip too narrow or a stale piece would show.
    void plotScrollsAsAFullRepaintShows_data() {
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("frame");
        QTest::addColumn<qreal>("penWidth");
        QTest::addColumn<int>("gapAt"); // the sample after which time jumps by 1 s; -1: none
        QTest::newRow("60 a second, 2 a frame") << 17 << 2 << 1.0 << -1;
        QTest::newRow("one a frame, a wide pen") << 50 << 1 << 4.0 << -1;
        QTest::newRow("a pause of a second") << 17 << 2 << 2.0 << 150;
        QTest::newRow("many a frame") << 5 << 40 << 1.0 << -1;
    }
    void plotScrollsAsAFullRepaintShows() {
        QFETCH(int, step);
        QFETCH(int, frame);
        QFETCH(qreal, penWidth);
        QFETCH(int, gapAt);
        StripChart chart(QStringLiteral("Test"), 5000);
        StripChart::Scale scale;
        scale.title = QStringLiteral("Value");
        chart.addScale(scale);
        chart.addTrace(QStringLiteral("Force"), QPen(Qt::red, penWidth), 0,
                       [](const ForcesSample& s) { return s.force[0]; });
        std::deque<ForcesSample> samples;
        chart.setSamples(&samples);
        chart.resize(500, 240);
        chart.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chart));
        qint64 time = 0;
        for (int i = 0; i < 300; ++i) {
            time += i == gapAt ? 1000 : step;
            ForcesSample s;
            s.time = time;
            // A period of 2 s: the last seconds hold the whole range, so both charts fit the
            // same scale however they came to it.
            s.force[0] = static_cast<float>(40.0 * std::sin(static_cast<double>(time) * M_PI / 1000.0));
            samples.push_back(s);
            while (samples.front().time < time - 5000) {
                samples.pop_front();
            }
            if (i % frame == frame - 1) {
                chart.samplesChanged();
                QCoreApplication::processEvents();
            }
        }
        chart.samplesChanged();
        QTRY_COMPARE(chart.drawnTime(), time);
        QCoreApplication::processEvents();
        const QImage window =
            chart.screen()->grabWindow(chart.winId()).toImage().convertToFormat(QImage::Format_RGB32);
        const QImage repainted = chart.grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(window.size(), repainted.size());
        QCOMPARE(window, repainted);

        // And the lines scrolled frame by frame are where lines drawn at once put them: up to a
        // column apart (each frame scrolls by whole pixels, so a few rows on a slope), never a
        // piece missing or misplaced. A new size draws them at once, on the same scales.
        chart.resize(chart.width() + 1, chart.height());
        QCoreApplication::processEvents();
        chart.resize(chart.width() - 1, chart.height());
        const QImage drawnAtOnce = chart.grab().toImage().convertToFormat(QImage::Format_RGB32);
        int apart = 0;
        for (int y = 0; y < repainted.height(); ++y) {
            for (int x = 0; x < repainted.width(); ++x) {
                if (repainted.pixel(x, y) == drawnAtOnce.pixel(x, y)) {
                    continue;
                }
                bool near = false;
                for (int dx = -1; dx <= 1 && !near; ++dx) {
                    for (int dy = -3; dy <= 3 && !near; ++dy) {
                        const QPoint at(x + dx, y + dy);
                        near =
                            drawnAtOnce.rect().contains(at) && drawnAtOnce.pixel(at) == repainted.pixel(x, y);
                    }
                }
                apart += near ? 0 : 1;
            }
        }
        QVERIFY2(apart == 0, qPrintable(QString::number(apart)));
    }

    // A tick's label has as many decimals as the step, never "-0", and a value that is not a
    // number reads as 0.
    void plotTickLabelsReadAsRoundNumbers_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("step");
        QTest::addColumn<QString>("label");
        QTest::newRow("whole") << 250.0 << 50.0 << "250";
        QTest::newRow("half") << -2.5 << 0.5 << "-2.5";
        QTest::newRow("twentieth") << 0.15 << 0.05 << "0.15";
        QTest::newRow("minus zero") << -0.0 << 1.0 << "0";
        QTest::newRow("rounding to zero") << -0.01 << 0.5 << "0.0";
        QTest::newRow("rounding error") << 3 * 0.1 << 0.1 << "0.3";
        QTest::newRow("not a number") << qQNaN() << 1.0 << "0";
        QTest::newRow("no step") << 7.0 << 0.0 << "7";
    }
    void plotTickLabelsReadAsRoundNumbers() {
        QFETCH(double, value);
        QFETCH(double, step);
        QFETCH(QString, label);
        QCOMPARE(StripChart::tickLabel(value, step), label);
    }

    // A recorded flight replayed through the telemetry worker: the status panel shows the
    // recorded aircraft, and a recording made meanwhile lands in "recordings" under its name.
    void replayShowsTheRecordedFlightAndRecordsIt() {
        QByteArray text = RecordingCsv::header();
        for (int i = 0; i < 50; ++i) {
            RecordingRow r;
            r.time = 20 * i;
            r.source = Telemetry::TELEMETRY_SOURCE_DCS;
            r.aircraft = QStringLiteral("F-16C_50");
            r.telemetry.airspeed = 200.0f + static_cast<float>(i);
            r.telemetry.gForce = 1.0f;
            text += RecordingCsv::line(r);
        }
        QFile flight(QStringLiteral("flight.csv"));
        QVERIFY(flight.open(QIODevice::WriteOnly));
        flight.write(text);
        flight.close();

        TestProgram program;
        MainWindow& window = program.window;
        window.show();
        MainBackgroundThread* loop = window.background();
        QSignalSpy ended(loop, &MainBackgroundThread::telemetryEnded);
        auto* source = window.findChild<QLineEdit*>(QStringLiteral("telemetry_data_source"));
        auto* module = window.findChild<QLineEdit*>(QStringLiteral("flight_module"));
        QVERIFY(source && module);
        program.engine.recording()->setReplayLooping(true);
        program.engine.recording()->startReplay(QStringLiteral("flight.csv"));
        QTRY_COMPARE_WITH_TIMEOUT(module->text(), QStringLiteral("F-16C_50"), 5000);
        // Not to be taken for a live game: the source names the recording, the game is in the tip.
        QTRY_COMPARE_WITH_TIMEOUT(source->text(), QStringLiteral("Replay: flight.csv"), 5000);
        QVERIFY(source->toolTip().contains(QStringLiteral("DCS")));
        QTRY_VERIFY_WITH_TIMEOUT(program.engine.recording()->isReplaying(), 5000);

        auto* record = window.findChild<QPushButton*>(QStringLiteral("record_button"));
        QVERIFY(record);
        record->click();
        QTRY_VERIFY_WITH_TIMEOUT(program.engine.recording()->isRecording(), 5000);
        QTest::qWait(300);
        record->click();
        QTRY_VERIFY_WITH_TIMEOUT(!program.engine.recording()->isRecording(), 5000);
        program.engine.recording()->stopReplay();
        QTRY_VERIFY_WITH_TIMEOUT(!program.engine.recording()->isReplaying(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 5000);

        const QStringList files = QDir(QStringLiteral("recordings")).entryList(QDir::Files);
        QCOMPARE(files.size(), 1);
        QVERIFY2(files.first().endsWith(QStringLiteral("_F-16C_50.csv")), qPrintable(files.first()));
        QFile recorded(QStringLiteral("recordings/") + files.first());
        QVERIFY(recorded.open(QIODevice::ReadOnly));
        const RecordingFile read = RecordingCsv::parse(recorded);
        QVERIFY2(read.ok(), qPrintable(read.error));
        QVERIFY(read.rows.size() >= 5);
        QCOMPARE(read.rows.first().aircraft, QStringLiteral("F-16C_50"));
        QCOMPARE(read.rows.first().source, Telemetry::TELEMETRY_SOURCE_DCS);
        QVERIFY(read.rows.first().telemetry.airspeed >= 200.0f);
    }

    void closingTheWindowEndsTheEventLoopAndZeroesTheDevices() {
        FakeHid::plug(FakeHid::Device::Joystick);
        {
            TestProgram program;
            MainWindow& window = program.window;
            window.show();
            // Dampers are not ramped, so the reports carry them at once.
            EffectsSettings dampers;
            dampers.axes[0].smart_damper.active = true;
            dampers.axes[0].smart_damper.total_effect_strength = 100.0f;
            dampers.axes[0].smart_damper.static_dampening = 50.0f;
            MainBackgroundThread* loop = window.background();
            QMetaObject::invokeMethod(loop, [loop, dampers] { loop->changeSettingsModerately(dampers); });
            QTRY_VERIFY_WITH_TIMEOUT(!FakeHid::writes(FakeHid::Device::Joystick).empty() &&
                                         FakeHid::writes(FakeHid::Device::Joystick).back().bytes[29] != 0,
                                     5000);
            QTimer::singleShot(100, &window, &QWidget::close);
            QCOMPARE(qApp->exec(), 0);
            // As main() does after its event loop: the engine leaves the devices at zero.
            QVERIFY(program.engine.shutDown());
            QVERIFY(program.engine.isShutDown());
            QCOMPARE(window.background(), nullptr);
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

int main(int argc, char* argv[]) {
    // The window has to fit a 1366 x 768 screen, so the headless screen has that size; the
    // remembered window state goes to a directory of this run only.
    QTemporaryDir scratch;
    const QString config = scratch.filePath(QStringLiteral("screen.json"));
    QFile file(config);
    if (!scratch.isValid() || !file.open(QIODevice::WriteOnly) ||
        file.write(R"({"screens": [{"name": "small", "x": 0, "y": 0, "width": 1366, "height": 768}]})") < 0) {
        return 1;
    }
    file.close();
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform == "offscreen") {
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.toLocal8Bit());
    }
    qputenv("XDG_CONFIG_HOME", scratch.filePath(QStringLiteral("config")).toLocal8Bit());
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_mainwindow.moc"
