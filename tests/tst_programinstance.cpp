#include "app/instancelock.h"
#include "profiles/profilejson.h"
#include "profiles/profilestore.h"
#include "records/effectsprofile.h"
#include "support/loophelpers.h"
#include "telemetry/recordingcsv.h"

#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <sys/types.h>
#endif

namespace {

// The last report of each emulated device, as the child wrote it at exit.
struct DeviceSummary {
    int opens = -1;
    long writes = -1;
    QByteArray last;
    QByteArray gains; // the last DirectX override report
};

QMap<QString, DeviceSummary> readSummary(const QString& path) {
    QMap<QString, DeviceSummary> devices;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return devices;
    }
    static const QRegularExpression line(
        QStringLiteral("^(\\w+) opens (\\d+) writes (\\d+) last ([0-9a-f]+) gains ([0-9a-f]+)$"));
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QRegularExpressionMatch m = line.match(QString::fromLatin1(raw));
        if (m.hasMatch()) {
            devices[m.captured(1)] = {m.captured(2).toInt(), m.captured(3).toLong(),
                                      QByteArray::fromHex(m.captured(4).toLatin1()),
                                      QByteArray::fromHex(m.captured(5).toLatin1())};
        }
    }
    return devices;
}

QByteArray zeroForceReport() {
    QByteArray report(65, '\0');
    report[0] = 0x02;
    report[1] = 0x20;
    return report;
}

QByteArray gainsOffReport() {
    QByteArray report(65, '\0');
    report[0] = 0x02;
    report[1] = 0x21;
    return report;
}

// Whether both devices' last report in the summary is the all-zero direct-control report, after
// the DirectX gains at zero.
bool bothAtZero(const QString& summaryPath) {
    const QMap<QString, DeviceSummary> devices = readSummary(summaryPath);
    return devices.size() == 2 && std::all_of(devices.begin(), devices.end(), [](const DeviceSummary& d) {
               return d.last == zeroForceReport() && d.gains == gainsOffReport();
           });
}

// One report as the emulated devices log it, from the program (writer 0) or its guardian (1).
struct LogRecord {
    qint64 ns = 0;
    int device = 0;
    int command = 0;
    int writer = 0;
    float forceX = 0.0f;
    float forceY = 0.0f;

    bool pushes() const { return command == 0x20 && (forceX != 0.0f || forceY != 0.0f); }
};

// Every record of the log, in the order the devices received them.
QVector<LogRecord> readLog(const QString& path) {
    QFile file(path);
    QVector<LogRecord> records;
    if (!file.open(QIODevice::ReadOnly)) {
        return records;
    }
    const QByteArray data = file.readAll();
    for (qsizetype at = 0; at + 24 <= data.size(); at += 24) {
        const char* r = data.constData() + at;
        LogRecord record;
        std::memcpy(&record.ns, r, 8);
        record.device = static_cast<unsigned char>(r[8]);
        record.command = static_cast<unsigned char>(r[9]);
        record.writer = static_cast<unsigned char>(r[10]);
        std::memcpy(&record.forceX, r + 12, 4);
        std::memcpy(&record.forceY, r + 16, 4);
        records.append(record);
    }
    std::stable_sort(records.begin(), records.end(),
                     [](const LogRecord& a, const LogRecord& b) { return a.ns < b.ns; });
    return records;
}

// The same clock as the log's.
qint64 steadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Whether the program wrote a joystick report that pushes after `since`.
bool programPushedAfter(const QString& logPath, qint64 since) {
    const QVector<LogRecord> log = readLog(logPath);
    return std::any_of(log.begin(), log.end(), [since](const LogRecord& r) {
        return r.ns > since && r.writer == 0 && r.device == 0 && r.pushes();
    });
}

// The process state letter of /proc/PID/stat: 'T' while stopped.
char processState(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return '?';
    }
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close >= 0 && close + 2 < text.size() ? text.at(close + 2) : '?';
}

