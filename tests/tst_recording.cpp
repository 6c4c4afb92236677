// Flight recordings: the file reader on good and broken files, the recorder (also when the
// disk fills up), the replay's stream, and the whole round trip through the control loop.

#include "engine/mainbackgroundthread.h"
#include "records/metatypes.h"
#include "support/fakehid.h"
#include "support/loophelpers.h"
#include "telemetry/dcsdatagram.h"
#include "telemetry/flightrecorder.h"
#include "telemetry/recordingcsv.h"
#include "telemetry/telemetryreplay.h"

#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>

#include <csignal>
#include <sys/resource.h>

namespace {

const QByteArray kHeader = RecordingCsv::header();

// A header and one row for every column, with one field replaced.
QByteArray rowWith(int column, const QByteArray& value) {
    QList<QByteArray> fields{"0", "2", "F-16C", "350", "-1.5", "0", "4", "0.5", "10",   "1.2", "80",
                             "0", "0", "0",     "0",   "0",    "0", "0", "-3",  "12.5", "0"};
    fields[column] = value;
    return fields.join(',') + '\n';
}

RecordingRow row(qint64 time, Telemetry::Source source, const QString& aircraft, float airspeed, float aoa) {
    RecordingRow r;
    r.time = time;
    r.source = source;
    r.aircraft = aircraft;
    r.telemetry.airspeed = airspeed;
    r.telemetry.aoa = aoa;
    return r;
}

// Everything a replay says, in order, as short texts.
QStringList* logReplay(TelemetryReplay* replay, QStringList* log) {
    QObject::connect(replay, &TelemetryReplay::telemetrySourceChanged, replay,
                     [log](Telemetry::Source s, const QString& name) {
                         *log << QStringLiteral("source %1 %2").arg(int(s)).arg(name);
                     });
    QObject::connect(replay, &TelemetryReplay::telemetryEnded, replay, [log]() { *log << "ended"; });
    QObject::connect(replay, &TelemetryReplay::msfsTelemetryChanged, replay, [log](const MSFSTelemetry& t) {
        *log << QStringLiteral("msfs %1").arg(double(t.airspeed));
    });
    QObject::connect(replay, &TelemetryReplay::dcsTelemetryChanged, replay, [log](const DCSTelemetry& t) {
        *log << QStringLiteral("dcs %1").arg(double(t.airspeed));
    });
    QObject::connect(
        replay, &TelemetryReplay::condor2TelemetryChanged, replay,
        [log](const Condor2Telemetry& t) { *log << QStringLiteral("condor %1").arg(double(t.airspeed)); });
    return log;
}

// The effects whose forces a replay must reproduce exactly: everything but the oscillators.
EffectsSettings steadyEffects() {
    EffectsSettings s;
    s.resetToDefaults();
    for (int axis = 0; axis < 3; ++axis) {
        AirflowSpringSettings& spring = s.axes[axis].airflow_spring;
        spring.active = true;
        spring.total_effect_strength = 80.0f;
        spring.airspeed_force = 60.0f;
        spring.thrust_force = 40.0f;
        spring.local_aoa_influence_strength = 50.0f;
        spring.setAttenuationAirspeeds(300.0f, 700.0f);
    }
    s.axes[1].elevator_weight.active = true;
    s.axes[1].elevator_weight.total_effect_strength = 30.0f;
    return s;
}

// A scripted flight: speeding up, pulling, with thrust and a side slip, then landing.
DCSTelemetry scripted(int i) {
    const float x = static_cast<float>(i);
    DCSTelemetry t;
    t.airspeed = 120.0f + 3.7f * x + 0.123457f * std::sin(x);
    t.aoa = 2.0f + 0.131313f * static_cast<float>(i % 40) + 0.01f * std::cos(x);
    t.sideslip = -1.0f + 0.0717f * static_cast<float>(i % 17);
    t.gForce = 1.0f + 0.0111f * x + 0.001f * std::sin(3.0f * x);
    t.propAirflow = static_cast<float>((i * 7) % 100) + 0.3333f;
    t.verticalSpeed = -2.5f + 0.0101f * x;
    t.onGround = i > 150;
    return t;
}

} // namespace

