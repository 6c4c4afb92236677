#include "app/mainwindow.h"

#include "app/mainbackgroundthread.h"
#include "app/recordingcontroller.h"
#include "telemetry/flightrecorder.h"
#include "ui/forcesviewwidget.h"
#include "ui/statuswidget.h"
#include "ui/threeaxiseffectswidget.h"
#include "ui_mainwindow.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QThread>
#include <QTimer>

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent), ui_(std::make_unique<Ui::MainWindow>()),
      icon_(QStringLiteral("grovik_logo_icon_inverted.png")), background_(new MainBackgroundThread()) {
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
    connect(background_, &MainBackgroundThread::joystickConnected, status, &StatusWidget::connectJoystick);
    connect(background_, &MainBackgroundThread::joystickDisconnected, status,
            &StatusWidget::disconnectJoystick);
    connect(background_, &MainBackgroundThread::rudderConnected, status, &StatusWidget::connectRudder);
    connect(background_, &MainBackgroundThread::rudderDisconnected, status, &StatusWidget::disconnectRudder);
    connect(background_, &MainBackgroundThread::positionChanged, status, &StatusWidget::changePosition);

    // The "Forces" tab beside "Effects", the recorder and the replay, and the File menu on them.
    recording_ = new RecordingController(background_, this);
    auto* forces = new ForcesViewWidget(this);
    ui_->tabWidget->insertTab(ui_->tabWidget->indexOf(ui_->tab) + 1, forces, tr("Forces"));
    recording_->attach(forces);
    forces->setHome(ui_->tabWidget);
    connect(forces, &ForcesViewWidget::replayOpenRequested, this, &MainWindow::openRecording);
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
    menuBar()->insertMenu(menuBar()->actions().value(0), fileMenu);

    // The loop timer can only be started from its own thread: this zero-delay timer of the
    // GUI thread queues start() to the control thread once the event loop runs.
    startTimer_ = new QTimer();
    connect(startTimer_, &QTimer::timeout, background_, &MainBackgroundThread::start);
    startTimer_->setSingleShot(true);
    startTimer_->start(0);

    auto* controlThread = new QThread();
    controlThread->start(QThread::InheritPriority);
    background_->moveToThread(controlThread);
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
}

void MainWindow::showForces() {
    if (auto* forces = findChild<ForcesViewWidget*>(); forces && !forces->isDetached()) {
        ui_->tabWidget->setCurrentWidget(forces);
    }
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
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        return;
    }
    const QRect s = screen->geometry();
    setGeometry((s.width() - width()) / 2, (s.height() - height()) / 2, width(), height());
}
