#include "profiles/profilejson.h"
#include "profiles/profilesession.h"
#include "profiles/profilestore.h"
#include "records/metatypes.h"
#include "support/profilefields.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <optional>
#include <sys/resource.h>
#include <unistd.h>

namespace {

EffectsProfileMetadata meta(int source, const QString& module, const QString& comment = QString()) {
    EffectsProfileMetadata m;
    m.flight_data_source = static_cast<Telemetry::Source>(source);
    m.flight_module = module;
    m.comment = comment;
    return m;
}

EffectsProfile profileWith(const EffectsProfileMetadata& m, float springStrength = 25.0f) {
    EffectsProfile profile;
    profile.resetToDefaults();
    profile.metadata = m;
    profile.effects.axes[1].simple_spring.active = true;
    profile.effects.axes[1].simple_spring.total_effect_strength = springStrength;
    return profile;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QStringList listedFiles(const ProfileStore& store) {
    QStringList names;
    for (const ProfileStore::Entry& entry : store.entries()) {
        names << entry.fileName;
    }
    return names;
}

QStringList listedLabels(const ProfileStore& store) {
    QStringList labels;
    for (const ProfileStore::Entry& entry : store.entries()) {
        labels << entry.text;
    }
    return labels;
}

} // namespace

class TestProfileStore : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { registerMetaTypes(); }
    void init();
    void cleanup();

    void sourceNames_data();
    void sourceNames();
    void fileNames_data();
    void fileNames();
    void labels_data();
    void labels();

    void constructorCreatesDirectory();
    void saveWritesFileAndListsIt();
    void savingTwiceKeepsOneFileWithSecondContent();
    void loadReadsBackWhatWasSaved();
    void scanListsEveryRegularVisibleFile();
    void scanSortsByLabelAndRebuildsMap();
    void rowOfIgnoresCase();
    void rowOfPrefersTheExactName();
    void autoSelect_data();
    void autoSelect();
    void unsafeNamesAreRefused();
    void symlinksAreNotFollowed();
    void interruptedSaveKeepsOldFile();
    void saveOntoDirectoryFails();
    void failedSaveSaysWhy_data();
    void failedSaveSaysWhy();
    void missingDirectoryListsAndTouchesNothing();
    void oversizedFileLoadsAsDefault();
    void sessionStates_data();
    void sessionStates();
    void sessionsShareNothing();

private:
    QTemporaryDir* m_dir = nullptr;
    QString m_previous;
};

void TestProfileStore::init() {
    m_previous = QDir::currentPath();
    m_dir = new QTemporaryDir();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir::setCurrent(m_dir->path()));
}

void TestProfileStore::cleanup() {
    QDir::setCurrent(m_previous);
    delete m_dir;
    m_dir = nullptr;
}

void TestProfileStore::sourceNames_data() {
    QTest::addColumn<int>("source");
    QTest::addColumn<QString>("name");
    QTest::newRow("0") << 0 << "DISABLED";
    QTest::newRow("1") << 1 << "MSFS";
    QTest::newRow("2") << 2 << "DCS";
    QTest::newRow("3") << 3 << "IL2 SHTURMOVIK";
    QTest::newRow("4") << 4 << "WARTHUNDER";
    QTest::newRow("5") << 5 << "CONDOR2";
    QTest::newRow("6") << 6 << "XPLANE";
    QTest::newRow("7") << 7 << "WARTHUNDER";
    QTest::newRow("-1") << -1 << "WARTHUNDER";
}

void TestProfileStore::sourceNames() {
    QFETCH(int, source);
    QFETCH(QString, name);
    QCOMPARE(ProfileStore::sourceName(source), name);
}

