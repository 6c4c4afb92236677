// The log file a pilot sends with a bug report: capped in size, one clean line per message.

#include "app/logfile.h"
#include "records/logcategories.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {
qint64 sizeOf(const QString& path) {
    return QFile::exists(path) ? QFile(path).size() : -1;
}
} // namespace

class TestLogFile : public QObject {
    Q_OBJECT

private slots:
    // Lines of 100 bytes against a cap of 1000: the file that passes the cap becomes ".1"
    // (replacing an older one) and a new file begins, so the log never holds much more than
    // twice the cap.
    void theFilePastTheCapMovesAside_data() {
        QTest::addColumn<int>("lines");
        QTest::addColumn<qint64>("current"); // -1: no file
        QTest::addColumn<qint64>("previous");
        QTest::newRow("at the cap") << 10 << qint64(1000) << qint64(-1);
        QTest::newRow("past the cap") << 11 << qint64(-1) << qint64(1100);
        QTest::newRow("a new file begins") << 12 << qint64(100) << qint64(1100);
        QTest::newRow("past the cap again") << 23 << qint64(100) << qint64(1100);
    }
    void theFilePastTheCapMovesAside() {
        QFETCH(int, lines);
        QFETCH(qint64, current);
        QFETCH(qint64, previous);
        QTemporaryDir dir;
        const QString path = dir.filePath(LogFile::FileName);
        for (int i = 0; i < lines; ++i) {
            QVERIFY(LogFile::append(path, QByteArray(99, 'x') + '\n', 1000));
        }
        QCOMPARE(sizeOf(path), current);
        QCOMPARE(sizeOf(LogFile::previousPath(path)), previous);
    }

    // Through the handler, a flood stays within the cap too, and nothing is lost on the way.
    void loggedLinesStayWithinTheCap() {
        QTemporaryDir dir;
        const QString path = dir.filePath(LogFile::FileName);
        LogFile::install(path, LogFile::Echo::FileOnly, LogFile::Writing::Queued, 4000);
        for (int i = 0; i < 500; ++i) {
            qCInfo(lcApp) << "line" << i;
        }
        LogFile::uninstall();
        QVERIFY(sizeOf(path) <= 4000 + 100);
        QVERIFY(sizeOf(LogFile::previousPath(path)) > 4000);
        QVERIFY(sizeOf(LogFile::previousPath(path)) <= 4000 + 100);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().trimmed().endsWith("info trennal.app: line 499"));
    }

    // A game's aircraft name or a file's contents cannot forge lines or hide text.
    void aLineIsOneCleanLine_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("line"); // after the time stamp
        QTest::newRow("plain") << QStringLiteral("DCS stream started")
                               << QStringLiteral("info x: DCS stream started\n");
        QTest::newRow("control characters")
            << QStringLiteral("F-16\r\x1b[2J\x7f\u202e") << QStringLiteral("info x: F-16??[2J??\n");
        QTest::newRow("several lines")
            << QStringLiteral("done:\nChanged a\n\n") << QStringLiteral("info x: done:\n    Changed a\n");
        QTest::newRow("too long") << QString(LogFile::MaxMessageChars + 10, QLatin1Char('a'))
                                  << QStringLiteral("info x: ") +
                                         QString(LogFile::MaxMessageChars, QLatin1Char('a')) +
                                         QStringLiteral(" [cut]\n");
    }
    void aLineIsOneCleanLine() {
        QFETCH(QString, message);
        QFETCH(QString, line);
        const QDateTime when(QDate(2026, 12, 8), QTime(13, 2, 11, 482));
        QCOMPARE(QString::fromUtf8(LogFile::formatLine(QtInfoMsg, "x", message, when)),
                 QStringLiteral("2026-12-08 13:02:11.482 ") + line);
    }
};

QTEST_GUILESS_MAIN(TestLogFile)
#include "tst_logfile.moc"
