#include "app/mainwindow.h"

#include "app/logfile.h"
#include "device/devicepresencewatch.h"
#include "engine/engine.h"
#include "engine/mainbackgroundthread.h"
#include "engine/panelfeed.h"
#include "engine/recordingcontroller.h"
#include "profiles/profilesession.h"
#include "records/gamename.h"
#include "telemetry/flightrecorder.h"
#include "telemetry/telemetryreplay.h"
#include "telemetry/telemetrysourceudp.h"
#include "telemetry/telemetrythread.h"
#include "telemetry/xplane/telemetrysourcexplane.h"
#include "ui/aboutdialog.h"
#include "ui/forcesoffkeydialog.h"
#include "ui/forcestoolbar.h"
#include "ui/forcesviewwidget.h"
#include "ui/gamesetupdialog.h"
#include "ui/globalshortcut.h"
#include "ui/logdialog.h"
#include "ui/shortcutkeys.h"
#include "ui/statusdock.h"
#include "ui/statuswidget.h"
#include "ui/threeaxiseffectswidget.h"
#include "ui/windowplacement.h"
#include "ui_mainwindow.h"

#include <QCloseEvent>
#include <QDockWidget>
#include <QEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHideEvent>
#include <QInputDialog>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTabWidget>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

const QString kGeometryKey = QStringLiteral("window/geometry");
const QString kAcceptRemoteKey = QStringLiteral("telemetry/acceptRemote");
const QString kXPlaneAddressKey = QStringLiteral("telemetry/xplaneAddress");
const QString kStateKey = QStringLiteral("window/state");
const QString kMasterGainKey = QStringLiteral("forces/master_gain");
const QString kSendAxesKey = QStringLiteral("msfs/send_axes");
const QString kForcesOffKey = QStringLiteral("forces/off_key");
const QString kTabsGroup = QStringLiteral("tabs");

} // namespace