void TestProfileStore::fileNames_data() {
    QTest::addColumn<int>("source");
    QTest::addColumn<QString>("module");
    QTest::addColumn<QString>("comment");
    QTest::addColumn<QString>("name");
    QTest::newRow("msfs module") << 1 << "DR400 Ecoflyer"
                                 << ""
                                 << "MSFS_DR400_Ecoflyer.json";
    QTest::newRow("generic comment") << 0 << ""
                                     << "test 2"
                                     << "GENERIC_test_2.json";
    QTest::newRow("generic empty") << 0 << ""
                                   << ""
                                   << "GENERIC.json";
    QTest::newRow("dcs") << 2 << "F-16C_50"
                         << ""
                         << "DCS_F_16C_50.json";
    QTest::newRow("il2 prefix keeps space") << 3 << "Bf 109 G-4"
                                            << ""
                                            << "IL2 SHTURMOVIK_Bf_109_G_4.json";
    QTest::newRow("both") << 5 << "ASK-21"
                          << "x"
                          << "CONDOR2_ASK_21_x.json";
    QTest::newRow("unknown source") << 9 << "a"
                                    << ""
                                    << "WARTHUNDER_a.json";
    QTest::newRow("path escape") << 1 << "../../etc/passwd"
                                 << "..\\x"
                                 << "MSFS_______etc_passwd____x.json";
    QTest::newRow("non-ascii letters") << 4 << QStringLiteral("\u00e9\u00df9") << ""
                                       << "WARTHUNDER___9.json";
    QTest::newRow("surrogate pair is one character") << 0 << QStringLiteral("a\U0001F600b") << ""
                                                     << "GENERIC_a_b.json";
    QTest::newRow("lone surrogate") << 0 << QString(QChar(0xD800)) << ""
                                    << "GENERIC__.json";
    QTest::newRow("game default") << 2 << "*"
                                  << ""
                                  << "DCS__.json";
}

void TestProfileStore::fileNames() {
    QFETCH(int, source);
    QFETCH(QString, module);
    QFETCH(QString, comment);
    QFETCH(QString, name);
    QCOMPARE(ProfileStore::fileName(meta(source, module, comment)), name);
}

void TestProfileStore::labels_data() {
    QTest::addColumn<int>("source");
    QTest::addColumn<QString>("module");
    QTest::addColumn<QString>("comment");
    QTest::addColumn<QString>("label");
    QTest::newRow("all three") << 1 << "DR400"
                               << "aerobatic"
                               << "DR400 (aerobatic)[MSFS]";
    QTest::newRow("module only, trailing space") << 0 << "DR400"
                                                 << ""
                                                 << "DR400 ";
    QTest::newRow("comment only") << 0 << ""
                                  << "test"
                                  << "test (test)";
    QTest::newRow("empty") << 0 << ""
                           << ""
                           << "";
    QTest::newRow("comment equals module") << 2 << "A-10C"
                                           << "A-10C"
                                           << "A-10C [DCS]";
    QTest::newRow("comment differs in case") << 0 << "Spit"
                                             << "spit"
                                             << "Spit (spit)";
    QTest::newRow("source only") << 3 << ""
                                 << ""
                                 << "[IL2 SHTURMOVIK]";
    QTest::newRow("game default") << 2 << "*"
                                  << ""
                                  << "Any aircraft [DCS]";
    QTest::newRow("game default with comment") << 5 << "*"
                                               << "gentle"
                                               << "Any aircraft (gentle)[CONDOR2]";
}

void TestProfileStore::labels() {
    QFETCH(int, source);
    QFETCH(QString, module);
    QFETCH(QString, comment);
    QFETCH(QString, label);
    QCOMPARE(ProfileStore::label(meta(source, module, comment)), label);
}

void TestProfileStore::constructorCreatesDirectory() {
    QVERIFY(!QFileInfo::exists("effect_profiles"));
    ProfileStore store;
    QVERIFY(QFileInfo("effect_profiles").isDir());
    QCOMPARE(store.directoryPath(), QDir(m_dir->path()).absoluteFilePath("effect_profiles"));
}

void TestProfileStore::saveWritesFileAndListsIt() {
    ProfileStore store;
    bool saved = false;
    const QString name = store.save(profileWith(meta(2, "F-16C_50")), &saved);
    QVERIFY(saved);
    QCOMPARE(name, QStringLiteral("DCS_F_16C_50.json"));
    QVERIFY(QFileInfo("effect_profiles/DCS_F_16C_50.json").isFile());
    QCOMPARE(listedFiles(store), QStringList{name});
    QCOMPARE(listedLabels(store), QStringList{"F-16C_50 [DCS]"});
    QCOMPARE(store.rowOf(name), 0);
    QCOMPARE(store.metadata().value(name).flight_module, QStringLiteral("F-16C_50"));
    // Only the profile file is left behind: no temporary.
    QCOMPARE(QDir("effect_profiles").entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{name});
}

