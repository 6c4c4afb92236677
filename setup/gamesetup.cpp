#include "setup/gamesetup.h"

#include "records/simconnectendpoint.h"
#include "setup/condorudpini.h"
#include "setup/configfileeditor.h"
#include "setup/dcsexportlua.h"
#include "setup/il2startupconfig.h"
#include "setup/msfssimconnect.h"
#include "setup/textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QTcpServer>

namespace {

QString line(const QString& text) {
    return text + QLatin1Char('\n');
}

GameSetup::Outcome failure(const QString& text) {
    return GameSetup::Outcome{false, line(text)};
}

GameSetup::Outcome fromResult(const ConfigFileEditor::Result& result, const QString& done) {
    GameSetup::Outcome outcome{result.ok, line(result.message)};
    for (const QString& note : result.notes) {
        if (result.changed) {
            outcome.report += line(note);
        }
    }
    if (result.ok && !done.isEmpty()) {
        outcome.report += line(done);
    }
    return outcome;
}

bool isFolder(const QString& dir) {
    return !dir.isEmpty() && QFileInfo(dir).isDir();
}

} // namespace

GameSetup::Outcome GameSetup::installDcsExport(const QString& dir) {
    if (!isFolder(dir)) {
        return failure(QStringLiteral("%1 is not a folder. Give DCS's folder under Saved Games, for example "
                                      "\"Saved Games/DCS\".")
                           .arg(dir));
    }
    const QDir root(dir);
    // DCS makes Config and Logs at its first start; without any of them this is some other folder
    // (often Saved Games itself).
    if (!root.exists(QStringLiteral("Config")) && !root.exists(QStringLiteral("Logs")) &&
        !root.exists(QStringLiteral("Scripts"))) {
        return failure(
            QStringLiteral("%1 holds no Config, Logs or Scripts folder: give DCS's folder under Saved "
                           "Games (start DCS once if it is new).")
                .arg(QDir::toNativeSeparators(dir)));
    }
    if (!root.mkpath(QStringLiteral("Scripts"))) {
        return failure(QStringLiteral("Cannot create %1; nothing changed.")
                           .arg(QDir::toNativeSeparators(root.filePath(QStringLiteral("Scripts")))));
    }
    const QByteArray script = DcsExportLua::script();
    const QString scriptPath = root.filePath(QStringLiteral("Scripts/") + DcsExportLua::scriptFileName());
    QString report;
    const bool existed = QFileInfo::exists(scriptPath);
    QFile current(scriptPath);
    const bool same = current.open(QIODevice::ReadOnly) && current.read(script.size() + 1) == script;
    current.close();
    if (!same) {
        QString reason = QStringLiteral("the program holds no export script");
        if (script.isEmpty() || !TextFile::write(scriptPath, script, &reason)) {
            return failure(QStringLiteral("Cannot write %1 (%2); nothing changed.")
                               .arg(QDir::toNativeSeparators(scriptPath), reason));
        }
        report += line(QStringLiteral("Wrote %1.").arg(QDir::toNativeSeparators(scriptPath)));
    }
    ConfigFileEditor::Options options;
    options.createIfMissing = true;
    // DCS's Lua reads bytes: a UTF-16 Export.lua is not a script to it.
    options.readsUtf16 = false;
    options.reader = QStringLiteral("DCS");
    Outcome outcome =
        fromResult(ConfigFileEditor::apply(root.filePath(QStringLiteral("Scripts/Export.lua")),
                                           DcsExportLua::withDofile, options),
                   QStringLiteral("DCS sends its telemetry to 127.0.0.1:29778 from the next flight."));
    if (!outcome.ok) {
        // Export.lua stays as it was, so the script it would load goes again.
        if (!existed) {
            QFile::remove(scriptPath);
        }
        return outcome;
    }
    outcome.report.prepend(report);
    return outcome;
}

GameSetup::Outcome GameSetup::setupIl2(const QString& dir) {
    const QString path = QDir(dir).filePath(QStringLiteral("data/startup.cfg"));
    if (!isFolder(dir) || !QFileInfo(path).isFile()) {
        return failure(QStringLiteral("No data/startup.cfg in %1. Give the IL-2 Sturmovik folder (the one "
                                      "holding data/); the game writes startup.cfg on its first start.")
                           .arg(QDir::toNativeSeparators(dir)));
    }
    return fromResult(ConfigFileEditor::apply(path, Il2StartupConfig::withTelemetry, false),
                      QStringLiteral("IL-2 sends its telemetry to 127.0.0.1:29777 after its next start."));
}

