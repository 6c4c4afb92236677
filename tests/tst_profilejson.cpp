#include "profiles/profilejson.h"
#include "support/profilefields.h"

#include <QJsonDocument>
#include <QtTest>

#include <algorithm>
#include <cfloat>
#include <cmath>

using ProfileFields::fields;

namespace {

EffectsProfile defaultProfile() {
    EffectsProfile profile;
    profile.resetToDefaults();
    return profile;
}

EffectsProfile oddProfile(uint64_t seed = 0) {
    EffectsProfile profile;
    profile.resetToDefaults();
    ProfileFields::fillOdd(profile, seed);
    return profile;
}

// Odd values the editor allows everywhere: what a saved profile holds.
EffectsProfile oddInRangeProfile(uint64_t seed = 0) {
    EffectsProfile profile;
    profile.resetToDefaults();
    ProfileFields::fillOddInRange(profile, seed);
    return profile;
}

// What each editor control allows, read off the panel forms, by the end of a field's name.
struct Bounds {
    double min;
    double max;
};
Bounds editorBounds(const QString& name) {
    if (name.endsWith(".exp")) {
        return {-100, 100};
    }
    if (name.contains(".speed.")) {
        return {0, 1000};
    }
    if (name.contains(".frequency.")) {
        return {0, 100};
    }
    if (name.contains(".aoa.")) {
        return {0, 90};
    }
    if (name.endsWith("condor_shaker.total_effect_strength")) {
        return {0, 99};
    }
    if (name.endsWith("_dampening")) {
        return {0, 500};
    }
    if (name.endsWith("attenuation_start_airspeed")) {
        return {0, 500};
    }
    if (name.endsWith("attenuation_end_airspeed") || name.endsWith("effect_time")) {
        return {0, 1000};
    }
    return {0, 100};
}

EffectsProfile roundTrip(const EffectsProfile& profile) {
    EffectsProfile back = oddProfile(7); // a dirty target: the read must overwrite everything
    ProfileJson::fromDocument(ProfileJson::toDocument(profile), back);
    return back;
}

// Lists the names whose values differ, so a failure says which field broke.
QStringList differences(const QMap<QString, QVariant>& a, const QMap<QString, QVariant>& b) {
    QStringList out;
    for (auto it = a.cbegin(); it != a.cend(); ++it) {
        if (!b.contains(it.key()) || b.value(it.key()) != it.value()) {
            out << it.key();
        }
    }
    return out;
}

} // namespace

class TestProfileJson : public QObject {
    Q_OBJECT

private slots:
    void everyEffectTypeRoundTripsBitForBit_data();
    void everyEffectTypeRoundTripsBitForBit();
    void wholeOddProfileRoundTripsBitForBit();
    void writtenLayoutMatchesHandWrittenDocument();
    void writtenLayoutOfShakersJoltAndAirflow();
    void inactiveEffectIsLeftOutAndReadsBackAsDefault();
    void everyValueIsHeldToItsEditorRange();
    void readerRules_data();
    void readerRules();
    void invalidDocumentGivesDefaultProfile_data();
    void invalidDocumentGivesDefaultProfile();
    void airflowCurveIsRebuiltFromReadAirspeeds();
    void nonFiniteFieldsWriteValidJsonAndReadAsDefaults();
};

void TestProfileJson::everyEffectTypeRoundTripsBitForBit_data() {
    QTest::addColumn<int>("type");
    for (int type = 0; type < EffectsProfile::EffectTypeCount; ++type) {
        QTest::newRow(qPrintable(ProfileFields::memberName(type))) << type;
    }
}

