#include "records/axiseffectssettings.h"
#include "records/effectsprofile.h"
#include "support/wheel.h"
#include "ui/axiseffectswidget.h"

#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QWheelEvent>
#include <QtTest/qtestspontaneevent.h>
#include <QtTest>

namespace {

// The effect types as the axis editor presents them, by EffectType value.
struct Descriptor {
    int row;
    const char* name;
    const char* page;
    const char* panelClass;
    const char* button;
    const char* explains; // a phrase its tooltip must hold, so that no two effects swap theirs
};

const Descriptor descriptors[] = {
    {2, "Natural airflow spring", "natural_airflow", "AirflowSpringSettingsWidget",
     "natural_airflow_disable_button", "propeller wash"},
    {1, "Simple spring", "simple_spring", "SimpleSpringSettingsWidget", "simple_spring_disable_button",
     "fixed stiffness"},
    {3, "Elevator weight", "elevator_weight", "SimpleEffectSettingsWidget", "elevator_weight_disable_button",
     "G load"},
    {0, "Standard FFB (DirectX)", "direct_x", "DirectXSettingsWidget", "direct_x_disable_button",
     "game sends"},
    {4, "Landing jolt shaker", "landing_jolt", "LandingJoltSettingsWidget", "landing_jolt_disable_button",
     "touchdown"},
    {6, "AoA shaker", "aoa_shaker", "AoAShakerSettingsWidget", "aoa_shaker_disble_button", "angle of attack"},
    {7, "Extended gear shaker", "extended_gear_shaker", "GenericShakerSettingsWidget",
     "extended_gear_shaker_disable_button", "landing gear"},
    {8, "Extended flaps shaker", "extended_flaps_shaker", "GenericShakerSettingsWidget",
     "extended_flaps_shaker_disable_button", "flaps are out"},
    {9, "Extended airbrakes shaker", "extended_airbrake_shaker", "GenericShakerSettingsWidget",
     "extended_airbrake_shaker_disable_button", "airbrakes are out"},
    {5, "Rolling on ground shaker", "on_ground_rolling_shaker", "GenericShakerSettingsWidget",
     "on_ground_rolling_shaker_disable_button", "rolls on the ground"},
    {10, "IL2 Sturmovik specific shaker", "il2_shaker", "SimpleEffectSettingsWidget",
     "il2_shaker_disable_button", "IL-2 Sturmovik"},
    {11, "Condor 2 specific shaker", "condor_shaker", "CondorShakerSettingsWidget",
     "condor_shaker_disable_button", "Condor 2"},
    {12, "Smart dampers", "smart_damper", "SmartDampeningSettingsWidget", "smart_damper_disable_button",
     "device itself"},
    {13, "Trim following", "trim_following", "SimpleEffectSettingsWidget", "trim_following_disable_button",
     "their own trimmed spring"},
};

QSet<int> allTypes() {
    QSet<int> s;
    for (int t = 0; t < EffectsProfile::EffectTypeCount; ++t) {
        s.insert(t);
    }
    return s;
}

} // namespace

class TestAxisEffectsWidget : public QObject {
    Q_OBJECT

private:
    AxisEffectsSettings axis;
    AxisEffectsWidget* widget = nullptr;
    QSignalSpy* sudden = nullptr;
    QSignalSpy* moderate = nullptr;

    QComboBox* combo() { return widget->findChild<QComboBox*>(QStringLiteral("effects_combo")); }
    QListView* list() { return widget->findChild<QListView*>(QStringLiteral("active_effects_list")); }
    QStackedWidget* stack() { return widget->findChild<QStackedWidget*>(QStringLiteral("effect_stack")); }
    QListView* comboView() { return qobject_cast<QListView*>(combo()->view()); }
    QPushButton* button(const QString& name) { return widget->findChild<QPushButton*>(name); }