class TestRecording : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { registerMetaTypes(); }
    void init() { FakeHid::reset(); }

    void headerNamesEveryTelemetryFieldInOrder() {
        QCOMPARE(kHeader, QByteArray("time_ms,source,aircraft,airspeed,verticalSpeed,aileronAoa,aoa,sideslip,"
                                     "rollRate,gForce,propAirflow,trimmerRoll,trimmerPitch,trimmerYaw,gear,"
                                     "airbrake,flaps,onGround,force_ailerons,force_elevator,force_rudder\n"));
    }

    void lineReadsBackAsTheSameFloats_data() {
        QTest::addColumn<float>("value");
        QTest::addColumn<QString>("aircraft");
        QTest::newRow("plain") << 350.25f << QStringLiteral("F-16C_50");
        QTest::newRow("third") << 1.0f / 3.0f << QStringLiteral("Yak-52");
        QTest::newRow("tiny") << 1.17549435e-38f << QStringLiteral("A, B");
        QTest::newRow("huge") << -3.40282347e38f << QStringLiteral("say \"hi\"");
        QTest::newRow("negative zero") << -0.0f << QStringLiteral(" padded ");
        QTest::newRow("unicode name") << 12.5f << QStringLiteral("Як-52 «Ü»");
    }
    void lineReadsBackAsTheSameFloats() {
        QFETCH(float, value);
        QFETCH(QString, aircraft);
        RecordingRow r = row(1234, Telemetry::TELEMETRY_SOURCE_IL2, aircraft, value, -value);
        r.telemetry.flaps = value * 0.5f;
        r.telemetry.onGround = true;
        r.force[0] = value;
        r.force[2] = -value / 7.0f;
        const RecordingFile file = RecordingCsv::parse(kHeader + RecordingCsv::line(r));
        QVERIFY2(file.ok(), qPrintable(file.error));
        QCOMPARE(file.rows.size(), 1);
        const RecordingRow& back = file.rows.first();
        QCOMPARE(back.time, qint64(0)); // relative to the first row
        QCOMPARE(back.source, Telemetry::TELEMETRY_SOURCE_IL2);
        QCOMPARE(back.aircraft, aircraft);
        QCOMPARE(back.telemetry.airspeed, r.telemetry.airspeed);
        QCOMPARE(back.telemetry.aoa, r.telemetry.aoa);
        QCOMPARE(back.telemetry.flaps, r.telemetry.flaps);
        QCOMPARE(back.telemetry.onGround, true);
        QCOMPARE(back.force[0], r.force[0]);
        QCOMPARE(back.force[2], r.force[2]);
    }

    void nonFiniteValuesAreWrittenAsZero() {
        RecordingRow r = row(0, Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("x"),
                             std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity());
        const RecordingFile file = RecordingCsv::parse(kHeader + RecordingCsv::line(r));
        QVERIFY2(file.ok(), qPrintable(file.error));
        QCOMPARE(file.rows.first().telemetry.airspeed, 0.0f);
        QCOMPARE(file.rows.first().telemetry.aoa, 0.0f);
    }

    void readerAcceptsVariants_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("aircraft");
        QTest::addColumn<float>("airspeed");
        QTest::newRow("as written") << kHeader + rowWith(0, "500") << 1 << "F-16C" << 350.0f;
        QTest::newRow("CRLF, no final line break")
            << QByteArray(kHeader).replace("\n", "\r\n") + rowWith(0, "5").replace("\n", "") << 1 << "F-16C"
            << 350.0f;
        QTest::newRow("blank lines") << kHeader + "\n" + rowWith(0, "0") + "\n\n" + rowWith(0, "20") << 2
                                     << "F-16C" << 350.0f;
        QTest::newRow("quoted name with comma and quote")
            << kHeader + rowWith(2, "\"Spitfire, \"\"Mk IX\"\"\"") << 1 << "Spitfire, \"Mk IX\"" << 350.0f;
        QTest::newRow("byte order mark")
            << QByteArray("\xEF\xBB\xBF") + kHeader + rowWith(0, "7") << 1 << "F-16C" << 350.0f;
        QTest::newRow("onGround as word") << kHeader + rowWith(17, "true") << 1 << "F-16C" << 350.0f;
        QTest::newRow("spaces around numbers") << kHeader + rowWith(3, " 351 ") << 1 << "F-16C" << 351.0f;
        QTest::newRow("X-Plane") << kHeader + rowWith(1, "6") << 1 << "F-16C" << 350.0f;
        QTest::newRow("extra column, columns moved")
            << QByteArray("note,") + QByteArray(kHeader).replace("time_ms,source", "source,time_ms") +
                   "hello," + rowWith(0, "0").replace("0,2,", "2,0,")
            << 1 << "F-16C" << 350.0f;
    }
    void readerAcceptsVariants() {
        QFETCH(QByteArray, text);
        QFETCH(int, rows);
        QFETCH(QString, aircraft);
        QFETCH(float, airspeed);
        const RecordingFile file = RecordingCsv::parse(text);
        QVERIFY2(file.ok(), qPrintable(file.error));
        QCOMPARE(file.rows.size(), rows);
        QCOMPARE(file.rows.first().aircraft, aircraft);
        QCOMPARE(file.rows.first().telemetry.airspeed, airspeed);
        QCOMPARE(file.rows.first().time, qint64(0));
    }

    void readerRejectsBrokenFiles_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error");
        QTest::newRow("empty") << QByteArray() << "The recording is empty.";
        QTest::newRow("header only") << kHeader << "The recording has no rows.";
        QTest::newRow("not a recording")
            << QByteArray("hello world\n1,2,3\n") << "The recording lacks the columns time_ms, source";
        QTest::newRow("one column missing")
            << QByteArray(kHeader).replace(",aoa,", ",angle,") + rowWith(0, "0")
            << "The recording lacks the column aoa.";
        QTest::newRow("forces missing") << QByteArray(kHeader).replace(",force_ailerons,force_elevator", "")
                                        << "lacks the columns force_ailerons, force_elevator.";
        QTest::newRow("text in a number")
            << kHeader + rowWith(3, "fast") << "Line 2: airspeed is not a number: \"fast\".";
        QTest::newRow("empty number") << kHeader + rowWith(6, "") << "Line 2: aoa is not a number";
        QTest::newRow("nan") << kHeader + rowWith(9, "nan") << "Line 2: gForce is not a number";
        QTest::newRow("infinity") << kHeader + rowWith(19, "inf") << "Line 2: force_elevator is not a number";
        QTest::newRow("beyond float")
            << kHeader + rowWith(4, "1e39") << "Line 2: verticalSpeed is not a number";
        QTest::newRow("hex") << kHeader + rowWith(18, "0x10") << "Line 2: force_ailerons is not a number";
        QTest::newRow("time in text") << kHeader + rowWith(0, "noon") << "Line 2: time_ms is not a number";
        QTest::newRow("negative time") << kHeader + rowWith(0, "-5") << "Line 2: time_ms is not a number";
        QTest::newRow("time backwards")
            << kHeader + rowWith(0, "50") + rowWith(0, "40") << "Line 3: time_ms goes back from 50 to 40.";
        QTest::newRow("source not a game") << kHeader + rowWith(1, "9") << "Line 2: source 9 is not a game.";
        QTest::newRow("source none") << kHeader + rowWith(1, "0") << "Line 2: source 0 is not a game.";
        QTest::newRow("source as word") << kHeader + rowWith(1, "DCS") << "Line 2: source is not a number";
        QTest::newRow("onGround maybe")
            << kHeader + rowWith(17, "maybe") << "Line 2: onGround is neither 0 nor 1: \"maybe\".";
        QTest::newRow("short row") << kHeader + "0,2,F-16C,350\n"
                                   << "Line 2: 4 fields where the header names 21.";
        QTest::newRow("long row") << kHeader + rowWith(20, "0,7")
                                  << "Line 2: 22 fields where the header names 21.";
        QTest::newRow("unterminated quote")
            << kHeader + rowWith(2, "\"F-16C") << "Line 2: unterminated quote.";
        QTest::newRow("text after quote") << kHeader + rowWith(2, "\"F\"16") << "Line 2: unterminated quote.";
        QTest::newRow("overlong line") << kHeader + QByteArray(10 * 1024 * 1024, 'x') + "\n"
                                       << "Line 2: longer than 4096 bytes.";
        QTest::newRow("overlong header")
            << QByteArray(5000, ',') << "Line 1: the header is longer than 4096 bytes.";
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe,\x01\n\x00\x00", 8)
                                << "The recording lacks the columns";
    }
    void readerRejectsBrokenFiles() {
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        const RecordingFile file = RecordingCsv::parse(text);
        QVERIFY(!file.ok());
        QVERIFY2(file.error.contains(error), qPrintable(file.error));
        QVERIFY(file.rows.isEmpty());
    }

    // A file of more lines than a recording may have ends at the limit, not at the memory's end.
    void readerStopsAtTheRowLimit() {
        QByteArray text = kHeader + rowWith(0, "0");
        text += QByteArray(RecordingCsv::MaxRows + 10, '\n');
        const RecordingFile file = RecordingCsv::parse(text);
        QCOMPARE(file.error, QStringLiteral("The recording has more than 1000000 rows."));
        QVERIFY(file.rows.isEmpty());
    }

    void defaultFileNames_data() {
        QTest::addColumn<QString>("aircraft");
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << "F-16C_50"
                               << "2026-03-04_05-06-07_F-16C_50.csv";
        QTest::newRow("spaces and slashes") << "Bf 109 G-6/AS"
                                            << "2026-03-04_05-06-07_Bf_109_G-6_AS.csv";
        QTest::newRow("path escape") << "../../etc"
                                     << "2026-03-04_05-06-07__etc.csv";
        QTest::newRow("none") << ""
                              << "2026-03-04_05-06-07.csv";
    }
    void defaultFileNames() {
        QFETCH(QString, aircraft);
        QFETCH(QString, name);
        const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 7));
        QCOMPARE(FlightRecorder::defaultFileName(when, aircraft), name);
    }

    void recorderWritesRowsWithTheStreamsAircraft() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("flight.csv"));
        FlightRecorder recorder;
        QSignalSpy stopped(&recorder, &FlightRecorder::recordingStopped);
        recorder.writeRow(row(10, Telemetry::TELEMETRY_SOURCE_DCS, QString(), 1.0f, 0.0f)); // not recording
        recorder.changeSource(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("F-16C"));
        recorder.start(path);
        QVERIFY(recorder.isRecording());
        recorder.writeRow(row(5000, Telemetry::TELEMETRY_SOURCE_DCS, QString(), 100.0f, 1.0f));
        recorder.writeRow(row(5020, Telemetry::TELEMETRY_SOURCE_DCS, QString(), 110.0f, 2.0f));
        recorder.changeSource(Telemetry::TELEMETRY_SOURCE_IL2, QStringLiteral("Yak-1"));
        recorder.writeRow(row(7000, Telemetry::TELEMETRY_SOURCE_IL2, QString(), 120.0f, 3.0f));
        recorder.stop();
        QVERIFY(!recorder.isRecording());
        QCOMPARE(stopped.size(), 1);
        QCOMPARE(stopped.first().at(1).toInt(), 3);
        QVERIFY(stopped.first().at(2).toString().isEmpty());

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const RecordingFile read = RecordingCsv::parse(file);
        QVERIFY2(read.ok(), qPrintable(read.error));
        QCOMPARE(read.rows.size(), 3);
        QCOMPARE(read.rows[0].time, qint64(0));
        QCOMPARE(read.rows[1].time, qint64(20));
        QCOMPARE(read.rows[2].time, qint64(2000));
        QCOMPARE(read.rows[1].aircraft, QStringLiteral("F-16C"));
        QCOMPARE(read.rows[2].aircraft, QStringLiteral("Yak-1"));
        QCOMPARE(read.rows[2].source, Telemetry::TELEMETRY_SOURCE_IL2);
        QCOMPARE(read.rows[1].telemetry.aoa, 2.0f);
    }

    void recorderReportsAnUnwritablePath() {
        FlightRecorder recorder;
        QSignalSpy failed(&recorder, &FlightRecorder::recordingFailed);
        recorder.start(QStringLiteral("/nonexistent-directory/x.csv"));
        QVERIFY(!recorder.isRecording());
        QCOMPARE(failed.size(), 1);
        QVERIFY(failed.first().at(0).toString().contains(QStringLiteral("cannot be written")));
    }

    // A disk that fills up mid-flight: the file-size limit makes the kernel refuse writes past
    // a size, as a full disk would. The recording ends with a message, and the file holds every
    // whole row written before, no partial line.
    void fullDiskEndsTheRecordingKeepingWhatWasWritten() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("full.csv"));
        const RecordingRow sample = row(0, Telemetry::TELEMETRY_SOURCE_MSFS, QString(), 123.456f, 4.5f);
        const qint64 lineSize = RecordingCsv::line(sample).size();
        // Room for the header, five rows and half a row.
        const rlim_t limit = static_cast<rlim_t>(kHeader.size() + 5 * lineSize + lineSize / 2);

        FlightRecorder recorder;
        QSignalSpy stopped(&recorder, &FlightRecorder::recordingStopped);
        recorder.start(path);
        QVERIFY(recorder.isRecording());

        struct rlimit old {};
        getrlimit(RLIMIT_FSIZE, &old);
        void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = limit;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        QByteArray whole = kHeader;
        for (int i = 0; i < 10; ++i) {
            const RecordingRow r = row(i * 20, Telemetry::TELEMETRY_SOURCE_MSFS, QString(), 123.456f, 4.5f);
            recorder.writeRow(r);
            if (i < 5) {
                whole += RecordingCsv::line(r);
            }
        }
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);

        QVERIFY(!recorder.isRecording());
        QCOMPARE(stopped.size(), 1);
        QCOMPARE(stopped.first().at(1).toInt(), 5);
        const QString message = stopped.first().at(2).toString();
        QVERIFY2(message.contains(QStringLiteral("Recording ended")) &&
                     message.contains(QStringLiteral("The 5 rows written before are kept")),
                 qPrintable(message));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), whole);
        file.seek(0);
        const RecordingFile read = RecordingCsv::parse(file);
        QVERIFY2(read.ok(), qPrintable(read.error));
        QCOMPARE(read.rows.size(), 5);
    }

    // What the replay emits as its clock runs, pauses, seeks and loops.
    void replayStream_data() {
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<QStringList>("expected");
        // Rows: DCS F-16C at 0 (100), 40 (140), 80 (180); Condor ASK 21 at 120 (200), 160 (220).
        QTest::newRow("plays to the end")
            << QStringList{"step 0", "step 39", "step 40", "step 200"}
            << QStringList{"source 2 F-16C", "dcs 100",    "dcs 140",  "dcs 180", "source 5 ASK 21",
                           "condor 200",     "condor 220", "condor 0", "ended",   "stopped"};
        QTest::newRow("stop ends the stream as a game does")
            << QStringList{"step 0", "step 45", "stop", "step 200"}
            << QStringList{"source 2 F-16C", "dcs 100", "dcs 140", "dcs 0", "ended", "stopped"};
        QTest::newRow("pause holds the position")
            << QStringList{"step 0", "pause", "step 100", "resume", "step 39", "step 40"}
            << QStringList{"source 2 F-16C", "dcs 100", "dcs 140"};
        QTest::newRow("seek sends the row in force there")
            << QStringList{"step 0", "seek 90", "step 100", "step 130"}
            << QStringList{"source 2 F-16C", "dcs 100", "dcs 180", "source 5 ASK 21", "condor 200"};
        QTest::newRow("seek back re-announces the first aircraft")
            << QStringList{"step 0", "step 130", "seek 10"}
            << QStringList{"source 2 F-16C",  "dcs 100",    "dcs 140",        "dcs 180",
                           "source 5 ASK 21", "condor 200", "source 2 F-16C", "dcs 100"};
        QTest::newRow("loop starts again without ending")
            << QStringList{"loop", "step 0", "step 160", "step 161", "step 165"}
            << QStringList{"source 2 F-16C", "dcs 100",    "dcs 140",        "dcs 180", "source 5 ASK 21",
                           "condor 200",     "condor 220", "source 2 F-16C", "dcs 100"};
    }
    void replayStream() {
        QFETCH(QStringList, script);
        QFETCH(QStringList, expected);
        qint64 now = 1000;
        TelemetryReplay replay;
        replay.setClock([&now]() { return now; });
        QStringList log;
        logReplay(&replay, &log);
        connect(&replay, &TelemetryReplay::replayStopped, this, [&log]() { log << "stopped"; });
        const QVector<RecordingRow> rows{row(0, Telemetry::TELEMETRY_SOURCE_DCS, "F-16C", 100, 0),
                                         row(40, Telemetry::TELEMETRY_SOURCE_DCS, "F-16C", 140, 0),
                                         row(80, Telemetry::TELEMETRY_SOURCE_DCS, "F-16C", 180, 0),
                                         row(120, Telemetry::TELEMETRY_SOURCE_CONDOR, "ASK 21", 200, 0),
                                         row(160, Telemetry::TELEMETRY_SOURCE_CONDOR, "ASK 21", 220, 0)};
        qint64 started = now;
        for (const QString& line : script) {
            const QStringList words = line.split(QLatin1Char(' '));
            if (words[0] == "step") {
                now = started + words[1].toLongLong();
                if (!replay.isRunning()) {
                    replay.play(rows, QStringLiteral("test"));
                    started = now;
                } else {
                    replay.step();
                }
            } else if (words[0] == "stop") {
                replay.stop();
            } else if (words[0] == "pause") {
                replay.setPaused(true);
            } else if (words[0] == "resume") {
                // The paused time does not count.
                replay.setPaused(false);
                started = now - replay.position();
            } else if (words[0] == "seek") {
                replay.seek(words[1].toLongLong());
                started = now - words[1].toLongLong();
            } else if (words[0] == "loop") {
                replay.setLooping(true);
            }
            if (!replay.isRunning() && log.contains("stopped")) {
                break;
            }
        }
        QCOMPARE(log, expected);
    }

    // A recording is someone else's file: its rows reach the loop held to the ranges a live
    // game's record is held to, so a replay drives no effect harder than the stream it claims.
    void replayHoldsRowsToPhysicalRanges_data() {
        QTest::addColumn<int>("column"); // of rowWith()
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("gear 1e30") << 14 << QByteArray("1e30") << "gear 100";
        QTest::newRow("airspeed below zero") << 3 << QByteArray("-50") << "airspeed 0";
        QTest::newRow("G beyond a real aircraft") << 9 << QByteArray("-3e38") << "g -15";
        QTest::newRow("in range") << 9 << QByteArray("4.5") << "g 4.5";
    }
    void replayHoldsRowsToPhysicalRanges() {
        QFETCH(int, column);
        QFETCH(QByteArray, value);
        QFETCH(QString, expected);
        TelemetryReplay replay;
        QStringList log;
        connect(&replay, &TelemetryReplay::dcsTelemetryChanged, this, [&log](const DCSTelemetry& t) {
            log << QStringLiteral("gear %1,airspeed %2,g %3")
                       .arg(t.gear)
                       .arg(t.airspeed)
                       .arg(t.gForce)
                       .split(',');
        });
        replay.play(RecordingCsv::parse(kHeader + rowWith(column, value)).rows, QStringLiteral("test"));
        QVERIFY2(log.contains(expected), qPrintable(log.join(QLatin1String(", "))));
    }

    // Read off the telemetry thread: the answer comes later, as replayFailed.
    void replayOfAnUnreadableFileFails_data() {
        QTest::addColumn<QByteArray>("content"); // "missing": no file; "directory": a folder
        QTest::addColumn<QString>("message");
        QTest::newRow("broken row") << kHeader + rowWith(3, "fast") << "airspeed is not a number";
        QTest::newRow("not a recording") << QByteArray("hello world\n") << "lacks the columns";
        QTest::newRow("missing") << QByteArray("missing") << "cannot be opened";
        QTest::newRow("a directory") << QByteArray("directory") << "it is not a file";
    }
    void replayOfAnUnreadableFileFails() {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("bad.csv"));
        if (content == "directory") {
            QVERIFY(QDir().mkpath(path));
        } else if (content != "missing") {
            QFile bad(path);
            QVERIFY(bad.open(QIODevice::WriteOnly));
            bad.write(content);
        }
        TelemetryReplay replay;
        QSignalSpy failed(&replay, &TelemetryReplay::replayFailed);
        QSignalSpy source(&replay, &TelemetryReplay::telemetrySourceChanged);
        replay.start(path);
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 30000);
        QVERIFY2(failed[0].at(0).toString().contains(message), qPrintable(failed[0].at(0).toString()));
        QVERIFY(failed[0].at(0).toString().contains(path));
        QVERIFY(!replay.isRunning());
        QCOMPARE(source.size(), 0);
    }

    // Only the latest request counts: a stop, or another start, before a file is read drops it.
    void replayStartedThenStoppedNeverPlays() {
        QTemporaryDir dir;
        const QString good = dir.filePath(QStringLiteral("good.csv"));
        QFile file(good);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(kHeader + rowWith(0, "0") + rowWith(0, "100000"));
        file.close();
        TelemetryReplay replay;
        QSignalSpy started(&replay, &TelemetryReplay::replayStarted);
        QSignalSpy failed(&replay, &TelemetryReplay::replayFailed);
        replay.start(good);
        replay.stop();
        replay.start(dir.filePath(QStringLiteral("missing.csv")));
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 30000);
        replay.start(good);
        QTRY_COMPARE_WITH_TIMEOUT(started.size(), 1, 30000);
        QCOMPARE(started.first().at(0).toString(), QStringLiteral("good.csv"));
        QCOMPARE(failed.size(), 1);
        QVERIFY(replay.isRunning());
        replay.stop();
    }

    void numberedPaths_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("numbered");
        QTest::newRow("first is the name")
            << "r/2026-03-04_05-06-07_F-16C.csv" << 1 << "r/2026-03-04_05-06-07_F-16C.csv";
        QTest::newRow("second") << "r/2026-03-04_05-06-07_F-16C.csv" << 2
                                << "r/2026-03-04_05-06-07_F-16C-2.csv";
        QTest::newRow("no extension, dotted folder") << "/r.v1/flight" << 3 << "/r.v1/flight-3";
        QTest::newRow("hidden file") << "/r/.flight" << 2 << "/r/.flight-2";
    }
    void numberedPaths() {
        QFETCH(QString, path);
        QFETCH(int, number);
        QFETCH(QString, numbered);
        QCOMPARE(FlightRecorder::numberedPath(path, number), numbered);
    }

    // Record, Stop, Record within one second gives two files; the first keeps its rows.
    void twoRecordingsInOneSecondKeepBoth() {
        QTemporaryDir dir;
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        FlightRecorder recorder;
        QSignalSpy started(&recorder, &FlightRecorder::recordingStarted);
        recorder.changeSource(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("F-16C"));
        for (int i = 0; i < 3; ++i) {
            recorder.start(QString());
            recorder.writeRow(row(0, Telemetry::TELEMETRY_SOURCE_DCS, QString(), 100.0f + float(i), 0.0f));
            recorder.stop();
        }
        // And a name given twice.
        const QString given = dir.filePath(QStringLiteral("given.csv"));
        recorder.start(given);
        recorder.stop();
        recorder.start(given);
        recorder.stop();
        QDir::setCurrent(before);
        QCOMPARE(started.size(), 5);
        QStringList paths;
        for (const QList<QVariant>& signal : started) {
            paths << signal.at(0).toString();
        }
        QCOMPARE(QSet<QString>(paths.cbegin(), paths.cend()).size(), 5);
        QCOMPARE(paths[4], dir.filePath(QStringLiteral("given-2.csv")));
        for (int i = 0; i < 3; ++i) {
            QFile file(QDir(dir.path()).filePath(paths[i]));
            QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(paths[i]));
            const RecordingFile read = RecordingCsv::parse(file);
            QVERIFY2(read.ok(), qPrintable(read.error));
            QCOMPARE(read.rows.size(), 1);
            QCOMPARE(read.rows.first().telemetry.airspeed, 100.0f + float(i));
        }
    }

    // A DCS stream whose aircraft name fills a datagram: the name is cut where it is read, and
    // the program replays the recording it made of it.
    void longAircraftNameIsRecordedAndReplayed() {
        const QString longName = QString(64 * 1024, QChar(0x042F)); // two bytes each in UTF-8
        const QString cut = dcsStreamName(longName.toUtf8() + ";100;0;2;1;0;0;0;50;0");
        QCOMPARE(cut, longName.left(128));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("long.csv"));
        FlightRecorder recorder;
        // The recorder cuts a name that comes any other way too.
        recorder.changeSource(Telemetry::TELEMETRY_SOURCE_DCS, longName + QStringLiteral("\"x,"));
        recorder.start(path);
        recorder.writeRow(row(0, Telemetry::TELEMETRY_SOURCE_DCS, QString(), 100.0f, 1.0f));
        recorder.changeSource(Telemetry::TELEMETRY_SOURCE_DCS, cut);
        recorder.writeRow(row(20, Telemetry::TELEMETRY_SOURCE_DCS, QString(), 110.0f, 2.0f));
        recorder.stop();

        TelemetryReplay replay;
        QSignalSpy started(&replay, &TelemetryReplay::replayStarted);
        QSignalSpy failed(&replay, &TelemetryReplay::replayFailed);
        QSignalSpy source(&replay, &TelemetryReplay::telemetrySourceChanged);
        replay.start(path);
        QTRY_VERIFY_WITH_TIMEOUT(started.size() + failed.size() == 1, 30000);
        QVERIFY2(failed.isEmpty(), failed.isEmpty() ? "" : qPrintable(failed.first().at(0).toString()));
        QCOMPARE(source.size(), 1);
        QCOMPARE(source.first().at(1).toString(), cut);
        replay.stop();
    }

    // Record a scripted flight from the control loop, replay the file into the loop with the
    // same settings, record again: the forces of every row are the same.
    void roundTripReproducesTheForces() {
        FakeHid::plug(FakeHid::Device::Joystick);
        FakeHid::plug(FakeHid::Device::Rudder);
        FakeHid::setPosition(FakeHid::Device::Joystick, 0.35f, -0.6f);
        FakeHid::setPosition(FakeHid::Device::Rudder, 0.2f);
        QTemporaryDir dir;
        const QString first = dir.filePath(QStringLiteral("first.csv"));
        const QString second = dir.filePath(QStringLiteral("second.csv"));

        ManualClock clock;
        MainBackgroundThread loop(freeEndpoints());
        loop.setClock(clock.function());
        // The stream is live before the flight is recorded, so neither run fades it in.
        loop.setDcsTelemetry(scripted(0));
        loop.start();
        loop.changeSettingsModerately(steadyEffects());
        FlightRecorder recorder;
        connect(&loop, &MainBackgroundThread::recordReceived, &recorder, &FlightRecorder::writeRow);
        connect(&loop, &MainBackgroundThread::telemetrySourceChanged, &recorder,
                &FlightRecorder::changeSource);
        // What the loop handed over, straight from the loop, phase by phase.
        QVector<RecordingRow> sent[2];
        int phase = 0;
        connect(&loop, &MainBackgroundThread::recordReceived, this,
                [&sent, &phase](const RecordingRow& r) { sent[phase].append(r); });

        // The devices found, past their ramp; then a record every 20 ms, a tick every 5.
        tick(loop);
        clock.now += 2500;
        tick(loop, 209);
        recorder.changeSource(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("F-16C_50"));
        recorder.start(first);
        const int records = 200;
        for (int k = 0; k < records * 4; ++k) {
            clock.now += 5;
            if (k % 4 == 0) {
                loop.setDcsTelemetry(scripted(k / 4));
            }
            tick(loop);
        }
        recorder.stop();
        phase = 1;

        // The replay, in step with the loop's ticks.
        qint64 replayNow = 0;
        TelemetryReplay replay;
        replay.setClock([&replayNow]() { return replayNow; });
        connect(&replay, &TelemetryReplay::dcsTelemetryChanged, &loop,
                &MainBackgroundThread::setDcsTelemetry);
        recorder.start(second);
        QFile file(first);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const RecordingFile recorded = RecordingCsv::parse(file);
        QVERIFY2(recorded.ok(), qPrintable(recorded.error));
        QCOMPARE(recorded.rows.size(), records);
        QCOMPARE(recorded.rows.first().aircraft, QStringLiteral("F-16C_50"));
        // The first row carries whatever was sent before the flight; the rows after it compare.
        replay.play(recorded.rows, QStringLiteral("first.csv"));
        tick(loop);
        for (int k = 1; k < records * 4; ++k) {
            clock.now += 5;
            replayNow += 5;
            replay.step();
            tick(loop);
        }
        recorder.stop();

        QFile again(second);
        QVERIFY(again.open(QIODevice::ReadOnly));
        const RecordingFile replayed = RecordingCsv::parse(again);
        QVERIFY2(replayed.ok(), qPrintable(replayed.error));
        // The replay's end reaches the loop like a game's: one all-zero record more.
        QCOMPARE(replayed.rows.size(), records + 1);
        QCOMPARE(replayed.rows.last().telemetry.airspeed, 0.0f);
        QCOMPARE(replayed.rows.last().telemetry.gForce, 0.0f);
        QCOMPARE(sent[0].size(), records);
        QCOMPARE(sent[1].size(), records + 1);
        int nonZero = 0;
        for (int i = 1; i < records; ++i) {
            // The file holds exactly what the loop received and sent.
            QCOMPARE(replayed.rows[i].time, recorded.rows[i].time);
            QVERIFY(recorded.rows[i].telemetry.airspeed == sent[0][i].telemetry.airspeed);
            QVERIFY(recorded.rows[i].telemetry.gForce == sent[0][i].telemetry.gForce);
            QVERIFY(recorded.rows[i].telemetry.propAirflow == sent[0][i].telemetry.propAirflow);
            for (int axis = 0; axis < 3; ++axis) {
                // Same settings, same records, no oscillators: the same arithmetic, the same floats.
                const float a = sent[0][i].force[axis];
                const float b = sent[1][i].force[axis];
                QVERIFY2(a == b, qPrintable(QStringLiteral("row %1 axis %2: %3 vs %4")
                                                .arg(i)
                                                .arg(axis)
                                                .arg(double(a), 0, 'g', 9)
                                                .arg(double(b), 0, 'g', 9)));
                QVERIFY(recorded.rows[i].force[axis] == a);
                QVERIFY(replayed.rows[i].force[axis] == b);
                nonZero += a != 0.0f ? 1 : 0;
            }
        }
        // The flight really moved the stick: most rows carry forces on every axis.
        QVERIFY(nonZero > (records - 1) * 3 * 9 / 10);
    }
};

QTEST_GUILESS_MAIN(TestRecording)
#include "tst_recording.moc"
