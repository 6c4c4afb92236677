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
    // `hung` names a device whose writes hang once it has been driven.
    void start(QProcess& process, const QTemporaryDir& dir, const QString& name,
               const QString& hung = QString()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!hung.isEmpty()) {
            env.insert(QStringLiteral("TRENNAL_FAKE_HANG_WRITES"), hung);
        }
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
        env.insert(QStringLiteral("TRENNAL_FAKE_SUMMARY"), dir.filePath(name));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir.path());
        process.start(QStringLiteral(TRENNAL_FAKE_PROGRAM), QStringList());
        QVERIFY(process.waitForStarted(30000));
    }

    // Until both devices have been sent forces by the child's control loop.
    void waitUntilDriven(QProcess& process, QByteArray& out) {
        QTRY_VERIFY_WITH_TIMEOUT((out += process.readAllStandardOutput(),
                                  out.contains("driven joystick") && out.contains("driven rudder")),
                                 30000);
    }

    // Every device but a `hung` one (which took no report since it hung) ends at zero.
    void verifyLeftAtZero(const QString& summaryPath, const QString& hung = QString()) {
        const QMap<QString, DeviceSummary> devices = readSummary(summaryPath);
        QCOMPARE(devices.keys(), (QStringList{QStringLiteral("joystick"), QStringLiteral("rudder")}));
        for (auto d = devices.cbegin(); d != devices.cend(); ++d) {
            QCOMPARE(d->opens, 1);
            if (d.key() == hung) {
                continue;
            }
            QVERIFY(d->writes > 2); // the gains, forces, and the last word
            QCOMPARE(d->last.toHex(), zeroForceReport().toHex());
        }
    }

private slots:
    void signalLeavesTheDevicesAtZeroAndExitsWith0_data() {
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("hung");
#ifdef Q_OS_UNIX
        QTest::newRow("SIGTERM") << int(SIGTERM) << QString();
        QTest::newRow("SIGINT") << int(SIGINT) << QString();
        QTest::newRow("SIGHUP") << int(SIGHUP) << QString();
        // The shut-down gives up on a device that takes no more reports.
        QTest::newRow("SIGTERM, joystick's writes hung") << int(SIGTERM) << QStringLiteral("joystick");
#endif
    }
    void signalLeavesTheDevicesAtZeroAndExitsWith0() {
#ifndef Q_OS_UNIX
        QSKIP("Unix signals");
#else
        QFETCH(int, signal);
        QFETCH(QString, hung);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QProcess program;
        start(program, dir, QStringLiteral("summary"), hung);
        QByteArray out;
        waitUntilDriven(program, out);
        QCOMPARE(::kill(static_cast<pid_t>(program.processId()), signal), 0);
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        verifyLeftAtZero(dir.filePath(QStringLiteral("summary")), hung);
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