    // Picks the effect in the combo box and presses "Add selected effect".
    void add(int type) {
        combo()->setCurrentIndex(descriptors[type].row);
        QTest::mouseClick(button(QStringLiteral("activate_effect_button")), Qt::LeftButton);
    }

private slots:
    void init() {
        QTest::failOnWarning(QRegularExpression(QStringLiteral("connectSlotsByName")));
        axis.resetToDefaults();
        widget = new AxisEffectsWidget();
        widget->bind(&axis);
        sudden = new QSignalSpy(widget, &AxisEffectsWidget::suddenSettingsChange);
        moderate = new QSignalSpy(widget, &AxisEffectsWidget::moderateSettingsChange);
    }

    void cleanup() {
        delete sudden;
        delete moderate;
        delete widget;
    }

    void formBasics() {
        QCOMPARE(widget->windowTitle(), QStringLiteral("Form"));
        QCOMPARE(combo()->maxVisibleItems(), 20);
        QCOMPARE(button(QStringLiteral("activate_effect_button"))->text(),
                 QStringLiteral("Add selected effect"));
        QCOMPARE(list()->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(stack()->count(), EffectsProfile::EffectTypeCount + 1);
        QCOMPARE(stack()->widget(AxisEffectsWidget::NoEffectPage)->objectName(), QStringLiteral("page"));
        const auto labels = stack()->widget(AxisEffectsWidget::NoEffectPage)->findChildren<QLabel*>();
        QCOMPARE(labels.size(), 1);
        QCOMPARE(labels[0]->text(), QStringLiteral("Select effect from the list."));
    }

    void descriptorTable_data() {
        QTest::addColumn<int>("type");
        for (int t = 0; t < EffectsProfile::EffectTypeCount; ++t) {
            QTest::addRow("%s", descriptors[t].page) << t;
        }
    }

    void descriptorTable() {
        QFETCH(int, type);
        const Descriptor& d = descriptors[type];
        for (QAbstractItemModel* model : {combo()->model(), list()->model()}) {
            QCOMPARE(model->rowCount(), EffectsProfile::EffectTypeCount);
            const QModelIndex index = model->index(d.row, 0);
            QCOMPARE(index.data().toString(), QLatin1String(d.name));
            QCOMPARE(index.data(257).toInt(), type);
            // Hovering the effect, in the combo box or the active list, explains it.
            QVERIFY2(index.data(Qt::ToolTipRole).toString().contains(QLatin1String(d.explains)),
                     qPrintable(index.data(Qt::ToolTipRole).toString()));
            QCOMPARE(index.data(Qt::AccessibleDescriptionRole), index.data(Qt::ToolTipRole));
        }
        QWidget* page = stack()->widget(type);
        const QString base = QLatin1String(d.page);
        QCOMPARE(page->objectName(), base + QStringLiteral("_page"));
        auto* label = page->findChild<QLabel*>(base + QStringLiteral("_page_label"));
        QVERIFY(label);
        QCOMPARE(label->text(), QLatin1String(d.name));
        QCOMPARE(label->toolTip(), combo()->model()->index(d.row, 0).data(Qt::ToolTipRole).toString());
        auto* panel = page->findChild<QWidget*>(base + QStringLiteral("_widget"));
        QVERIFY(panel);
        QCOMPARE(panel->metaObject()->className(), d.panelClass);
        auto* remove = page->findChild<QPushButton*>(QLatin1String(d.button));
        QVERIFY(remove);
        QCOMPARE(remove->text(), QStringLiteral("Remove effect"));
    }

    void nothingOfferedWithoutASet() {
        axis.simple_spring.active = true;
        widget->refresh();
        for (int row = 0; row < EffectsProfile::EffectTypeCount; ++row) {
            QVERIFY(comboView()->isRowHidden(row));
            QVERIFY(list()->isRowHidden(row));
        }
        QCOMPARE(stack()->currentIndex(), AxisEffectsWidget::NoEffectPage);
        QVERIFY(!axis.simple_spring.active);
        add(EffectsProfile::EFFECT_TYPE_SIMPLE_SPRING);
        QVERIFY(!axis.simple_spring.active);
        QCOMPARE(sudden->count(), 0);
    }

    void noActiveEffectShowsTheHint() {
        widget->setEnabledEffects(allTypes());
        QCOMPARE(stack()->currentIndex(), AxisEffectsWidget::NoEffectPage);
        for (int row = 0; row < EffectsProfile::EffectTypeCount; ++row) {
            QVERIFY(!comboView()->isRowHidden(row));
            QVERIFY(list()->isRowHidden(row));
        }
        QCOMPARE(combo()->currentIndex(), -1);
        QCOMPARE(sudden->count() + moderate->count(), 0);
    }

    void refreshSelectsTheTopmostActiveEffect() {
        axis.direct_x.active = true;
        axis.simple_spring.active = true;
        widget->setEnabledEffects(allTypes());
        QCOMPARE(list()->currentIndex().row(), 0);
        QCOMPARE(stack()->currentIndex(), int(EffectsProfile::EFFECT_TYPE_DIRECT_X_FFB));
        QVERIFY(!list()->isRowHidden(0));
        QVERIFY(!list()->isRowHidden(1));
        // Active effects are greyed out in the combo box: they cannot be added twice.
        auto* model = combo()->model();
        QVERIFY(!(model->flags(model->index(0, 0)) & Qt::ItemIsEnabled));
        QVERIFY(model->flags(model->index(2, 0)) & Qt::ItemIsEnabled);

        // Clicking an active effect shows its page; the next refresh goes back to the top.
        emit list()->clicked(list()->model()->index(1, 0));
        QCOMPARE(stack()->currentIndex(), int(EffectsProfile::EFFECT_TYPE_SIMPLE_SPRING));
        widget->refresh();
        QCOMPARE(stack()->currentIndex(), int(EffectsProfile::EFFECT_TYPE_DIRECT_X_FFB));
        QCOMPARE(sudden->count() + moderate->count(), 0);
    }

    // Added in the editor, an effect acts at once at half strength; the defaults that a file
    // without the key reads stay as they were.
    void addedEffectStartsAtHalfStrength_data() {
        QTest::addColumn<int>("type");
        for (int t = 0; t < EffectsProfile::EffectTypeCount; ++t) {
            QTest::addRow("%s", descriptors[t].name) << t;
        }
    }

    void addedEffectStartsAtHalfStrength() {
        QFETCH(int, type);
        widget->setEnabledEffects(allTypes());
        add(type);
        const SimpleEffectSettings* e = axis.effect(type);
        QVERIFY(e->active);
        QCOMPARE(e->total_effect_strength, 50.0f);
        QCOMPARE(e->total_effect_strength_default, 0.0f);
        switch (type) {
        case EffectsProfile::EFFECT_TYPE_NATURAL_AIRFLOW:
            QCOMPARE(axis.airflow_spring.airspeed_force, 50.0f);
            QCOMPARE(axis.airflow_spring.airspeed_force_default, 0.0f);
            break;
        case EffectsProfile::EFFECT_TYPE_DIRECT_X_FFB:
            QCOMPARE(axis.direct_x.force, 50.0f);
            QCOMPARE(axis.direct_x.periodic, 50.0f);
            break;
        case EffectsProfile::EFFECT_TYPE_SMART_DAMPER:
            QCOMPARE(axis.smart_damper.static_dampening, 50.0f);
            QCOMPARE(axis.smart_damper.dynamic_dampening, 50.0f);
            QCOMPARE(axis.smart_damper.static_dampening_default, 0.0f);
            break;
        default:
            break;
        }
        // The panel shows what acts.
        QCOMPARE(
            stack()->widget(type)->findChild<QSpinBox*>(QStringLiteral("total_effect_strength"))->value(),
            50);
    }

    void addingIsSuddenAndStartsFromDefaults() {
        widget->setEnabledEffects(allTypes());
        add(EffectsProfile::EFFECT_TYPE_AOA_SHAKER);
        QCOMPARE(sudden->count(), 1);
        QCOMPARE(moderate->count(), 0);
        QVERIFY(axis.aoa_shaker.active);
        QCOMPARE(stack()->currentIndex(), int(EffectsProfile::EFFECT_TYPE_AOA_SHAKER));
        QCOMPARE(list()->currentIndex().row(), 6);
        QVERIFY(!list()->isRowHidden(6));

        // Configure it through its panel, remove it, add it again: the defaults are back.
        auto* page = stack()->widget(EffectsProfile::EFFECT_TYPE_AOA_SHAKER);
        auto* strength = page->findChild<QSpinBox*>(QStringLiteral("total_effect_strength"));
        auto* maxAngle = page->findChild<QSpinBox*>(QStringLiteral("max_effect_strength_angle"));
        strength->setValue(70);
        maxAngle->setValue(40);
        QCOMPARE(axis.aoa_shaker.total_effect_strength, 70.0f);
        QCOMPARE(axis.aoa_shaker.aoa.max, 40.0f);
        QCOMPARE(moderate->count(), 2);

        QTest::mouseClick(button(QStringLiteral("aoa_shaker_disble_button")), Qt::LeftButton);
        QCOMPARE(moderate->count(), 3);
        QCOMPARE(sudden->count(), 1);
        QVERIFY(!axis.aoa_shaker.active);
        QVERIFY(list()->isRowHidden(6));
        QCOMPARE(stack()->currentIndex(), AxisEffectsWidget::NoEffectPage);

        add(EffectsProfile::EFFECT_TYPE_AOA_SHAKER);
        QCOMPARE(sudden->count(), 2);
        QCOMPARE(strength->value(), 50);
        QCOMPARE(maxAngle->value(), 15);
        QCOMPARE(axis.aoa_shaker.aoa.max, 15.0f);
        QCOMPARE(moderate->count(), 3); // showing the defaults is not an edit
    }

    // The wheel changes a value only in the control that has the keyboard focus; over any
    // other control it scrolls the effect page.
    void wheelChangesOnlyTheFocusedControl_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<bool>("focused");
        QTest::newRow("slider passed over") << "total_effect_strength_slider" << false;
        QTest::newRow("spin box passed over") << "max_effect_strength_speed" << false;
        QTest::newRow("slider with the focus") << "total_effect_strength_slider" << true;
        QTest::newRow("spin box with the focus") << "max_effect_strength_speed" << true;
    }

