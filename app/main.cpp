#include "app/commandline.h"
#include "app/datadirectory.h"
#include "app/instancelock.h"
#include "app/mainwindow.h"
#include "app/recordingcontroller.h"
#include "app/shutdownsignals.h"
#include "forces/metatypes.h"
#include "telemetry/simconnect/simconnectconfig.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLockFile>
#include <QMessageBox>
#include <QTextStream>

#include <cstdio>

namespace {
QStringList argumentList(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    return arguments;
}
} // namespace

int main(int argc, char* argv[]) {
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
        return commandLine.run(out, err);
    }

    registerMetaTypes();
    QApplication app(argc, argv);
    // The toolkit has taken its own options (-platform, -style ...) out of the arguments.
    CommandLine commandLine;
    if (!commandLine.parse(app.arguments())) {
        err << commandLine.errorText() << "\nSee --help.\n";
        return 1;
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
        err << error << '\n';
        return 1;
    }
    // SimConnect.cfg is read from the directory the program works in.
    // A host name is looked up in the background; what it finds wrong is told when it answers.
    const QString simconnectProblem =
        configureSimConnect(commandLine.simconnectEndpoint(), [](const QString& problem) {
            std::fprintf(stderr, "%s\n", qPrintable(problem));
        });
    if (!simconnectProblem.isEmpty()) {
        err << simconnectProblem << '\n';
        err.flush();
    }

    // A second instance would open the same devices and fight the first one at 200 Hz.
    QLockFile instanceLock(instanceLockPath());
    if (!tryInstanceLock(instanceLock)) {
        const QString text = QStringLiteral("Grovik Trennal is already running.");
        std::fprintf(stderr, "%s\n", qPrintable(text));
        const QString platform = QGuiApplication::platformName();
        if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal")) {
            QMessageBox::information(nullptr, QStringLiteral("Grovik Trennal"), text);
        }
        return 1;
    }
    // Ctrl+C, kill, log-out: the same way out as closing the window (the window's destructor
    // leaves the devices at zero and joins the worker threads).
    ShutdownSignals shutdownSignals;
    QObject::connect(&shutdownSignals, &ShutdownSignals::received, &app, &QCoreApplication::quit);

    MainWindow window;
    if (commandLine.acceptRemoteTelemetry()) {
        window.acceptRemoteTelemetryForThisRun();
    }
    // Placed before it is shown: a window manager then puts the frame, title bar included,
    // where the window asks, while the frame's size is still unknown.
    window.centre();
    window.show();
    if (!recordFile.isEmpty()) {
        window.recording()->startRecording(recordFile);
    }
    if (!replayFile.isEmpty()) {
        window.recording()->startReplay(replayFile);
        window.showForces();
    }
    return app.exec();
}
