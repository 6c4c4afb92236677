#include "app/commandline.h"

#include "app/datadirectory.h"
#include "device/deviceaccess.h"
#include "setup/gamesetup.h"
#include "setup/setuplog.h"
#include "telemetry/xplane/telemetrysourcexplane.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QTextStream>

CommandLine::CommandLine()
    : help_({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help and exit.")),
      version_({QStringLiteral("v"), QStringLiteral("version")},
               QStringLiteral("Show the version and exit.")),
      dataDir_(
          QStringLiteral("data-dir"),
          QStringLiteral("Work in DIR: profiles in DIR/effect_profiles. Default: the working directory when "
                         "it holds effect_profiles, else the per-user data directory."),
          QStringLiteral("DIR")),
      listDevices_(QStringLiteral("list-devices"),
                   QStringLiteral("List the attached Grovik devices and whether this user may open them.")),
      installDcsExport_(
          QStringLiteral("install-dcs-export"),
          QStringLiteral("Set up DCS: add the export script to DIR/Scripts/Export.lua (DIR: the "
                         "DCS folder under Saved Games)."),
          QStringLiteral("DIR")),
      setupIl2_(QStringLiteral("setup-il2"),
                QStringLiteral("Set up IL-2 Sturmovik: the telemetry block of DIR/data/startup.cfg (DIR: the "
                               "game's folder)."),
                QStringLiteral("DIR")),
      setupCondor_(QStringLiteral("setup-condor"),
                   QStringLiteral("Set up Condor 2 or 3: DIR/Settings/UDP.ini (DIR: the game's folder)."),
                   QStringLiteral("DIR")),
      setupMsfs_(
          QStringLiteral("setup-msfs"),
          QStringLiteral("Set up MSFS: a listener for this program in DIR/SimConnect.xml (DIR: the folder "
                         "holding it) and the matching SimConnect.cfg in the data directory."),
          QStringLiteral("DIR")),
      simconnect_(QStringLiteral("simconnect"),
                  QStringLiteral("Where MSFS's SimConnect listens (default: SimConnect.cfg in the working "
                                 "directory, else 127.0.0.1:500)."),
                  QStringLiteral("HOST:PORT")),
      xplane_(QStringLiteral("xplane"),
              QStringLiteral(
                  "Where X-Plane receives its UDP requests, when it runs on another computer (default: "
                  "the address in the settings, else 127.0.0.1:49000). Telemetry from another "
                  "computer must also be accepted."),
              QStringLiteral("HOST:PORT")),
      record_(QStringLiteral("record"),
              QStringLiteral("Record the flight's telemetry and the forces sent to FILE (CSV)."),
              QStringLiteral("FILE")),
      replay_(QStringLiteral("replay"), QStringLiteral("Replay the recording FILE as if a game sent it."),
              QStringLiteral("FILE")),
      acceptRemoteTelemetry_(QStringLiteral("accept-remote-telemetry"),
                             QStringLiteral("For this run, accept game telemetry sent from other computers "
                                            "(by default only this computer is heard).")) {
    parser_.setApplicationDescription(
        QStringLiteral("Grovik Trennal: forces for the Grovik joystick base and rudder unit from the flight "
                       "simulator's telemetry."));
    parser_.addOptions({help_, version_, dataDir_, listDevices_, installDcsExport_, setupIl2_, setupCondor_,
                        setupMsfs_, simconnect_, xplane_, record_, replay_, acceptRemoteTelemetry_});
}

void CommandLine::setApplicationIdentity() {
    // The per-user data directory is named after the application alone (no organisation).
    QCoreApplication::setApplicationName(QStringLiteral("grovik-trennal"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TRENNAL_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("com.grovik.trennal"));
}

bool CommandLine::runsWithoutWindow(const QStringList& arguments) {
    CommandLine probe;
    probe.parser_.parse(arguments);
    return probe.command() != Command::Window;
}

bool CommandLine::parse(const QStringList& arguments) {
    error_.clear();
    if (!parser_.parse(arguments)) {
        error_ = parser_.errorText();
        return false;
    }
    if (!parser_.positionalArguments().isEmpty()) {
        error_ = QStringLiteral("Unexpected argument: ") + parser_.positionalArguments().constFirst();
        return false;
    }
    if (parser_.isSet(xplane_)) {
        QString host;
        quint16 port = 0;
        if (!TelemetrySourceXPlane::parseEndpoint(parser_.value(xplane_), &host, &port)) {
            error_ = QStringLiteral("--xplane wants HOST:PORT (a port from 1 to 65535), not: ") +
                     parser_.value(xplane_);
            return false;
        }
    }
    int commands = 0;
    for (const QCommandLineOption* option :
         {&listDevices_, &installDcsExport_, &setupIl2_, &setupCondor_, &setupMsfs_}) {
        commands += parser_.isSet(*option) ? 1 : 0;
    }
    if (commands > 1) {
        error_ = QStringLiteral(
            "Give one of --list-devices, --install-dcs-export, --setup-il2, --setup-condor and "
            "--setup-msfs at a time.");
        return false;
    }
    return true;
}

CommandLine::Command CommandLine::command() const {
    if (parser_.isSet(help_)) {
        return Command::Help;
    }
    if (parser_.isSet(version_)) {
        return Command::Version;
    }
    if (parser_.isSet(listDevices_)) {
        return Command::ListDevices;
    }
    if (parser_.isSet(installDcsExport_)) {
        return Command::InstallDcsExport;
    }
    if (parser_.isSet(setupIl2_)) {
        return Command::SetupIl2;
    }
    if (parser_.isSet(setupCondor_)) {
        return Command::SetupCondor;
    }
    if (parser_.isSet(setupMsfs_)) {
        return Command::SetupMsfs;
    }
    return Command::Window;
}

QString CommandLine::commandDirectory() const {
    switch (command()) {
    case Command::InstallDcsExport:
        return parser_.value(installDcsExport_);
    case Command::SetupIl2:
        return parser_.value(setupIl2_);
    case Command::SetupCondor:
        return parser_.value(setupCondor_);
    case Command::SetupMsfs:
        return parser_.value(setupMsfs_);
    default:
        return QString();
    }
}

QString CommandLine::dataDirectory() const {
    return parser_.value(dataDir_);
}

QString CommandLine::simconnectEndpoint() const {
    return parser_.value(simconnect_);
}

QString CommandLine::xplaneEndpoint() const {
    return parser_.value(xplane_);
}

QString CommandLine::recordFile() const {
    return parser_.value(record_);
}

QString CommandLine::replayFile() const {
    return parser_.value(replay_);
}

bool CommandLine::acceptRemoteTelemetry() const {
    return parser_.isSet(acceptRemoteTelemetry_);
}

int CommandLine::run(QTextStream& out, QTextStream& err) const {
    GameSetup::Outcome outcome;
    switch (command()) {
    case Command::Window:
        return 0;
    case Command::Help:
        out << parser_.helpText();
        return 0;
    case Command::Version:
        out << QCoreApplication::applicationName() << ' ' << QCoreApplication::applicationVersion() << '\n';
        return 0;
    case Command::ListDevices:
        out << DeviceAccess::formatList(DeviceAccess::enumerate());
        return 0;
    case Command::InstallDcsExport:
        outcome = GameSetup::installDcsExport(commandDirectory());
        SetupLog::outcome(QStringLiteral("DCS"), commandDirectory(), outcome);
        break;
    case Command::SetupIl2:
        outcome = GameSetup::setupIl2(commandDirectory());
        SetupLog::outcome(QStringLiteral("IL-2 Sturmovik"), commandDirectory(), outcome);
        break;
    case Command::SetupCondor:
        outcome = GameSetup::setupCondor(commandDirectory());
        SetupLog::outcome(QStringLiteral("Condor"), commandDirectory(), outcome);
        break;
    case Command::SetupMsfs:
        // SimConnect.cfg goes where the window started from here would work.
        outcome = GameSetup::setupMsfs(
            commandDirectory(),
            DataDirectory::choose(dataDirectory(), QDir::currentPath(),
                                  QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)));
        SetupLog::outcome(QStringLiteral("MSFS"), commandDirectory(), outcome);
        break;
    }
    (outcome.ok ? out : err) << outcome.report;
    return outcome.ok ? 0 : 1;
}