void TestProfileStore::savingTwiceKeepsOneFileWithSecondContent() {
    ProfileStore store;
    store.save(profileWith(meta(1, "C172"), 10.0f));
    const EffectsProfile second = profileWith(meta(1, "C172"), 90.0f);
    store.save(second);
    QCOMPARE(QDir("effect_profiles").entryList(QDir::Files), QStringList{"MSFS_C172.json"});
    QCOMPARE(readFile("effect_profiles/MSFS_C172.json"), ProfileJson::toDocument(second));
}

void TestProfileStore::loadReadsBackWhatWasSaved() {
    ProfileStore store;
    EffectsProfile profile;
    profile.resetToDefaults();
    ProfileFields::fillOddInRange(profile, 11); // values the editor allows read back exactly
    profile.metadata = meta(3, "Yak-1 ser.69", "stiff");
    const QString name = store.save(profile);
    EffectsProfile back;
    ProfileFields::fillOdd(back, 4);
    store.load(name, back);
    QCOMPARE(ProfileFields::fields(back), ProfileFields::fields(profile));
    // A name that is not there gives the default profile.
    store.load("MSFS_nothing.json", back);
    EffectsProfile defaults;
    defaults.resetToDefaults();
    QCOMPARE(ProfileFields::fields(back), ProfileFields::fields(defaults));
}

void TestProfileStore::scanListsEveryRegularVisibleFile() {
    ProfileStore store;
    QVERIFY(writeFile("effect_profiles/notes.txt", "remember the rudder"));
    QVERIFY(writeFile("effect_profiles/broken.json", "{\"metadata\": {"));
    QVERIFY(
        writeFile("effect_profiles/.hidden.json", ProfileJson::toDocument(profileWith(meta(1, "hidden")))));
    QVERIFY(QDir("effect_profiles").mkdir("folder.json"));
    QVERIFY(writeFile("effect_profiles/MSFS_A.json", ProfileJson::toDocument(profileWith(meta(1, "A")))));
    store.scan();

    // A file without a label is listed under its file name: no row is blank.
    QCOMPARE(listedFiles(store), (QStringList{"MSFS_A.json", "broken.json", "notes.txt"}));
    QCOMPARE(listedLabels(store), (QStringList{"A [MSFS]", "broken.json", "notes.txt"}));
    QCOMPARE(store.metadata().keys(), (QStringList{"MSFS_A.json", "broken.json", "notes.txt"}));
    QCOMPARE(int(store.metadata().value("notes.txt").flight_data_source), 0);

    EffectsProfile loaded = profileWith(meta(2, "x"));
    store.load("notes.txt", loaded);
    EffectsProfile defaults;
    defaults.resetToDefaults();
    QCOMPARE(ProfileFields::fields(loaded), ProfileFields::fields(defaults));
}

void TestProfileStore::scanSortsByLabelAndRebuildsMap() {
    ProfileStore store;
    store.save(profileWith(meta(1, "Zlin")));
    store.save(profileWith(meta(2, "A-4E")));
    store.save(profileWith(meta(0, "", "beta")));
    store.save(profileWith(meta(5, "ASK-21")));
    QCOMPARE(listedLabels(store),
             (QStringList{"A-4E [DCS]", "ASK-21 [CONDOR2]", "Zlin [MSFS]", "beta (beta)"}));
    QCOMPARE(store.metadata().size(), 4);

    store.remove("MSFS_Zlin.json");
    QVERIFY(!QFileInfo::exists("effect_profiles/MSFS_Zlin.json"));
    QCOMPARE(listedLabels(store), (QStringList{"A-4E [DCS]", "ASK-21 [CONDOR2]", "beta (beta)"}));
    QVERIFY(!store.metadata().contains("MSFS_Zlin.json"));
}

void TestProfileStore::rowOfIgnoresCase() {
    ProfileStore store;
    store.save(profileWith(meta(1, "B")));
    store.save(profileWith(meta(1, "A")));
    QCOMPARE(store.rowOf("MSFS_A.json"), 0);
    QCOMPARE(store.rowOf("msfs_b.JSON"), 1);
    QCOMPARE(store.rowOf("MSFS_C.json"), -1);
    QCOMPARE(store.rowOf(QString()), -1);
}

