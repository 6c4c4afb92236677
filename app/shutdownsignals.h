#pragma once

#include <QObject>

class QSocketNotifier;

// Turns the ways a session ends a program from outside (SIGINT from Ctrl+C in a terminal,
// SIGTERM from a log-out, `kill` or a service manager, SIGHUP from a closed terminal, SIGQUIT
// from Ctrl+\; on Windows the console's Ctrl+C, Ctrl+Break, close, log-off and shut-down
// events) into the signal received(), so that the program leaves through the same orderly
// shut-down as when its window is closed. Ctrl+Z (SIGTSTP) becomes stopRequested(): the
// receiver lets go of the devices, then calls stopHere(). SIGPIPE and SIGXFSZ no longer end
// the program: the write that raised them fails, and its caller handles that.
//
// Threading: one instance, created in main() on the GUI thread, which is where received() is
// emitted. The handlers themselves only write one byte to a pipe (Unix) or post an event
// (Windows). Create it before the window so that it is destroyed after it: on Windows the
// console handler waits for that destruction before it lets the system end the process.
class ShutdownSignals : public QObject {
    Q_OBJECT

public:
    explicit ShutdownSignals(QObject* parent = nullptr);
    // Restores the default handling; on Windows, releases a waiting console handler.
    ~ShutdownSignals() override;

    // Stops this process until SIGCONT, as Ctrl+Z would have; returns once it is continued.
    static void stopHere();

signals:
    // The number of the Unix signal, or of the Windows console event.
    void received(int signal);
    // Ctrl+Z in a terminal: the program is about to stop.
    void stopRequested();

private:
    void readPipe();

    QSocketNotifier* notifier_ = nullptr;
};
