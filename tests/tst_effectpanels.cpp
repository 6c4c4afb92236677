#include "records/axiseffectssettings.h"
#include "ui/airflowspringsettingswidget.h"
#include "ui/aoashakersettingswidget.h"
#include "ui/boundedspinbox.h"
#include "ui/condorshakersettingswidget.h"
#include "ui/curvepreviewwidget.h"
#include "ui/directxsettingswidget.h"
#include "ui/genericshakersettingswidget.h"
#include "ui/landingjoltsettingswidget.h"
#include "ui/simpleeffectsettingswidget.h"
#include "ui/simplespringsettingswidget.h"
#include "ui/smartdampeningsettingswidget.h"

#include <QChart>
#include <QChartView>
#include <QGridLayout>
#include <QLabel>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QValueAxis>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>

namespace {

// One row of a panel's grid as the user sees it.
struct FormRow {
    const char* panel;
    int row;
    const char* label;
    const char* spin;
    int min;
    int max;
    int sliderMin;
    int sliderMax;
};

const FormRow formRows[] = {
    {"simple", 0, "Total effect strength (%)", "total_effect_strength", 0, 100, 0, 100},
    {"airflow", 0, "Total effect strength (%)", "total_effect_strength", 0, 100, 0, 100},
    {"airflow", 2, "Speed force effect (%)", "airspeed_force_spinner", 0, 100, 0, 100},
    {"airflow", 3, "Thrust force effect (%)", "thrust_force_spinner", 0, 100, 0, 100},
    {"airflow", 4, "Effect attenuation strength (%)", "attenuation_strength", 0, 100, 0, 100},
    {"airflow", 5, "Effect attenuation start speed (km/h)", "attenuation_start_airspeed_spinner", 0, 500, 0,
     500},
    {"airflow", 6, "Effect attenuation end speed (km/h)", "attenuation_end_airspeed_spinner", 0, 1000, 1,
     1000},
    {"airflow", 7, "Local AoA influence (%)", "local_aoa_influence_strength", 0, 100, 0, 100},
    {"generic", 0, "Total effect strength (%)", "total_effect_strength", 0, 100, 0, 100},
    {"generic", 1, "Min effect strength at speed (km/h)", "min_effect_strength_speed", 0, 1000, 0, 1000},
    {"generic", 2, "Max effect strength at speed (km/h)", "max_effect_strength_speed", 0, 1000, 0, 1000},
    {"generic", 3, "Speed effect strength exponent (%)", "speed_effect_strength_exponent", -100, 100, -100,
     100},
    {"generic", 4, "Min effect frequency (Hz)", "min_effect_frequency", 0, 100, 0, 100},
    {"generic", 5, "Max effect frequency (Hz)", "max_effect_frequency", 0, 100, 0, 100},
    {"generic", 6, "Frequency exponent (%)", "frequency_exponent", -100, 100, -100, 100},
    {"jolt", 0, "Total effect strength (%)", "total_effect_strength", 0, 100, 0, 100},
    {"jolt", 1, "Effect duration (ms)", "effect_time", 0, 1000, 0, 1000},
    {"jolt", 2, "Min effect strength at speed (km/h)", "min_effect_strength_speed", 0, 1000, 0, 1000},
    {"jolt", 3, "Max effect strength at speed (km/h)", "max_effect_strength_speed", 0, 1000, 0, 1000},
    {"jolt", 4, "Speed effect strength exponent (%)", "speed_effect_strength_exponent", -100, 100, -100, 100},
    {"jolt", 5, "Min effect frequency (Hz)", "min_effect_frequency", 0, 100, 0, 100},
    {"jolt", 6, "Max effect frequency (Hz)", "max_effect_frequency", 0, 100, 0, 100},
    {"jolt", 7, "Frequency exponent (%)", "frequency_exponent", -100, 100, -100, 100},
    {"aoa", 0, "Total effect strength (%)", "total_effect_strength", 0, 100, 0, 100},
    {"aoa", 1, "Min effect strength at speed (km/h)", "min_effect_strength_speed", 0, 1000, 0, 1000},
    {"aoa", 2, "Max effect strength at speed (km/h)", "max_effect_strength_speed", 0, 1000, 0, 1000},
    {"aoa", 3, "Speed effect strength exponent (%)", "speed_effect_strength_exponent", -100, 100, -100, 100},
    {"aoa", 4, "Min effect strength at angle (degrees)", "min_effect_strength_angle", 0, 90, 0, 90},
    {"aoa", 5, "Max effect strength at angle (degrees)", "max_effect_strength_angle", 0, 90, 0, 90},
    {"aoa", 6, "Angle effect strength exponent (%)", "angle_effect_strength_exponent", -100, 100, -100, 100},
    {"aoa", 7, "Min effect frequency (Hz)", "min_effect_frequency", 0, 100, 0, 100},
    {"aoa", 8, "Max effect frequency (Hz)", "max_effect_frequency", 0, 100, 0, 100},
    {"aoa", 10, "Frequency exponent (%)", "frequency_exponent", -100, 100, -100, 100},
    {"condor", 0, "Total effect strength (%)", "total_effect_strength", 0, 99, 0, 99},
    {"condor", 1, "Min effect frequency (Hz)", "min_effect_frequency", 0, 100, 0, 100},
    {"condor", 2, "Max effect frequency (Hz)", "max_effect_frequency", 0, 100, 0, 100},
    {"condor", 3, "Frequency exponent (%)", "frequency_exponent", -100, 100, -100, 100},
    {"directx", 0, "Total effect strength (%)", "total_effect_strength", 0, 100, 0, 100},
    {"directx", 1, "Spring effects strength (%)", "spring_effect_strength", 0, 100, 0, 100},
    {"directx", 2, "Periodic effect strength (%)", "periodic_effect_strength", 0, 100, 0, 100},
    {"directx", 3, "Trimmer effect strength (%)", "trimmer_effect_strength", 0, 100, 0, 100},
    {"damper", 0, "Total effect strength (%)", "total_effect_strength", 0, 100, 0, 100},
    {"damper", 1, "Static dampening (%)", "static_dampening_spinner", 0, 500, 0, 100},
    {"damper", 2, "Dynamic dampening (%)", "dynamic_dampening_spinner", 0, 500, 0, 100},
};

// One editable field: the panel, its spin box and where the value lands in the axis settings.
struct FieldRow {
    const char* panel;
    const char* spin;
    std::function<double(const AxisEffectsSettings&)> field;
};

const FieldRow fieldRows[] = {
    {"simple", "total_effect_strength",
     [](const AxisEffectsSettings& a) { return a.elevator_weight.total_effect_strength; }},
    {"spring", "total_effect_strength",
     [](const AxisEffectsSettings& a) { return a.simple_spring.total_effect_strength; }},
    {"airflow", "total_effect_strength",
     [](const AxisEffectsSettings& a) { return a.airflow_spring.total_effect_strength; }},
    {"airflow", "airspeed_force_spinner",
     [](const AxisEffectsSettings& a) { return a.airflow_spring.airspeed_force; }},
    {"airflow", "thrust_force_spinner",
     [](const AxisEffectsSettings& a) { return a.airflow_spring.thrust_force; }},
    {"airflow", "attenuation_strength",
     [](const AxisEffectsSettings& a) { return a.airflow_spring.attenuation_strength; }},
    {"airflow", "local_aoa_influence_strength",
     [](const AxisEffectsSettings& a) { return a.airflow_spring.local_aoa_influence_strength; }},
    {"generic", "total_effect_strength",
     [](const AxisEffectsSettings& a) { return a.gear_shaker.total_effect_strength; }},
    {"generic", "speed_effect_strength_exponent",
     [](const AxisEffectsSettings& a) { return a.gear_shaker.speed.exp; }},
    {"generic", "frequency_exponent",
     [](const AxisEffectsSettings& a) { return a.gear_shaker.frequency.exp; }},
    {"generic", "min_effect_strength_speed",
     [](const AxisEffectsSettings& a) { return a.gear_shaker.speed.min; }},
    {"generic", "max_effect_frequency",
     [](const AxisEffectsSettings& a) { return a.gear_shaker.frequency.max; }},
    {"jolt", "effect_time", [](const AxisEffectsSettings& a) { return double(a.landing_jolt.effect_time); }},
    {"jolt", "max_effect_strength_speed",
     [](const AxisEffectsSettings& a) { return a.landing_jolt.speed.max; }},
    {"jolt", "frequency_exponent", [](const AxisEffectsSettings& a) { return a.landing_jolt.frequency.exp; }},
    {"aoa", "angle_effect_strength_exponent",
     [](const AxisEffectsSettings& a) { return a.aoa_shaker.aoa.exp; }},
    {"aoa", "max_effect_strength_angle", [](const AxisEffectsSettings& a) { return a.aoa_shaker.aoa.max; }},
    {"aoa", "speed_effect_strength_exponent",
     [](const AxisEffectsSettings& a) { return a.aoa_shaker.speed.exp; }},
    {"condor", "total_effect_strength",
     [](const AxisEffectsSettings& a) { return a.condor_shaker.total_effect_strength; }},
    {"condor", "frequency_exponent",
     [](const AxisEffectsSettings& a) { return a.condor_shaker.frequency.exp; }},
    {"directx", "total_effect_strength",
     [](const AxisEffectsSettings& a) { return a.direct_x.total_effect_strength; }},
    {"directx", "spring_effect_strength", [](const AxisEffectsSettings& a) { return a.direct_x.force; }},
    {"directx", "periodic_effect_strength", [](const AxisEffectsSettings& a) { return a.direct_x.periodic; }},
    {"directx", "trimmer_effect_strength", [](const AxisEffectsSettings& a) { return a.direct_x.trimmer; }},
    {"damper", "total_effect_strength",
     [](const AxisEffectsSettings& a) { return a.smart_damper.total_effect_strength; }},
    {"damper", "static_dampening_spinner",
     [](const AxisEffectsSettings& a) { return a.smart_damper.static_dampening; }},
    {"damper", "dynamic_dampening_spinner",
     [](const AxisEffectsSettings& a) { return a.smart_damper.dynamic_dampening; }},
};

} // namespace