void TestProfileStore::rowOfPrefersTheExactName() {
    // Two files that differ only in case, listed with the other one first.
    ProfileStore store;
    store.save(profileWith(meta(1, "cessna")));
    store.save(profileWith(meta(1, "Cessna")));
    QCOMPARE(listedFiles(store), (QStringList{"MSFS_Cessna.json", "MSFS_cessna.json"}));
    QCOMPARE(store.rowOf("MSFS_cessna.json"), 1);
    QCOMPARE(store.rowOf("MSFS_Cessna.json"), 0);
    QCOMPARE(store.rowOf("msfs_CESSNA.json"), 0); // no exact name: the first that matches
}

void TestProfileStore::autoSelect_data() {
    QTest::addColumn<int>("source");
    QTest::addColumn<QString>("module");
    QTest::addColumn<QString>("expected"); // the profile the aircraft flies with
    QTest::addColumn<QString>("own");      // its own profile, never the game's default
    QTest::newRow("first of two matches") << 1 << "Twin"
                                          << "MSFS_A.json"
                                          << "MSFS_A.json";
    QTest::newRow("case-sensitive module") << 1 << "Cessna"
                                           << ""
                                           << "";
    QTest::newRow("exact module") << 1 << "cessna"
                                  << "MSFS_cessna.json"
                                  << "MSFS_cessna.json";
    QTest::newRow("source 0 does nothing") << 0 << "Glider"
                                           << ""
                                           << "";
    QTest::newRow("source 0 has no default") << 0 << "Anything"
                                             << ""
                                             << "";
    QTest::newRow("source must match") << 2 << "cessna"
                                       << ""
                                       << "";
    QTest::newRow("empty module matches empty only") << 4 << ""
                                                     << "WARTHUNDER.json"
                                                     << "WARTHUNDER.json";
    QTest::newRow("no source-only fallback") << 4 << "MiG-15"
                                             << ""
                                             << "";
    QTest::newRow("prefix is no match") << 1 << "cess"
                                        << ""
                                        << "";
    QTest::newRow("game default serves an aircraft without its own") << 5 << "Discus"
                                                                     << "CONDOR2__.json"
                                                                     << "";
    QTest::newRow("exact match wins over the game default") << 5 << "ASK-21"
                                                            << "CONDOR2_ASK_21.json"
                                                            << "CONDOR2_ASK_21.json";
    QTest::newRow("game default serves a nameless aircraft") << 5 << ""
                                                             << "CONDOR2__.json"
                                                             << "";
    QTest::newRow("case differs: the default, not the other profile") << 5 << "ask-21"
                                                                      << "CONDOR2__.json"
                                                                      << "";
    QTest::newRow("another game's default does not serve") << 2 << "Discus"
                                                           << ""
                                                           << "";
    QTest::newRow("IL-2 aircraft with its own profile") << 3 << "P-51D-15"
                                                        << "IL2 SHTURMOVIK_P_51D_15.json"
                                                        << "IL2 SHTURMOVIK_P_51D_15.json";
    QTest::newRow("IL-2 aircraft without: Generic warbird before the default")
        << 3 << "Bf 109 G-2"
        << "IL2 SHTURMOVIK_Generic_warbird.json"
        << "";
    QTest::newRow("IL-2 before any name: Generic warbird's own") << 3 << "Generic warbird"
                                                                 << "IL2 SHTURMOVIK_Generic_warbird.json"
                                                                 << "IL2 SHTURMOVIK_Generic_warbird.json";
    QTest::newRow("Generic warbird is no fallback for DCS") << 2 << "Generic warbird"
                                                            << ""
                                                            << "";
}