    void wheelChangesOnlyTheFocusedControl() {
        QFETCH(QString, control);
        QFETCH(bool, focused);
        widget->setEnabledEffects(allTypes());
        add(EffectsProfile::EFFECT_TYPE_AOA_SHAKER);
        widget->resize(720, 260); // shorter than the page, so the page scrolls
        widget->show();
        QApplication::setActiveWindow(widget);
        QVERIFY(QTest::qWaitForWindowActive(widget));
        QScrollBar* bar =
            widget->findChild<QScrollArea*>(QStringLiteral("effect_scroll"))->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        auto* target = qobject_cast<QAbstractSlider*>(
            stack()->widget(EffectsProfile::EFFECT_TYPE_AOA_SHAKER)->findChild<QSlider*>(control));
        auto* box = stack()->widget(EffectsProfile::EFFECT_TYPE_AOA_SHAKER)->findChild<QSpinBox*>(control);
        QWidget* w = target ? static_cast<QWidget*>(target) : box;
        QVERIFY(w);
        const auto value = [&] { return target ? target->value() : box->value(); };
        const int before = value();
        if (focused) {
            w->setFocus();
            QVERIFY(w->hasFocus());
        } else {
            list()->setFocus();
        }
        const int scrolled = bar->value();
        const int changes = moderate->count();

        turnWheel(w, -120); // one notch towards the user: down the page, or the value down

        QCOMPARE(w->hasFocus(), focused); // the wheel never takes the focus
        if (focused) {
            QVERIFY(value() != before);
            QCOMPARE(moderate->count(), changes + 1);
            QCOMPARE(bar->value(), scrolled);
        } else {
            QCOMPARE(value(), before);
            QCOMPARE(moderate->count(), changes);
            QVERIFY(bar->value() > scrolled);
        }
    }