void TestProfileJson::everyEffectTypeRoundTripsBitForBit() {
    QFETCH(int, type);
    // Odd values everywhere, but only this type active: everything else must come back
    // as its default, this type exactly as it was.
    const EffectsProfile odd = oddInRangeProfile(uint64_t(type));
    EffectsProfile profile = defaultProfile();
    profile.metadata = odd.metadata;
    for (int axis = 0; axis < 3; ++axis) {
        SimpleEffectSettings* target = profile.effects.axes[axis].effect(type);
        QVERIFY(target);
        switch (type) {
#define COPY_EFFECT(member) profile.effects.axes[axis].member = odd.effects.axes[axis].member
        case EffectsProfile::EFFECT_TYPE_NATURAL_AIRFLOW:
            COPY_EFFECT(airflow_spring);
            break;
        case EffectsProfile::EFFECT_TYPE_SIMPLE_SPRING:
            COPY_EFFECT(simple_spring);
            break;
        case EffectsProfile::EFFECT_TYPE_ELEVATOR_WEIGHT:
            COPY_EFFECT(elevator_weight);
            break;
        case EffectsProfile::EFFECT_TYPE_DIRECT_X_FFB:
            COPY_EFFECT(direct_x);
            break;
        case EffectsProfile::EFFECT_TYPE_LANDING_JOLT:
            COPY_EFFECT(landing_jolt);
            break;
        case EffectsProfile::EFFECT_TYPE_AOA_SHAKER:
            COPY_EFFECT(aoa_shaker);
            break;
        case EffectsProfile::EFFECT_TYPE_EXTENDED_GEAR_SHAKER:
            COPY_EFFECT(gear_shaker);
            break;
        case EffectsProfile::EFFECT_TYPE_EXTENDED_FLAPS_SHAKER:
            COPY_EFFECT(flaps_shaker);
            break;
        case EffectsProfile::EFFECT_TYPE_EXTENDED_AIRBRAKES_SHAKER:
            COPY_EFFECT(airbrake_shaker);
            break;
        case EffectsProfile::EFFECT_TYPE_ON_GROUND_ROLLING_SHAKER:
            COPY_EFFECT(on_ground_shaker);
            break;
        case EffectsProfile::EFFECT_TYPE_IL2_SHAKING:
            COPY_EFFECT(il2_shaker);
            break;
        case EffectsProfile::EFFECT_TYPE_CONDOR_SHAKER:
            COPY_EFFECT(condor_shaker);
            break;
        case EffectsProfile::EFFECT_TYPE_SMART_DAMPER:
            COPY_EFFECT(smart_damper);
            break;
        case EffectsProfile::EFFECT_TYPE_TRIM_FOLLOWING:
            COPY_EFFECT(trim_following);
            break;
#undef COPY_EFFECT
        }
        QVERIFY(target->active);
    }

    const QByteArray document = ProfileJson::toDocument(profile);
    const QJsonObject effects = QJsonDocument::fromJson(document).object().value("effects").toObject();
    for (int axis = 0; axis < 3; ++axis) {
        const QJsonObject axisObject = effects.value(ProfileFields::axisName(axis)).toObject();
        QCOMPARE(axisObject.keys(), QStringList{ProfileFields::memberName(type)});
    }

    const EffectsProfile back = roundTrip(profile);
    QCOMPARE(differences(fields(profile), fields(back)), QStringList());
    QCOMPARE(fields(back), fields(profile));
}

void TestProfileJson::wholeOddProfileRoundTripsBitForBit() {
    for (uint64_t seed = 0; seed < 20; ++seed) {
        const EffectsProfile profile = oddInRangeProfile(seed);
        const EffectsProfile back = roundTrip(profile);
        QCOMPARE(differences(fields(profile), fields(back)), QStringList());
        // Writing what was read gives the same bytes again.
        QCOMPARE(ProfileJson::toDocument(back), ProfileJson::toDocument(profile));
    }
}

