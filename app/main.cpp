#include "app/commandline.h"
#include "app/datadirectory.h"
#include "app/instancelock.h"
#include "app/logfile.h"
#include "app/mainwindow.h"
#include "app/runninginstance.h"
#include "app/shutdownsignals.h"
#include "engine/engine.h"
#include "engine/recordingcontroller.h"
#include "guardian/guardian.h"
#include "guardian/guardianprocess.h"
#include "records/logcategories.h"
#include "records/metatypes.h"
#include "telemetry/simconnect/simconnectconfig.h"
#include "telemetry/telemetryendpoints.h"
#include "telemetry/xplane/telemetrysourcexplane.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QMessageBox>
#include <QPointer>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QStatusBar>
#include <QSysInfo>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include <hidapi.h>

namespace {

bool interactive() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

// A problem that ends the program before its window opens: on the terminal, and in a message
// for a user who started it from the menu.
int fatal(const QString& text) {
    std::fprintf(stderr, "%s\n", qPrintable(text));
    if (interactive()) {
        QMessageBox::warning(nullptr, QStringLiteral("Grovik Trennal"), text);
    }
    return 1;
}

QStringList argumentList(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    return arguments;
}

// The window while its event loop runs. When the X display goes away the toolkit ends the
// program with exit(), past the engine's shut-down: the devices let go on that way out too.
std::atomic<MainWindow*> flyingWindow{nullptr};

void letGoAtExit() {
    MainWindow* window = flyingWindow.exchange(nullptr);
    const QCoreApplication* app = QCoreApplication::instance();
    if (window && app && QThread::currentThread() == app->thread()) {
        window->holdForces(true);
    }
}
} // namespace