    void panelEditIsModerateOncePerStep() {
        widget->setEnabledEffects(allTypes());
        add(EffectsProfile::EFFECT_TYPE_SMART_DAMPER);
        auto* slider = stack()
                           ->widget(EffectsProfile::EFFECT_TYPE_SMART_DAMPER)
                           ->findChild<QSlider*>(QStringLiteral("dynamic_dampening_slider"));
        QVERIFY(slider);
        for (int step = 1; step <= 4; ++step) {
            slider->setValue(step * 10);
            QCOMPARE(moderate->count(), step);
        }
        QCOMPARE(axis.smart_damper.dynamic_dampening, 40.0f);
        QCOMPARE(sudden->count(), 1);
    }

    void removeButtons_data() {
        QTest::addColumn<int>("type");
        for (int t = 0; t < EffectsProfile::EffectTypeCount; ++t) {
            QTest::addRow("%s", descriptors[t].button) << t;
        }
    }

    void removeButtons() {
        QFETCH(int, type);
        widget->setEnabledEffects(allTypes());
        for (int t = 0; t < EffectsProfile::EffectTypeCount; ++t) {
            axis.effect(t)->active = true;
            axis.effect(t)->total_effect_strength = 33.0f;
        }
        widget->refresh();
        QTest::mouseClick(button(QLatin1String(descriptors[type].button)), Qt::LeftButton);
        QCOMPARE(moderate->count(), 1);
        QCOMPARE(sudden->count(), 0);
        for (int t = 0; t < EffectsProfile::EffectTypeCount; ++t) {
            QCOMPARE(axis.effect(t)->active, t != type);
            QCOMPARE(axis.effect(t)->total_effect_strength, t == type ? 0.0f : 33.0f);
            QCOMPARE(list()->isRowHidden(descriptors[t].row), t == type);
        }
    }