void TestProfileJson::writtenLayoutMatchesHandWrittenDocument() {
    EffectsProfile profile = oddProfile(); // all active: every effect must be switched off below
    profile.resetToDefaults();
    profile.metadata.flight_data_source = Telemetry::TELEMETRY_SOURCE_DCS;
    profile.metadata.flight_module = QStringLiteral("F-16C_50");
    SimpleEffectSettings& spring = profile.effects.axes[1].simple_spring;
    spring.active = true;
    spring.total_effect_strength = 0.1f;

    const QByteArray expected = "{\n"
                                "    \"effects\": {\n"
                                "        \"ailerons\": {\n"
                                "        },\n"
                                "        \"elevator\": {\n"
                                "            \"simple_spring\": {\n"
                                "                \"active\": true,\n"
                                "                \"total_effect_strength\": 0.10000000149011612\n"
                                "            }\n"
                                "        },\n"
                                "        \"rudder\": {\n"
                                "        }\n"
                                "    },\n"
                                "    \"metadata\": {\n"
                                "        \"comment\": \"\",\n"
                                "        \"flight_data_source\": 2,\n"
                                "        \"flight_module\": \"F-16C_50\"\n"
                                "    }\n"
                                "}\n";
    QCOMPARE(ProfileJson::toDocument(profile), expected);
}

void TestProfileJson::writtenLayoutOfShakersJoltAndAirflow() {
    EffectsProfile profile = defaultProfile();
    profile.metadata.comment = QStringLiteral("t\u00e9st \"q\"");
    AxisEffectsSettings& rudder = profile.effects.axes[2];
    rudder.landing_jolt.active = true;
    rudder.landing_jolt.total_effect_strength = 50.0f;
    rudder.landing_jolt.effect_time = 300;
    rudder.airflow_spring.active = true;
    rudder.airflow_spring.airspeed_force = 1.5f;
    rudder.condor_shaker.active = true;
    rudder.condor_shaker.frequency.exp = -0.3f;

    const QByteArray expected = "{\n"
                                "    \"effects\": {\n"
                                "        \"ailerons\": {\n"
                                "        },\n"
                                "        \"elevator\": {\n"
                                "        },\n"
                                "        \"rudder\": {\n"
                                "            \"airflow_spring\": {\n"
                                "                \"active\": true,\n"
                                "                \"airspeed_force\": 1.5,\n"
                                "                \"attenuation_end_airspeed\": 1000,\n"
                                "                \"attenuation_start_airspeed\": 500,\n"
                                "                \"attenuation_strength\": 100,\n"
                                "                \"local_aoa_influence_strength\": 0,\n"
                                "                \"thrust_force\": 0,\n"
                                "                \"total_effect_strength\": 0\n"
                                "            },\n"
                                "            \"condor_shaker\": {\n"
                                "                \"active\": true,\n"
                                "                \"frequency\": {\n"
                                "                    \"exp\": -0.30000001192092896,\n"
                                "                    \"max\": 20,\n"
                                "                    \"min\": 10\n"
                                "                },\n"
                                "                \"total_effect_strength\": 0\n"
                                "            },\n"
                                "            \"landing_jolt\": {\n"
                                "                \"active\": true,\n"
                                "                \"effect_time\": 300,\n"
                                "                \"frequency\": {\n"
                                "                    \"exp\": 0,\n"
                                "                    \"max\": 20,\n"
                                "                    \"min\": 10\n"
                                "                },\n"
                                "                \"speed\": {\n"
                                "                    \"exp\": 0,\n"
                                "                    \"max\": 1000,\n"
                                "                    \"min\": 0\n"
                                "                },\n"
                                "                \"total_effect_strength\": 50\n"
                                "            }\n"
                                "        }\n"
                                "    },\n"
                                "    \"metadata\": {\n"
                                "        \"comment\": \"t\xc3\xa9st \\\"q\\\"\",\n"
                                "        \"flight_data_source\": 0,\n"
                                "        \"flight_module\": \"\"\n"
                                "    }\n"
                                "}\n";
    QCOMPARE(ProfileJson::toDocument(profile), expected);
}

void TestProfileJson::inactiveEffectIsLeftOutAndReadsBackAsDefault() {
    EffectsProfile profile = defaultProfile();
    AoAShakerSettings& shaker = profile.effects.axes[0].aoa_shaker;
    shaker.total_effect_strength = 42.0f;
    shaker.aoa.min = 3.0f;
    shaker.speed.max = 200.0f;
    const QByteArray document = ProfileJson::toDocument(profile);
    QVERIFY(!document.contains("aoa_shaker"));
    QVERIFY(!document.contains("42"));

    const EffectsProfile back = roundTrip(profile);
    QCOMPARE(fields(back), fields(defaultProfile()));
}

