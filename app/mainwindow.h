#pragma once

#include "engine/mainbackgroundthread.h"

#include <QIcon>
#include <QMainWindow>

#include <memory>

namespace Ui {
class MainWindow;
}
class QAction;
class ProfileSession;
class ForcesToolBar;
class GlobalShortcut;
class QMenu;
class QCloseEvent;
class QLabel;
class QSettings;
class QHideEvent;
class QShowEvent;
class ForcesViewWidget;
class RecordingController;
class ControlThread;
class QTimer;

// The program's one window: the profile editor and the status panel, wired both ways to the
// control object. Its constructor assembles the whole program: it creates the control object
// (which creates the telemetry worker), builds the form, connects the panels to the loop and
// moves the control object to a thread of its own, whose loop starts with the event loop.
// A toolbar above both holds "Forces off" and "Master gain (%)"; the status panel is a dock
// that can sit beside or below the editor, or be hidden.
//
// Threading: GUI thread. The control object and its thread are created without parent; the
// destructor stops and joins the control thread, which destroys the control object.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    // Leaves the devices with a last zero report (see shutDown()), then destroys the form and
    // the icon. A loop whose start is still pending never starts.
    ~MainWindow() override;
    // Stops the control loop for good, leaves each device with its DirectX gains and forces at
    // zero, and joins the control thread. True when every connected device took its zero
    // reports; once done, later calls only repeat the answer.
    bool shutDown();

    MainBackgroundThread* background() const { return background_; }
    // The flight recorder and the replay, with the "Forces" tab and the File menu on them.
    RecordingController* recording() const { return recording_; }
    // Fits the window into its screen's available area, title bar included, and centres it
    // there; a size and position remembered from the last run are kept where they fit.
    void centre();
    // Where the window's size, position and selected tabs are remembered between runs.
    static std::unique_ptr<QSettings> windowSettings();
    // "HOST:PORT" of X-Plane on another computer as the user set it; empty for this computer.
    static QString xplaneAddress();
    // Telemetry from other computers counts until the program ends, without changing the
    // remembered setting ("--accept-remote-telemetry").
    void acceptRemoteTelemetryForThisRun();

protected:
    // Closing with unsaved profile edits, or edits an automatic profile change set aside, asks
    // first; a close that goes ahead remembers the window's size, position and tabs.
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    // The status panel shown or hidden (its dock closed) changes what the panels are fed.
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    // What the user can see of the status panel changed: in front, behind another program, or
    // minimized, hidden or its dock closed. The control loop feeds the panels accordingly.
    void panelViewChanged(MainBackgroundThread::PanelView view);
    // The pilot's "Master gain (%)" and "Forces off", on their way to the control loop.
    void masterGainChanged(double percent);
    void forcesHeldChanged(bool held);

public slots:
    // Asks for a recording and replays it.
    void openRecording();
    // Brings the "Forces" tab to the front.
    void showForces();
    // Held, both devices have had an all-zero report when this returns and get nothing else;
    // released, the forces ramp in from zero. For a stop from the terminal and for an end that
    // passes by this window's destructor. Call from the GUI thread.
    void holdForces(bool held);

private:
    // A note about the stream or the profile: it goes when either changes, so the status bar
    // never says something about an aircraft or a profile that the window no longer shows.
    void showContextMessage(const QString& text);
    void clearContextMessage();
    // Device trouble and recovery in the status bar, naming the device.
    void connectDeviceMessages();
    void saveWindowState();
    void applyHold(bool waitForZero);
    void updatePanelView();
    void restoreTabs();
    // The toolbar of "Forces off", "Master gain (%)" and the status panel's switch.
    void buildForcesToolBar();
    // The "Forces off" key from every window and, where the desktop allows, from the simulator;
    // its line in the status bar and its choice in the Settings menu.
    void buildForcesOffKey(QMenu* settingsMenu);

    std::unique_ptr<Ui::MainWindow> ui_;
    QIcon icon_;
    MainBackgroundThread* background_;
    // The profile being edited; the editor shows it and the loop gets its changes.
    ProfileSession* session_;
    RecordingController* recording_ = nullptr;
    ForcesViewWidget* forcesView_ = nullptr;
    ControlThread* controlThread_ = nullptr;
    QTimer* startTimer_ = nullptr; // parentless, GUI thread; queues the loop's start once the event loop runs
    QAction* restoreUnsavedAction_ = nullptr;
    QAction* acceptRemoteAction_ = nullptr;
    QAction* sendAxesAction_ = nullptr;
    bool devicesAtZero_ = false;
    bool buttonHeld_ = false;
    bool stopHeld_ = false;
    ForcesToolBar* forcesToolBar_ = nullptr;
    GlobalShortcut* forcesOffKey_ = nullptr;
    bool geometryRestored_ = false;
    bool tabsRestored_ = false;
    MainBackgroundThread::PanelView panelView_ = MainBackgroundThread::PanelView::InFront;
    QString contextMessage_;
    QLabel* overrideIndicator_ = nullptr; // permanent in the status bar while the override is on
};