class TestEffectPanels : public QObject {
    Q_OBJECT

private:
    AxisEffectsSettings axis;

    // A panel of the given kind bound to its effect of `axis` and owned by the caller.
    QWidget* makePanel(const QString& kind) {
        if (kind == QLatin1String("simple")) {
            auto* p = new SimpleEffectSettingsWidget();
            p->bind(&axis.elevator_weight);
            return p;
        }
        if (kind == QLatin1String("spring")) {
            auto* p = new SimpleSpringSettingsWidget();
            p->bind(&axis.simple_spring);
            return p;
        }
        if (kind == QLatin1String("airflow")) {
            auto* p = new AirflowSpringSettingsWidget();
            p->bind(&axis.airflow_spring);
            return p;
        }
        if (kind == QLatin1String("generic")) {
            auto* p = new GenericShakerSettingsWidget();
            p->bind(&axis.gear_shaker);
            return p;
        }
        if (kind == QLatin1String("jolt")) {
            auto* p = new LandingJoltSettingsWidget();
            p->bind(&axis.landing_jolt);
            return p;
        }
        if (kind == QLatin1String("aoa")) {
            auto* p = new AoAShakerSettingsWidget();
            p->bind(&axis.aoa_shaker);
            return p;
        }
        if (kind == QLatin1String("condor")) {
            auto* p = new CondorShakerSettingsWidget();
            p->bind(&axis.condor_shaker);
            return p;
        }
        if (kind == QLatin1String("directx")) {
            auto* p = new DirectXSettingsWidget();
            p->bind(&axis.direct_x);
            return p;
        }
        auto* p = new SmartDampeningSettingsWidget();
        p->bind(&axis.smart_damper);
        return p;
    }