// A profile full of values no editor control allows (the largest float, negative strengths,
// times of years) reads back with each value held to its control's range, and every value
// already inside it exactly as written.
void TestProfileJson::everyValueIsHeldToItsEditorRange() {
    for (uint64_t seed = 0; seed < 20; ++seed) {
        const EffectsProfile profile = oddProfile(seed);
        const QMap<QString, QVariant> written = fields(profile);
        const QMap<QString, QVariant> read = fields(roundTrip(profile));
        int clamped = 0;
        for (auto it = written.cbegin(); it != written.cend(); ++it) {
            const QString& name = it.key();
            if (!name.startsWith("metadata") && !name.contains(".curve.") && !name.endsWith(".active")) {
                const Bounds b = editorBounds(name);
                QVariant expected = it.value();
                if (it.value().typeId() == QMetaType::ULongLong) {
                    expected =
                        QVariant::fromValue(std::min<quint64>(it.value().toULongLong(), quint64(b.max)));
                } else {
                    float v;
                    const quint32 u = it.value().toUInt();
                    std::memcpy(&v, &u, sizeof v);
                    const float held = std::clamp(v, float(b.min), float(b.max));
                    expected = QVariant::fromValue(ProfileFields::bits(held));
                }
                clamped += expected != it.value();
                QVERIFY2(read.value(name) == expected, qPrintable(name));
            }
        }
        QVERIFY(clamped > 0); // the odd values do reach past the ranges
    }
}