MainWindow::MainWindow(Engine& engine, QWidget* parent)
    : QMainWindow(parent), ui_(std::make_unique<Ui::MainWindow>()),
      icon_(QStringLiteral("grovik_logo_icon_inverted.png")), engine_(engine), background_(engine.control()),
      session_(&engine.session()) {
    // Made first, so that Tab reaches the forces' controls before the editor's.
    buildForcesToolBar();
    ui_->setupUi(this);
    setWindowIcon(icon_);
    setWindowTitle(QStringLiteral("Grovik Trennal"));

    // Every connection between the panels and the control loop, both ways. The source change
    // reaches the status panel before the profile editor, which may then load a profile.
    StatusWidget* status = ui_->status_widget;
    ThreeAxisEffectsWidget* editor = ui_->effect_settings_widget;
    editor->setSession(session_);
    connect(status, &StatusWidget::telemetryOverrideDisabled, background_,
            &MainBackgroundThread::disableTelemetryOverride);
    connect(status, &StatusWidget::telemetryOverrideEnabled, background_,
            &MainBackgroundThread::enableTelemetryOverride);
    connect(status, &StatusWidget::telemetryOverrided, background_, &MainBackgroundThread::overrideTelemetry);
    connect(status, &StatusWidget::landed, background_, &MainBackgroundThread::setLanded);
    // Notes about the stream or profile before go first, so that what the editor says of the
    // new one stays.
    connect(background_, &MainBackgroundThread::telemetrySourceChanged, this,
            &MainWindow::clearContextMessage);
    connect(background_, &MainBackgroundThread::telemetryEnded, this, &MainWindow::clearContextMessage);
    connect(background_, &MainBackgroundThread::telemetryChanged, status, &StatusWidget::changeTelemetry);
    connect(background_, &MainBackgroundThread::telemetrySourceChanged, status,
            &StatusWidget::changeTelemetrySource);
    connect(background_, &MainBackgroundThread::telemetryEnded, status, &StatusWidget::endTelemetry);
    connect(background_, &MainBackgroundThread::telemetrySourceChanged, session_,
            &ProfileSession::selectProfileFor);
    // An aircraft that is no longer flying needs no profile of its own.
    connect(background_, &MainBackgroundThread::telemetryEnded, session_, &ProfileSession::endStream);
    connect(background_->panelFeed(), &PanelFeed::centresChanged, editor,
            &ThreeAxisEffectsWidget::showCentres);
    connect(background_, &MainBackgroundThread::joystickConnected, status, &StatusWidget::connectJoystick);
    connect(background_, &MainBackgroundThread::joystickDisconnected, status,
            &StatusWidget::disconnectJoystick);
    connect(background_, &MainBackgroundThread::rudderConnected, status, &StatusWidget::connectRudder);
    connect(background_, &MainBackgroundThread::rudderDisconnected, status, &StatusWidget::disconnectRudder);
    connect(background_, &MainBackgroundThread::positionChanged, status, &StatusWidget::changePosition);
    connect(background_, &MainBackgroundThread::joystickResponding, status,
            &StatusWidget::setJoystickResponding);
    connect(background_, &MainBackgroundThread::rudderResponding, status, &StatusWidget::setRudderResponding);
    // A device the loop has not connected is looked for, so that one the user may not open is named.
    auto* presence = new DevicePresenceWatch(this);
    connect(background_, &MainBackgroundThread::joystickConnected, presence,
            &DevicePresenceWatch::connectJoystick);
    connect(background_, &MainBackgroundThread::joystickDisconnected, presence,
            &DevicePresenceWatch::disconnectJoystick);
    connect(background_, &MainBackgroundThread::rudderConnected, presence,
            &DevicePresenceWatch::connectRudder);
    connect(background_, &MainBackgroundThread::rudderDisconnected, presence,
            &DevicePresenceWatch::disconnectRudder);
    connect(presence, &DevicePresenceWatch::presenceFound, status, &StatusWidget::showDevicePresence);
    connectDeviceMessages();
    // While the override is on, the window says so wherever the pilot looks.
    overrideIndicator_ = new QLabel(tr("Telemetry override on: the game's data is ignored"), this);
    overrideIndicator_->setObjectName(QStringLiteral("override_indicator"));
    overrideIndicator_->setStyleSheet(QStringLiteral("font-weight: bold"));
    statusBar()->addPermanentWidget(overrideIndicator_);
    overrideIndicator_->hide();
    connect(status, &StatusWidget::telemetryOverrideEnabled, overrideIndicator_, &QWidget::show);
    connect(status, &StatusWidget::telemetryOverrideDisabled, overrideIndicator_, &QWidget::hide);
    // Numbers nobody looks at are not drawn: the panels slow down while another program has the
    // focus and stop while the window is minimized.
    connect(this, &MainWindow::panelViewChanged, background_, &MainBackgroundThread::setPanelView);
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, &MainWindow::updatePanelView);
    status->installEventFilter(this);

    // The "Forces" tab beside "Effects", the recorder and the replay, and the File menu on them.
    RecordingController* recording = engine.recording();
    auto* forces = new ForcesViewWidget(this);
    forcesView_ = forces;
    ui_->tabWidget->insertTab(ui_->tabWidget->indexOf(ui_->tab) + 1, forces, tr("Forces"));
    forces->setLoop(background_);
    connect(forces, &ForcesViewWidget::recordToggled, recording, &RecordingController::setRecording);
    connect(forces, &ForcesViewWidget::replayPauseToggled, recording, &RecordingController::pauseReplay);
    connect(forces, &ForcesViewWidget::replayStopRequested, recording, &RecordingController::stopReplay);
    connect(forces, &ForcesViewWidget::replayLoopToggled, recording, &RecordingController::setReplayLooping);
    connect(forces, &ForcesViewWidget::replaySeekRequested, recording, &RecordingController::seekReplay);
    connect(recording, &RecordingController::recordingChanged, forces, &ForcesViewWidget::showRecording);
    TelemetryReplay* replay = engine.telemetry()->replay();
    connect(replay, &TelemetryReplay::replayStarted, forces, &ForcesViewWidget::showReplayStarted);
    connect(replay, &TelemetryReplay::replayPositionChanged, forces, &ForcesViewWidget::showReplayPosition);
    connect(replay, &TelemetryReplay::replayPaused, forces, &ForcesViewWidget::showReplayPaused);
    connect(replay, &TelemetryReplay::replayStopped, forces, &ForcesViewWidget::showReplayStopped);
    forces->setHome(ui_->tabWidget);
    connect(forces, &ForcesViewWidget::replayOpenRequested, this, &MainWindow::openRecording);
    connect(recording, &RecordingController::replayChanged, status, &StatusWidget::showReplay);
    connect(recording, &RecordingController::message, this,
            [this](const QString& m) { statusBar()->showMessage(m, 10000); });
    connect(recording, &RecordingController::problem, this, [this](const QString& m) {
        statusBar()->showMessage(m);
        auto* box = new QMessageBox(QMessageBox::Warning, tr("Grovik Trennal"), m, QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    });
    auto* fileMenu = new QMenu(tr("&File"), this);
    fileMenu->setObjectName(QStringLiteral("file_menu"));
    fileMenu->addAction(tr("Replay recording…"), this, &MainWindow::openRecording);
    QAction* record = fileMenu->addAction(tr("Record"));
    record->setCheckable(true);
    connect(record, &QAction::triggered, recording, &RecordingController::setRecording);
    connect(recording, &RecordingController::recordingChanged, record, [record](bool on) {
        const QSignalBlocker block(record);
        record->setChecked(on);
    });
    fileMenu->addSeparator();
    // A close like the window's own: unsaved and set-aside edits are asked about first.
    QAction* quit = fileMenu->addAction(tr("&Quit"), this, &QWidget::close);
    quit->setObjectName(QStringLiteral("quit_action"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setMenuRole(QAction::QuitRole);
    menuBar()->addMenu(fileMenu);

    // Edit menu: brings back profile edits that an automatic profile change set aside.
    QMenu* editMenu = menuBar()->addMenu(tr("&Edit"));
    editMenu->setObjectName(QStringLiteral("edit_menu"));
    restoreUnsavedAction_ = editMenu->addAction(tr("Restore unsaved changes"));
    restoreUnsavedAction_->setObjectName(QStringLiteral("restore_unsaved_action"));
    restoreUnsavedAction_->setEnabled(false);
    connect(restoreUnsavedAction_, &QAction::triggered, editor, &ThreeAxisEffectsWidget::restoreSetAside);
    connect(session_, &ProfileSession::setAsideChanged, restoreUnsavedAction_, &QAction::setEnabled);
    connect(session_, &ProfileSession::profileChanged, this, &MainWindow::clearContextMessage);
    connect(session_, &ProfileSession::statusMessage, this, &MainWindow::showContextMessage);

    // The editor scrolls as a whole when the window is smaller than its least size.
    auto* editorScroll = new QScrollArea(ui_->centralwidget);
    editorScroll->setObjectName(QStringLiteral("editor_scroll"));
    editorScroll->setWidgetResizable(true);
    editorScroll->setFrameShape(QFrame::NoFrame);
    editorScroll->setFocusPolicy(Qt::NoFocus);
    delete ui_->horizontalLayout_2->replaceWidget(ui_->tabWidget, editorScroll);
    editorScroll->setWidget(ui_->tabWidget);
    // Keys pressed right after start go to the editor's axis tabs; the first control of the
    // window, the master gain, would otherwise take them.
    if (auto* axisTabs = editor->findChild<QTabWidget*>(QStringLiteral("tabWidget"))) {
        axisTabs->setFocus();
    }

    // The status panel is taller than a small screen: it scrolls, at its full width. It sits in
    // a dock, so that on a narrow screen it can go below the editor or be closed.
    ui_->horizontalLayout_2->removeWidget(status);
    auto* statusDock = new StatusDock(status, this);
    addDockWidget(Qt::RightDockWidgetArea, statusDock);
    QAction* statusToggle = statusDock->toggleViewAction();
    forcesToolBar_->addSeparator();
    forcesToolBar_->addAction(statusToggle);

    // The size and position of the last run, else as much of the screen as the window wants.
    geometryRestored_ = restoreGeometry(windowSettings()->value(kGeometryKey).toByteArray());
    // Wide enough for the whole editor beside the panel: its scroll area alone asks for less.
    const int wantedWidth = sizeHint().width() + std::max(0, ui_->tabWidget->sizeHint().width() -
                                                                 editorScroll->sizeHint().width());
    if (!restoreState(windowSettings()->value(kStateKey).toByteArray())) {
        // A screen too narrow for the editor beside the status panel gets the panel below it.
        if (const QScreen* screen = QGuiApplication::primaryScreen();
            screen && screen->availableGeometry().width() < wantedWidth + 16) {
            addDockWidget(Qt::BottomDockWidgetArea, statusDock);
            resizeDocks({statusDock}, {screen->availableGeometry().height() / 4}, Qt::Vertical);
        }
    }
    if (!geometryRestored_) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            // Tall enough for the status panel without scrolling where the screen allows.
            const QRect area = screen->availableGeometry().marginsRemoved(WindowPlacement::FrameAllowance);
            const QSize wanted(wantedWidth, std::max(sizeHint().height(), 820));
            resize(wanted.boundedTo(area.size()).expandedTo(minimumSizeHint()));
        }
    }
    // Settings: whether other computers may drive the stick. The worker hears of every change
    // by a queued call; the stored choice is the user's, a one-run command-line choice is not.
    QMenu* settingsMenu = menuBar()->addMenu(tr("&Settings"));
    settingsMenu->setObjectName(QStringLiteral("settings_menu"));
    acceptRemoteAction_ = settingsMenu->addAction(tr("Accept telemetry from other computers"));
    acceptRemoteAction_->setObjectName(QStringLiteral("accept_remote_action"));
    acceptRemoteAction_->setCheckable(true);
    if (TelemetryThread* telemetry = engine_.telemetry()) {
        connect(acceptRemoteAction_, &QAction::toggled, telemetry,
                &TelemetryThread::setAcceptRemoteTelemetry);
        connect(telemetry, &TelemetryThread::remoteTelemetryRefused, this, [this](const QString& sender) {
            // A game on this computer that sends to its network address rather than to loopback.
            if (TelemetrySourceUdp::isOwnAddress(QHostAddress(sender))) {
                statusBar()->showMessage(
                    tr("Ignored telemetry from %1, this computer's network address. Set the game to send "
                       "to 127.0.0.1, or check Settings > Accept telemetry from other computers (or "
                       "start with --accept-remote-telemetry).")
                        .arg(sender));
                return;
            }
            statusBar()->showMessage(
                tr("Ignored telemetry from %1, another computer. To fly a game on another computer, check "
                   "Settings > Accept telemetry from other computers (or start with "
                   "--accept-remote-telemetry).")
                    .arg(sender));
        });
        connect(telemetry, &TelemetryThread::otherSourceIgnored, this,
                [this](Telemetry::Source other, Telemetry::Source current) {
                    showContextMessage(tr("%1 is sending telemetry too; it is ignored while %2 flies. It is "
                                          "heard once the %2 flight ends.")
                                           .arg(gameName(other), gameName(current)));
                });
        connect(telemetry, &TelemetryThread::warthunderWaiting, this, [this](const QString& address) {
            showContextMessage(tr("Waiting for War Thunder on %1").arg(address));
        });
    }
    connect(acceptRemoteAction_, &QAction::triggered, this,
            [](bool on) { windowSettings()->setValue(kAcceptRemoteKey, on); });
    acceptRemoteAction_->setChecked(windowSettings()->value(kAcceptRemoteKey, false).toBool());
    // X-Plane on another computer: asked for its address, kept, used from the next start.
    QAction* xplaneAction = settingsMenu->addAction(tr("X-Plane on another computer…"));
    xplaneAction->setObjectName(QStringLiteral("xplane_address_action"));
    connect(xplaneAction, &QAction::triggered, this, [this] {
        auto* dialog = new QInputDialog(this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setWindowTitle(tr("X-Plane on another computer"));
        dialog->setLabelText(tr("Address of the computer X-Plane runs on, as HOST:PORT (port 49000 unless "
                                "changed in X-Plane). Leave empty for this computer."));
        dialog->setTextValue(xplaneAddress());
        connect(dialog, &QInputDialog::textValueSelected, this, [this](const QString& text) {
            QString host;
            quint16 port = 0;
            if (!text.trimmed().isEmpty() && !TelemetrySourceXPlane::parseEndpoint(text, &host, &port)) {
                statusBar()->showMessage(tr("Not an address as HOST:PORT: %1").arg(text));
                return;
            }
            windowSettings()->setValue(kXPlaneAddressKey, text.trimmed());
            statusBar()->showMessage(
                text.trimmed().isEmpty()
                    ? tr("X-Plane will be asked on this computer from the next start.")
                    : tr("X-Plane will be asked at %1 from the next start; check Settings > Accept telemetry "
                         "from other computers too.")
                          .arg(text.trimmed()));
        });
        dialog->open();
    });
    // MSFS flies by the stick's axes only when the pilot asks: it needs the stick unbound there.
    sendAxesAction_ = settingsMenu->addAction(tr("Send the stick's axes to MSFS"));
    sendAxesAction_->setObjectName(QStringLiteral("send_axes_action"));
    sendAxesAction_->setCheckable(true);
    sendAxesAction_->setToolTip(
        tr("MSFS gets the stick's position minus the trim as its aileron, elevator and rudder axes, so the "
           "trim is not applied twice. Unbind the stick's axes in MSFS while this is on."));
    connect(sendAxesAction_, &QAction::toggled, background_, &MainBackgroundThread::setSendMsfsAxes);
    connect(sendAxesAction_, &QAction::triggered, this,
            [](bool on) { windowSettings()->setValue(kSendAxesKey, on); });
    sendAxesAction_->setChecked(windowSettings()->value(kSendAxesKey, false).toBool());
    buildForcesOffKey(settingsMenu);

    // Help: the set-up guide and the About box, each opened without blocking the window.
    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("help_menu"));
    const auto openDialog = [](QDialog* dialog) {
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->open();
    };
    help->addAction(tr("&Setting up the games"), this,
                    [this, openDialog] { openDialog(new GameSetupDialog(this)); });
    help->addAction(tr("Show &log"), this, [this, openDialog] {
        LogFile::flush();
        openDialog(new LogDialog({LogFile::previousPath(LogFile::path()), LogFile::path()}, this));
    });
    help->addSeparator();
    QAction* about =
        help->addAction(tr("&About"), this, [this, openDialog] { openDialog(new AboutDialog(this)); });
    about->setMenuRole(QAction::AboutRole);
}

