#pragma once

#include <QIcon>
#include <QMainWindow>

#include <memory>

namespace Ui {
class MainWindow;
}
class MainBackgroundThread;
class RecordingController;
class QThread;
class QTimer;

// The program's one window: the profile editor and the status panel, wired both ways to the
// control object. Its constructor assembles the whole program: it creates the control object
// (which creates the telemetry worker), builds the form, connects the panels to the loop and
// moves the control object to a thread of its own, whose loop starts with the event loop.
//
// Threading: GUI thread. The control object and its thread are created without parent and are
// never deleted; they end with the process.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    // Leaves the devices with a last zero report, then destroys the form and the icon. A loop
    // whose start is still pending never starts.
    ~MainWindow() override;

    MainBackgroundThread* background() const { return background_; }
    // The flight recorder and the replay, with the "Forces" tab and the File menu on them.
    RecordingController* recording() const { return recording_; }
    // Moves the window so that it is centred on the primary screen.
    void centre();

public slots:
    // Asks for a recording and replays it.
    void openRecording();
    // Brings the "Forces" tab to the front.
    void showForces();

private:
    std::unique_ptr<Ui::MainWindow> ui_;
    QIcon icon_;
    MainBackgroundThread* background_;
    RecordingController* recording_ = nullptr;
    QTimer* startTimer_ = nullptr; // parentless, GUI thread; queues the loop's start once the event loop runs
};
