#include "app/mainwindow.h"

#include "app/controlthread.h"
#include "app/logfile.h"
#include "app/mainbackgroundthread.h"
#include "app/recordingcontroller.h"
#include "telemetry/flightrecorder.h"
#include "telemetry/telemetrythread.h"
#include "ui/aboutdialog.h"
#include "ui/forcestoolbar.h"
#include "ui/forcesviewwidget.h"
#include "ui/gamesetupdialog.h"
#include "ui/logdialog.h"
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
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

const QString kGeometryKey = QStringLiteral("window/geometry");
const QString kAcceptRemoteKey = QStringLiteral("telemetry/acceptRemote");
const QString kStateKey = QStringLiteral("window/state");
const QString kMasterGainKey = QStringLiteral("forces/master_gain");
const QString kTabsGroup = QStringLiteral("tabs");

} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent), ui_(std::make_unique<Ui::MainWindow>()),
      icon_(QStringLiteral("grovik_logo_icon_inverted.png")), background_(new MainBackgroundThread()) {
    // Made first, so that Tab reaches the forces' controls before the editor's.
    buildForcesToolBar();
    ui_->setupUi(this);
    setWindowIcon(icon_);
    setWindowTitle(QStringLiteral("Grovik Trennal"));

    // Every connection between the panels and the control loop, both ways. The source change
    // reaches the status panel before the profile editor, which may then load a profile.
    StatusWidget* status = ui_->status_widget;
    ThreeAxisEffectsWidget* editor = ui_->effect_settings_widget;
    connect(status, &StatusWidget::telemetryOverrideDisabled, background_,
            &MainBackgroundThread::disableTelemetryOverride);
    connect(status, &StatusWidget::telemetryOverrideEnabled, background_,
            &MainBackgroundThread::enableTelemetryOverride);
    connect(status, &StatusWidget::telemetryOverrided, background_, &MainBackgroundThread::overrideTelemetry);
    connect(status, &StatusWidget::landed, background_, &MainBackgroundThread::setLanded);
    connect(editor, &ThreeAxisEffectsWidget::suddenValueChange, background_,
            &MainBackgroundThread::changeSettingsSuddenly);
    connect(editor, &ThreeAxisEffectsWidget::moderateValueChange, background_,
            &MainBackgroundThread::changeSettingsModerately);
    connect(background_, &MainBackgroundThread::telemetryChanged, status, &StatusWidget::changeTelemetry);
    connect(background_, &MainBackgroundThread::telemetrySourceChanged, status,
            &StatusWidget::changeTelemetrySource);
    connect(background_, &MainBackgroundThread::telemetryEnded, status, &StatusWidget::endTelemetry);
    connect(background_, &MainBackgroundThread::telemetrySourceChanged, editor,
            &ThreeAxisEffectsWidget::selectProfileFor);
    // An aircraft that is no longer flying needs no profile of its own.
    connect(background_, &MainBackgroundThread::telemetryEnded, editor, &ThreeAxisEffectsWidget::endStream);
    connect(background_, &MainBackgroundThread::joystickConnected, status, &StatusWidget::connectJoystick);
    connect(background_, &MainBackgroundThread::joystickDisconnected, status,
            &StatusWidget::disconnectJoystick);
    connect(background_, &MainBackgroundThread::rudderConnected, status, &StatusWidget::connectRudder);
    connect(background_, &MainBackgroundThread::rudderDisconnected, status, &StatusWidget::disconnectRudder);
    connect(background_, &MainBackgroundThread::positionChanged, status, &StatusWidget::changePosition);
    // Numbers nobody looks at are not drawn: the panels slow down while another program has the
    // focus and stop while the window is minimized.
    connect(this, &MainWindow::panelViewChanged, background_, &MainBackgroundThread::setPanelView);
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, &MainWindow::updatePanelView);

    // The "Forces" tab beside "Effects", the recorder and the replay, and the File menu on them.
    recording_ = new RecordingController(background_, this);
    auto* forces = new ForcesViewWidget(this);
    ui_->tabWidget->insertTab(ui_->tabWidget->indexOf(ui_->tab) + 1, forces, tr("Forces"));
    recording_->attach(forces);
    forces->setHome(ui_->tabWidget);
    connect(forces, &ForcesViewWidget::replayOpenRequested, this, &MainWindow::openRecording);
    connect(recording_, &RecordingController::replayChanged, status, &StatusWidget::showReplay);
    connect(recording_, &RecordingController::message, this,
            [this](const QString& m) { statusBar()->showMessage(m, 10000); });
    connect(recording_, &RecordingController::problem, this, [this](const QString& m) {
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
    connect(record, &QAction::triggered, recording_, &RecordingController::setRecording);
    connect(recording_, &RecordingController::recordingChanged, record, [record](bool on) {
        const QSignalBlocker block(record);
        record->setChecked(on);
    });
    menuBar()->addMenu(fileMenu);

    // Edit menu: brings back profile edits that an automatic profile change set aside.
    QMenu* editMenu = menuBar()->addMenu(tr("&Edit"));
    editMenu->setObjectName(QStringLiteral("edit_menu"));
    restoreUnsavedAction_ = editMenu->addAction(tr("Restore unsaved changes"));
    restoreUnsavedAction_->setObjectName(QStringLiteral("restore_unsaved_action"));
    restoreUnsavedAction_->setEnabled(false);
    connect(restoreUnsavedAction_, &QAction::triggered, editor, &ThreeAxisEffectsWidget::restoreSetAside);
    connect(editor, &ThreeAxisEffectsWidget::setAsideChanged, restoreUnsavedAction_, &QAction::setEnabled);
    connect(editor, &ThreeAxisEffectsWidget::statusMessage, this,
            [this](const QString& text) { statusBar()->showMessage(text); });

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
    if (TelemetryThread* telemetry = background_->telemetry()) {
        connect(acceptRemoteAction_, &QAction::toggled, telemetry,
                &TelemetryThread::setAcceptRemoteTelemetry);
        connect(telemetry, &TelemetryThread::remoteTelemetryRefused, this, [this](const QString& sender) {
            statusBar()->showMessage(
                tr("Ignored telemetry from %1, another computer. To fly a game on another computer, check "
                   "Settings > Accept telemetry from other computers (or start with "
                   "--accept-remote-telemetry).")
                    .arg(sender));
        });
    }
    connect(acceptRemoteAction_, &QAction::triggered, this,
            [](bool on) { windowSettings()->setValue(kAcceptRemoteKey, on); });
    acceptRemoteAction_->setChecked(windowSettings()->value(kAcceptRemoteKey, false).toBool());

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

    // The loop timer can only be started from its own thread: this zero-delay timer of the
    // GUI thread queues start() to the control thread once the event loop runs.
    startTimer_ = new QTimer();
    connect(startTimer_, &QTimer::timeout, background_, &MainBackgroundThread::start);
    startTimer_->setSingleShot(true);
    startTimer_->start(0);

    controlThread_ = new ControlThread();
    controlThread_->setObjectName(QStringLiteral("control"));
    connect(controlThread_, &QThread::finished, background_, &QObject::deleteLater);
    // Time-critical: the 5 ms period must hold while the machine is busy with a simulator.
    controlThread_->start(QThread::TimeCriticalPriority);
    background_->moveToThread(controlThread_);
}

MainWindow::~MainWindow() {
    // A window gone before its first event-loop pass must not leave a loop that starts later
    // and drives the devices on its own; a start already queued runs before the shut-down.
    delete startTimer_;
    if (background_->thread() == QThread::currentThread()) {
        background_->shutDown();
    } else {
        QMetaObject::invokeMethod(background_, &MainBackgroundThread::shutDown, Qt::BlockingQueuedConnection);
    }
    // The shut-down joined the telemetry and device threads; the control thread ends here and
    // destroys the control object on its way out, all before the application object goes.
    controlThread_->stop();
    controlThread_->wait();
    delete controlThread_;
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
    // Still on this thread: the loop starts with the remembered gain.
    background_->setMasterGain(forcesToolBar_->masterGain());
    connect(forcesToolBar_, &ForcesToolBar::masterGainChanged, this, [this](int percent) {
        windowSettings()->setValue(kMasterGainKey, percent);
        emit masterGainChanged(percent);
    });
    connect(this, &MainWindow::masterGainChanged, background_, &MainBackgroundThread::setMasterGain);
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
    MainBackgroundThread* control = background_;
    const bool held = buttonHeld_ || stopHeld_;
    QMetaObject::invokeMethod(
        control, [control, held] { control->setForcesHeld(held); },
        held && waitForZero ? Qt::BlockingQueuedConnection : Qt::QueuedConnection);
}

void MainWindow::openRecording() {
    const QString path =
        QFileDialog::getOpenFileName(this, tr("Replay recording"), FlightRecorder::defaultDirectory(),
                                     tr("Recordings (*.csv);;All files (*)"));
    if (!path.isEmpty()) {
        recording_->startReplay(path);
    }
}

void MainWindow::centre() {
    WindowPlacement::centre(this, geometryRestored_);
}

void MainWindow::acceptRemoteTelemetryForThisRun() {
    acceptRemoteAction_->setChecked(true);
}

std::unique_ptr<QSettings> MainWindow::windowSettings() {
    return std::make_unique<QSettings>(QStringLiteral("Grovik Trennal"), QStringLiteral("Grovik Trennal"));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!ui_->effect_settings_widget->settleUnsavedChanges()) {
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

void MainWindow::updatePanelView() {
    // The application, not this window: one of its own dialogs or the force view's own window
    // in front counts as the program in front.
    using View = MainBackgroundThread::PanelView;
    View view = View::InFront;
    if (!isVisible() || isMinimized()) {
        view = View::Hidden;
    } else if (QGuiApplication::applicationState() != Qt::ApplicationActive) {
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