MainWindow::~MainWindow() = default;

MainBackgroundThread* MainWindow::background() const {
    return engine_.control();
}

void MainWindow::showContextMessage(const QString& text) {
    contextMessage_ = text;
    statusBar()->showMessage(text);
}

void MainWindow::clearContextMessage() {
    // Only the note itself goes: a message shown since (a device lost, say) stays.
    if (!contextMessage_.isEmpty() && statusBar()->currentMessage() == contextMessage_) {
        statusBar()->clearMessage();
    }
    contextMessage_.clear();
}

void MainWindow::connectDeviceMessages() {
    struct Device {
        void (MainBackgroundThread::*connected)(uint32_t);
        void (MainBackgroundThread::*disconnected)();
        void (MainBackgroundThread::*responding)(bool);
        QString name;
    };
    const Device devices[] = {
        {&MainBackgroundThread::joystickConnected, &MainBackgroundThread::joystickDisconnected,
         &MainBackgroundThread::joystickResponding, tr("joystick base")},
        {&MainBackgroundThread::rudderConnected, &MainBackgroundThread::rudderDisconnected,
         &MainBackgroundThread::rudderResponding, tr("rudder unit")}};
    for (const Device& device : devices) {
        // Shown until something else is said: the pilot may only look after the flight.
        auto lost = std::make_shared<bool>(false);
        connect(background_, device.disconnected, this, [this, lost, name = device.name] {
            *lost = true;
            statusBar()->showMessage(
                tr("The %1 was lost (unplugged, or it stopped answering); it is looked for every second.")
                    .arg(name));
        });
        connect(background_, device.connected, this, [this, lost, name = device.name](uint32_t) {
            if (*lost) {
                *lost = false;
                statusBar()->showMessage(tr("The %1 is back; its forces ramp in.").arg(name), 10000);
            }
        });
        connect(background_, device.responding, this, [this, name = device.name](bool responding) {
            if (responding) {
                statusBar()->showMessage(tr("The %1 takes reports again.").arg(name), 10000);
            } else {
                statusBar()->showMessage(
                    tr("The %1 is not responding: it has taken no report for more than 100 ms.").arg(name));
            }
        });
    }
}

