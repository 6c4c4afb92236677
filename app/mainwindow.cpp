#include "app/mainwindow.h"

#include "app/mainbackgroundthread.h"
#include "ui/statuswidget.h"
#include "ui/threeaxiseffectswidget.h"
#include "ui_mainwindow.h"

#include <QGuiApplication>
#include <QScreen>
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

    // The loop timer can only be started from its own thread: this zero-delay timer of the
    // GUI thread queues start() to the control thread once the event loop runs.
    startTimer_ = new QTimer();
    connect(startTimer_, &QTimer::timeout, background_, &MainBackgroundThread::start);
    startTimer_->setSingleShot(true);
    startTimer_->start(0);

    controlThread_ = new QThread();
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
    // The shut-down joined the telemetry and opener threads; the control thread ends here and
    // destroys the control object on its way out, all before the application object goes.
    controlThread_->quit();
    controlThread_->wait();
    delete controlThread_;
}

void MainWindow::centre() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        return;
    }
    const QRect s = screen->geometry();
    setGeometry((s.width() - width()) / 2, (s.height() - height()) / 2, width(), height());
}
