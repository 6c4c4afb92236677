#include "app/instancelock.h"

#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/types.h>
#endif

namespace {

// The last report of each emulated device, as the child wrote it at exit.
struct DeviceSummary {
    int opens = -1;
    long writes = -1;
    QByteArray last;
};

QMap<QString, DeviceSummary> readSummary(const QString& path) {
    QMap<QString, DeviceSummary> devices;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return devices;
    }
    static const QRegularExpression line(
        QStringLiteral("^(\\w+) opens (\\d+) writes (\\d+) last ([0-9a-f]+)$"));
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QRegularExpressionMatch m = line.match(QString::fromLatin1(raw));
        if (m.hasMatch()) {
            devices[m.captured(1)] = {m.captured(2).toInt(), m.captured(3).toLong(),
                                      QByteArray::fromHex(m.captured(4).toLatin1())};
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

} // namespace

// The program run as a child process with the emulated devices (the same main() as the real
// one): every way it is told to end from outside leaves the devices at zero force, and a
// second instance never touches them.
class TestProgramInstance : public QObject {
    Q_OBJECT

    // Starts the program in `dir` (its working and runtime directory: profiles, lock file)
    // with both devices plugged; its summary goes to dir/name.
    void start(QProcess& process, const QTemporaryDir& dir, const QString& name,
               const QStringList& arguments = {}) {
        // Profiles here make this the program's data directory, never the user's own.
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("effect_profiles")));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
        env.insert(QStringLiteral("TRENNAL_FAKE_SUMMARY"), dir.filePath(name));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir.path());
        process.start(QStringLiteral(TRENNAL_FAKE_PROGRAM), arguments);
        QVERIFY(process.waitForStarted(30000));
    }

    // Until both devices have been sent forces by the child's control loop.
    void waitUntilDriven(QProcess& process, QByteArray& out) {
        QTRY_VERIFY_WITH_TIMEOUT((out += process.readAllStandardOutput(),
                                  out.contains("driven joystick") && out.contains("driven rudder")),
                                 30000);
    }

    void verifyLeftAtZero(const QString& summaryPath) {
        const QMap<QString, DeviceSummary> devices = readSummary(summaryPath);
        QCOMPARE(devices.keys(), (QStringList{QStringLiteral("joystick"), QStringLiteral("rudder")}));
        for (const DeviceSummary& d : devices) {
            QCOMPARE(d.opens, 1);
            QVERIFY(d.writes > 2); // the gains, forces, and the last word
            QCOMPARE(d.last.toHex(), zeroForceReport().toHex());
        }
    }

private slots:
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
        start(program, dir, QStringLiteral("summary"), arguments);
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

    void signalLeavesTheDevicesAtZeroAndExitsWith0_data() {
        QTest::addColumn<int>("signal");
#ifdef Q_OS_UNIX
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
#endif
    }
    void signalLeavesTheDevicesAtZeroAndExitsWith0() {
#ifndef Q_OS_UNIX
        QSKIP("Unix signals");
#else
        QFETCH(int, signal);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QProcess program;
        start(program, dir, QStringLiteral("summary"));
        QByteArray out;
        waitUntilDriven(program, out);
        QCOMPARE(::kill(static_cast<pid_t>(program.processId()), signal), 0);
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        verifyLeftAtZero(dir.filePath(QStringLiteral("summary")));
#endif
    }

    // A second start while one runs opens nothing; a lock left by a killed instance does not
    // keep the next one from starting.
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
            QCOMPARE(::kill(static_cast<pid_t>(second.processId()), SIGTERM), 0);
            QVERIFY(second.waitForFinished(30000));
            QCOMPARE(second.exitCode(), 0);
            verifyLeftAtZero(dir.filePath(QStringLiteral("second")));
            return;
        }
        QVERIFY(second.waitForFinished(30000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(second.readAllStandardError().contains("Grovik Trennal is already running."));
        const QMap<QString, DeviceSummary> devices = readSummary(dir.filePath(QStringLiteral("second")));
        QCOMPARE(devices.size(), 2);
        for (const DeviceSummary& d : devices) {
            QCOMPARE(d.opens, 0);
            QCOMPARE(d.writes, 0L);
        }
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