// Each row reads a document into a profile full of odd values and checks one field.
void TestProfileJson::readerRules_data() {
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("expected");

    const auto f = [](float v) { return QVariant::fromValue(ProfileFields::bits(v)); };
    const auto t = [](quint64 v) { return QVariant::fromValue(v); };
    const QByteArray jolt =
        R"({"effects": {"rudder": {"landing_jolt": {"active": true, "effect_time": %1}}}})";
    const auto joltDoc = [&](const char* time) { return QByteArray(jolt).replace("%1", time); };

    QTest::newRow("active true") << QByteArray(
                                        R"({"effects": {"ailerons": {"simple_spring": {"active": true}}}})")
                                 << "ailerons.simple_spring.active" << QVariant(true);
    QTest::newRow("active string true")
        << QByteArray(R"({"effects": {"ailerons": {"simple_spring": {"active": "true"}}}})")
        << "ailerons.simple_spring.active" << QVariant(false);
    QTest::newRow("active number 1") << QByteArray(
                                            R"({"effects": {"ailerons": {"simple_spring": {"active": 1}}}})")
                                     << "ailerons.simple_spring.active" << QVariant(false);
    QTest::newRow("effect_time 250") << joltDoc("250") << "rudder.landing_jolt.effect_time" << t(250);
    QTest::newRow("effect_time 250.0 is integral")
        << joltDoc("250.0") << "rudder.landing_jolt.effect_time" << t(250);
    QTest::newRow("effect_time 250.5") << joltDoc("250.5") << "rudder.landing_jolt.effect_time" << t(0);
    QTest::newRow("effect_time negative") << joltDoc("-5") << "rudder.landing_jolt.effect_time" << t(0);
    QTest::newRow("effect_time 1e30 held to 1000")
        << joltDoc("1e30") << "rudder.landing_jolt.effect_time" << t(1000);
    QTest::newRow("effect_time 1000") << joltDoc("1000") << "rudder.landing_jolt.effect_time" << t(1000);
    QTest::newRow("effect_time 1001 held to 1000")
        << joltDoc("1001") << "rudder.landing_jolt.effect_time" << t(1000);
    QTest::newRow("effect_time 999.5") << joltDoc("999.5") << "rudder.landing_jolt.effect_time" << t(0);
    QTest::newRow("effect_time string") << joltDoc("\"250\"") << "rudder.landing_jolt.effect_time" << t(250);
    QTest::newRow("effect_time string 300")
        << joltDoc("\"300\"") << "rudder.landing_jolt.effect_time" << t(250);
    QTest::newRow("effect_time large held to 1000")
        << joltDoc("9007199254740993") << "rudder.landing_jolt.effect_time" << t(1000);
    QTest::newRow("jolt active survives bad time")
        << joltDoc("250.5") << "rudder.landing_jolt.active" << QVariant(true);

    // A file from before trim following reads it as off.
    QTest::newRow("no trim_following: off")
        << QByteArray(R"({"effects": {"elevator": {"simple_spring": {"active": true}}}})")
        << "elevator.trim_following.active" << QVariant(false);

    QTest::newRow("source 1") << QByteArray(R"({"metadata": {"flight_data_source": 1}})")
                              << "metadata.flight_data_source" << QVariant(1);
    QTest::newRow("source string 1") << QByteArray(R"({"metadata": {"flight_data_source": "1"}})")
                                     << "metadata.flight_data_source" << QVariant(0);
    QTest::newRow("source 1.5") << QByteArray(R"({"metadata": {"flight_data_source": 1.5}})")
                                << "metadata.flight_data_source" << QVariant(0);
    QTest::newRow("source 1e12 past int") << QByteArray(R"({"metadata": {"flight_data_source": 1e12}})")
                                          << "metadata.flight_data_source" << QVariant(0);
    QTest::newRow("module number") << QByteArray(R"({"metadata": {"flight_module": 5, "comment": "c"}})")
                                   << "metadata.flight_module" << QVariant(QString());
    QTest::newRow("comment kept beside bad module")
        << QByteArray(R"({"metadata": {"flight_module": 5, "comment": "c"}})") << "metadata.comment"
        << QVariant(QStringLiteral("c"));
    QTest::newRow("metadata array clears source")
        << QByteArray(R"({"metadata": [1]})") << "metadata.flight_data_source" << QVariant(0);

    const QByteArray directX =
        R"({"effects": {"elevator": {"direct_x": {"active": true, "force": 12.5, "periodic": 7}}}})";
    QTest::newRow("direct_x no trimmer") << directX << "elevator.direct_x.trimmer" << f(0.0f);
    QTest::newRow("direct_x force") << directX << "elevator.direct_x.force" << f(12.5f);
    QTest::newRow("direct_x periodic") << directX << "elevator.direct_x.periodic" << f(7.0f);

    const QByteArray condor = R"({"effects": {"elevator": {"condor_shaker": {"active": true,
        "frequency": {"min": 1.25, "max": 2.5, "exp": -40}}}}})";
    QTest::newRow("condor frequency min") << condor << "elevator.condor_shaker.frequency.min" << f(1.25f);
    QTest::newRow("condor frequency max") << condor << "elevator.condor_shaker.frequency.max" << f(2.5f);
    QTest::newRow("condor frequency exp") << condor << "elevator.condor_shaker.frequency.exp" << f(-40.0f);

    const QByteArray aoaArray = R"({"effects": {"elevator": {"aoa_shaker": [{"active": true}]}}})";
    QTest::newRow("aoa array resets active") << aoaArray << "elevator.aoa_shaker.active" << QVariant(false);
    QTest::newRow("aoa array resets strength")
        << aoaArray << "elevator.aoa_shaker.total_effect_strength" << f(0.0f);
    QTest::newRow("aoa array resets aoa") << aoaArray << "elevator.aoa_shaker.aoa.min" << f(10.0f);
    QTest::newRow("aoa array resets speed") << aoaArray << "elevator.aoa_shaker.speed.max" << f(1000.0f);

    const QByteArray ranges = R"({"effects": {"ailerons": {"gear_shaker": {"active": true,
        "speed": [100, 200], "frequency": {"min": 3, "max": "30"}}}}})";
    QTest::newRow("range array defaults max") << ranges << "ailerons.gear_shaker.speed.max" << f(1000.0f);
    QTest::newRow("range array defaults min") << ranges << "ailerons.gear_shaker.speed.min" << f(0.0f);
    QTest::newRow("range member read") << ranges << "ailerons.gear_shaker.frequency.min" << f(3.0f);
    QTest::newRow("range string member") << ranges << "ailerons.gear_shaker.frequency.max" << f(20.0f);
    QTest::newRow("range missing member") << ranges << "ailerons.gear_shaker.frequency.exp" << f(0.0f);

    const QByteArray airflow = R"({"effects": {"rudder": {"airflow_spring": {"active": true,
        "attenuation_start_airspeed": 1e39, "attenuation_end_airspeed": "9", "thrust_force": 0.1,
        "total_effect_strength": 3.4028234663852886e38, "airspeed_force": -1e39}}}})";
    QTest::newRow("1e39 reads as default")
        << airflow << "rudder.airflow_spring.attenuation_start_airspeed" << f(500.0f);
    QTest::newRow("-1e39 reads as default") << airflow << "rudder.airflow_spring.airspeed_force" << f(0.0f);
    QTest::newRow("string airspeed default")
        << airflow << "rudder.airflow_spring.attenuation_end_airspeed" << f(1000.0f);
    QTest::newRow("number narrowed") << airflow << "rudder.airflow_spring.thrust_force" << f(0.1f);
    QTest::newRow("largest float held to 100")
        << airflow << "rudder.airflow_spring.total_effect_strength" << f(100.0f);
    QTest::newRow("missing airflow member")
        << airflow << "rudder.airflow_spring.attenuation_strength" << f(100.0f);
    const QByteArray nearMax = R"({"effects": {"rudder": {"smart_damper": {"active": true,
        "static_dampening": -3.4028235e38, "dynamic_dampening": 3.4028235677973366e38}}}})";
    QTest::newRow("rounds to largest float, held to 0")
        << nearMax << "rudder.smart_damper.static_dampening" << f(0.0f);
    QTest::newRow("rounds to infinity") << nearMax << "rudder.smart_damper.dynamic_dampening" << f(0.0f);

    // Each value is held to the range of its editor control; a value inside stays exact.
    const auto effect = [](const char* axis, const char* member, const char* body) {
        return QByteArray(R"({"effects": {")") + axis + R"(": {")" + member + R"(": {"active": true, )" +
               body + "}}}}";
    };
    QTest::newRow("total 1e30 held to 100")
        << effect("elevator", "simple_spring", R"("total_effect_strength": 1e30)")
        << "elevator.simple_spring.total_effect_strength" << f(100.0f);
    QTest::newRow("total -5 held to 0")
        << effect("elevator", "simple_spring", R"("total_effect_strength": -5)")
        << "elevator.simple_spring.total_effect_strength" << f(0.0f);
    QTest::newRow("total 99.5 kept") << effect("elevator", "simple_spring",
                                               R"("total_effect_strength": 99.5)")
                                     << "elevator.simple_spring.total_effect_strength" << f(99.5f);
    QTest::newRow("condor total 100 held to 99")
        << effect("rudder", "condor_shaker", R"("total_effect_strength": 100)")
        << "rudder.condor_shaker.total_effect_strength" << f(99.0f);
    QTest::newRow("dampening 501 held to 500")
        << effect("ailerons", "smart_damper", R"("static_dampening": 501, "dynamic_dampening": 450.7)")
        << "ailerons.smart_damper.static_dampening" << f(500.0f);
    QTest::newRow("dampening 450.7 kept")
        << effect("ailerons", "smart_damper", R"("static_dampening": 501, "dynamic_dampening": 450.7)")
        << "ailerons.smart_damper.dynamic_dampening" << f(450.7f);
    QTest::newRow("trimmer 150 held to 100")
        << effect("elevator", "direct_x", R"("trimmer": 150)") << "elevator.direct_x.trimmer" << f(100.0f);
    QTest::newRow("direct_x force -1 held to 0")
        << effect("elevator", "direct_x", R"("force": -1)") << "elevator.direct_x.force" << f(0.0f);
    QTest::newRow("airflow thrust 101 held to 100")
        << effect("rudder", "airflow_spring", R"("thrust_force": 101)")
        << "rudder.airflow_spring.thrust_force" << f(100.0f);
    QTest::newRow("attenuation start 501 held to 500")
        << effect("rudder", "airflow_spring", R"("attenuation_start_airspeed": 501)")
        << "rudder.airflow_spring.attenuation_start_airspeed" << f(500.0f);
    QTest::newRow("attenuation end 2000 held to 1000")
        << effect("rudder", "airflow_spring", R"("attenuation_end_airspeed": 2000)")
        << "rudder.airflow_spring.attenuation_end_airspeed" << f(1000.0f);
    QTest::newRow("shaker speed 1e6 held to 1000")
        << effect("ailerons", "gear_shaker", R"("speed": {"min": -20, "max": 1e6})")
        << "ailerons.gear_shaker.speed.max" << f(1000.0f);
    QTest::newRow("shaker speed -20 held to 0")
        << effect("ailerons", "gear_shaker", R"("speed": {"min": -20, "max": 1e6})")
        << "ailerons.gear_shaker.speed.min" << f(0.0f);
    QTest::newRow("frequency 250 held to 100")
        << effect("ailerons", "flaps_shaker", R"("frequency": {"min": 2.5, "max": 250, "exp": 300})")
        << "ailerons.flaps_shaker.frequency.max" << f(100.0f);
    QTest::newRow("exponent 300 held to 100")
        << effect("ailerons", "flaps_shaker", R"("frequency": {"min": 2.5, "max": 250, "exp": 300})")
        << "ailerons.flaps_shaker.frequency.exp" << f(100.0f);
    QTest::newRow("exponent -300 held to -100")
        << effect("ailerons", "landing_jolt", R"("speed": {"exp": -300})")
        << "ailerons.landing_jolt.speed.exp" << f(-100.0f);
    QTest::newRow("aoa 120 held to 90")
        << effect("elevator", "aoa_shaker", R"("aoa": {"min": 12.5, "max": 120})")
        << "elevator.aoa_shaker.aoa.max" << f(90.0f);
    QTest::newRow("aoa 12.5 kept") << effect("elevator", "aoa_shaker", R"("aoa": {"min": 12.5, "max": 120})")
                                   << "elevator.aoa_shaker.aoa.min" << f(12.5f);

    QTest::newRow("axis not an object") << QByteArray(R"({"effects": {"ailerons": 5}})")
                                        << "ailerons.smart_damper.static_dampening" << f(0.0f);
    QTest::newRow("other axis still read")
        << QByteArray(R"({"effects": {"ailerons": 5, "rudder": {"il2_shaker": {"active": true}}}})")
        << "rudder.il2_shaker.active" << QVariant(true);
    QTest::newRow("unknown members ignored")
        << QByteArray(R"({"x": 1, "effects": {"rudder": {"il2_shaker": {"active": true, "y": 2}, "z": {}}}})")
        << "rudder.il2_shaker.active" << QVariant(true);
}