void TestProfileStore::autoSelect() {
    QFETCH(int, source);
    QFETCH(QString, module);
    QFETCH(QString, expected);
    QFETCH(QString, own);
    ProfileStore store;
    // Two files whose metadata both match: the first in file-name order wins, whatever
    // the order of their labels.
    QVERIFY(
        writeFile("effect_profiles/MSFS_B.json", ProfileJson::toDocument(profileWith(meta(1, "Twin", "a")))));
    QVERIFY(
        writeFile("effect_profiles/MSFS_A.json", ProfileJson::toDocument(profileWith(meta(1, "Twin", "z")))));
    store.save(profileWith(meta(1, "cessna")));
    store.save(profileWith(meta(0, "Glider")));
    store.save(profileWith(meta(4, "")));
    // Defaults: Condor 2 has one (with a second, later in file-name order), source 0 one
    // that never serves.
    store.save(profileWith(meta(5, "*")));
    store.save(profileWith(meta(5, "*", "z")));
    store.save(profileWith(meta(5, "ASK-21")));
    store.save(profileWith(meta(0, "*")));
    // IL-2: an aircraft's own, the generic aircraft's and the game's default.
    store.save(profileWith(meta(3, "P-51D-15")));
    store.save(profileWith(meta(3, "Generic warbird")));
    store.save(profileWith(meta(3, "*")));
    store.scan();
    const auto game = static_cast<Telemetry::Source>(source);
    QCOMPARE(store.autoSelect(game, module), expected);
    QCOMPARE(store.ownProfile(game, module), own);
    QCOMPARE(store.gameDefault(game), QString(source == 5   ? "CONDOR2__.json"
                                              : source == 3 ? "IL2 SHTURMOVIK__.json"
                                                            : ""));
}

void TestProfileStore::unsafeNamesAreRefused() {
    ProfileStore store;
    const QByteArray outside = ProfileJson::toDocument(profileWith(meta(1, "outside")));
    QVERIFY(writeFile("outside.json", outside));
    QVERIFY(QDir().mkdir("effect_profiles/sub"));
    QVERIFY(writeFile("effect_profiles/sub/inner.json", outside));

    const QStringList names = {"../outside.json",
                               "..\\outside.json",
                               QDir::currentPath() + "/outside.json",
                               "sub/inner.json",
                               "..",
                               "",
                               QStringLiteral("outside.json\0x")};
    for (const QString& name : names) {
        QVERIFY2(!ProfileStore::isSafeFileName(name), qPrintable(name));
        EffectsProfile loaded;
        store.load(name, loaded);
        QCOMPARE(loaded.metadata.flight_module, QString());
        store.remove(name);
    }
    QCOMPARE(readFile("outside.json"), outside);
    QCOMPARE(readFile("effect_profiles/sub/inner.json"), outside);
    QVERIFY(ProfileStore::isSafeFileName("IL2 SHTURMOVIK_Bf_109.json"));
}

void TestProfileStore::symlinksAreNotFollowed() {
    ProfileStore store;
    const QByteArray victim = ProfileJson::toDocument(profileWith(meta(0, "")));
    QVERIFY(writeFile("victim.json", victim));
    QVERIFY(QFile::link(QDir::current().absoluteFilePath("victim.json"), "effect_profiles/MSFS_link.json"));
    QVERIFY(QFile::link(QDir::current().absoluteFilePath("victim.json"), "effect_profiles/GENERIC.json"));
    store.scan();
    QCOMPARE(listedFiles(store), QStringList());

    EffectsProfile loaded = profileWith(meta(2, "x"));
    store.load("MSFS_link.json", loaded);
    QCOMPARE(int(loaded.metadata.flight_data_source), 0);
    QVERIFY(!loaded.effects.axes[1].simple_spring.active);

    // Saving onto a link replaces the link with the profile; the file it pointed at stays.
    bool saved = false;
    const EffectsProfile generic = profileWith(meta(0, ""), 77.0f);
    QCOMPARE(store.save(generic, &saved), QStringLiteral("GENERIC.json"));
    QVERIFY(saved);
    QVERIFY(!QFileInfo("effect_profiles/GENERIC.json").isSymLink());
    QCOMPARE(readFile("effect_profiles/GENERIC.json"), ProfileJson::toDocument(generic));
    QCOMPARE(readFile("victim.json"), victim);

    // Removing a link removes the link only.
    store.remove("MSFS_link.json");
    QVERIFY(!QFileInfo("effect_profiles/MSFS_link.json").isSymLink());
    QCOMPARE(readFile("victim.json"), victim);
}

