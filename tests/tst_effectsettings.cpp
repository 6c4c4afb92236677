#include "records/effectsprofile.h"
#include "support/profilefields.h"

#include <QtTest>

using ProfileFields::bits;
using ProfileFields::fields;

namespace {

void expectCurve(const AttenuationCurve& actual, const AttenuationCurve& expected) {
    for (int k = 0; k < 11; ++k) {
        QCOMPARE(bits(actual.x[k]), bits(expected.x[k]));
        QCOMPARE(bits(actual.y[k]), bits(expected.y[k]));
    }
}

void expectRange(const EffectRange& range, float min, float max, float exp) {
    QCOMPARE(range.min, min);
    QCOMPARE(range.max, max);
    QCOMPARE(range.exp, exp);
}

EffectsSettings resetSettings() {
    EffectsSettings settings;
    settings.resetToDefaults();
    return settings;
}

} // namespace

class TestEffectSettings : public QObject {
    Q_OBJECT

private slots:
    void effectMapsEveryType_data();
    void effectMapsEveryType();
    void resetMakesEveryEffectInactive_data();
    void resetMakesEveryEffectInactive();
    void resetGivesClassDefaults();
    void resetAfterOddValuesGivesSameAsFreshReset();
    void airflowResetRestoresAirspeedsAndRebuildsCurve();
    void directXResetZeroesGains();
    void newObjectsHoldZerosExceptAirflow();
    void copiesAreIndependent();
    void profileResetClearsMetadata();
};

void TestEffectSettings::effectMapsEveryType_data() {
    QTest::addColumn<int>("type");
    for (int type = 0; type < EffectsProfile::EffectTypeCount; ++type) {
        QTest::newRow(qPrintable(ProfileFields::memberName(type))) << type;
    }
}

void TestEffectSettings::effectMapsEveryType() {
    QFETCH(int, type);
    AxisEffectsSettings axis;
    const AxisEffectsSettings& constAxis = axis;
    const SimpleEffectSettings* members[EffectsProfile::EffectTypeCount] = {
        &axis.airflow_spring,  &axis.simple_spring,    &axis.elevator_weight, &axis.direct_x,
        &axis.landing_jolt,    &axis.aoa_shaker,       &axis.gear_shaker,     &axis.flaps_shaker,
        &axis.airbrake_shaker, &axis.on_ground_shaker, &axis.il2_shaker,      &axis.condor_shaker,
        &axis.smart_damper,    &axis.trim_following};
    QCOMPARE(static_cast<const SimpleEffectSettings*>(axis.effect(type)), members[type]);
    QCOMPARE(constAxis.effect(type), members[type]);
    if (type == 0) {
        QCOMPARE(axis.effect(-1), nullptr);
        QCOMPARE(axis.effect(EffectsProfile::EffectTypeCount), nullptr);
    }
}

void TestEffectSettings::resetMakesEveryEffectInactive_data() {
    effectMapsEveryType_data();
}

void TestEffectSettings::resetMakesEveryEffectInactive() {
    QFETCH(int, type);
    EffectsProfile profile;
    ProfileFields::fillOdd(profile);
    profile.resetToDefaults();
    for (const AxisEffectsSettings& axis : profile.effects.axes) {
        QVERIFY(!axis.effect(type)->active);
        QCOMPARE(bits(axis.effect(type)->total_effect_strength), bits(0.0f));
    }
    // The effect's own reset does the same through the virtual call.
    EffectsProfile odd;
    ProfileFields::fillOdd(odd);
    EffectSettingsBase* effect = odd.effects.axes[2].effect(type);
    effect->resetToDefaults();
    QVERIFY(!odd.effects.axes[2].effect(type)->active);
    QCOMPARE(odd.effects.axes[2].effect(type)->total_effect_strength, 0.0f);
}

void TestEffectSettings::resetGivesClassDefaults() {
    const EffectsSettings settings = resetSettings();
    for (const AxisEffectsSettings& axis : settings.axes) {
        const GenericSpeedDependantShakerSettings* shakers[] = {&axis.gear_shaker,     &axis.flaps_shaker,
                                                                &axis.airbrake_shaker, &axis.on_ground_shaker,
                                                                &axis.aoa_shaker,      &axis.landing_jolt};
        for (const GenericSpeedDependantShakerSettings* shaker : shakers) {
            expectRange(shaker->speed, 0.0f, 1000.0f, 0.0f);
            expectRange(shaker->frequency, 10.0f, 20.0f, 0.0f);
        }
        expectRange(axis.aoa_shaker.aoa, 10.0f, 15.0f, 0.0f);
        QCOMPARE(axis.landing_jolt.effect_time, uint64_t(250));
        expectRange(axis.condor_shaker.frequency, 10.0f, 20.0f, 0.0f);
        QCOMPARE(axis.smart_damper.static_dampening, 0.0f);
        QCOMPARE(axis.smart_damper.dynamic_dampening, 0.0f);
        QCOMPARE(axis.airflow_spring.airspeed_force, 0.0f);
        QCOMPARE(axis.airflow_spring.thrust_force, 0.0f);
        QCOMPARE(axis.airflow_spring.attenuation_strength, 100.0f);
        QCOMPARE(axis.airflow_spring.local_aoa_influence_strength, 0.0f);
        QCOMPARE(axis.airflow_spring.attenuation_start_airspeed, 500.0f);
        QCOMPARE(axis.airflow_spring.attenuation_end_airspeed, 1000.0f);
        expectCurve(axis.airflow_spring.attenuationCurve, AttenuationCurve::build(500.0f, 1000.0f));
    }
}

