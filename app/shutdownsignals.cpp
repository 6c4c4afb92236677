#include "app/shutdownsignals.h"

#include <QSocketNotifier>

#ifdef _WIN32
#include <windows.h>

#include <atomic>
#else
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
std::atomic<ShutdownSignals*> instance{nullptr};
HANDLE finished = nullptr; // set once the shut-down is complete

BOOL WINAPI consoleHandler(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        break;
    default:
        return FALSE;
    }
    // This runs on a thread the system creates; the signal is posted to the GUI thread.
    if (ShutdownSignals* target = instance.load()) {
        QMetaObject::invokeMethod(
            target, [target, event] { emit target->received(static_cast<int>(event)); },
            Qt::QueuedConnection);
    }
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // Returning lets the system end the process at once: wait (within the five seconds
        // it grants) until the devices have had their last report.
        WaitForSingleObject(finished, 4500);
    }
    return TRUE;
}
#else
int pipeEnds[2] = {-1, -1};

void onSignal(int number) {
    const int saved = errno;
    const char byte = static_cast<char>(number);
    // Never blocks: with the pipe full (a flood of signals) the byte is dropped, not the thread.
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
    errno = saved;
}

// The write that raised it fails with EPIPE or EFBIG, and its caller handles that. A handler
// that does nothing rather than SIG_IGN: programs started from here get the default back.
void onHarmlessSignal(int) {}

constexpr int Handled[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};
#endif

} // namespace

ShutdownSignals::ShutdownSignals(QObject* parent) : QObject(parent) {
#ifdef _WIN32
    instance = this;
    finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(consoleHandler, TRUE);
#else
    struct sigaction harmless = {};
    harmless.sa_handler = onHarmlessSignal;
    sigemptyset(&harmless.sa_mask);
    harmless.sa_flags = SA_RESTART;
    sigaction(SIGPIPE, &harmless, nullptr);
    sigaction(SIGXFSZ, &harmless, nullptr);
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pipeEnds) != 0) {
        return;
    }
    ::fcntl(pipeEnds[1], F_SETFL, ::fcntl(pipeEnds[1], F_GETFL) | O_NONBLOCK);
    notifier_ = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &ShutdownSignals::readPipe);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : Handled) {
        sigaction(number, &action, nullptr);
    }
#endif
}

ShutdownSignals::~ShutdownSignals() {
#ifdef _WIN32
    instance = nullptr;
    SetEvent(finished);
#else
    if (!notifier_) {
        return;
    }
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int number : Handled) {
        sigaction(number, &action, nullptr);
    }
    delete notifier_;
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
#endif
}

void ShutdownSignals::readPipe() {
#ifndef _WIN32
    char byte = 0;
    if (::read(pipeEnds[0], &byte, 1) != 1) {
        return;
    }
    if (byte == SIGTSTP) {
        emit stopRequested();
    } else {
        emit received(static_cast<int>(byte));
    }
#endif
}

void ShutdownSignals::stopHere() {
#ifndef _WIN32
    // SIGSTOP rather than the default SIGTSTP, which a process group without a controlling
    // shell would ignore: the stick has already let go, so the program really stops.
    ::raise(SIGSTOP);
#endif
}