void TestProfileJson::readerRules() {
    QFETCH(QByteArray, document);
    QFETCH(QString, field);
    QFETCH(QVariant, expected);
    QVERIFY2(!QJsonDocument::fromJson(document).isNull(), "the row's document must be valid JSON");

    EffectsProfile profile = oddProfile(3);
    ProfileJson::fromDocument(document, profile);
    const QMap<QString, QVariant> read = fields(profile);
    QVERIFY2(read.contains(field), qPrintable(field));
    QCOMPARE(read.value(field), expected);
    // Whatever was read, no float may be NaN or infinite.
    for (auto it = read.cbegin(); it != read.cend(); ++it) {
        if (it.value().typeId() == QMetaType::UInt) {
            float v;
            const quint32 u = it.value().toUInt();
            std::memcpy(&v, &u, sizeof v);
            QVERIFY2(std::isfinite(v), qPrintable(it.key()));
        }
    }
}

void TestProfileJson::invalidDocumentGivesDefaultProfile_data() {
    QTest::addColumn<QByteArray>("document");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("array root") << QByteArray("[]");
    QTest::newRow("truncated") << QByteArray("{\"metadata\": {\"flight_data_source\": 1");
    QTest::newRow("null") << QByteArray("null");
    QTest::newRow("number") << QByteArray("42");
    QTest::newRow("binary") << QByteArray("\x00\xff\xfe{", 4);
    QTest::newRow("number out of double range")
        << QByteArray(R"({"metadata": {"flight_data_source": 1e400}})");
    QTest::newRow("wrong types") << QByteArray(R"({"metadata": "m", "effects": [1, 2]})");
    QTest::newRow("empty object") << QByteArray("{}");
}

