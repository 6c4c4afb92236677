#include "app/commandline.h"
#include "app/datadirectory.h"
#include "app/mainwindow.h"
#include "forces/metatypes.h"
#include "telemetry/simconnect/simconnectconfig.h"

#include <QApplication>
#include <QCoreApplication>
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
    QString error;
    if (!DataDirectory::enter(commandLine.dataDirectory(), &error)) {
        err << error << '\n';
        return 1;
    }
    // SimConnect.cfg is read from the directory the program works in.
    const QString simconnectProblem = configureSimConnect(commandLine.simconnectEndpoint());
    if (!simconnectProblem.isEmpty()) {
        err << simconnectProblem << '\n';
        err.flush();
    }
    MainWindow window;
    window.show();
    window.centre();
    return app.exec();
}