void MainWindow::buildForcesToolBar() {
    // Above everything, on every tab: the pilot's hand on the forces.
    forcesToolBar_ = new ForcesToolBar(this);
    addToolBar(Qt::TopToolBarArea, forcesToolBar_);
    connect(forcesToolBar_, &ForcesToolBar::forcesOffToggled, this, [this](bool held) {
        statusBar()->showMessage(held ? tr("Forces off: both devices hold no force") : tr("Forces back on"),
                                 held ? 0 : 5000);
        buttonHeld_ = held;
        applyHold(false);
        emit forcesHeldChanged(held);
    });
    bool ok = false;
    const double remembered = windowSettings()->value(kMasterGainKey, 100).toDouble(&ok);
    forcesToolBar_->showMasterGain(ok && std::isfinite(remembered)
                                       ? static_cast<int>(std::lround(std::clamp(remembered, 0.0, 100.0)))
                                       : 100);
    // Before the engine starts, directly: the loop starts with the remembered gain.
    QMetaObject::invokeMethod(background_, [control = background_, percent = forcesToolBar_->masterGain()] {
        control->setMasterGain(percent);
    });
    connect(forcesToolBar_, &ForcesToolBar::masterGainChanged, this, [this](int percent) {
        windowSettings()->setValue(kMasterGainKey, percent);
        emit masterGainChanged(percent);
    });
    connect(this, &MainWindow::masterGainChanged, background_, &MainBackgroundThread::setMasterGain);
}