void TestProfileJson::invalidDocumentGivesDefaultProfile() {
    QFETCH(QByteArray, document);
    EffectsProfile profile = oddProfile(5);
    ProfileJson::fromDocument(document, profile);
    QCOMPARE(differences(fields(defaultProfile()), fields(profile)), QStringList());
}

void TestProfileJson::airflowCurveIsRebuiltFromReadAirspeeds() {
    EffectsProfile profile = oddProfile(2);
    ProfileJson::fromDocument(R"({"effects": {"elevator": {"airflow_spring": {"active": true,
        "attenuation_start_airspeed": 200, "attenuation_end_airspeed": 450}}}})",
                              profile);
    const AirflowSpringSettings& airflow = profile.effects.axes[1].airflow_spring;
    const AttenuationCurve expected = AttenuationCurve::build(200.0f, 450.0f);
    for (int k = 0; k < 11; ++k) {
        QCOMPARE(ProfileFields::bits(airflow.attenuationCurve.x[k]), ProfileFields::bits(expected.x[k]));
        QCOMPARE(ProfileFields::bits(airflow.attenuationCurve.y[k]), ProfileFields::bits(expected.y[k]));
    }
    // Airspeeds past the editor's ranges build the curve of the held values.
    ProfileJson::fromDocument(R"({"effects": {"elevator": {"airflow_spring": {"active": true,
        "attenuation_start_airspeed": 900, "attenuation_end_airspeed": 1e9}}}})",
                              profile);
    const AttenuationCurve held = AttenuationCurve::build(500.0f, 1000.0f);
    QCOMPARE(ProfileFields::bits(profile.effects.axes[1].airflow_spring.attenuationCurve.x[4]),
             ProfileFields::bits(held.x[4]));
    // An absent airflow spring is reset, curve included.
    const AttenuationCurve defaults = AttenuationCurve::build(500.0f, 1000.0f);
    QCOMPARE(ProfileFields::bits(profile.effects.axes[0].airflow_spring.attenuationCurve.x[3]),
             ProfileFields::bits(defaults.x[3]));
}

