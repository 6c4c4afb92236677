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
class Engine;

// The program's one window: the profile editor and the status panel, wired both ways to the
// control object. main() assembles the program: it creates the engine (the control object, its
// thread and the telemetry worker), hands it to this window, starts it and shuts it down after
// the event loop. The window only builds the form and connects the panels to the engine.
// A toolbar above both holds "Forces off" and "Master gain (%)"; the status panel is a dock
// that can sit beside or below the editor, or be hidden.
//
// Threading: GUI thread. The engine outlives the window; the window never stops the loop and
// never zeroes a device.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Shows `engine`, which must outlive the window; connect it before the engine starts, so that
    // the loop starts with the remembered master gain.
    explicit MainWindow(Engine& engine, QWidget* parent = nullptr);
    ~MainWindow() override;

    Engine& engine() const { return engine_; }
    // The engine's control object; null once the engine is shut down.
    MainBackgroundThread* background() const;
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
    // passes by main()'s shut-down (exit() from the toolkit). Call from the GUI thread.
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
    Engine& engine_;
    MainBackgroundThread* background_; // the engine's, for connections made while it lives
    // The engine's profile session: the editor shows it, the engine hands its changes to the loop.
    ProfileSession* session_;
    ForcesViewWidget* forcesView_ = nullptr;
    QAction* restoreUnsavedAction_ = nullptr;
    QAction* acceptRemoteAction_ = nullptr;
    QAction* sendAxesAction_ = nullptr;
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