    void effectsOutsideTheSetAreResetAndHidden() {
        axis.direct_x.active = true;
        axis.direct_x.trimmer = 50.0f;
        axis.direct_x.total_effect_strength = 80.0f;
        axis.airflow_spring.active = true;
        axis.airflow_spring.setAttenuationAirspeeds(200.0f, 600.0f);
        widget->setEnabledEffects(allTypes());
        QCOMPARE(stack()->currentIndex(), int(EffectsProfile::EFFECT_TYPE_DIRECT_X_FFB));

        QSet<int> noDirectX = allTypes();
        noDirectX.remove(EffectsProfile::EFFECT_TYPE_DIRECT_X_FFB);
        // The caller learns that an active effect went off, so it can tell the loop.
        QVERIFY(widget->setEnabledEffects(noDirectX));

        QVERIFY(!axis.direct_x.active);
        QCOMPARE(axis.direct_x.trimmer, 0.0f);
        QCOMPARE(axis.direct_x.total_effect_strength, 0.0f);
        QVERIFY(comboView()->isRowHidden(0));
        QVERIFY(list()->isRowHidden(0));
        // What stays offered keeps its settings, and becomes the selected effect.
        QVERIFY(axis.airflow_spring.active);
        QCOMPARE(axis.airflow_spring.attenuation_start_airspeed, 200.0f);
        QCOMPARE(stack()->currentIndex(), int(EffectsProfile::EFFECT_TYPE_NATURAL_AIRFLOW));
        QCOMPARE(sudden->count() + moderate->count(), 0);
        QVERIFY(!widget->setEnabledEffects(noDirectX)); // nothing active was left to switch off

        // A hidden effect cannot be added, not even by picking its row in code.
        add(EffectsProfile::EFFECT_TYPE_DIRECT_X_FFB);
        QVERIFY(!axis.direct_x.active);
        QCOMPARE(sudden->count(), 0);
    }

    void refreshShowsStoredValuesWithoutAnnouncing() {
        widget->setEnabledEffects(allTypes());
        axis.landing_jolt.active = true;
        axis.landing_jolt.effect_time = 640;
        axis.landing_jolt.total_effect_strength = 55.9f;
        widget->refresh();
        auto* page = stack()->widget(EffectsProfile::EFFECT_TYPE_LANDING_JOLT);
        QCOMPARE(page->findChild<QSpinBox*>(QStringLiteral("effect_time"))->value(), 640);
        QCOMPARE(page->findChild<QSpinBox*>(QStringLiteral("total_effect_strength"))->value(), 55);
        QCOMPARE(axis.landing_jolt.total_effect_strength, 55.9f);
        QCOMPARE(sudden->count() + moderate->count(), 0);
    }
};

QTEST_MAIN(TestAxisEffectsWidget)
#include "tst_axiseffectswidget.moc"