GameSetup::Outcome GameSetup::setupCondor(const QString& dir) {
    const QString settings = QDir(dir).filePath(QStringLiteral("Settings"));
    if (!isFolder(dir) || !QFileInfo(settings).isDir()) {
        return failure(QStringLiteral("No Settings folder in %1. Give Condor's installation folder, the one "
                                      "holding Settings/ (usually C:\\Condor2 or C:\\Condor3; not "
                                      "Documents\\Condor3).")
                           .arg(QDir::toNativeSeparators(dir)));
    }
    return fromResult(ConfigFileEditor::apply(QDir(settings).filePath(QStringLiteral("UDP.ini")),
                                              CondorUdpIni::withTelemetry, true),
                      QStringLiteral("Condor sends its telemetry to 127.0.0.1:55278 after its next start."));
}

quint16 GameSetup::freePort(quint16 first, const QList<int>& taken) {
    for (int port = first; port < first + 500 && port <= 65535; ++port) {
        if (port < 1024 || taken.contains(port)) {
            continue;
        }
        QTcpServer probe;
        if (probe.listen(QHostAddress::LocalHost, static_cast<quint16>(port))) {
            return static_cast<quint16>(port);
        }
    }
    return 0;
}

GameSetup::Outcome GameSetup::setupMsfs(const QString& dir, const QString& dataDir) {
    const QString xmlPath = QDir(dir).filePath(QStringLiteral("SimConnect.xml"));
    if (!isFolder(dir) || !QFileInfo(xmlPath).isFile()) {
        return failure(
            QStringLiteral("No SimConnect.xml in %1. Give the folder holding MSFS's SimConnect.xml "
                           "(see the table in Help > Setting up the games); the simulator writes "
                           "the file on its first start.")
                .arg(QDir::toNativeSeparators(dir)));
    }
    // The port is chosen before the edit: one already ours is kept, so a second run finds
    // nothing to change.
    QString xml;
    QFile file(xmlPath);
    if (file.open(QIODevice::ReadOnly)) {
        xml = TextFile::decode(file.read(4 * 1024 * 1024)).text;
    }
    const MsfsSimConnect::Listener ours = MsfsSimConnect::ourListener(xml);
    QString address = QStringLiteral("127.0.0.1");
    quint16 port = 0;
    if (ours.usable) {
        port = static_cast<quint16>(ours.port);
        // A listener on every network card is reached here through the loopback address.
        if (ours.address != QLatin1String("0.0.0.0")) {
            address = ours.address;
        }
    } else {
        port = freePort(MsfsSimConnect::FirstPort, MsfsSimConnect::ports(xml));
        if (port == 0) {
            return failure(QStringLiteral("No free TCP port from %1 up; nothing changed.")
                               .arg(MsfsSimConnect::FirstPort));
        }
    }
    ConfigFileEditor::Options xmlOptions;
    xmlOptions.check = MsfsSimConnect::check;
    Outcome outcome = fromResult(
        ConfigFileEditor::apply(
            xmlPath, [port](const QString& text) { return MsfsSimConnect::withListener(text, port); },
            xmlOptions),
        QString());
    if (!outcome.ok) {
        return outcome;
    }
    if (!QDir().mkpath(dataDir)) {
        outcome.ok = false;
        outcome.report += line(QStringLiteral("Cannot create %1, where SimConnect.cfg goes.")
                                   .arg(QDir::toNativeSeparators(dataDir)));
        return outcome;
    }
    const auto client = [address, port](const QString& text) {
        return MsfsSimConnect::withClient(text, address, port);
    };
    ConfigFileEditor::Options cfgOptions;
    cfgOptions.createIfMissing = true;
    // The program must read the edited file as this endpoint, whatever else the file holds.
    cfgOptions.check = [client, address, port](const QString& text) {
        const SimConnectConfig config = parseSimConnectConfig(client(text).text.toUtf8());
        if (!config.error.isEmpty()) {
            return config.error.section(QLatin1Char(';'), 0, 0);
        }
        if (config.endpoint.address != address || config.endpoint.port != port) {
            return QStringLiteral("its section names the address or port twice");
        }
        return QString();
    };
    const Outcome cfg = fromResult(
        ConfigFileEditor::apply(QDir(dataDir).filePath(SimConnectConfig::FileName), client, cfgOptions),
        QStringLiteral("MSFS listens for Grovik Trennal on %1:%2 from its next start (restart it "
                       "if it is running), and the program connects there.")
            .arg(address)
            .arg(port));
    outcome.ok = cfg.ok;
    outcome.report += cfg.report;
    return outcome;
}
