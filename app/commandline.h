#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

class QTextStream;

// The program's command line. The options that start the window and those that run a
// command and exit (help, version, device list, game set-up) live in one parser; main()
// looks at the arguments before creating any application object, so the commands need
// neither a display nor the devices. Further options are added in the constructor and read
// through parser().
//
// Threading: main thread, before and around the creation of the application object.
class CommandLine {
public:
    enum class Command {
        Window,
        Help,
        Version,
        ListDevices,
        InstallDcsExport,
        SetupIl2,
        SetupCondor,
        SetupMsfs
    };

    CommandLine();

    // Sets the application name, version and desktop file name that the data directory,
    // --version and the desktop session use. Works before the application object exists.
    static void setApplicationIdentity();
    // Whether these arguments (argv, program name first) ask for a command that runs without
    // the window. Unknown options do not matter here: the window's toolkit takes its own.
    static bool runsWithoutWindow(const QStringList& arguments);

    // False on an unknown option, a missing value or two commands at once; see errorText().
    bool parse(const QStringList& arguments);
    QString errorText() const { return error_; }

    Command command() const;
    // The DIR of --install-dcs-export, --setup-il2, --setup-condor or --setup-msfs.
    QString commandDirectory() const;
    // The DIR of --data-dir, empty when not given.
    QString dataDirectory() const;
    // The HOST:PORT of --simconnect, empty when not given.
    QString simconnectEndpoint() const;
    // The HOST:PORT of --xplane, empty when not given.
    QString xplaneEndpoint() const;
    // The FILE of --record and of --replay, empty when not given.
    QString recordFile() const;
    QString replayFile() const;
    // --accept-remote-telemetry: telemetry from other computers counts for this run.
    bool acceptRemoteTelemetry() const;

    // Runs the command given (not Window): writes its report to out, errors to err, and
    // returns the process exit code.
    int run(QTextStream& out, QTextStream& err) const;

    QCommandLineParser& parser() { return parser_; }

private:
    QCommandLineParser parser_;
    QCommandLineOption help_;
    QCommandLineOption version_;
    QCommandLineOption dataDir_;
    QCommandLineOption listDevices_;
    QCommandLineOption installDcsExport_;
    QCommandLineOption setupIl2_;
    QCommandLineOption setupCondor_;
    QCommandLineOption setupMsfs_;
    QCommandLineOption simconnect_;
    QCommandLineOption xplane_;
    QCommandLineOption record_;
    QCommandLineOption replay_;
    QCommandLineOption acceptRemoteTelemetry_;
    QString error_;
};