void TestProfileJson::nonFiniteFieldsWriteValidJsonAndReadAsDefaults() {
    EffectsProfile profile = defaultProfile();
    AxisEffectsSettings& axis = profile.effects.axes[0];
    axis.simple_spring.active = true;
    axis.simple_spring.total_effect_strength = INFINITY;
    axis.smart_damper.active = true;
    axis.smart_damper.static_dampening = NAN;
    axis.smart_damper.dynamic_dampening = 3.0f;
    axis.airflow_spring.active = true;
    axis.airflow_spring.setAttenuationAirspeeds(-INFINITY, 800.0f);

    const QByteArray document = ProfileJson::toDocument(profile);
    QJsonParseError error;
    const QJsonDocument parsed = QJsonDocument::fromJson(document, &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QVERIFY(!document.contains("null"));

    const EffectsProfile back = roundTrip(profile);
    const AxisEffectsSettings& read = back.effects.axes[0];
    QVERIFY(read.simple_spring.active);
    QCOMPARE(read.simple_spring.total_effect_strength, 0.0f);
    QCOMPARE(read.smart_damper.static_dampening, 0.0f);
    QCOMPARE(read.smart_damper.dynamic_dampening, 3.0f);
    QCOMPARE(read.airflow_spring.attenuation_start_airspeed, 500.0f);
    QCOMPARE(read.airflow_spring.attenuation_end_airspeed, 800.0f);
}

QTEST_GUILESS_MAIN(TestProfileJson)
#include "tst_profilejson.moc"
