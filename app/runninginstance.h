#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// The running program's answer to a second copy started by the user: the copy that finds the
// instance lock taken asks the running one, over a local socket beside the lock file, to bring
// its window to the front, and ends. Only the user can reach the socket (the lock's directory
// is the user's own).
//
// Threading: GUI thread; listen() and the server's answers run there, ask() blocks the calling
// copy for at most its time-out.
class RunningInstance : public QObject {
    Q_OBJECT

public:
    explicit RunningInstance(QObject* parent = nullptr);

    // "grovik-trennal.socket" beside the lock file.
    static QString socketPath();
    // Takes the socket over (one left by a crashed instance is removed: the caller holds the
    // lock). False when it cannot listen; the program runs on, only unreachable.
    bool listen(const QString& path = socketPath());
    // Asks the instance listening at `path` to show its window; true once it said it did.
    static bool ask(const QString& path = socketPath(), int timeoutMs = 2000);

signals:
    // A second copy asked for the window.
    void showRequested();

private:
    QLocalServer* server_;
};