void TestEffectSettings::resetAfterOddValuesGivesSameAsFreshReset() {
    // Every current field is restored, none is left holding an edited value.
    EffectsProfile edited;
    edited.resetToDefaults();
    ProfileFields::fillOdd(edited, 9);
    edited.resetToDefaults();
    EffectsProfile fresh;
    fresh.resetToDefaults();
    QCOMPARE(fields(edited), fields(fresh));
}

void TestEffectSettings::airflowResetRestoresAirspeedsAndRebuildsCurve() {
    AirflowSpringSettings airflow;
    airflow.resetToDefaults();
    airflow.setAttenuationAirspeeds(120.0f, 300.0f);
    expectCurve(airflow.attenuationCurve, AttenuationCurve::build(120.0f, 300.0f));
    airflow.airspeed_force = 40.0f;
    airflow.attenuation_strength = 5.0f;
    airflow.active = true;
    airflow.resetToDefaults();
    QCOMPARE(airflow.attenuation_start_airspeed, 500.0f);
    QCOMPARE(airflow.attenuation_end_airspeed, 1000.0f);
    QCOMPARE(airflow.airspeed_force, 0.0f);
    QCOMPARE(airflow.attenuation_strength, 100.0f);
    QVERIFY(!airflow.active);
    expectCurve(airflow.attenuationCurve, AttenuationCurve::build(500.0f, 1000.0f));
}

void TestEffectSettings::directXResetZeroesGains() {
    DirectXSettings directX;
    directX.active = true;
    directX.total_effect_strength = 80.0f;
    directX.trimmer = 12.0f;
    directX.force = -3.0f;
    directX.periodic = 99.0f;
    directX.resetToDefaults();
    QVERIFY(!directX.active);
    QCOMPARE(directX.total_effect_strength, 0.0f);
    QCOMPARE(directX.trimmer, 0.0f);
    QCOMPARE(directX.force, 0.0f);
    QCOMPARE(directX.periodic, 0.0f);
}

void TestEffectSettings::newObjectsHoldZerosExceptAirflow() {
    const EffectsSettings fresh;
    const QMap<QString, QVariant> values = fields(fresh);
    const QStringList airflowDefaults = {"attenuation_strength", "attenuation_start_airspeed",
                                         "attenuation_end_airspeed"};
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const QString field = it.key().section('.', 2);
        if (it.key().section('.', 1, 1) == "airflow_spring" && airflowDefaults.contains(field)) {
            continue;
        }
        QVERIFY2(it.value() == QVariant(false) || it.value().toULongLong() == 0, qPrintable(it.key()));
    }
    for (const AxisEffectsSettings& axis : fresh.axes) {
        QCOMPARE(axis.airflow_spring.attenuation_strength, 100.0f);
        QCOMPARE(axis.airflow_spring.attenuation_start_airspeed, 500.0f);
        QCOMPARE(axis.airflow_spring.attenuation_end_airspeed, 1000.0f);
    }
    // The defaults are there all the same, waiting for the first reset.
    QCOMPARE(fresh.axes[0].landing_jolt.effect_time_default, uint64_t(250));
    QCOMPARE(fresh.axes[0].gear_shaker.speed.max_default, 1000.0f);
    QCOMPARE(fresh.axes[0].aoa_shaker.aoa.max_default, 15.0f);
    const EffectsProfile profile;
    QCOMPARE(int(profile.metadata.flight_data_source), 0);
    QVERIFY(profile.metadata.flight_module.isEmpty());
}

void TestEffectSettings::copiesAreIndependent() {
    EffectsProfile original;
    original.resetToDefaults();
    ProfileFields::fillOdd(original, 2);
    const QMap<QString, QVariant> before = fields(original);

    // Profile copy: change current values, defaults and the curve of the copy.
    EffectsProfile copy = original;
    QCOMPARE(fields(copy), before);
    ProfileFields::fillOdd(copy, 13);
    copy.metadata.comment = QStringLiteral("changed");
    copy.effects.axes[1].landing_jolt.effect_time_default = 1;
    copy.effects.axes[1].airflow_spring.setAttenuationAirspeeds(1.0f, 2.0f);
    copy.resetToDefaults();
    QCOMPARE(fields(original), before);
    QCOMPARE(copy.effects.axes[1].landing_jolt.effect_time, uint64_t(1));
    QCOMPARE(original.effects.axes[1].landing_jolt.effect_time_default, uint64_t(250));

    // Settings copy.
    EffectsSettings settingsCopy = original.effects;
    settingsCopy.axes[0].aoa_shaker.aoa.min_default = -1.0f;
    settingsCopy.resetToDefaults();
    QCOMPARE(settingsCopy.axes[0].aoa_shaker.aoa.min, -1.0f);
    QCOMPARE(fields(original), before);

    // Axis copy, also by assignment over an existing object.
    AxisEffectsSettings axisCopy;
    axisCopy = original.effects.axes[2];
    QCOMPARE(axisCopy.direct_x.trimmer, original.effects.axes[2].direct_x.trimmer);
    axisCopy.direct_x.trimmer = 1234.0f;
    axisCopy.smart_damper.static_dampening_default = 7.0f;
    axisCopy.resetToDefaults();
    QCOMPARE(axisCopy.smart_damper.static_dampening, 7.0f);
    QCOMPARE(fields(original), before);
}

void TestEffectSettings::profileResetClearsMetadata() {
    EffectsProfile profile;
    ProfileFields::fillOdd(profile);
    QVERIFY(!profile.metadata.comment.isEmpty());
    profile.resetToDefaults();
    QCOMPARE(int(profile.metadata.flight_data_source), 0);
    QVERIFY(profile.metadata.flight_module.isEmpty());
    QVERIFY(profile.metadata.comment.isEmpty());
    QCOMPARE(fields(profile.effects), fields(resetSettings()));
}

QTEST_GUILESS_MAIN(TestEffectSettings)
#include "tst_effectsettings.moc"
