// The game set-up kit: the three file edits on the games' own files, the file layer with its
// backup and refusals, and the DCS export script run under Lua 5.1 with its datagrams read
// back by the program's own DCS parser.

#include "records/simconnectendpoint.h"
#include "setup/condorudpini.h"
#include "setup/configfileeditor.h"
#include "setup/dcsexportlua.h"
#include "setup/gamesetup.h"
#include "setup/il2startupconfig.h"
#include "setup/msfssimconnect.h"
#include "setup/textfile.h"
#include "telemetry/dcsdatagram.h"
#include "ui/gamesetupdialog.h"

#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

#include <cmath>
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QString fixture(const QString& name) {
    QFile f(QStringLiteral(TRENNAL_FIXTURES_DIR "/setup/") + name);
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
}

QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// The fixture's text stored the way a Windows editor may have saved it: "bytes" as it is,
// "utf8bom", "utf16le" and "utf16be" with their byte order mark; "utf16-no-mark" and
// "bad-utf8" are files the set-up must refuse.
QByteArray encoded(const QByteArray& plain, const QString& encoding) {
    const QString text = QString::fromLatin1(plain);
    if (encoding == QStringLiteral("utf8bom")) {
        return TextFile::encode(text, TextFile::Encoding::Utf8Bom);
    }
    if (encoding == QStringLiteral("utf16le")) {
        return TextFile::encode(text, TextFile::Encoding::Utf16Le);
    }
    if (encoding == QStringLiteral("utf16be")) {
        return TextFile::encode(text, TextFile::Encoding::Utf16Be);
    }
    if (encoding == QStringLiteral("utf16-no-mark")) {
        return TextFile::encode(text, TextFile::Encoding::Utf16Le).mid(2);
    }
    if (encoding == QStringLiteral("bad-utf8")) {
        return QByteArray("\xEF\xBB\xBF") + plain + "\xC3(\r\n";
    }
    return plain;
}

GameSetup::Outcome runSetup(const QString& game, const QString& root) {
    return game == QStringLiteral("il2")      ? GameSetup::setupIl2(root)
           : game == QStringLiteral("condor") ? GameSetup::setupCondor(root)
           : game == QStringLiteral("msfs")   ? GameSetup::setupMsfs(root, root + QStringLiteral("/data"))
                                              : GameSetup::installDcsExport(root);
}

QString crlf(QString text) {
    return text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}

// Every line of `before` is still in `after`, in order, unless it names one of `changedKeys`.
bool keepsOtherLines(const QString& before, const QString& after, const QStringList& changedKeys) {
    const QStringList out = after.split(QLatin1Char('\n'));
    int at = 0;
    for (const QString& line : before.split(QLatin1Char('\n'))) {
        const QString key = line.section(QLatin1Char('='), 0, 0).trimmed();
        if (line.contains(QLatin1Char('=')) && changedKeys.contains(key, Qt::CaseInsensitive)) {
            continue;
        }
        while (at < out.size() && out.at(at) != line) {
            ++at;
        }
        if (at == out.size()) {
            return false;
        }
        ++at;
    }
    return true;
}

// The lines of the telemetry block of an IL-2 file, trimmed, block markers left out.
QStringList il2Block(const QString& text) {
    QStringList block;
    bool inside = false;
    for (const QString& raw : text.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.compare(QStringLiteral("[KEY = telemetrydevice]"), Qt::CaseInsensitive) == 0) {
            inside = true;
        } else if (inside && line.compare(QStringLiteral("[END]"), Qt::CaseInsensitive) == 0) {
            break;
        } else if (inside) {
            block << line;
        }
    }
    return block;
}

} // namespace