int main(int argc, char* argv[]) {
    // This executable started again by Guardian: nothing of the program runs in it.
    if (GuardianProcess::isRequested(argc, argv)) {
        // Its let-gos go to the program's log, written at once: it may be killed any time.
        LogFile::install(QDir::current().absoluteFilePath(LogFile::FileName), LogFile::Echo::FileOnly,
                         LogFile::Writing::Direct);
        return GuardianProcess::run();
    }
    CommandLine::setApplicationIdentity();
    QTextStream out(stdout);
    QTextStream err(stderr);

    // Commands that only print or edit files run without a display and leave the devices alone.
    if (CommandLine::runsWithoutWindow(argumentList(argc, argv))) {
        QCoreApplication app(argc, argv);
        CommandLine commandLine;
        if (!commandLine.parse(app.arguments())) {
            err << commandLine.errorText() << '\n';
            return 1;
        }
        // A set-up's changes reach the log of the data directory, when there is one; the terminal
        // has its own report.
        const QString dataDirectory =
            DataDirectory::choose(commandLine.dataDirectory(), QDir::currentPath(),
                                  QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
        LogFile::install(QDir(dataDirectory).absoluteFilePath(LogFile::FileName), LogFile::Echo::FileOnly,
                         LogFile::Writing::Direct);
        return commandLine.run(out, err);
    }

    registerMetaTypes();
    QApplication app(argc, argv);
    // The toolkit has taken its own options (-platform, -style ...) out of the arguments.
    CommandLine commandLine;
    if (!commandLine.parse(app.arguments())) {
        return fatal(commandLine.errorText() + QStringLiteral("\nSee --help."));
    }
    // A FILE given on the command line is named from where the program was started, before
    // it changes into its data directory.
    const auto startPath = [](const QString& path) {
        return path.isEmpty() ? path : QFileInfo(path).absoluteFilePath();
    };
    const QString recordFile = startPath(commandLine.recordFile());
    const QString replayFile = startPath(commandLine.replayFile());
    QString error;
    if (!DataDirectory::enter(commandLine.dataDirectory(), &error)) {
        return fatal(error);
    }
    // From here on the terminal's lines also go to the file Help > Show log shows.
    LogFile::install(QDir::current().absoluteFilePath(LogFile::FileName));
    struct LogEnd {
        ~LogEnd() { LogFile::uninstall(); }
    } logEnd;
    qCInfo(lcApp).noquote() << "Grovik Trennal" << QCoreApplication::applicationVersion() << "started in"
                            << QDir::currentPath() << "- Qt" << qVersion() << "- hidapi" << hid_version_str()
                            << "-" << QSysInfo::prettyProductName();

    // Ctrl+C, kill, log-out: the same way out as closing the window (the engine's shut-down
    // leaves the devices at zero and joins the worker threads). Caught from here on, so that one
    // that comes while the program starts ends it through the event loop too.
    ShutdownSignals shutdownSignals;
    QObject::connect(&shutdownSignals, &ShutdownSignals::received, &app, &QCoreApplication::quit);
    // What goes wrong at start-up without stopping the program: on the terminal at once, and in
    // the window once it is shown.
    QStringList problems;
    // SimConnect.cfg is read from the directory the program works in.
    // A host name is looked up in the background; what it finds wrong is told when it answers.
    // The answer comes on this thread's event loop, by then usually with the window shown.
    static QPointer<MainWindow> shownWindow;
    const QString simconnectProblem =
        configureSimConnect(commandLine.simconnectEndpoint(), [](const QString& problem) {
            qCWarning(lcApp).noquote() << problem;
            if (shownWindow) {
                shownWindow->statusBar()->showMessage(problem);
            }
        });
    if (!simconnectProblem.isEmpty()) {
        qCWarning(lcApp).noquote() << simconnectProblem;
        problems << simconnectProblem.split(QLatin1Char('\n'));
    }

    // Where the engine listens for the games and asks them: their own ports, and X-Plane where
    // --xplane says, else where the settings say, else on this computer.
    TelemetryEndpoints endpoints;
    const QString xplane =
        commandLine.xplaneEndpoint().isEmpty() ? MainWindow::xplaneAddress() : commandLine.xplaneEndpoint();
    if (!xplane.isEmpty()) {
        QString host;
        quint16 port = 0;
        if (TelemetrySourceXPlane::parseEndpoint(xplane, &host, &port)) {
            endpoints.xplaneHost = host;
            endpoints.xplanePort = port;
        } else {
            problems << QStringLiteral("The X-Plane address in the settings is not HOST:PORT: ") + xplane;
        }
    }
    // Tests and benchmarks run the program beside others on ports of their own.
    if (qEnvironmentVariableIsSet(TelemetryEndpoints::PortsVariable) &&
        !endpoints.applyPorts(qEnvironmentVariable(TelemetryEndpoints::PortsVariable), &error)) {
        return fatal(error);
    }

    // A second instance would open the same devices and fight the first one at 200 Hz.
    QLockFile instanceLock(instanceLockPath());
    QString lockProblem;
    if (!tryInstanceLock(instanceLock, &lockProblem)) {
        // Started again from the menu, most likely to find the window: the running copy shows it.
        if (lockProblem == QLatin1String("Grovik Trennal is already running.") && RunningInstance::ask()) {
            std::fprintf(stderr, "Grovik Trennal is already running; its window was brought to the front.\n");
            return 0;
        }
        return fatal(lockProblem);
    }
    RunningInstance runningInstance;
    if (!runningInstance.listen()) {
        std::fprintf(stderr, "A second start of Grovik Trennal cannot bring this window to the front (%s).\n",
                     qPrintable(RunningInstance::socketPath()));
    }
    // Lets go of the devices should this process be killed, crash or freeze. Only the instance
    // holding the lock starts one, so a second instance never touches a device.
    Guardian guardian;
    if (!guardian.start(argv[0])) {
        std::fprintf(stderr, "The guardian process could not be started; should this program be killed "
                             "or freeze, nothing lets go of the devices.\n");
    }
    // A guardian killed while the program flies is started again at once: the kernel tells of
    // its end, or, where it cannot, a look once a second finds it.
    QSocketNotifier guardianEnd(QSocketNotifier::Read);
    QTimer guardianLook;
    guardianLook.setInterval(1000);
    bool lookExplained = false;
    const auto watchGuardian = [&guardian, &guardianEnd, &guardianLook, &lookExplained] {
        if (!guardian.isRunning()) {
            guardianLook.stop();
        } else if (guardian.exitDescriptor() >= 0) {
            guardianLook.stop();
            guardianEnd.setSocket(guardian.exitDescriptor());
            guardianEnd.setEnabled(true);
        } else if (!guardianLook.isActive()) {
            if (!lookExplained) {
                lookExplained = true;
                std::fprintf(stderr, "This kernel cannot tell the program when its guardian process ends; "
                                     "the program looks for it once a second instead.\n");
            }
            guardianLook.start();
        }
    };
    const auto guardianMayBeGone = [&guardian, &guardianEnd, &guardianLook, watchGuardian] {
        guardianEnd.setEnabled(false);
        if (!guardian.restartIfGone()) {
            guardianLook.stop();
            std::fprintf(stderr, "The guardian process keeps ending; should this program be killed, "
                                 "nothing lets go of the devices.\n");
        } else {
            watchGuardian();
        }
    };
    QObject::connect(&guardianEnd, &QSocketNotifier::activated, &app, guardianMayBeGone);
    QObject::connect(&guardianLook, &QTimer::timeout, &app, guardianMayBeGone);
    watchGuardian();

    // The program itself, then the window that shows it. The engine starts with the event loop,
    // with what the window set up (the remembered master gain); it outlives the window.
    Engine engine(endpoints);
    MainWindow window(engine);
    engine.start();
    // Ctrl+Z: the stick lets go before the program stops and ramps in again once it continues.
    QObject::connect(&shutdownSignals, &ShutdownSignals::stopRequested, &window, [&window] {
        window.holdForces(true);
        ShutdownSignals::stopHere();
        window.holdForces(false);
    });
    if (commandLine.acceptRemoteTelemetry()) {
        window.acceptRemoteTelemetryForThisRun();
    }
    // Placed before it is shown: a window manager then puts the frame, title bar included,
    // where the window asks, while the frame's size is still unknown.
    window.centre();
    window.show();
    shownWindow = &window;
    QObject::connect(&runningInstance, &RunningInstance::showRequested, &window, [&window] {
        window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        window.show();
        window.raise();
        window.activateWindow();
    });
    // Problems of the recorder and the replay (a --record path that cannot be written, a
    // --replay file that is not a recording) reach the terminal as well as the window.
    QObject::connect(engine.recording(), &RecordingController::problem, &app,
                     [](const QString& text) { qCWarning(lcApp).noquote() << text; });
    if (!problems.isEmpty()) {
        window.statusBar()->showMessage(problems.constFirst());
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Grovik Trennal"),
                                    problems.join(QLatin1Char('\n')), QMessageBox::Ok, &window);
        box->setObjectName(QStringLiteral("startup_problems"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setModal(false);
        box->show();
    }
    if (!recordFile.isEmpty()) {
        engine.recording()->startRecording(recordFile);
    }
    if (!replayFile.isEmpty()) {
        engine.recording()->startReplay(replayFile);
        window.showForces();
    }
    flyingWindow = &window;
    std::atexit(letGoAtExit);
    const int status = app.exec();
    flyingWindow = nullptr;
    // The loop now stops on purpose. The guardian leaves without a word to the devices only when
    // each has taken its zero reports; otherwise it lets go of them itself, and waits for one
    // that is slow to answer.
    guardian.expectSilence();
    if (engine.shutDown()) {
        guardian.farewell();
    } else {
        guardian.leave();
    }
    qCInfo(lcApp) << "Grovik Trennal ends";
    return status;
}