// What a way out of the program is expected to do.
enum class Outcome {
    Orderly,      // exits 0 through the engine's shut-down, which leaves the devices at zero
    Killed,       // ends on the signal; the guardian leaves the devices at zero
    Frozen,       // stops; the devices at zero until SIGCONT, then it flies on
    FliesOn,      // the signal changes nothing
    LostDisplay,  // its X server goes away
    GuardianGone, // its guardian is killed first: another takes over, then the program is killed
    HungAtExit,   // exits 0 with the device `detail` hung; the guardian zeroes it once it answers
    OpenBlocked,  // killed while the guardian's opens of device `detail` block: the other is zeroed
    BriefStops,   // stopped for `detail` ms, again and again: no let-go is followed by full force
};

} // namespace

Q_DECLARE_METATYPE(Outcome)

// The program run as a child process with the emulated devices (the same main() as the real
// one), flying a replayed recording whose 2 G pull the elevator's weight to -20: every way it
// can end or stop leaves the devices at zero force, by its own shut-down or by its guardian,
// and a second instance never touches them.
class TestProgramInstance : public QObject {
    Q_OBJECT

    // Starts the program in `dir` (its working, runtime and home directory: profiles, lock file,
    // settings) with both devices plugged, replaying dir/flight.csv; its summary goes to
    // dir/name, its log to dir/name.log, and every start of it or its guardian to dir/starts.
    // With `arguments`, the program starts with those instead of the replay.
    void start(QProcess& process, const QTemporaryDir& dir, const QString& name,
               const QProcessEnvironment& extra = QProcessEnvironment(), const QStringList& arguments = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
        env.insert(QStringLiteral("HOME"), dir.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("TRENNAL_FAKE_SUMMARY"), dir.filePath(name));
        env.insert(QStringLiteral("TRENNAL_FAKE_LOG"), dir.filePath(name + QStringLiteral(".log")));
        env.insert(QStringLiteral("TRENNAL_FAKE_STARTS"), dir.filePath(QStringLiteral("starts")));
        // Ports of its own, so that it runs beside other tests and never takes a game's.
        const TelemetryEndpoints ports = freeEndpoints();
        env.insert(QStringLiteral("TRENNAL_TELEMETRY_PORTS"),
                   QStringLiteral("dcs=%1,il2=%2,condor=%3,warthunder=%4,xplane=%5")
                       .arg(ports.dcsPort)
                       .arg(ports.il2Port)
                       .arg(ports.condorPort)
                       .arg(ports.warthunderUrl.port())
                       .arg(ports.xplanePort));
        env.insert(extra);
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir.path());
#ifdef Q_OS_UNIX
        // The crashes asked for leave no core files behind.
        process.setChildProcessModifier([] {
            const rlimit none{0, 0};
            ::setrlimit(RLIMIT_CORE, &none);
        });
#endif
        if (!arguments.isEmpty()) {
            // Profiles here make this the program's data directory, never the user's own.
            QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("effect_profiles")));
            process.start(QStringLiteral(TRENNAL_FAKE_PROGRAM), arguments);
            QVERIFY(process.waitForStarted(30000));
            return;
        }
        writeFlight(dir);
        process.start(QStringLiteral(TRENNAL_FAKE_PROGRAM),
                      {QStringLiteral("--replay"), dir.filePath(QStringLiteral("flight.csv"))});
        QVERIFY(process.waitForStarted(30000));
    }

    // A profile for the DCS aircraft "TEST" with the elevator's weight at full strength (-10 per
    // G), and a recording of that aircraft at 2 G that lasts ten minutes.
    void writeFlight(const QTemporaryDir& dir) {
        EffectsProfile profile;
        profile.resetToDefaults();
        profile.metadata.flight_data_source = Telemetry::TELEMETRY_SOURCE_DCS;
        profile.metadata.flight_module = QStringLiteral("TEST");
        profile.effects.axes[1].elevator_weight.active = true;
        profile.effects.axes[1].elevator_weight.total_effect_strength = 100.0f;
        // The game's own effects at half strength: every way out must leave them at zero too.
        for (int axis = 0; axis < 3; ++axis) {
            DirectXSettings& dx = profile.effects.axes[axis].direct_x;
            dx.active = true;
            dx.total_effect_strength = 100.0f;
            dx.trimmer = dx.force = dx.periodic = 50.0f;
        }
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("effect_profiles")));
        QFile file(
            dir.filePath(QStringLiteral("effect_profiles/") + ProfileStore::fileName(profile.metadata)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(ProfileJson::toDocument(profile)) > 0);
        RecordingRow row;
        row.source = Telemetry::TELEMETRY_SOURCE_DCS;
        row.aircraft = QStringLiteral("TEST");
        row.telemetry.gForce = 2.0f;
        QFile flight(dir.filePath(QStringLiteral("flight.csv")));
        QVERIFY(flight.open(QIODevice::WriteOnly));
        QByteArray text = RecordingCsv::header() + RecordingCsv::line(row);
        row.time = 600000;
        text += RecordingCsv::line(row);
        QVERIFY(flight.write(text) == text.size());
    }

    // Until both devices have been sent forces by the child's control loop.
    void waitUntilDriven(QProcess& process, QByteArray& out) {
        QTRY_VERIFY_WITH_TIMEOUT((out += process.readAllStandardOutput(),
                                  out.contains("driven joystick") && out.contains("driven rudder")),
                                 30000);
    }

    // Until the joystick's elevator pushes (the start ramp has begun).
    void waitUntilPushing(QProcess& process, const QTemporaryDir& dir, const QString& name) {
        QByteArray out;
        waitUntilDriven(process, out);
        QTRY_VERIFY_WITH_TIMEOUT(programPushedAfter(dir.filePath(name + QStringLiteral(".log")), 0), 30000);
    }

    void verifyLeftAtZero(const QString& summaryPath) {
        const QMap<QString, DeviceSummary> devices = readSummary(summaryPath);
        QCOMPARE(devices.keys(), (QStringList{QStringLiteral("joystick"), QStringLiteral("rudder")}));
        for (const DeviceSummary& d : devices) {
            QCOMPARE(d.opens, 1);
            QVERIFY(d.writes > 2); // the gains, forces, and the last word
            QCOMPARE(d.last.toHex(), zeroForceReport().toHex());
            QCOMPARE(d.gains.toHex(), gainsOffReport().toHex());
        }
    }

    // After the program is gone: the last report of each device is an all-zero one from the
    // guardian, and no report pushed after it.
    static bool guardianLetGo(const QString& logPath) {
        const QVector<LogRecord> log = readLog(logPath);
        for (int device = 0; device < 2; ++device) {
            const auto last = std::find_if(log.rbegin(), log.rend(),
                                           [device](const LogRecord& r) { return r.device == device; });
            if (last == log.rend() || last->writer != 1 || last->command != 0x20 || last->pushes()) {
                return false;
            }
        }
        return true;
    }

    // The process number of the guardian started last, 0 when none has started.
    static pid_t lastGuardian(const QTemporaryDir& dir) {
        QFile starts(dir.filePath(QStringLiteral("starts")));
        pid_t pid = 0;
        if (starts.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : starts.readAll().split('\n')) {
                if (line.startsWith("guardian ")) {
                    pid = static_cast<pid_t>(line.mid(9).toLong());
                }
            }
        }
        return pid;
    }

    int guardianStarts(const QTemporaryDir& dir) {
        QFile starts(dir.filePath(QStringLiteral("starts")));
        return starts.open(QIODevice::ReadOnly) ? int(starts.readAll().count("guardian ")) : -1;
    }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
    }

    // What a failed lock says: "already running" only when a live instance holds it.
    void lockProblems_data() {
        QTest::addColumn<QString>("setup"); // what stands in the lock's way
        QTest::addColumn<QString>("message");
        QTest::newRow("a live instance") << "held"
                                         << "Grovik Trennal is already running.";
        QTest::newRow("a directory in the lock's place") << "directory"
                                                         << "Grovik Trennal cannot start: its lock file";
        QTest::newRow("a folder that cannot be made") << "file-as-folder"
                                                      << "cannot be created.";
        QTest::newRow("a folder every user may write to") << "world-writable"
                                                          << "writable by every user";
    }
    void lockProblems() {
        QFETCH(QString, setup);
        QFETCH(QString, message);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QString path = dir.filePath(QStringLiteral("grovik-trennal.lock"));
        QLockFile holder(path);
        if (setup == QStringLiteral("held")) {
            QVERIFY(holder.tryLock(0));
        } else if (setup == QStringLiteral("directory")) {
            QVERIFY(QDir().mkpath(path));
        } else if (setup == QStringLiteral("file-as-folder")) {
            QFile file(dir.filePath(QStringLiteral("plain")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            path = dir.filePath(QStringLiteral("plain/runtime/grovik-trennal.lock"));
        } else if (setup == QStringLiteral("world-writable")) {
            QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                          QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                          QFileDevice::WriteOther | QFileDevice::ExeOther));
        }
        QLockFile lock(path);
        QString problem;
        QVERIFY(!tryInstanceLock(lock, &problem));
        QVERIFY2(problem.contains(message), qPrintable(problem));
        QCOMPARE(problem.contains(QStringLiteral("already running")), setup == QStringLiteral("held"));
        QFile::setPermissions(dir.path(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    // Problems with the files named at start-up reach the terminal (and the window), and the
    // program runs on.
    void fileProblemsReachTheTerminal_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("cfg"); // SimConnect.cfg in the data directory; empty: none
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("--replay of a file that is not a recording")
            << QStringList{"--replay", "notes.txt"} << QByteArray() << QByteArray("lacks the columns");
        QTest::newRow("--record into a missing folder") << QStringList{"--record", "missing/flight.csv"}
                                                        << QByteArray() << QByteArray("cannot be written");
        QTest::newRow("malformed SimConnect.cfg")
            << QStringList{} << QByteArray("[SimConnect]\nPort=many\n")
            << QByteArray("SimConnect.cfg: no Address; using 127.0.0.1:500");
    }
    void fileProblemsReachTheTerminal() {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, cfg);
        QFETCH(QByteArray, message);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QFile notes(dir.filePath(QStringLiteral("notes.txt")));
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.write("shopping list\nmilk\n");
        notes.close();
        if (!cfg.isEmpty()) {
            QFile file(dir.filePath(QStringLiteral("SimConnect.cfg")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(cfg);
        }
        QProcess program;
        start(program, dir, QStringLiteral("summary"), QProcessEnvironment(), arguments);
        QByteArray err;
        QTRY_VERIFY_WITH_TIMEOUT((err += program.readAllStandardError(), err.contains(message)), 30000);
        QCOMPARE(program.state(), QProcess::Running);
        QCOMPARE(::kill(static_cast<pid_t>(program.processId()), SIGTERM), 0);
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitCode(), 0);
    }

    // The program itself says what failed, and leaves the devices alone.
    void lockFailureIsReportedByTheProgram() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("grovik-trennal.lock"))));
        QProcess program;
        start(program, dir, QStringLiteral("summary"));
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitCode(), 1);
        const QByteArray err = program.readAllStandardError();
        QVERIFY2(err.contains("Grovik Trennal cannot start: its lock file") &&
                     !err.contains("already running"),
                 err.constData());
        for (const DeviceSummary& d : readSummary(dir.filePath(QStringLiteral("summary")))) {
            QCOMPARE(d.opens, 0);
        }
    }

    // Every way out of a flying program, and what the devices receive.
    void everyWayOutLeavesTheDevicesAtZero_data() {
        QTest::addColumn<int>("signal");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<int>("detail"); // the device hung or blocked, or the stop in ms
#ifdef Q_OS_UNIX
        QTest::newRow("SIGTERM") << int(SIGTERM) << Outcome::Orderly << 0;
        QTest::newRow("SIGINT") << int(SIGINT) << Outcome::Orderly << 0;
        QTest::newRow("SIGHUP") << int(SIGHUP) << Outcome::Orderly << 0;
        QTest::newRow("SIGQUIT") << int(SIGQUIT) << Outcome::Orderly << 0;
        QTest::newRow("SIGKILL") << int(SIGKILL) << Outcome::Killed << 0;
        QTest::newRow("SIGSEGV") << int(SIGSEGV) << Outcome::Killed << 0;
        QTest::newRow("SIGABRT") << int(SIGABRT) << Outcome::Killed << 0;
        QTest::newRow("SIGSTOP") << int(SIGSTOP) << Outcome::Frozen << 0;
        QTest::newRow("SIGTSTP") << int(SIGTSTP) << Outcome::Frozen << 0;
        QTest::newRow("SIGPIPE") << int(SIGPIPE) << Outcome::FliesOn << 0;
        QTest::newRow("SIGXFSZ") << int(SIGXFSZ) << Outcome::FliesOn << 0;
        QTest::newRow("lost X display") << 0 << Outcome::LostDisplay << 0;
        QTest::newRow("guardian killed, then the program") << int(SIGKILL) << Outcome::GuardianGone << 0;
        QTest::newRow("SIGTERM with the joystick's writes hung") << int(SIGTERM) << Outcome::HungAtExit << 0;
        QTest::newRow("SIGKILL with the rudder's open blocked") << int(SIGKILL) << Outcome::OpenBlocked << 1;
        QTest::newRow("SIGKILL with the joystick's open blocked")
            << int(SIGKILL) << Outcome::OpenBlocked << 0;
        QTest::newRow("stops just under the guardian's limit") << int(SIGSTOP) << Outcome::BriefStops << 90;
        QTest::newRow("stops just over the guardian's limit") << int(SIGSTOP) << Outcome::BriefStops << 130;
#endif
    }
    void everyWayOutLeavesTheDevicesAtZero() {
#ifndef Q_OS_UNIX
        QSKIP("Unix signals");
#else
        QFETCH(int, signal);
        QFETCH(Outcome, outcome);
        QFETCH(int, detail);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString summary = dir.filePath(QStringLiteral("summary"));
        const QString log = dir.filePath(QStringLiteral("summary.log"));

        QProcess display;
        QProcessEnvironment extra;
        if (outcome == Outcome::LostDisplay) {
            const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
            if (xvfb.isEmpty()) {
                QSKIP("no Xvfb");
            }
            // Xvfb picks a free display and says which on the descriptor given.
            display.start(xvfb,
                          {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                           QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                           QStringLiteral("1280x1024x24")});
            QVERIFY(display.waitForStarted(30000));
            QByteArray number;
            QTRY_VERIFY_WITH_TIMEOUT((number += display.readAllStandardOutput(), number.contains('\n')),
                                     30000);
            extra.insert(QStringLiteral("DISPLAY"), QLatin1Char(':') + QString::fromLatin1(number.trimmed()));
            extra.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        }
        const QString device = detail == 0 ? QStringLiteral("joystick") : QStringLiteral("rudder");
        const QString release = dir.filePath(QStringLiteral("release"));
        if (outcome == Outcome::HungAtExit) {
            extra.insert(QStringLiteral("TRENNAL_FAKE_HANG_WRITES"), device);
        } else if (outcome == Outcome::OpenBlocked) {
            extra.insert(QStringLiteral("TRENNAL_FAKE_HOLD_OPENS"), device);
            extra.insert(QStringLiteral("TRENNAL_FAKE_RELEASE"), release);
        }
        QProcess program;
        start(program, dir, QStringLiteral("summary"), extra);
        if (outcome == Outcome::HungAtExit) {
            QByteArray out; // a hung device never pushes: its first report is its last
            waitUntilDriven(program, out);
        } else {
            waitUntilPushing(program, dir, QStringLiteral("summary"));
        }
        const auto pid = static_cast<pid_t>(program.processId());
        QTRY_COMPARE_WITH_TIMEOUT(guardianStarts(dir), 1, 30000);

        if (outcome == Outcome::LostDisplay) {
            display.kill();
            QVERIFY(display.waitForFinished(30000));
        } else if (outcome == Outcome::GuardianGone) {
            const pid_t guardian = lastGuardian(dir);
            QVERIFY(guardian > 0);
            QCOMPARE(::kill(guardian, SIGKILL), 0);
            QTRY_COMPARE_WITH_TIMEOUT(guardianStarts(dir), 2, 30000);
            QVERIFY(lastGuardian(dir) != guardian);
            QCOMPARE(::kill(pid, signal), 0);
        } else if (outcome == Outcome::BriefStops) {
            // Each stop comes with the forces at full, after the ramp of the one before.
            for (int i = 0; i < 8; ++i) {
                QTest::qWait(2300);
                QCOMPARE(::kill(pid, SIGSTOP), 0);
                std::this_thread::sleep_for(std::chrono::milliseconds(detail));
                QCOMPARE(::kill(pid, SIGCONT), 0);
            }
            QTest::qWait(500);
            QCOMPARE(::kill(pid, SIGTERM), 0);
        } else {
            QCOMPARE(::kill(pid, signal), 0);
        }
        switch (outcome) {
        case Outcome::Orderly:
            QVERIFY(program.waitForFinished(30000));
            QCOMPARE(program.exitStatus(), QProcess::NormalExit);
            QCOMPARE(program.exitCode(), 0);
            verifyLeftAtZero(summary);
            // The guardian left without a word to the devices.
            for (const LogRecord& r : readLog(log)) {
                QCOMPARE(r.writer, 0);
            }
            return;
        case Outcome::Killed:
        case Outcome::GuardianGone:
            QVERIFY(program.waitForFinished(30000));
            QCOMPARE(program.exitStatus(), QProcess::CrashExit);
            // The log first, then the summary: both show the guardian's reports in the end.
            QTRY_VERIFY_WITH_TIMEOUT(guardianLetGo(log) && bothAtZero(summary), 30000);
            return;
        case Outcome::HungAtExit:
            // Not waited for past a second; the guardian zeroes the device once it answers.
            QVERIFY(program.waitForFinished(30000));
            QCOMPARE(program.exitStatus(), QProcess::NormalExit);
            QCOMPARE(program.exitCode(), 0);
            QTRY_VERIFY_WITH_TIMEOUT(guardianLetGo(log) && bothAtZero(summary), 30000);
            return;
        case Outcome::OpenBlocked: {
            QVERIFY(program.waitForFinished(30000));
            const int other = 1 - detail;
            const auto guardianZeroed = [&log](int d) {
                const QVector<LogRecord> records = readLog(log);
                return std::any_of(records.begin(), records.end(), [d](const LogRecord& r) {
                    return r.writer == 1 && r.device == d && r.command == 0x20 && !r.pushes();
                });
            };
            // The device that answers is let go of while the other's open still blocks.
            QTRY_VERIFY_WITH_TIMEOUT(guardianZeroed(other), 30000);
            QVERIFY(!guardianZeroed(detail));
            QFile released(release);
            QVERIFY(released.open(QIODevice::WriteOnly));
            released.close();
            QTRY_VERIFY_WITH_TIMEOUT(guardianLetGo(log) && bothAtZero(summary), 30000);
            return;
        }
        case Outcome::BriefStops: {
            QVERIFY(program.waitForFinished(30000));
            QCOMPARE(program.exitCode(), 0);
            verifyLeftAtZero(summary);
            // Each zero of the guardian is followed by the program's ramp from zero, never by its
            // elevator weight at full (-20).
            const QVector<LogRecord> records = readLog(log);
            int letGos = 0;
            for (auto r = records.begin(); r != records.end(); ++r) {
                if (r->writer != 1 || r->device != 0 || r->command != 0x20) {
                    continue;
                }
                ++letGos;
                const auto next = std::find_if(r, records.end(), [](const LogRecord& n) {
                    return n.writer == 0 && n.device == 0 && n.command == 0x20;
                });
                QVERIFY(next != records.end());
                QVERIFY2(std::abs(next->forceY) < 2.0f, qPrintable(QString::number(next->forceY)));
            }
            // Over its limit the guardian lets go at least now and then; under it, perhaps not.
            QVERIFY(detail < 100 || letGos > 0);
            return;
        }
        case Outcome::LostDisplay: {
            QVERIFY(program.waitForFinished(30000));
            QTRY_VERIFY_WITH_TIMEOUT(bothAtZero(summary), 30000);
            // The program let go on its way out, before the guardian made sure of it.
            const QVector<LogRecord> records = readLog(log);
            const auto last = std::find_if(records.rbegin(), records.rend(), [](const LogRecord& r) {
                return r.writer == 0 && r.device == 0 && r.command == 0x20;
            });
            QVERIFY(last != records.rend());
            QVERIFY(!last->pushes());
            QTRY_VERIFY_WITH_TIMEOUT(guardianLetGo(log), 30000);
            return;
        }
        case Outcome::Frozen: {
            QTRY_COMPARE_WITH_TIMEOUT(processState(pid), 'T', 30000);
            QTRY_VERIFY_WITH_TIMEOUT(bothAtZero(summary), 30000);
            const qint64 continued = steadyNs();
            QCOMPARE(::kill(pid, SIGCONT), 0);
            QTRY_VERIFY_WITH_TIMEOUT(programPushedAfter(log, continued), 30000);
            QCOMPARE(::kill(pid, SIGTERM), 0);
            QVERIFY(program.waitForFinished(30000));
            QCOMPARE(program.exitCode(), 0);
            verifyLeftAtZero(summary);
            // Nothing pushed while it was stopped. Ctrl+Z lets go before the stop, so the
            // program's own last report before it is a zero one; SIGSTOP cannot be caught,
            // and the guardian's report is the first zero.
            const QVector<LogRecord> records = readLog(log);
            const auto guardian = std::find_if(records.begin(), records.end(),
                                               [](const LogRecord& r) { return r.writer == 1; });
            QVERIFY(guardian != records.end());
            QVERIFY(std::none_of(guardian, records.end(),
                                 [continued](const LogRecord& r) { return r.ns < continued && r.pushes(); }));
            const auto beforeStop =
                std::find_if(std::make_reverse_iterator(guardian), records.rend(), [](const LogRecord& r) {
                    return r.writer == 0 && r.device == 0 && r.command == 0x20;
                });
            QVERIFY(beforeStop != records.rend());
            QCOMPARE(beforeStop->pushes(), signal == SIGSTOP);
            return;
        }
        case Outcome::FliesOn: {
            const qint64 signalled = steadyNs();
            QTRY_VERIFY_WITH_TIMEOUT(programPushedAfter(log, signalled), 30000);
            QCOMPARE(program.state(), QProcess::Running);
            QCOMPARE(::kill(pid, SIGTERM), 0);
            QVERIFY(program.waitForFinished(30000));
            QCOMPARE(program.exitCode(), 0);
            verifyLeftAtZero(summary);
            return;
        }
        }
#endif
    }

    // A device that takes no more reports holds up neither the other one nor the way out: the
    // rudder is left at zero and the program exits 0 while the joystick's write still hangs.
    void hungDeviceDoesNotHoldTheShutDown() {
#ifndef Q_OS_UNIX
        QSKIP("Unix signals");
#else
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QProcessEnvironment hang;
        hang.insert(QStringLiteral("TRENNAL_FAKE_HANG_WRITES"), QStringLiteral("joystick"));
        QProcess program;
        start(program, dir, QStringLiteral("summary"), hang);
        QByteArray out;
        waitUntilDriven(program, out);
        QCOMPARE(::kill(static_cast<pid_t>(program.processId()), SIGTERM), 0);
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        // The program's own reports to the rudder end with its zero (the guardian's follow, as
        // the joystick never confirmed its own).
        QVector<LogRecord> rudder = readLog(dir.filePath(QStringLiteral("summary.log")));
        rudder.removeIf([](const LogRecord& r) { return r.writer != 0 || r.device != 1; });
        QVERIFY(rudder.size() > 2);
        QVERIFY(rudder.back().command == 0x20 && !rudder.back().pushes());
        // The gains at zero before it: the spring gain, 0.5 in flight.
        QVERIFY(rudder[rudder.size() - 2].command == 0x21 && rudder[rudder.size() - 2].forceX == 0.0f);
#endif
    }

    // A second start while one runs opens nothing and starts no guardian; a lock left by a
    // killed instance does not keep the next one from starting.
    void oneInstanceAtATime_data() {
        QTest::addColumn<bool>("firstCrashes");
        QTest::newRow("first still running") << false;
        QTest::newRow("first killed") << true;
    }
    void oneInstanceAtATime() {
#ifndef Q_OS_UNIX
        QSKIP("Unix signals");
#else
        QFETCH(bool, firstCrashes);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QProcess first;
        start(first, dir, QStringLiteral("first"));
        QByteArray out;
        waitUntilDriven(first, out);
        QTRY_COMPARE_WITH_TIMEOUT(guardianStarts(dir), 1, 30000);
        if (firstCrashes) {
            first.kill();
            QVERIFY(first.waitForFinished(30000));
            QCOMPARE(first.exitStatus(), QProcess::CrashExit);
        }

        QProcess second;
        start(second, dir, QStringLiteral("second"));
        if (firstCrashes) {
            QByteArray secondOut;
            waitUntilDriven(second, secondOut);
            QTRY_COMPARE_WITH_TIMEOUT(guardianStarts(dir), 2, 30000);
            QCOMPARE(::kill(static_cast<pid_t>(second.processId()), SIGTERM), 0);
            QVERIFY(second.waitForFinished(30000));
            QCOMPARE(second.exitCode(), 0);
            verifyLeftAtZero(dir.filePath(QStringLiteral("second")));
            return;
        }
        QVERIFY(second.waitForFinished(30000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        // The running one shows its window at the second's request; that is a success.
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(second.readAllStandardError().contains(
            "Grovik Trennal is already running; its window was brought to the front."));
        const QMap<QString, DeviceSummary> devices = readSummary(dir.filePath(QStringLiteral("second")));
        QCOMPARE(devices.size(), 2);
        for (const DeviceSummary& d : devices) {
            QCOMPARE(d.opens, 0);
            QCOMPARE(d.writes, 0L);
        }
        QCOMPARE(guardianStarts(dir), 1);
        // The first one drives on, undisturbed, and ends as usual.
        QCOMPARE(first.state(), QProcess::Running);
        QCOMPARE(::kill(static_cast<pid_t>(first.processId()), SIGTERM), 0);
        QVERIFY(first.waitForFinished(30000));
        QCOMPARE(first.exitCode(), 0);
        verifyLeftAtZero(dir.filePath(QStringLiteral("first")));
#endif
    }
};

QTEST_GUILESS_MAIN(TestProgramInstance)
#include "tst_programinstance.moc"
