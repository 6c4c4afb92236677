#pragma once

#include <QIcon>
#include <QMainWindow>

#include <memory>

namespace Ui {
class MainWindow;
}
class MainBackgroundThread;
class QThread;
class QTimer;

// The program's one window: the profile editor and the status panel, wired both ways to the
// control object. Its constructor assembles the whole program: it creates the control object
// (which creates the telemetry worker), builds the form, connects the panels to the loop and
// moves the control object to a thread of its own, whose loop starts with the event loop.
//
// Threading: GUI thread. The control object and its thread are created without parent; the
// destructor stops and joins the control thread, which destroys the control object.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    // Leaves the devices with a last zero report, then destroys the form and the icon. A loop
    // whose start is still pending never starts.
    ~MainWindow() override;

    MainBackgroundThread* background() const { return background_; }
    // Moves the window so that it is centred on the primary screen.
    void centre();

private:
    std::unique_ptr<Ui::MainWindow> ui_;
    QIcon icon_;
    MainBackgroundThread* background_;
    QThread* controlThread_ = nullptr;
    QTimer* startTimer_ = nullptr; // parentless, GUI thread; queues the loop's start once the event loop runs
};
