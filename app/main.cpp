#include "app/mainwindow.h"
#include "app/recordingcontroller.h"
#include "forces/metatypes.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char* argv[]) {
    registerMetaTypes();
    QApplication app(argc, argv);

    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption record(QStringLiteral("record"),
                                    QStringLiteral("Records the flight telemetry and forces to <file>."),
                                    QStringLiteral("file"));
    const QCommandLineOption replay(QStringLiteral("replay"), QStringLiteral("Replays the recording <file>."),
                                    QStringLiteral("file"));
    parser.addOption(record);
    parser.addOption(replay);
    parser.process(app);

    MainWindow window;
    window.show();
    window.centre();
    if (parser.isSet(record)) {
        window.recording()->startRecording(parser.value(record));
    }
    if (parser.isSet(replay)) {
        window.recording()->startReplay(parser.value(replay));
        window.showForces();
    }
    return app.exec();
}
