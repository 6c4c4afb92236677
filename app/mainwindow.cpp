#include "app/mainwindow.h"

#include "app/mainbackgroundthread.h"
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

    // The loop timer can only be started from its own thread: this zero-delay timer of the
    // GUI thread queues start() to the control thread once the event loop runs.
    auto* startTimer = new QTimer();
    connect(startTimer, &QTimer::timeout, background_, &MainBackgroundThread::start);
    startTimer->setSingleShot(true);
    startTimer->start(0);

    auto* controlThread = new QThread();
    controlThread->start(QThread::InheritPriority);
    background_->moveToThread(controlThread);
}

MainWindow::~MainWindow() {
    if (background_->thread() == QThread::currentThread()) {
        background_->shutDown();
    } else {
        QMetaObject::invokeMethod(background_, &MainBackgroundThread::shutDown, Qt::BlockingQueuedConnection);
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