void TestProfileStore::interruptedSaveKeepsOldFile() {
    // A file-size limit makes the write fail part-way, as a full disk would; it holds for
    // root too. SIGXFSZ is ignored so the write fails with an error instead.
    ProfileStore store;
    const EffectsProfile old = profileWith(meta(1, "Spitfire"), 10.0f);
    QCOMPARE(store.save(old), QStringLiteral("MSFS_Spitfire.json"));
    const QByteArray oldBytes = readFile("effect_profiles/MSFS_Spitfire.json");

    EffectsProfile larger = old;
    ProfileFields::fillOdd(larger, 1);
    larger.metadata = old.metadata;
    const QByteArray largerBytes = ProfileJson::toDocument(larger);
    QVERIFY(largerBytes.size() > 4096);

    struct rlimit saved {};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = 1024;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    bool ok = true;
    store.save(larger, &ok);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY(!ok);
    QCOMPARE(readFile("effect_profiles/MSFS_Spitfire.json"), oldBytes);
    QCOMPARE(QDir("effect_profiles").entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"MSFS_Spitfire.json"});
    // With the limit lifted the same save goes through.
    store.save(larger, &ok);
    QVERIFY(ok);
    QCOMPARE(readFile("effect_profiles/MSFS_Spitfire.json"), largerBytes);
}

void TestProfileStore::saveOntoDirectoryFails() {
    ProfileStore store;
    QVERIFY(QDir().mkdir("effect_profiles/GENERIC.json"));
    bool ok = true;
    store.save(profileWith(meta(0, "")), &ok);
    QVERIFY(!ok);
    QVERIFY(QFileInfo("effect_profiles/GENERIC.json").isDir());
    QCOMPARE(listedFiles(store), QStringList());
}

void TestProfileStore::failedSaveSaysWhy_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("reason"); // part of the system's own words
    QTest::newRow("directory in the file's place") << "directory"
                                                   << "directory";
    QTest::newRow("name too long to write") << "long name"
                                            << "too long";
    QTest::newRow("disk full part-way") << "size limit"
                                        << "too large";
    QTest::newRow("read-only directory") << "read-only"
                                         << "denied";
}