void MainWindow::buildForcesOffKey(QMenu* settingsMenu) {
    forcesOffKey_ =
        new GlobalShortcut(ShortcutKeys::fromText(windowSettings()->value(kForcesOffKey).toString()), this);
    forcesOffKey_->setObjectName(QStringLiteral("forces_off_key"));
    connect(forcesOffKey_, &GlobalShortcut::pressed, forcesToolBar_->forcesOffAction(), &QAction::toggle);
    auto* reach = new QLabel(this);
    reach->setObjectName(QStringLiteral("forces_off_key_status"));
    // It may be cut short on a small screen rather than widen the window; the tooltip has it all.
    reach->setMinimumWidth(reach->fontMetrics().averageCharWidth() * 24);
    statusBar()->addPermanentWidget(reach);
    const auto showReach = [this, reach] {
        reach->setText(forcesOffKey_->summary());
        reach->setToolTip(forcesOffKey_->summary());
        forcesToolBar_->showForcesOffKey(QKeySequence(forcesOffKey_->key()));
    };
    connect(forcesOffKey_, &GlobalShortcut::reachChanged, reach, showReach);
    showReach();
    QAction* choose = settingsMenu->addAction(tr("Forces off key…"));
    choose->setObjectName(QStringLiteral("forces_off_key_action"));
    connect(choose, &QAction::triggered, this, [this] {
        auto* dialog = new ForcesOffKeyDialog(forcesOffKey_, this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(dialog, &QDialog::accepted, this, [this, dialog] {
            windowSettings()->setValue(kForcesOffKey, ShortcutKeys::toText(dialog->key()));
            forcesOffKey_->setKey(dialog->key());
        });
        dialog->open();
    });
}

void MainWindow::showForces() {
    if (auto* forces = findChild<ForcesViewWidget*>(); forces && !forces->isDetached()) {
        ui_->tabWidget->setCurrentWidget(forces);
    }
}

void MainWindow::holdForces(bool held) {
    stopHeld_ = held;
    applyHold(held);
}

// The "Forces off" button and a stop from the terminal each hold the forces; they come back
// only when neither does, so "fg" after Ctrl+Z leaves a pressed button pressed.
void MainWindow::applyHold(bool waitForZero) {
    engine_.setForcesHeld(buttonHeld_ || stopHeld_, waitForZero);
}

void MainWindow::openRecording() {
    const QString path =
        QFileDialog::getOpenFileName(this, tr("Replay recording"), FlightRecorder::defaultDirectory(),
                                     tr("Recordings (*.csv);;All files (*)"));
    if (!path.isEmpty()) {
        if (RecordingController* recording = engine_.recording()) {
            recording->startReplay(path);
        }
    }
}

void MainWindow::centre() {
    WindowPlacement::centre(this, geometryRestored_);
}

void MainWindow::acceptRemoteTelemetryForThisRun() {
    acceptRemoteAction_->setChecked(true);
}

QString MainWindow::xplaneAddress() {
    return windowSettings()->value(kXPlaneAddressKey).toString().trimmed();
}

std::unique_ptr<QSettings> MainWindow::windowSettings() {
    return std::make_unique<QSettings>(QStringLiteral("Grovik Trennal"), QStringLiteral("Grovik Trennal"));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    ThreeAxisEffectsWidget* editor = ui_->effect_settings_widget;
    if (!editor->settleUnsavedChanges() || !editor->settleSetAside()) {
        event->ignore();
        return;
    }
    saveWindowState();
    QMainWindow::closeEvent(event);
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Tabs are restored at the first show, once every tab of every panel exists.
    if (!tabsRestored_) {
        tabsRestored_ = true;
        restoreTabs();
    }
    updatePanelView();
}

void MainWindow::hideEvent(QHideEvent* event) {
    QMainWindow::hideEvent(event);
    updatePanelView();
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange || event->type() == QEvent::ActivationChange) {
        updatePanelView();
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_->status_widget && (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
        updatePanelView();
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::updatePanelView() {
    // The application, not this window: one of its own dialogs or the force view's own window
    // in front counts as the program in front.
    const bool inFront = QGuiApplication::applicationState() == Qt::ApplicationActive;
    if (forcesView_) {
        forcesView_->setProgramInFront(inFront);
    }
    using View = MainBackgroundThread::PanelView;
    View view = View::InFront;
    if (!isVisible() || isMinimized() || !ui_->status_widget->isVisible()) {
        view = View::Hidden;
    } else if (!inFront) {
        view = View::Behind;
    }
    if (view != panelView_) {
        panelView_ = view;
        emit panelViewChanged(view);
    }
}

void MainWindow::saveWindowState() {
    const std::unique_ptr<QSettings> settings = windowSettings();
    settings->setValue(kGeometryKey, saveGeometry());
    settings->setValue(kStateKey, saveState());
    settings->beginGroup(kTabsGroup);
    WindowPlacement::saveTabs(*settings, this);
    settings->endGroup();
}

void MainWindow::restoreTabs() {
    const std::unique_ptr<QSettings> settings = windowSettings();
    settings->beginGroup(kTabsGroup);
    WindowPlacement::restoreTabs(*settings, this);
    settings->endGroup();
}
