#include "app/mainwindow.h"
#include "forces/metatypes.h"
#include "telemetry/simconnect/simconnectconfig.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

int main(int argc, char* argv[]) {
    registerMetaTypes();
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption simconnect(
        QStringLiteral("simconnect"),
        QStringLiteral("Where MSFS's SimConnect listens (default: SimConnect.cfg, else 127.0.0.1:500)."),
        QStringLiteral("HOST:PORT"));
    parser.addOption(simconnect);
    parser.process(app);
    const QString simconnectProblem = configureSimConnect(parser.value(simconnect));
    if (!simconnectProblem.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(simconnectProblem));
    }
    MainWindow window;
    window.show();
    window.centre();
    return app.exec();
}
