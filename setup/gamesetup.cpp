#include "setup/gamesetup.h"

#include "setup/condorudpini.h"
#include "setup/configfileeditor.h"
#include "setup/dcsexportlua.h"
#include "setup/il2startupconfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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
    if (result.ok) {
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
    const bool same = current.open(QIODevice::ReadOnly) && current.readAll() == script;
    current.close();
    if (!same) {
        QSaveFile file(scriptPath);
        if (script.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(script) != script.size() ||
            !file.commit()) {
            return failure(QStringLiteral("Cannot write %1; nothing changed.")
                               .arg(QDir::toNativeSeparators(scriptPath)));
        }
        report += line(QStringLiteral("Wrote %1.").arg(QDir::toNativeSeparators(scriptPath)));
    }
    Outcome outcome =
        fromResult(ConfigFileEditor::apply(root.filePath(QStringLiteral("Scripts/Export.lua")),
                                           DcsExportLua::withDofile, true),
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