    static QSpinBox* spin(QWidget* panel, const QString& name) {
        auto* s = panel->findChild<QSpinBox*>(name);
        if (!s) {
            qFatal("missing spin box %s", qPrintable(name));
        }
        return s;
    }

private slots:
    void init() {
        QTest::failOnWarning(QRegularExpression(QStringLiteral("connectSlotsByName")));
        axis.resetToDefaults();
    }

    void formRowsAndRanges_data() {
        QTest::addColumn<int>("index");
        for (int i = 0; i < int(std::size(formRows)); ++i) {
            QTest::addRow("%s %s", formRows[i].panel, formRows[i].spin) << i;
        }
    }

    void formRowsAndRanges() {
        QFETCH(int, index);
        const FormRow& r = formRows[index];
        std::unique_ptr<QWidget> panel(makePanel(QLatin1String(r.panel)));
        QCOMPARE(panel->windowTitle(), QStringLiteral("Form"));
        auto* grid = panel->findChild<QGridLayout*>();
        QVERIFY(grid);
        auto* label = qobject_cast<QLabel*>(grid->itemAtPosition(r.row, 0)->widget());
        auto* slider = qobject_cast<QSlider*>(grid->itemAtPosition(r.row, 1)->widget());
        auto* box = qobject_cast<QSpinBox*>(grid->itemAtPosition(r.row, 2)->widget());
        QVERIFY(label && slider && box);
        QCOMPARE(label->text(), QLatin1String(r.label));
        QCOMPARE(box->objectName(), QLatin1String(r.spin));
        QCOMPARE(slider->orientation(), Qt::Horizontal);
        QCOMPARE(box->minimum(), r.min);
        QCOMPARE(box->maximum(), r.max);
        QCOMPARE(slider->minimum(), r.sliderMin);
        QCOMPARE(slider->maximum(), r.sliderMax);
        // Hovering tells the range the box takes.
        auto* bounded = qobject_cast<BoundedSpinBox*>(box);
        QVERIFY(bounded);
        QVERIFY2(bounded->rangeToolTip().contains(QStringLiteral("From %1 to %2").arg(r.min).arg(r.max)),
                 qPrintable(bounded->rangeToolTip()));

        // Laid out at its smallest, the panel still leaves the slider a usable length.
        panel->resize(panel->minimumSizeHint());
        panel->show();
        QVERIFY(QTest::qWaitForWindowExposed(panel.get()));
        QVERIFY2(slider->width() >= 100, qPrintable(QString::number(slider->width())));

        // Slider and spin box follow each other both ways.
        const int middle = (r.sliderMin + r.sliderMax) / 2;
        slider->setValue(middle);
        QCOMPARE(box->value(), middle);
        box->setValue(r.sliderMin + 1);
        QCOMPARE(slider->value(), r.sliderMin + 1);
    }

    void simpleSpringHoldsOneSimplePanel() {
        SimpleSpringSettingsWidget spring;
        auto* inner =
            spring.findChild<SimpleEffectSettingsWidget*>(QStringLiteral("simple_effect_settings_widget"));
        QVERIFY(inner);
        QCOMPARE(spring.findChildren<SimpleEffectSettingsWidget*>().size(), 1);
        QCOMPARE(spring.windowTitle(), QStringLiteral("Form"));
    }