class TestGameSetup : public QObject {
    Q_OBJECT

private slots:
    void il2Edit_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QStringList>("block");
        QTest::addColumn<bool>("changes");
        // How many notes, and one that must be among them: every value changed or added is
        // noted, with the other receivers a change of the block's own values reaches.
        QTest::addColumn<int>("notes");
        QTest::addColumn<QString>("noted");
        const QString added = QStringLiteral("Added the telemetry block.");
        const QStringList plain{QStringLiteral("addr = \"127.0.0.1\""), QStringLiteral("decimation = 1"),
                                QStringLiteral("enable = true"), QStringLiteral("port = 29777")};
        QTest::newRow("missing block")
            << fixture(QStringLiteral("il2_startup.cfg")) << plain << true << 1 << added;
        QTest::newRow("empty file") << QString() << plain << true << 1 << added;
        QTest::newRow("already set up")
            << crlf(QStringLiteral("[KEY = telemetrydevice]\n\taddr = \"127.0.0.1\"\n"
                                   "\tdecimation = 1\n\tenable = true\n\tport = 29777\n"
                                   "[END]\n"))
            << plain << false << 0 << QString();
        QTest::newRow("other receivers present")
            << fixture(QStringLiteral("il2_startup_receivers.cfg"))
            << QStringList{QStringLiteral("addr = \"192.168.1.20\""),
                           QStringLiteral("addr1 = \"127.0.0.1:20777\""),
                           QStringLiteral("decimation = 1"),
                           QStringLiteral("enable = true"),
                           QStringLiteral("port = 4322"),
                           QStringLiteral("addr2 = \"127.0.0.1:29777\"")}
            << true << 3
            << "decimation from 2 to 1. It applies to every receiver of the "
               "block, also 192.168.1.20:4322, 127.0.0.1:20777.";
        QTest::newRow("ours as an extra receiver, switched off")
            << QStringLiteral(
                   "[KEY = telemetrydevice]\n  addr = \"10.0.0.2\"\n  addr1 = \"127.0.0.1:29777\"\n"
                   "  decimation = 1\n  enable = false\n  port = 4322\n[END]\n")
            << QStringList{QStringLiteral("addr = \"10.0.0.2\""),
                           QStringLiteral("addr1 = \"127.0.0.1:29777\""), QStringLiteral("decimation = 1"),
                           QStringLiteral("enable = true"), QStringLiteral("port = 4322")}
            << true << 1
            << "enable from false to true. It applies to every receiver of the block, also 10.0.0.2:4322.";
        QTest::newRow("local address on another port is another program")
            << QStringLiteral(
                   "[KEY = telemetrydevice]\n\taddr = \"127.0.0.1\"\n\tdecimation = 3\n\tenable = true\n"
                   "\tport = 4321\n[END]")
            << QStringList{QStringLiteral("addr = \"127.0.0.1\""), QStringLiteral("decimation = 1"),
                           QStringLiteral("enable = true"), QStringLiteral("port = 4321"),
                           QStringLiteral("addr1 = \"127.0.0.1:29777\"")}
            << true << 2
            << "decimation from 3 to 1. It applies to every receiver of the block, also 127.0.0.1:4321.";
        QTest::newRow("block without address or port")
            << QStringLiteral("[key = TelemetryDevice]\n\tenable = true\n[end]\n")
            << QStringList{QStringLiteral("enable = true"), QStringLiteral("decimation = 1"),
                           QStringLiteral("addr = \"127.0.0.1\""), QStringLiteral("port = 29777")}
            << true << 3 << "Added addr = \"127.0.0.1\".";
        QTest::newRow("block left open before the next")
            << QStringLiteral("[KEY = telemetrydevice]\n\tenable = 0\n[KEY = sound]\n\tspeakers = 2\n[END]\n")
            << QStringList{QStringLiteral("enable = true"), QStringLiteral("decimation = 1"),
                           QStringLiteral("addr = \"127.0.0.1\""), QStringLiteral("port = 29777")}
            << true << 5 << "Changed enable from 0 to true.";
    }

    void il2Edit() {
        QFETCH(QString, before);
        QFETCH(QStringList, block);
        QFETCH(bool, changes);
        QFETCH(int, notes);
        QFETCH(QString, noted);
        const ConfigEdit edit = Il2StartupConfig::withTelemetry(before);
        QCOMPARE(edit.text != before, changes);
        QCOMPARE(edit.notes.size(), notes);
        QVERIFY2(edit.notes.join(QLatin1Char('\n')).contains(noted),
                 qPrintable(edit.notes.join(QLatin1Char('\n'))));
        QCOMPARE(il2Block(edit.text), block);
        QVERIFY(keepsOtherLines(before, edit.text, {QStringLiteral("decimation"), QStringLiteral("enable")}));
        // Run twice without harm: the second edit finds nothing to do.
        QCOMPARE(Il2StartupConfig::withTelemetry(edit.text).text, edit.text);
        // A file with CR LF line ends keeps them on every line, old and new.
        if (before.contains(QStringLiteral("\r\n"))) {
            QCOMPARE(edit.text.count(QLatin1Char('\n')), edit.text.count(QStringLiteral("\r\n")));
        }
    }

    void condorEdit_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<int>("notes");
        const QString setUp =
            crlf(QStringLiteral("[General]\nEnabled=1\n\n[Connection]\nHost=127.0.0.1\nPort=55278\n\n"
                                "[Misc]\nSendIntervalMs=10\nExtendedData=1\n"));
        QTest::newRow("as shipped") << fixture(QStringLiteral("condor_udp.ini")) << setUp << 0;
        QTest::newRow("already set up") << setUp << setUp << 0;
        QTest::newRow("Condor 3 as shipped keeps ExtendedData1 and LogToFile")
            << fixture(QStringLiteral("condor3_udp.ini"))
            << crlf(QStringLiteral("[General]\nEnabled=1\n[Connection]\nHost=127.0.0.1\nPort=55278\n[Misc]\n"
                                   "SendIntervalMs=10\nExtendedData=1\nExtendedData1=0\nLogToFile=0\n"))
            << 0;
        QTest::newRow("missing file")
            << QString()
            << QStringLiteral("[General]\nEnabled=1\n\n[Connection]\nHost=127.0.0.1\nPort=55278\n\n[Misc]\n"
                              "SendIntervalMs=10\nExtendedData=1\n")
            << 0;
        QTest::newRow("other receiver is replaced, with a note")
            << QStringLiteral("[General]\nEnabled=1\n[Connection]\nHost=192.168.0.9\nPort=55278\n[Misc]\n"
                              "SendIntervalMs=10\nExtendedData=1\n")
            << QStringLiteral("[General]\nEnabled=1\n[Connection]\nHost=127.0.0.1\nPort=55278\n[Misc]\n"
                              "SendIntervalMs=10\nExtendedData=1\n")
            << 1;
        QTest::newRow("keys in other case, missing section, comment kept")
            << QStringLiteral("; my settings\n[general]\nenabled = 0\n[Connection]\nhost=127.0.0.1\n")
            << QStringLiteral(
                   "; my settings\n[general]\nenabled=1\n[Connection]\nhost=127.0.0.1\nPort=55278\n\n[Misc]\n"
                   "SendIntervalMs=10\nExtendedData=1\n")
            << 0;
    }

    void condorEdit() {
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(int, notes);
        const ConfigEdit edit = CondorUdpIni::withTelemetry(before);
        QCOMPARE(edit.text, after);
        QCOMPARE(edit.notes.size(), notes);
        QCOMPARE(CondorUdpIni::withTelemetry(edit.text).text, edit.text);
    }

    void dcsEdit_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<bool>("adds");
        QTest::newRow("other tools present") << fixture(QStringLiteral("dcs_export.lua")) << true;
        QTest::newRow("empty file") << QString() << true;
        QTest::newRow("last line without line end") << QStringLiteral("local a = 1") << true;
        QTest::newRow("only a commented-out copy")
            << QStringLiteral("-- ") + DcsExportLua::dofileLine() + '\n'
            << true;
        QTest::newRow("already there")
            << QStringLiteral("dofile(lfs.writedir() .. [[Scripts\\grovik-trennal-export.lua]])\r\n")
            << false;
    }

    void dcsEdit() {
        QFETCH(QString, before);
        QFETCH(bool, adds);
        const ConfigEdit edit = DcsExportLua::withDofile(before);
        if (!adds) {
            QCOMPARE(edit.text, before);
            return;
        }
        // The line comes last, after every other tool, and the rest of the file is untouched.
        QVERIFY(edit.text.startsWith(before.endsWith(QLatin1Char('\n')) || before.isEmpty() ? before
                                                                                            : before + '\n'));
        QVERIFY(edit.text.trimmed().endsWith(DcsExportLua::dofileLine()));
        QCOMPARE(edit.text.count(DcsExportLua::dofileLine()), before.count(DcsExportLua::dofileLine()) + 1);
        QCOMPARE(DcsExportLua::withDofile(edit.text).text, edit.text);
    }

    // The commands on a game folder: run twice, a read-only file, a wrong folder.
    void commands_data() {
        QTest::addColumn<QString>("game");
        // Relative to the game folder; ending in "/": only that folder is made; empty: nothing.
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("sample");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("encoding"); // see encoded(); empty: as the fixture is
        const QString il2 = QStringLiteral("il2"), condor = QStringLiteral("condor"),
                      dcs = QStringLiteral("dcs");
        const QString startup = QStringLiteral("data/startup.cfg"), udp = QStringLiteral("Settings/UDP.ini"),
                      exportLua = QStringLiteral("Scripts/Export.lua"), none;
        QTest::newRow("IL-2") << il2 << startup << "il2_startup_receivers.cfg" << false << true << "";
        QTest::newRow("IL-2 read-only") << il2 << startup << "il2_startup.cfg" << true << false << "";
        QTest::newRow("IL-2 without startup.cfg") << il2 << none << "" << false << false << "";
        QTest::newRow("Condor") << condor << udp << "condor_udp.ini" << false << true << "";
        QTest::newRow("Condor read-only") << condor << udp << "condor_udp.ini" << true << false << "";
        QTest::newRow("Condor 3") << condor << udp << "condor3_udp.ini" << false << true << "";
        QTest::newRow("Condor without Settings") << condor << none << "" << false << false << "";
        QTest::newRow("Condor without UDP.ini") << condor << "Settings/"
                                                << "" << false << true << "";
        QTest::newRow("DCS") << dcs << exportLua << "dcs_export.lua" << false << true << "";
        QTest::newRow("DCS read-only") << dcs << exportLua << "dcs_export.lua" << true << false << "";
        QTest::newRow("DCS without Export.lua") << dcs << "Config/"
                                                << "" << false << true << "";
        QTest::newRow("DCS: not the game's folder") << dcs << none << "" << false << false << "";
        // Files saved by Windows editors keep their encoding; new lines never mix another in.
        QTest::newRow("Condor, UTF-8 with mark")
            << condor << udp << "condor_udp.ini" << false << true << "utf8bom";
        QTest::newRow("Condor, UTF-16 LE") << condor << udp << "condor_udp.ini" << false << true << "utf16le";
        QTest::newRow("Condor, UTF-16 BE") << condor << udp << "condor_udp.ini" << false << true << "utf16be";
        QTest::newRow("Condor, UTF-16 without mark")
            << condor << udp << "condor_udp.ini" << false << false << "utf16-no-mark";
        QTest::newRow("Condor, marked UTF-8 that is not")
            << condor << udp << "condor_udp.ini" << false << false << "bad-utf8";
        QTest::newRow("IL-2, UTF-8 with mark")
            << il2 << startup << "il2_startup_receivers.cfg" << false << true << "utf8bom";
        QTest::newRow("IL-2, UTF-16 LE") << il2 << startup << "il2_startup.cfg" << false << true << "utf16le";
        QTest::newRow("IL-2, UTF-16 BE")
            << il2 << startup << "il2_startup_receivers.cfg" << false << true << "utf16be";
        QTest::newRow("DCS, UTF-8 with mark")
            << dcs << exportLua << "dcs_export.lua" << false << true << "utf8bom";
        // DCS's Lua reads bytes: a UTF-16 script is refused, not extended.
        QTest::newRow("DCS, UTF-16 LE")
            << dcs << exportLua << "dcs_export.lua" << false << false << "utf16le";
    }

    void commands() {
        QFETCH(QString, game);
        QFETCH(QString, file);
        QFETCH(QString, sample);
        QFETCH(bool, readOnly);
        QFETCH(bool, ok);
        QFETCH(QString, encoding);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString root = dir.path();
        QByteArray original;
        if (file.endsWith(QLatin1Char('/'))) {
            // Only a folder the game makes, no file to edit.
            QVERIFY(QDir(root).mkpath(file));
            file.clear();
        } else if (!file.isEmpty()) {
            original = encoded(fixture(sample).toLatin1(), encoding);
            writeBytes(root + '/' + file, original);
            if (readOnly) {
                QVERIFY(QFile::setPermissions(root + '/' + file, QFile::ReadOwner | QFile::ReadGroup));
            }
        }
        const auto run = [&] { return runSetup(game, root); };
        const QStringList before = QDir(root).entryList(QDir::Files | QDir::Hidden, QDir::Name);

        const GameSetup::Outcome first = run();
        QCOMPARE(first.ok, ok);
        QVERIFY(!first.report.isEmpty());
        if (!ok) {
            if (readOnly) {
                QVERIFY2(first.report.contains(QStringLiteral("read-only")), qPrintable(first.report));
                QCOMPARE(readBytes(root + '/' + file), original);
                // The bits of the file itself; the "User" ones say what the test's user may do.
                const QFile::Permissions userBits = QFile::ReadUser | QFile::WriteUser | QFile::ExeUser;
                QCOMPARE(QFile::permissions(root + '/' + file) & ~userBits,
                         QFile::ReadOwner | QFile::ReadGroup);
                QCOMPARE(QDir(QFileInfo(root + '/' + file).path()).entryList(QDir::Files).size(), 1);
            }
            QCOMPARE(QDir(root).entryList(QDir::Files | QDir::Hidden, QDir::Name), before);
            if (!file.isEmpty()) {
                // Refused: the file as it was, no backup, a reason naming the file.
                QCOMPARE(readBytes(root + '/' + file), original);
                QCOMPARE(QDir(QFileInfo(root + '/' + file).path()).entryList(QDir::Files).size(), 1);
                QVERIFY2(first.report.contains(QStringLiteral("nothing changed")), qPrintable(first.report));
            }
            if (encoding == QStringLiteral("utf16le") && game == QStringLiteral("dcs")) {
                QVERIFY2(first.report.contains(QStringLiteral("which DCS cannot read")),
                         qPrintable(first.report));
            }
            return;
        }
        const QString target = root + '/' +
                               (game == QStringLiteral("il2")      ? QStringLiteral("data/startup.cfg")
                                : game == QStringLiteral("condor") ? QStringLiteral("Settings/UDP.ini")
                                                                   : QStringLiteral("Scripts/Export.lua"));
        const QByteArray once = readBytes(target);
        QVERIFY(once != original);
        // The whole file in the encoding it had, each line with the file's line end.
        const TextFile::Decoded decodedBefore = TextFile::decode(original);
        const TextFile::Decoded after = TextFile::decode(once);
        QVERIFY2(after.error.isEmpty(), qPrintable(after.error));
        QCOMPARE(int(after.encoding), int(decodedBefore.encoding));
        if (decodedBefore.text.contains(QStringLiteral("\r\n"))) {
            QCOMPARE(after.text.count(QLatin1Char('\n')), after.text.count(QStringLiteral("\r\n")));
        }
        // The edit is the one made on the plain text, with the marked first section of a UTF-8
        // file moved off the mark's line (Windows reads that line as the mark and a name).
        QString plainEdit = decodedBefore.text;
        if (decodedBefore.encoding == TextFile::Encoding::Utf8Bom &&
            decodedBefore.text.startsWith(QLatin1Char('['))) {
            plainEdit.prepend(QStringLiteral("\r\n"));
        }
        plainEdit = game == QStringLiteral("il2")      ? Il2StartupConfig::withTelemetry(plainEdit).text
                    : game == QStringLiteral("condor") ? CondorUdpIni::withTelemetry(plainEdit).text
                                                       : DcsExportLua::withDofile(plainEdit).text;
        QCOMPARE(after.text, plainEdit);
        // The old file is kept beside the new one, byte for byte.
        const QString backup = target + QStringLiteral(".grovik-trennal.bak");
        QCOMPARE(QFileInfo::exists(backup), !file.isEmpty());
        if (!file.isEmpty()) {
            QCOMPARE(readBytes(backup), original);
        }

        const GameSetup::Outcome second = run();
        QVERIFY(second.ok);
        QVERIFY2(second.report.contains(QStringLiteral("already set up")), qPrintable(second.report));
        QCOMPARE(readBytes(target), once);
        QVERIFY(!QFileInfo::exists(backup + QStringLiteral(".1")));
        if (game == QStringLiteral("dcs")) {
            QCOMPARE(readBytes(root + QStringLiteral("/Scripts/grovik-trennal-export.lua")),
                     DcsExportLua::script());
        }
    }

    // MSFS: a listener of its own in SimConnect.xml and the matching SimConnect.cfg, run twice.
    void msfsSetup_data() {
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QString>("cfgBefore"); // the data folder's SimConnect.cfg; empty: none
        QTest::addColumn<bool>("occupyFirstPort");
        QTest::newRow("as the simulator writes it") << ""
                                                    << "" << false;
        QTest::newRow("UTF-16 LE, an old cfg kept around")
            << "utf16le"
            << "; mine\r\n[SimConnect]\r\nProtocol=IPv4\r\nAddress=10.0.0.5\r\nPort=600\r\n\r\n"
               "[SimConnect.1]\r\nAddress=h\r\nPort=9\r\n"
            << false;
        QTest::newRow("UTF-8 with mark, first port taken here") << "utf8bom"
                                                                << "" << true;
    }
    void msfsSetup() {
        QFETCH(QString, encoding);
        QFETCH(QString, cfgBefore);
        QFETCH(bool, occupyFirstPort);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QTcpServer occupant;
        if (occupyFirstPort) {
            occupant.listen(QHostAddress::LocalHost, MsfsSimConnect::FirstPort);
        }
        // The fixture's listeners name 500, 501, 0 and 5112.
        const quint16 expectedPort = GameSetup::freePort(MsfsSimConnect::FirstPort, {500, 501, 0, 5112});
        QVERIFY(expectedPort >= 1024);
        const QString xmlPath = dir.filePath(QStringLiteral("SimConnect.xml"));
        const QString cfgPath = dir.filePath(QStringLiteral("data/SimConnect.cfg"));
        const QByteArray original =
            encoded(fixture(QStringLiteral("msfs_simconnect.xml")).toLatin1(), encoding);
        writeBytes(xmlPath, original);
        if (!cfgBefore.isEmpty()) {
            writeBytes(cfgPath, cfgBefore.toLatin1());
        }

        const GameSetup::Outcome first = runSetup(QStringLiteral("msfs"), dir.path());
        QVERIFY2(first.ok, qPrintable(first.report));
        const TextFile::Decoded xml = TextFile::decode(readBytes(xmlPath));
        QVERIFY(xml.error.isEmpty());
        QCOMPARE(int(xml.encoding), int(TextFile::decode(original).encoding));
        const MsfsSimConnect::Listener ours = MsfsSimConnect::ourListener(xml.text);
        QVERIFY(ours.usable);
        QCOMPARE(ours.address, QStringLiteral("127.0.0.1"));
        // A port of 1024 or above that no other listener names (5112 is another add-on's).
        QVERIFY(ours.port >= 1024);
        QCOMPARE(MsfsSimConnect::ports(xml.text).count(ours.port), 1);
        QCOMPARE(ours.port, int(expectedPort));
        if (occupant.isListening()) {
            QVERIFY(ours.port != MsfsSimConnect::FirstPort);
        }
        // Added as a whole block before the document's end, every old line kept, CR LF throughout.
        const QString before = TextFile::decode(original).text;
        QCOMPARE(xml.text.count(QStringLiteral("<SimConnect.Comm>")),
                 before.count(QStringLiteral("<SimConnect.Comm>")) + 1);
        QVERIFY(keepsOtherLines(before, xml.text, {}));
        QCOMPARE(xml.text.count(QLatin1Char('\n')), xml.text.count(QStringLiteral("\r\n")));
        QVERIFY(xml.text.trimmed().endsWith(QStringLiteral("</SimConnect.Comm>\r\n</SimBase.Document>")));
        QCOMPARE(readBytes(xmlPath + QStringLiteral(".grovik-trennal.bak")), original);
        // The program reads the cfg as the same endpoint; other sections of an old one stay.
        const SimConnectConfig cfg = parseSimConnectConfig(readBytes(cfgPath));
        QVERIFY2(cfg.error.isEmpty(), qPrintable(cfg.error));
        QCOMPARE(cfg.endpoint.address, QStringLiteral("127.0.0.1"));
        QCOMPARE(int(cfg.endpoint.port), ours.port);
        if (!cfgBefore.isEmpty()) {
            QVERIFY(readBytes(cfgPath).contains(
                "; mine\r\n[SimConnect]\r\nProtocol=IPv4\r\nAddress=127.0.0.1\r\n"));
            QVERIFY(readBytes(cfgPath).endsWith("[SimConnect.1]\r\nAddress=h\r\nPort=9\r\n"));
            QCOMPARE(readBytes(cfgPath + QStringLiteral(".grovik-trennal.bak")), cfgBefore.toLatin1());
        }

        const QByteArray xmlOnce = readBytes(xmlPath);
        const QByteArray cfgOnce = readBytes(cfgPath);
        const GameSetup::Outcome second = runSetup(QStringLiteral("msfs"), dir.path());
        QVERIFY2(second.ok, qPrintable(second.report));
        QCOMPARE(second.report.count(QStringLiteral("already set up")), 2);
        QCOMPARE(readBytes(xmlPath), xmlOnce);
        QCOMPARE(readBytes(cfgPath), cfgOnce);
        QVERIFY(!QFileInfo::exists(xmlPath + QStringLiteral(".grovik-trennal.bak.1")));
    }

    void msfsRefusals_data() {
        QTest::addColumn<QByteArray>("xml"); // empty: no file
        QTest::addColumn<QString>("message");
        QTest::newRow("no SimConnect.xml") << QByteArray() << "No SimConnect.xml in";
        QTest::newRow("not the simulator's file")
            << QByteArray("<?xml version=\"1.0\"?>\n<Other/>\n") << "not MSFS's SimConnect.xml";
        QTest::newRow("the document only inside a comment")
            << QByteArray("<!-- <SimBase.Document Type=\"SimConnect\"> </SimBase.Document> -->\n")
            << "not MSFS's SimConnect.xml";
    }
    void msfsRefusals() {
        QFETCH(QByteArray, xml);
        QFETCH(QString, message);
        QTemporaryDir dir;
        if (!xml.isEmpty()) {
            writeBytes(dir.filePath(QStringLiteral("SimConnect.xml")), xml);
        }
        const GameSetup::Outcome outcome = runSetup(QStringLiteral("msfs"), dir.path());
        QVERIFY(!outcome.ok);
        QVERIFY2(outcome.report.contains(message), qPrintable(outcome.report));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
                 xml.isEmpty() ? QStringList() : QStringList{QStringLiteral("SimConnect.xml")});
        if (!xml.isEmpty()) {
            QCOMPARE(readBytes(dir.filePath(QStringLiteral("SimConnect.xml"))), xml);
        }
    }

    // A listener of ours the user switched off comes back on, in place; one that works stays.
    void msfsListenerEdit_data() {
        QTest::addColumn<QString>("block");
        QTest::addColumn<bool>("replaced");
        QTest::newRow("switched off") << "<SimConnect.Comm><Descr>Grovik "
                                         "Trennal</Descr><Disabled>True</Disabled><Protocol>IPv4</Protocol>"
                                         "<Address>127.0.0.1</Address><Port>6000</Port></SimConnect.Comm>"
                                      << true;
        QTest::newRow("port below 1024")
            << "<SimConnect.Comm><Descr>grovik trennal</Descr><Protocol>IPv4</Protocol>"
               "<Address>127.0.0.1</Address><Port>500</Port></SimConnect.Comm>"
            << true;
        QTest::newRow("for a second computer, kept")
            << "<SimConnect.Comm><Descr>Grovik Trennal</Descr><Protocol>IPv4</Protocol>"
               "<Address>0.0.0.0</Address><Port>7000</Port></SimConnect.Comm>"
            << false;
    }
    void msfsListenerEdit() {
        QFETCH(QString, block);
        QFETCH(bool, replaced);
        const QString xml = QStringLiteral("<SimBase.Document Type=\"SimConnect\">\n  ") + block +
                            QStringLiteral("\n</SimBase.Document>\n");
        const ConfigEdit edit = MsfsSimConnect::withListener(xml, 6001);
        QCOMPARE(edit.text != xml, replaced);
        QCOMPARE(edit.text.count(QStringLiteral("<SimConnect.Comm>")), 1);
        const MsfsSimConnect::Listener ours = MsfsSimConnect::ourListener(edit.text);
        QVERIFY(ours.usable);
        QCOMPARE(ours.port, replaced ? 6001 : 7000);
        QCOMPARE(MsfsSimConnect::withListener(edit.text, 6002).text, edit.text);
    }

    // A full disk while the new file is written: the size limit lets the backup be made and
    // stops the new, longer file. The set-up reports the failure and the game's file stays
    // whole, with no backup and no temporary left behind. Run in a child process, so the limit
    // and its signal touch nothing else.
    void fullDiskLeavesTheFileIntact_data() {
        QTest::addColumn<QString>("game");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("sample");
        QTest::newRow("IL-2") << "il2"
                              << "data/startup.cfg"
                              << "il2_startup.cfg";
        QTest::newRow("Condor") << "condor"
                                << "Settings/UDP.ini"
                                << "condor_udp.ini";
        QTest::newRow("DCS") << "dcs"
                             << "Scripts/Export.lua"
                             << "dcs_export.lua";
        QTest::newRow("MSFS") << "msfs"
                              << "SimConnect.xml"
                              << "msfs_simconnect.xml";
    }
    void fullDiskLeavesTheFileIntact() {
        QFETCH(QString, game);
        QFETCH(QString, file);
        QFETCH(QString, sample);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(file);
        QByteArray original = fixture(sample).toLatin1();
        if (game == QStringLiteral("condor")) {
            // As shipped the edit changes digits only; without its last line the file grows.
            original.chop(QByteArrayView("ExtendedData=0\r\n").size());
        }
        writeBytes(path, original);
        if (game == QStringLiteral("dcs")) {
            // The export script is in place already: the limit meets Export.lua itself.
            writeBytes(dir.filePath(QStringLiteral("Scripts/grovik-trennal-export.lua")),
                       DcsExportLua::script());
        }
        const QStringList filesBefore = QDir(QFileInfo(path).path()).entryList(QDir::Files | QDir::Hidden);
        int pipeEnds[2];
        QCOMPARE(::pipe(pipeEnds), 0);
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            ::close(pipeEnds[0]);
            std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit {};
            limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(original.size() + 8);
            ::setrlimit(RLIMIT_FSIZE, &limit);
            const GameSetup::Outcome outcome = runSetup(game, dir.path());
            const QByteArray report = outcome.report.toUtf8();
            const ssize_t written =
                ::write(pipeEnds[1], report.constData(), static_cast<size_t>(report.size()));
            ::_exit(written == report.size() ? (outcome.ok ? 2 : 1) : 3);
        }
        ::close(pipeEnds[1]);
        QByteArray report;
        char buffer[4096];
        for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
            report.append(buffer, n);
        }
        ::close(pipeEnds[0]);
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QVERIFY2(WEXITSTATUS(status) == 1, report.constData());
        QVERIFY2(report.contains("Cannot write") && report.contains("nothing changed"), report.constData());
        QVERIFY2(!report.contains("Updated"), report.constData());
        QCOMPARE(readBytes(path), original);
        QCOMPARE(QDir(QFileInfo(path).path()).entryList(QDir::Files | QDir::Hidden), filesBefore);
    }

    // Help > Setting up the games: a button per game, and a set-up run from there shows its report.
    void setupDialog() {
        GameSetupDialog dialog;
        const QStringList names{QStringLiteral("setup_dcs"), QStringLiteral("setup_il2"),
                                QStringLiteral("setup_condor"), QStringLiteral("setup_msfs")};
        for (const QString& name : names) {
            const QPushButton* button = dialog.findChild<QPushButton*>(name);
            QVERIFY2(button, qPrintable(name));
            QVERIFY(button->text().startsWith(QStringLiteral("Set up")));
        }
        // The guide is for pilots: no build notes.
        const auto* guide = dialog.findChild<QTextBrowser*>(QStringLiteral("guide_text"));
        QVERIFY(guide);
        for (const QString& note : {QStringLiteral("scripts/"), QStringLiteral("-DTRENNAL"),
                                    QStringLiteral("integrations/"), QStringLiteral("--setup-msfs")}) {
            QCOMPARE(guide->toPlainText().contains(note), note == QStringLiteral("--setup-msfs"));
        }
        // The steps come first; how files are backed up and encoded comes after every game.
        const QString text = guide->toPlainText();
        const qsizetype lastGame = text.indexOf(QStringLiteral("Microsoft Flight Simulator (SimConnect)"));
        QVERIFY(text.indexOf(QStringLiteral("Set up IL-2")) >= 0);
        QVERIFY(lastGame > text.indexOf(QStringLiteral("Set up IL-2")));
        for (const QString& detail : {QStringLiteral("grovik-trennal.bak"), QStringLiteral("UTF-16")}) {
            QVERIFY2(text.indexOf(detail) > lastGame, qPrintable(detail));
        }
        auto* result = dialog.findChild<QPlainTextEdit*>(QStringLiteral("setup_result"));
        QVERIFY(result);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("Settings")));
        QVERIFY(dialog.runSetup(GameSetupDialog::Game::Condor, dir.path()));
        QVERIFY2(result->toPlainText().startsWith(QStringLiteral("Condor: set up.")),
                 qPrintable(result->toPlainText()));
        QVERIFY(result->toPlainText().contains(QStringLiteral("Created")));
        QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("Settings/UDP.ini"))));
        QVERIFY(!dialog.runSetup(GameSetupDialog::Game::Il2, dir.path()));
        QVERIFY(result->toPlainText().startsWith(QStringLiteral("IL-2 Sturmovik: not set up.")));
        QVERIFY(result->toPlainText().contains(QStringLiteral("No data/startup.cfg")));
    }

    void shippedScriptIsTheRepositoryFile() {
        QFile source(
            QStringLiteral(TRENNAL_FIXTURES_DIR "/../../integrations/dcs/grovik-trennal-export.lua"));
        QVERIFY(source.open(QIODevice::ReadOnly));
        QVERIFY(!DcsExportLua::script().isEmpty());
        QCOMPARE(DcsExportLua::script(), source.readAll());
    }

    // The export script under Lua 5.1 with the game's functions stubbed: what it sends is read by
    // the DCS parser. `values` is a Lua table constructor; a missing key makes its function
    // return nil, and `drop` names a function the game does not offer.
    void exportScript_data() {
        QTest::addColumn<QString>("values");
        QTest::addColumn<QString>("drop");
        QTest::addColumn<bool>("sends");
        QTest::addColumn<QString>("name");
        QTest::addColumn<float>("airspeed");
        QTest::addColumn<float>("aoa");
        QTest::addColumn<float>("thrust");
        QTest::addColumn<bool>("onGround");
        // LoGetAngleOfAttack() answers in degrees: the stub does too, and the datagram carries it as is.
        const QString jet = QStringLiteral("name = 'F-16C_50', ias = 100, vv = -2.5, aoa = 5, g = 1.2, "
                                           "gear = 1, brakes = 0.5, flaps = 0.25, "
                                           "left = 80, right = 90");
        QTest::newRow("in the air") << jet + ", s1 = 0, s4 = 0, s6 = 0"
                                    << "" << true << "F-16C_50" << 360.0f << 5.0f << 85.0f << false;
        QTest::newRow("on all three struts") << jet + ", s1 = 0.3, s4 = 0.5, s6 = 0.5"
                                             << "" << true << "F-16C_50" << 360.0f << 5.0f << 85.0f << true;
        QTest::newRow("left main strut only") << jet + ", s1 = 0, s4 = 0, s6 = 0.01"
                                              << "" << true << "F-16C_50" << 360.0f << 5.0f << 85.0f << true;
        QTest::newRow("negative angle of attack")
            << jet + ", s1 = 0, s4 = 0, s6 = 0, aoa = -3.25"
            << "" << true << "F-16C_50" << 360.0f << -3.25f << 85.0f << false;
        QTest::newRow("beyond the stall") << jet + ", s1 = 0, s4 = 0, s6 = 0, aoa = 28.5"
                                          << "" << true << "F-16C_50" << 360.0f << 28.5f << 85.0f << false;
        QTest::newRow("single engine reports right 0")
            << QStringLiteral(
                   "name = 'TF-51D', ias = 50, vv = 0, aoa = 0, g = 1, gear = 1, brakes = 0, flaps = 0, "
                   "left = 70, right = 0, s1 = 0, s4 = 0.2, s6 = 0.2")
            << "" << true << "TF-51D" << 180.0f << 0.0f << 35.0f << true;
        QTest::newRow("name with separators")
            << QStringLiteral(
                   "name = 'A;B\\nC', ias = 10, vv = 0, aoa = 0, g = 1, gear = 0, brakes = 0, flaps = 0, "
                   "left = 0, right = 0, s1 = 0, s4 = 0, s6 = 0")
            << "" << true << "A B C" << 36.0f << 0.0f << 0.0f << false;
        QTest::newRow("no aircraft yet")
            << QStringLiteral("ias = 0") << "" << false << "" << 0.0f << 0.0f << 0.0f << false;
        QTest::newRow("engine info missing")
            << QStringLiteral(
                   "name = 'Su-27', ias = 100, vv = 0, aoa = 0, g = 1, gear = 0, brakes = 0, flaps = 0, "
                   "s1 = 0, s4 = 0, s6 = 0")
            << "" << false << "" << 0.0f << 0.0f << 0.0f << false;
        QTest::newRow("airspeed not a number") << jet + ", s1 = 0, s4 = 0, s6 = 0, ias = 0/0"
                                               << "" << false << "" << 0.0f << 0.0f << 0.0f << false;
        QTest::newRow("draw arguments not offered")
            << jet + ", s1 = 0, s4 = 0, s6 = 0"
            << "LoGetAircraftDrawArgumentValue" << false << "" << 0.0f << 0.0f << 0.0f << false;
        QTest::newRow("no socket library") << jet + ", s1 = 0, s4 = 0, s6 = 0"
                                           << "socket" << false << "" << 0.0f << 0.0f << 0.0f << false;
    }

    void exportScript() {
        QFETCH(QString, values);
        QFETCH(QString, drop);
        QFETCH(bool, sends);
        QFETCH(QString, name);
        QFETCH(float, airspeed);
        QFETCH(float, aoa);
        QFETCH(float, thrust);
        QFETCH(bool, onGround);
        const QString lua = QStandardPaths::findExecutable(QStringLiteral("lua5.1"));
        if (lua.isEmpty()) {
            QSKIP("lua5.1 is not installed");
        }
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        writeBytes(dir.filePath(QStringLiteral("export.lua")), DcsExportLua::script());
        const QString driver = QStringLiteral(R"LUA(
local v = { %1 }
local drop = '%2'
if drop ~= 'socket' then
    package.preload['socket'] = function()
        return { udp = function()
            return {
                settimeout = function() end,
                setpeername = function(self, host, port) print('PEER ' .. host .. ' ' .. port) end,
                send = function(self, datagram) io.write('SEND ', datagram, '\n') end,
                close = function() print('CLOSE') end,
            }
        end }
    end
end
-- Another tool's export functions, defined before the script.
function LuaExportStart() print('OTHER start') end
function LuaExportAfterNextFrame() print('OTHER frame') end
function LuaExportStop() print('OTHER stop') end
LoGetSelfData = function() if v.name then return { Name = v.name } end end
LoGetIndicatedAirSpeed = function() return v.ias end
LoGetVerticalVelocity = function() return v.vv end
LoGetAngleOfAttack = function() return v.aoa end
LoGetAccelerationUnits = function() if v.g then return { x = 0, y = v.g, z = 0 } end end
LoGetMechInfo = function()
    return { gear = { value = v.gear }, speedbrakes = { value = v.brakes }, flaps = { value = v.flaps } }
end
LoGetEngineInfo = function() if v.left then return { RPM = { left = v.left, right = v.right } } end end
LoGetAircraftDrawArgumentValue = function(n) return v['s' .. n] end
_G[drop] = nil
dofile('%3')
LuaExportStart()
LuaExportAfterNextFrame()
LuaExportAfterNextFrame()
LuaExportStop()
)LUA")
                                   .arg(values, drop, dir.filePath(QStringLiteral("export.lua")));
        writeBytes(dir.filePath(QStringLiteral("driver.lua")), driver.toUtf8());
        QProcess process;
        process.start(lua, {dir.filePath(QStringLiteral("driver.lua"))});
        QVERIFY(process.waitForFinished(30000));
        const QString errors = QString::fromUtf8(process.readAllStandardError());
        QVERIFY2(process.exitCode() == 0 && errors.isEmpty(), qPrintable(errors));
        const QList<QByteArray> lines = process.readAllStandardOutput().split('\n');

        // The other tool is called as before, whatever the script does.
        QStringList others;
        QList<QByteArray> datagrams;
        for (const QByteArray& line : lines) {
            if (line.startsWith("OTHER ")) {
                others << QString::fromLatin1(line.mid(6));
            } else if (line.startsWith("SEND ")) {
                datagrams << line.mid(5);
            }
        }
        QCOMPARE(others, (QStringList{"start", "frame", "frame", "stop"}));
        QCOMPARE(lines.contains("PEER 127.0.0.1 29778"), drop != QStringLiteral("socket"));
        QCOMPARE(datagrams.size(), sends ? 2 : 0);
        for (const QByteArray& datagram : datagrams) {
            QCOMPARE(datagram.count(';'), 9);
            QCOMPARE(dcsStreamName(datagram), name);
            const DCSTelemetry t = parseDcsDatagram(datagram);
            QVERIFY(std::fabs(t.airspeed - airspeed) < 0.01f);
            QVERIFY2(std::fabs(t.aoa - aoa) < 0.001f, qPrintable(QString::number(t.aoa)));
            QVERIFY(std::fabs(t.propAirflow - thrust) < 0.001f);
            QCOMPARE(t.onGround, onGround);
            if (name == QStringLiteral("F-16C_50")) {
                QCOMPARE(t.verticalSpeed, -2.5f);
                QCOMPARE(t.gForce, 1.2f);
                QCOMPARE(t.gear, 100.0f);
                QCOMPARE(t.airbrake, 50.0f);
                QCOMPARE(t.flaps, 25.0f);
            }
        }
    }
};

QTEST_MAIN(TestGameSetup)
#include "tst_gamesetup.moc"