void TestProfileStore::failedSaveSaysWhy() {
    QFETCH(QString, how);
    QFETCH(QString, reason);
    ProfileStore store;
    EffectsProfile profile = profileWith(meta(1, "Spitfire"));
    if (how == QLatin1String("directory")) {
        QVERIFY(QDir().mkdir("effect_profiles/MSFS_Spitfire.json"));
    } else if (how == QLatin1String("long name")) {
        profile.metadata.flight_module = QString(300, QLatin1Char('x'));
    } else if (how == QLatin1String("size limit")) {
        ProfileFields::fillOdd(profile, 1);
        profile.metadata = meta(1, "Spitfire");
    } else if (how == QLatin1String("read-only")) {
        if (geteuid() == 0) {
            QSKIP("permissions do not hold for root");
        }
        QVERIFY(QFile::setPermissions("effect_profiles", QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    }

    struct rlimit saved {};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    if (how == QLatin1String("size limit")) {
        struct rlimit limited = saved;
        limited.rlim_cur = 1024;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    }
    bool ok = true;
    QString error;
    store.save(profile, &ok, &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    QFile::setPermissions("effect_profiles",
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QVERIFY(!ok);
    QVERIFY2(error.contains(reason, Qt::CaseInsensitive), qPrintable(error));
    QVERIFY(!QFileInfo("effect_profiles/MSFS_Spitfire.json").isFile());
    // A save that works reports no error.
    store.save(profileWith(meta(2, "F-5E")), &ok, &error);
    QVERIFY(ok);
    QVERIFY(error.isEmpty());
}

void TestProfileStore::missingDirectoryListsAndTouchesNothing() {
    // A plain file where the directory belongs: nothing can be created, listed or removed.
    QVERIFY(writeFile("effect_profiles", "not a directory"));
    const QByteArray generic = ProfileJson::toDocument(profileWith(meta(0, ""), 5.0f));
    QVERIFY(writeFile("GENERIC.json", generic));
    ProfileStore store;
    store.scan();
    QCOMPARE(listedFiles(store), QStringList());
    bool ok = true;
    store.save(profileWith(meta(0, ""), 60.0f), &ok);
    QVERIFY(!ok);
    store.remove("GENERIC.json");
    QCOMPARE(readFile("GENERIC.json"), generic);
    QCOMPARE(readFile("effect_profiles"), QByteArray("not a directory"));
}

void TestProfileStore::oversizedFileLoadsAsDefault() {
    ProfileStore store;
    QByteArray bytes = ProfileJson::toDocument(profileWith(meta(1, "Huge")));
    bytes.append(QByteArray(ProfileStore::MaxProfileBytes, ' '));
    QVERIFY(writeFile("effect_profiles/MSFS_Huge.json", bytes));
    store.scan();
    QCOMPARE(listedLabels(store), QStringList{"MSFS_Huge.json"});
    EffectsProfile loaded = profileWith(meta(2, "x"));
    store.load("MSFS_Huge.json", loaded);
    QCOMPARE(loaded.metadata.flight_module, QString());
}

// Steps: "edit" tunes the ailerons' spring, "directx" adds DirectX on the ailerons, "source:N"
// changes the profile's game, "select:N:module" is a stream's aircraft, "end" the stream's end,
// "save", "restore", "load:file", "remove:file".
void TestProfileStore::sessionStates_data() {
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("loaded");
    QTest::addColumn<bool>("unsaved");
    QTest::addColumn<bool>("setAside");
    QTest::addColumn<int>("sudden");
    QTest::addColumn<int>("moderate");
    QTest::addColumn<bool>("notice");     // an aircraft flies without a profile of its own
    QTest::addColumn<QString>("message"); // in the last note for the status bar; empty: no note
    const QString own = QStringLiteral("DCS_F_16C.json");
    const QString fallback = QStringLiteral("DCS__.json");
    const QString byDefault =
        QStringLiteral("No profile for A-10C: it flies with the game's default profile");
    QTest::newRow("edit") << QStringList{"edit"} << "" << true << false << 0 << 1 << false << "";
    QTest::newRow("own profile") << QStringList{"select:2:F-16C"} << own << false << false << 1 << 0 << false
                                 << "";
    QTest::newRow("game default") << QStringList{"select:2:A-10C"} << fallback << false << false << 1 << 0
                                  << true << byDefault;
    QTest::newRow("no source") << QStringList{"select:0:F-16C"} << "" << false << false << 0 << 0 << false
                               << "";
    QTest::newRow("unknown game") << QStringList{"select:1:F-16C"} << "" << false << false << 0 << 0 << true
                                  << "No profile for F-16C: it flies without forces.";
    QTest::newRow("edits set aside") << QStringList{"select:2:F-16C", "edit", "select:2:A-10C"} << fallback
                                     << false << true << 2 << 1 << true
                                     << "Unsaved changes of the profile \"F-16C [DCS]\" were set aside";
    QTest::newRow("restored") << QStringList{"select:2:F-16C", "edit", "select:2:A-10C", "restore"} << own
                              << true << false << 3 << 1 << true
                              << "Unsaved changes of the profile \"F-16C [DCS]\" restored.";
    QTest::newRow("resumed stream keeps edits") << QStringList{"select:2:F-16C", "edit", "select:2:F-16C"}
                                                << own << true << false << 1 << 1 << false << "";
    QTest::newRow("saved edits stay") << QStringList{"select:2:F-16C", "edit", "save", "select:2:A-10C"}
                                      << fallback << false << false << 2 << 1 << true << byDefault;
    QTest::newRow("chosen by hand, then its aircraft")
        << QStringList{"load:" + fallback, "edit", "select:2:A-10C"} << fallback << true << false << 1 << 1
        << true << byDefault;
    QTest::newRow("stream ends") << QStringList{"select:2:A-10C", "end"} << fallback << false << false << 1
                                 << 0 << false << byDefault;
    QTest::newRow("source drops DirectX")
        << QStringList{"directx", "source:1"} << "" << true << false << 1 << 1 << false << "";
    QTest::newRow("source keeps DirectX")
        << QStringList{"directx", "source:2"} << "" << true << false << 1 << 0 << false << "";
    QTest::newRow("removed") << QStringList{"select:2:F-16C", "edit", "remove:" + own} << "" << false << false
                             << 1 << 2 << true << "";
}

void TestProfileStore::sessionStates() {
    QFETCH(QStringList, steps);
    ProfileStore().save(profileWith(meta(2, "F-16C"), 30.0f));
    ProfileStore().save(profileWith(meta(2, ProfileStore::AnyAircraft), 60.0f));
    ProfileSession session;
    QSignalSpy sudden(&session, &ProfileSession::suddenValueChange);
    QSignalSpy moderate(&session, &ProfileSession::moderateValueChange);
    QSignalSpy messages(&session, &ProfileSession::statusMessage);
    std::optional<EffectsSettings> lastSent;
    for (auto signal : {&ProfileSession::suddenValueChange, &ProfileSession::moderateValueChange}) {
        connect(&session, signal, this, [&lastSent](const EffectsSettings& s) { lastSent = s; });
    }
    for (const QString& step : std::as_const(steps)) {
        const QStringList part = step.split(QLatin1Char(':'));
        if (part[0] == "edit") {
            session.axisForEditing(0).simple_spring.total_effect_strength += 1.0f;
            session.edited(ProfileSession::Change::Moderate);
        } else if (part[0] == "directx") {
            session.axisForEditing(0).direct_x.active = true;
            session.edited(ProfileSession::Change::Sudden);
        } else if (part[0] == "source") {
            session.setSource(part[1].toInt());
        } else if (part[0] == "select") {
            session.selectProfileFor(static_cast<Telemetry::Source>(part[1].toInt()), part[2]);
        } else if (part[0] == "end") {
            session.endStream();
        } else if (part[0] == "save") {
            QVERIFY(session.save(QString(), nullptr));
        } else if (part[0] == "restore") {
            session.restoreSetAside();
        } else if (part[0] == "load") {
            session.load(part[1]);
        } else if (part[0] == "remove") {
            session.remove(part[1]);
        }
    }
    QTEST(session.loadedFileName(), "loaded");
    QTEST(session.hasUnsavedChanges(), "unsaved");
    QTEST(session.canRestoreSetAside(), "setAside");
    QTEST(int(sudden.count()), "sudden");
    QTEST(int(moderate.count()), "moderate");
    QTEST(!session.aircraftNotice().isEmpty(), "notice");
    QFETCH(QString, message);
    if (message.isEmpty()) {
        QCOMPARE(messages.count(), 0);
    } else {
        QVERIFY(!messages.isEmpty());
        QVERIFY2(messages.last().at(0).toString().contains(message),
                 qPrintable(messages.last().at(0).toString()));
    }
    // Whatever happened, the loop has what the session holds.
    if (lastSent) {
        const AxisEffectsSettings& held = session.profile().effects.axes[0];
        QCOMPARE(lastSent->axes[0].simple_spring.total_effect_strength,
                 held.simple_spring.total_effect_strength);
        QCOMPARE(lastSent->axes[0].direct_x.active, held.direct_x.active);
    }
}

// Two sessions in one process (two engines, a test beside the program) keep their own profile
// and their own list: nothing is shared but the files.
void TestProfileStore::sessionsShareNothing() {
    ProfileStore().save(profileWith(meta(2, "F-16C"), 30.0f));
    ProfileSession first;
    ProfileSession second;
    first.selectProfileFor(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("F-16C"));
    first.axisForEditing(1).simple_spring.total_effect_strength = 80.0f;
    first.edited(ProfileSession::Change::Moderate);
    QCOMPARE(second.loadedFileName(), QString());
    QVERIFY(!second.hasUnsavedChanges());
    QVERIFY(!second.profile().effects.axes[1].simple_spring.active);

    QVERIFY(first.save(QString(), nullptr));
    first.setFlightModule(QStringLiteral("F-5E"));
    QVERIFY(first.save(QString(), nullptr));
    QCOMPARE(first.store().entries().size(), 2);
    // The other list changes when that session reads the directory again.
    QCOMPARE(second.store().entries().size(), 1);
    second.rescan();
    QCOMPARE(second.store().entries().size(), 2);
}

QTEST_GUILESS_MAIN(TestProfileStore)
#include "tst_profilestore.moc"