    void editStoresTheValueAndAnnouncesIt_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("value");
        for (int i = 0; i < int(std::size(fieldRows)); ++i) {
            QTest::addRow("%s %s", fieldRows[i].panel, fieldRows[i].spin) << i << 37;
        }
    }

    void editStoresTheValueAndAnnouncesIt() {
        QFETCH(int, index);
        QFETCH(int, value);
        const FieldRow& r = fieldRows[index];
        std::unique_ptr<QWidget> panel(makePanel(QLatin1String(r.panel)));
        QSignalSpy changed(panel.get(), SIGNAL(settingsChanged()));

        spin(panel.get(), QLatin1String(r.spin))->setValue(value);

        QCOMPARE(r.field(axis), double(value));
        QCOMPARE(changed.count(), 1);
    }

    void sliderDragAnnouncesEveryStep() {
        std::unique_ptr<QWidget> panel(makePanel(QStringLiteral("directx")));
        QSignalSpy changed(panel.get(), SIGNAL(settingsChanged()));
        auto* slider = panel->findChild<QSlider*>(QStringLiteral("periodic_effect_strength_slider"));
        QVERIFY(slider);
        for (int step = 1; step <= 5; ++step) {
            slider->setValue(step);
            QCOMPARE(changed.count(), step);
            QCOMPARE(axis.direct_x.periodic, float(step));
        }
    }

    void refreshTruncatesWithoutTouchingTheField_data() {
        QTest::addColumn<float>("stored");
        QTest::addColumn<int>("shown");
        QTest::newRow("fraction") << 55.9f << 55;
        QTest::newRow("negative fraction") << -12.7f << -12;
        QTest::newRow("not a number") << std::numeric_limits<float>::quiet_NaN() << 0;
        QTest::newRow("infinite") << std::numeric_limits<float>::infinity() << 0;
        QTest::newRow("beyond int") << 1e30f << 100;
        QTest::newRow("far below") << -1e30f << -100;
    }

    void refreshTruncatesWithoutTouchingTheField() {
        QFETCH(float, stored);
        QFETCH(int, shown);
        axis.gear_shaker.speed.exp = stored;
        axis.gear_shaker.frequency.exp = stored;
        GenericShakerSettingsWidget panel;
        QSignalSpy changed(&panel, &GenericShakerSettingsWidget::settingsChanged);
        panel.bind(&axis.gear_shaker);

        QCOMPARE(spin(&panel, QStringLiteral("speed_effect_strength_exponent"))->value(), shown);
        // The slider beside the box follows the shown value, though the box stays silent.
        auto* slider = panel.findChild<QSlider*>(QStringLiteral("speed_effect_strength_exponent_slider"));
        QVERIFY(slider);
        QCOMPARE(slider->value(), qBound(slider->minimum(), shown, slider->maximum()));
        QCOMPARE(changed.count(), 0); // a refresh is never announced
        // The field keeps its exact value until that row is edited.
        QCOMPARE(std::memcmp(&axis.gear_shaker.speed.exp, &stored, sizeof stored), 0);

        spin(&panel, QStringLiteral("speed_effect_strength_exponent"))->setValue(3);
        QCOMPARE(axis.gear_shaker.speed.exp, 3.0f);
        QCOMPARE(std::memcmp(&axis.gear_shaker.frequency.exp, &stored, sizeof stored), 0);
    }

    void strengthOf55Point9ShowsAs55() {
        axis.direct_x.total_effect_strength = 55.9f;
        DirectXSettingsWidget panel;
        panel.bind(&axis.direct_x);
        QCOMPARE(spin(&panel, QStringLiteral("total_effect_strength"))->value(), 55);
        QCOMPARE(axis.direct_x.total_effect_strength, 55.9f);
        // Editing another row leaves it alone.
        spin(&panel, QStringLiteral("trimmer_effect_strength"))->setValue(10);
        QCOMPARE(axis.direct_x.total_effect_strength, 55.9f);
        spin(&panel, QStringLiteral("total_effect_strength"))->setValue(56);
        QCOMPARE(axis.direct_x.total_effect_strength, 56.0f);
    }

    void minMaxGuards_data() {
        QTest::addColumn<QString>("panel");
        QTest::addColumn<QString>("minBox");
        QTest::addColumn<QString>("maxBox");
        QTest::addColumn<bool>("editMin");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("expectedMin");
        QTest::addColumn<int>("expectedMax");
        QTest::addColumn<int>("announcements");
        const QString speedMin = QStringLiteral("min_effect_strength_speed");
        const QString speedMax = QStringLiteral("max_effect_strength_speed");
        const QString freqMin = QStringLiteral("min_effect_frequency");
        const QString freqMax = QStringLiteral("max_effect_frequency");
        const QString angleMin = QStringLiteral("min_effect_strength_angle");
        const QString angleMax = QStringLiteral("max_effect_strength_angle");
        // Defaults: speed 0..1000, frequency 10..20, angle 10..15. At a range end, a partner that
        // has to move runs its own guard, which moves the edited box back by one: the two never
        // end up equal there, and the fields always hold what the boxes show.
        QTest::newRow("speed min at the top end")
            << "generic" << speedMin << speedMax << true << 1000 << 1000 << 1000 << 1;
        QTest::newRow("speed max at the bottom end")
            << "generic" << speedMin << speedMax << false << 0 << 0 << 0 << 1;
        QTest::newRow("speed min below max")
            << "jolt" << speedMin << speedMax << true << 400 << 400 << 1000 << 1;
        QTest::newRow("frequency min pushes max")
            << "generic" << freqMin << freqMax << true << 30 << 30 << 31 << 2;
        QTest::newRow("frequency min equal to max")
            << "condor" << freqMin << freqMax << true << 20 << 20 << 21 << 2;
        QTest::newRow("frequency max pulls min") << "jolt" << freqMin << freqMax << false << 5 << 4 << 5 << 2;
        QTest::newRow("frequency max at the bottom end")
            << "condor" << freqMin << freqMax << false << 0 << 0 << 1 << 3;
        QTest::newRow("frequency min at the top end")
            << "aoa" << freqMin << freqMax << true << 100 << 99 << 100 << 3;
        QTest::newRow("angle min pushes max") << "aoa" << angleMin << angleMax << true << 15 << 15 << 16 << 2;
        QTest::newRow("angle min at the top end")
            << "aoa" << angleMin << angleMax << true << 90 << 89 << 90 << 3;
        QTest::newRow("angle max pulls min") << "aoa" << angleMin << angleMax << false << 3 << 2 << 3 << 2;
        QTest::newRow("angle max at the bottom end")
            << "aoa" << angleMin << angleMax << false << 0 << 0 << 1 << 3;
    }

    void minMaxGuards() {
        QFETCH(QString, panel);
        QFETCH(QString, minBox);
        QFETCH(QString, maxBox);
        QFETCH(bool, editMin);
        QFETCH(int, value);
        QFETCH(int, expectedMin);
        QFETCH(int, expectedMax);
        QFETCH(int, announcements);
        std::unique_ptr<QWidget> p(makePanel(panel));
        QSignalSpy changed(p.get(), SIGNAL(settingsChanged()));

        spin(p.get(), editMin ? minBox : maxBox)->setValue(value);

        QCOMPARE(spin(p.get(), minBox)->value(), expectedMin);
        QCOMPARE(spin(p.get(), maxBox)->value(), expectedMax);
        QCOMPARE(changed.count(), announcements);
        // What is shown is what is stored.
        const EffectRange* range = nullptr;
        if (panel == QLatin1String("generic")) {
            range = minBox == QLatin1String("min_effect_frequency") ? &axis.gear_shaker.frequency
                                                                    : &axis.gear_shaker.speed;
        } else if (panel == QLatin1String("jolt")) {
            range = minBox == QLatin1String("min_effect_frequency") ? &axis.landing_jolt.frequency
                                                                    : &axis.landing_jolt.speed;
        } else if (panel == QLatin1String("condor")) {
            range = &axis.condor_shaker.frequency;
        } else {
            range = minBox == QLatin1String("min_effect_frequency") ? &axis.aoa_shaker.frequency
                                                                    : &axis.aoa_shaker.aoa;
        }
        QCOMPARE(range->min, float(expectedMin));
        QCOMPARE(range->max, float(expectedMax));
    }

    void attenuationSpeedsKeepTheirDistance_data() {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::addColumn<bool>("editStart");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("expectedStart");
        QTest::addColumn<int>("expectedEnd");
        QTest::addColumn<int>("announcements");
        QTest::newRow("start pushes end") << 200 << 600 << true << 400 << 400 << 800 << 2;
        QTest::newRow("start at half of end") << 200 << 600 << true << 300 << 300 << 600 << 1;
        QTest::newRow("start below half") << 200 << 600 << true << 299 << 299 << 600 << 1;
        QTest::newRow("end pulls start") << 300 << 700 << false << 500 << 250 << 500 << 2;
        // The end keeps exactly the value given: the start moves to where the rule holds.
        QTest::newRow("end pulls start, odd") << 300 << 700 << false << 501 << 250 << 501 << 2;
        QTest::newRow("end above twice start") << 300 << 700 << false << 601 << 300 << 601 << 1;
        QTest::newRow("start at its top") << 100 << 300 << true << 500 << 500 << 1000 << 2;
    }

    void attenuationSpeedsKeepTheirDistance() {
        QFETCH(int, start);
        QFETCH(int, end);
        QFETCH(bool, editStart);
        QFETCH(int, value);
        QFETCH(int, expectedStart);
        QFETCH(int, expectedEnd);
        QFETCH(int, announcements);
        axis.airflow_spring.setAttenuationAirspeeds(float(start), float(end));
        AirflowSpringSettingsWidget panel;
        panel.bind(&axis.airflow_spring);
        QSignalSpy changed(&panel, &AirflowSpringSettingsWidget::settingsChanged);
        auto* startBox = spin(&panel, QStringLiteral("attenuation_start_airspeed_spinner"));
        auto* endBox = spin(&panel, QStringLiteral("attenuation_end_airspeed_spinner"));
        QCOMPARE(startBox->value(), start);
        QCOMPARE(endBox->value(), end);

        (editStart ? startBox : endBox)->setValue(value);

        QCOMPARE(startBox->value(), expectedStart);
        QCOMPARE(endBox->value(), expectedEnd);
        QCOMPARE(axis.airflow_spring.attenuation_start_airspeed, float(expectedStart));
        QCOMPARE(axis.airflow_spring.attenuation_end_airspeed, float(expectedEnd));
        // The curve is rebuilt from the two speeds, not left stale.
        const AttenuationCurve want = AttenuationCurve::build(float(expectedStart), float(expectedEnd));
        QCOMPARE(std::memcmp(axis.airflow_spring.attenuationCurve.x, want.x, sizeof want.x), 0);
        QCOMPARE(std::memcmp(axis.airflow_spring.attenuationCurve.y, want.y, sizeof want.y), 0);
        QCOMPARE(changed.count(), announcements);
    }

    // The curve under the form follows every edit: `curve` is the index of the curve whose
    // value at the top speed shows it; `top` the top speed the curves reach afterwards.
    void previewRedrawsWithEveryEdit_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("curve");
        QTest::addColumn<double>("before");
        QTest::addColumn<double>("after");
        QTest::addColumn<double>("top");
        // Strength 100 everywhere; airflow spring 500..1000 km/h, shakers 0..1000 km/h, 10..20 Hz.
        QTest::newRow("airflow force") << "airflow"
                                       << "airspeed_force_spinner" << 80 << 0 << 0.0 << 80.0 << 1500.0;
        QTest::newRow("airflow thrust") << "airflow"
                                        << "thrust_force_spinner" << 100 << 1 << 0.0 << -25.0 << 1500.0;
        QTest::newRow("airflow end speed")
            << "airflow"
            << "attenuation_end_airspeed_spinner" << 800 << 0 << 0.0 << 0.0 << 1200.0;
        QTest::newRow("gear strength") << "generic"
                                       << "total_effect_strength" << 50 << 0 << 2.0 << 1.0 << 1500.0;
        QTest::newRow("gear top frequency") << "generic"
                                            << "max_effect_frequency" << 40 << 1 << 20.0 << 40.0 << 1500.0;
        QTest::newRow("gear top speed") << "generic"
                                        << "max_effect_strength_speed" << 400 << 0 << 2.0 << 2.0 << 600.0;
        QTest::newRow("aoa strength") << "aoa"
                                      << "total_effect_strength" << 25 << 0 << 2.0 << 0.5 << 1500.0;
        QTest::newRow("aoa bottom frequency") << "aoa"
                                              << "min_effect_frequency" << 5 << 1 << 20.0 << 20.0 << 1500.0;
        QTest::newRow("jolt strength") << "jolt"
                                       << "total_effect_strength" << 50 << 0 << 2.0 << 1.0 << 1500.0;
        QTest::newRow("jolt top frequency") << "jolt"
                                            << "max_effect_frequency" << 30 << 1 << 20.0 << 30.0 << 1500.0;
    }
    void previewRedrawsWithEveryEdit() {
        QFETCH(QString, kind);
        QFETCH(QString, box);
        QFETCH(int, value);
        QFETCH(int, curve);
        QFETCH(double, before);
        QFETCH(double, after);
        QFETCH(double, top);
        for (SimpleEffectSettings* e : {static_cast<SimpleEffectSettings*>(&axis.airflow_spring),
                                        static_cast<SimpleEffectSettings*>(&axis.gear_shaker),
                                        static_cast<SimpleEffectSettings*>(&axis.aoa_shaker),
                                        static_cast<SimpleEffectSettings*>(&axis.landing_jolt)}) {
            e->total_effect_strength = 100.0f;
        }
        axis.airflow_spring.setAttenuationAirspeeds(500.0f, 1000.0f);
        std::unique_ptr<QWidget> panel(makePanel(kind));
        auto* preview = panel->findChild<CurvePreviewWidget*>();
        QVERIFY(preview);
        auto topValue = [&]() { return preview->shownCurves().value(curve).value(60).y(); };
        QCOMPARE(preview->shownCurves().value(curve).size(), 61);
        QVERIFY2(std::fabs(topValue() - before) < 1e-4, qPrintable(QString::number(topValue())));

        spin(panel.get(), box)->setValue(value);
        QVERIFY2(std::fabs(topValue() - after) < 1e-4, qPrintable(QString::number(topValue())));
        QCOMPARE(preview->shownCurves().value(curve).last().x(), top);
        // Every scale ticks at round values (1, 2 or 5 times a power of ten) from end to end.
        for (const QAbstractAxis* a : preview->findChild<QChartView*>()->chart()->axes()) {
            const auto* axis = qobject_cast<const QValueAxis*>(a);
            const double step = axis->tickInterval();
            const double m = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
            QVERIFY2(std::fabs(m - std::round(m)) < 1e-9 && (m < 3 || std::round(m) == 5) &&
                         std::fabs(axis->max() / step - std::round(axis->max() / step)) < 1e-9,
                     qPrintable(QStringLiteral("%1 by %2").arg(axis->max()).arg(step)));
        }
    }

    // A profile loaded into a bound panel (refresh) redraws too.
    void previewRedrawsOnRefresh() {
        axis.gear_shaker.total_effect_strength = 100.0f;
        std::unique_ptr<QWidget> panel(makePanel(QStringLiteral("generic")));
        auto* preview = panel->findChild<CurvePreviewWidget*>();
        QCOMPARE(preview->shownCurves().value(0).last().y(), 2.0);
        axis.gear_shaker.total_effect_strength = 25.0f;
        static_cast<GenericShakerSettingsWidget*>(panel.get())->refresh();
        QCOMPARE(preview->shownCurves().value(0).last().y(), 0.5);
    }

    // Typed digits take effect only when the entry is complete: the guards see the finished
    // number, never the digits on the way to it, and the box keeps exactly what was typed.
    void typedValuesTakeEffectWhenComplete_data() {
        QTest::addColumn<QString>("panel");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("finish"); // "enter", "tab", "up" or "none"
        QTest::addColumn<QString>("partner");
        QTest::addColumn<int>("expected");
        QTest::addColumn<int>("expectedPartner");
        QTest::addColumn<int>("announcements");
        const QString fMin = QStringLiteral("min_effect_frequency");
        const QString fMax = QStringLiteral("max_effect_frequency");
        const QString sMin = QStringLiteral("min_effect_strength_speed");
        const QString sMax = QStringLiteral("max_effect_strength_speed");
        const QString aMin = QStringLiteral("min_effect_strength_angle");
        const QString aMax = QStringLiteral("max_effect_strength_angle");
        const QString start = QStringLiteral("attenuation_start_airspeed_spinner");
        const QString end = QStringLiteral("attenuation_end_airspeed_spinner");
        // Defaults: frequency 10..20, speed 0..1000, angle 10..15, attenuation 500..1000.
        QTest::newRow("frequency max 30 over 10..20") << "generic" << fMax << "30"
                                                      << "enter" << fMin << 30 << 10 << 1;
        QTest::newRow("frequency max 30 in the condor shaker") << "condor" << fMax << "30"
                                                               << "enter" << fMin << 30 << 10 << 1;
        QTest::newRow("frequency max 5 pulls min") << "aoa" << fMax << "5"
                                                   << "enter" << fMin << 5 << 4 << 2;
        QTest::newRow("frequency min 15 within") << "generic" << fMin << "15"
                                                 << "enter" << fMax << 15 << 20 << 1;
        QTest::newRow("speed max 700") << "generic" << sMax << "700"
                                       << "enter" << sMin << 700 << 0 << 1;
        QTest::newRow("speed min 400") << "jolt" << sMin << "400"
                                       << "enter" << sMax << 400 << 1000 << 1;
        QTest::newRow("angle max 12") << "aoa" << aMax << "12"
                                      << "enter" << aMin << 12 << 10 << 1;
        QTest::newRow("attenuation end 700") << "airflow" << end << "700"
                                             << "enter" << start << 700 << 350 << 2;
        QTest::newRow("attenuation start 450") << "airflow" << start << "450"
                                               << "enter" << end << 450 << 1000 << 1;
        // The end's slider starts at 1; the box still keeps the 0 it was given.
        QTest::newRow("attenuation end 0") << "airflow" << end << "0"
                                           << "enter" << start << 0 << 0 << 2;
        QTest::newRow("unfinished entry is not taken") << "generic" << fMax << "30"
                                                       << "none" << fMin << 20 << 10 << 0;
        QTest::newRow("focus leaving the box") << "aoa" << aMin << "12"
                                               << "tab" << aMax << 12 << 15 << 1;
        QTest::newRow("arrow up") << "condor" << fMax << ""
                                  << "up" << fMin << 21 << 10 << 1;
        QTest::newRow("strength 100 in one step") << "directx"
                                                  << "total_effect_strength"
                                                  << "100"
                                                  << "enter"
                                                  << "trimmer_effect_strength" << 100 << 0 << 1;
        QTest::newRow("dampening beyond the slider") << "damper"
                                                     << "static_dampening_spinner"
                                                     << "450"
                                                     << "enter"
                                                     << "total_effect_strength" << 450 << 0 << 1;
        QTest::newRow("jolt duration 321") << "jolt"
                                           << "effect_time"
                                           << "321"
                                           << "enter"
                                           << "total_effect_strength" << 321 << 0 << 1;
        // Beyond the range the nearest end is taken, never the first digits of the number.
        QTest::newRow("1200 into maximum 1000") << "jolt"
                                                << "effect_time"
                                                << "1200"
                                                << "enter"
                                                << "total_effect_strength" << 1000 << 0 << 1;
        QTest::newRow("999999 into maximum 90") << "aoa" << aMax << "999999"
                                                << "enter" << aMin << 90 << 10 << 1;
        QTest::newRow("more digits than a number holds") << "jolt"
                                                         << "effect_time"
                                                         << "99999999999999999999"
                                                         << "enter"
                                                         << "total_effect_strength" << 1000 << 0 << 1;
        QTest::newRow("150 into the condor's 99") << "condor"
                                                  << "total_effect_strength"
                                                  << "150"
                                                  << "tab" << fMin << 99 << 10 << 1;
        QTest::newRow("9999 into dampening 500, focus leaving") << "damper"
                                                                << "static_dampening_spinner"
                                                                << "9999"
                                                                << "tab"
                                                                << "total_effect_strength" << 500 << 0 << 1;
        QTest::newRow("-250 below minimum -100") << "generic"
                                                 << "frequency_exponent"
                                                 << "-250"
                                                 << "enter" << fMin << -100 << 10 << 1;
        // The clamped maximum still pulls the minimum below it.
        QTest::newRow("frequency max 900 stops at 100") << "generic" << fMax << "900"
                                                        << "enter" << fMin << 100 << 10 << 1;
    }

    void typedValuesTakeEffectWhenComplete() {
        QFETCH(QString, panel);
        QFETCH(QString, box);
        QFETCH(QString, keys);
        QFETCH(QString, finish);
        QFETCH(QString, partner);
        QFETCH(int, expected);
        QFETCH(int, expectedPartner);
        QFETCH(int, announcements);
        axis.direct_x.trimmer = 0.0f;
        axis.direct_x.total_effect_strength = 0.0f;
        axis.smart_damper.total_effect_strength = 0.0f;
        axis.landing_jolt.total_effect_strength = 0.0f;
        std::unique_ptr<QWidget> p(makePanel(panel));
        p->show();
        QApplication::setActiveWindow(p.get());
        QVERIFY(QTest::qWaitForWindowActive(p.get()));
        QSignalSpy changed(p.get(), SIGNAL(settingsChanged()));
        QSpinBox* typed = spin(p.get(), box);
        typed->setFocus();
        typed->selectAll();

        QTest::keyClicks(typed, keys);
        if (finish == QLatin1String("enter")) {
            QTest::keyClick(typed, Qt::Key_Return);
        } else if (finish == QLatin1String("tab")) {
            QTest::keyClick(typed, Qt::Key_Tab);
            QVERIFY(!typed->hasFocus());
        } else if (finish == QLatin1String("up")) {
            QTest::keyClick(typed, Qt::Key_Up);
        }

        QCOMPARE(typed->value(), expected);
        QCOMPARE(spin(p.get(), partner)->value(), expectedPartner);
        QCOMPARE(changed.count(), announcements);
        // What the boxes show is what is stored: a fresh panel on the same settings shows it too.
        std::unique_ptr<QWidget> fresh(makePanel(panel));
        QCOMPARE(spin(fresh.get(), box)->value(), expected);
        QCOMPARE(spin(fresh.get(), partner)->value(), expectedPartner);
    }

    void condorStrengthStopsAt99() {
        CondorShakerSettingsWidget panel;
        panel.bind(&axis.condor_shaker);
        auto* box = spin(&panel, QStringLiteral("total_effect_strength"));
        box->setValue(100);
        QCOMPARE(box->value(), 99);
        QCOMPARE(axis.condor_shaker.total_effect_strength, 99.0f);
        axis.condor_shaker.total_effect_strength = 100.0f;
        panel.refresh();
        QCOMPARE(box->value(), 99);
        QCOMPARE(axis.condor_shaker.total_effect_strength, 100.0f);
    }

    void dampeningSliderWidensButNeverShrinks() {
        SmartDampeningSettingsWidget panel;
        panel.bind(&axis.smart_damper);
        QSignalSpy changed(&panel, &SmartDampeningSettingsWidget::settingsChanged);
        auto* box = spin(&panel, QStringLiteral("static_dampening_spinner"));
        auto* slider = panel.findChild<QSlider*>(QStringLiteral("static_dampening_slider"));
        auto* other = panel.findChild<QSlider*>(QStringLiteral("dynamic_dampening_slider"));
        QVERIFY(slider && other);
        QCOMPARE(slider->maximum(), 100);

        box->setValue(300);
        QCOMPARE(slider->maximum(), 300);
        QCOMPARE(slider->value(), 300);
        QCOMPARE(axis.smart_damper.static_dampening, 300.0f);
        QCOMPARE(changed.count(), 1);

        box->setValue(50);
        QCOMPARE(slider->maximum(), 300);
        QCOMPARE(slider->value(), 50);
        QCOMPARE(changed.count(), 2);

        slider->setValue(250);
        QCOMPARE(box->value(), 250);
        QCOMPARE(axis.smart_damper.static_dampening, 250.0f);
        QCOMPARE(changed.count(), 3);
        QCOMPARE(other->maximum(), 100);

        // A stored value beyond the slider widens it on refresh too, silently.
        axis.smart_damper.dynamic_dampening = 450.7f;
        panel.refresh();
        QCOMPARE(other->maximum(), 450);
        QCOMPARE(other->value(), 450);
        QCOMPARE(axis.smart_damper.dynamic_dampening, 450.7f);
        QCOMPARE(changed.count(), 3);
    }

    void joltDurationIsWholeMilliseconds() {
        axis.landing_jolt.effect_time = 5000000000ull; // far beyond what the panel offers
        LandingJoltSettingsWidget panel;
        panel.bind(&axis.landing_jolt);
        auto* box = spin(&panel, QStringLiteral("effect_time"));
        QCOMPARE(box->value(), 1000);
        QCOMPARE(axis.landing_jolt.effect_time, 5000000000ull);
        box->setValue(321);
        QCOMPARE(axis.landing_jolt.effect_time, uint64_t(321));
    }

    void simpleSpringPassesEditsOn() {
        SimpleSpringSettingsWidget panel;
        axis.simple_spring.total_effect_strength = 42.5f;
        panel.bind(&axis.simple_spring);
        QSignalSpy changed(&panel, &SimpleSpringSettingsWidget::settingsChanged);
        auto* box = spin(&panel, QStringLiteral("total_effect_strength"));
        QCOMPARE(box->value(), 42);
        box->setValue(60);
        QCOMPARE(axis.simple_spring.total_effect_strength, 60.0f);
        QCOMPARE(changed.count(), 1);
    }

    void unboundPanelStoresNothing() {
        GenericShakerSettingsWidget panel;
        QSignalSpy changed(&panel, &GenericShakerSettingsWidget::settingsChanged);
        spin(&panel, QStringLiteral("total_effect_strength"))->setValue(50);
        panel.refresh();
        QCOMPARE(changed.count(), 0);
    }
};

QTEST_MAIN(TestEffectPanels)
#include "tst_effectpanels.moc"
