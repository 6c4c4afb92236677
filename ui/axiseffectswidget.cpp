#include "ui/axiseffectswidget.h"

#include "records/axiseffectssettings.h"
#include "ui_axiseffectswidget.h"

#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardItemModel>

#include <cmath>
#include <utility>

using ET = EffectsProfile;

namespace {

// The page's heading names its effect and explains it on hover.
template <typename Descriptor> void showName(QLabel* label, const Descriptor& d) {
    label->setText(d.name);
    label->setToolTip(d.toolTip);
}

// What the editor gives an effect it adds: enough strength to be felt at once, so a pilot who
// adds one notices it. Profiles read from files keep their own values and defaults.
constexpr float kStartingStrength = 50.0f;

void giveStartingStrength(AxisEffectsSettings& axis, int type) {
    axis.effect(type)->total_effect_strength = kStartingStrength;
    switch (type) {
    case ET::EFFECT_TYPE_NATURAL_AIRFLOW:
        axis.airflow_spring.airspeed_force = kStartingStrength;
        break;
    case ET::EFFECT_TYPE_DIRECT_X_FFB:
        axis.direct_x.force = kStartingStrength;
        axis.direct_x.periodic = kStartingStrength;
        break;
    case ET::EFFECT_TYPE_SMART_DAMPER:
        axis.smart_damper.static_dampening = kStartingStrength;
        axis.smart_damper.dynamic_dampening = kStartingStrength;
        break;
    default:
        break;
    }
}

} // namespace

AxisEffectsWidget::AxisEffectsWidget(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::AxisEffectsWidget>()),
      effectsModel_(new QStandardItemModel(this)), activeModel_(new QStandardItemModel(this)),
      descriptors_{{
          {2, ET::EFFECT_TYPE_NATURAL_AIRFLOW, tr("Natural airflow spring"),
           tr("A centring spring that stiffens with airspeed and propeller wash, as the airflow over a "
              "control surface does. Above its attenuation start speed the growth levels off."),
           nullptr},
          {1, ET::EFFECT_TYPE_SIMPLE_SPRING, tr("Simple spring"),
           tr("A centring spring of fixed stiffness: the force grows in proportion to how far the stick is "
              "moved from the centre, whatever the aircraft does."),
           nullptr},
          {3, ET::EFFECT_TYPE_ELEVATOR_WEIGHT, tr("Elevator weight"),
           tr("Loads the stick in proportion to the G load, like the weight of a heavy elevator. At 100 % "
              "each G adds 10 % of the full force."),
           nullptr},
          {0, ET::EFFECT_TYPE_DIRECT_X_FFB, tr("Standard FFB (DirectX)"),
           tr("Lets through the force-feedback effects that the game sends to the device itself (springs, "
              "vibrations, trim), with the gains set here."),
           nullptr},
          {4, ET::EFFECT_TYPE_LANDING_JOLT, tr("Landing jolt shaker"),
           tr("A short shake of the stick on touchdown, stronger for a harder and faster landing. It fades "
              "out over the set duration."),
           nullptr},
          {6, ET::EFFECT_TYPE_AOA_SHAKER, tr("AoA shaker"),
           tr("Buffet near the stall: the stick shakes harder as the angle of attack rises between the set "
              "angles, scaled by the airspeed."),
           nullptr},
          {7, ET::EFFECT_TYPE_EXTENDED_GEAR_SHAKER, tr("Extended gear shaker"),
           tr("Shakes the stick while the landing gear is out, in proportion to how far it is extended and "
              "growing with the airspeed."),
           nullptr},
          {8, ET::EFFECT_TYPE_EXTENDED_FLAPS_SHAKER, tr("Extended flaps shaker"),
           tr("Shakes the stick while the flaps are out, in proportion to how far they are extended and "
              "growing with the airspeed."),
           nullptr},
          {9, ET::EFFECT_TYPE_EXTENDED_AIRBRAKES_SHAKER, tr("Extended airbrakes shaker"),
           tr("Shakes the stick while the airbrakes are out, in proportion to how far they are extended and "
              "growing with the airspeed."),
           nullptr},
          {5, ET::EFFECT_TYPE_ON_GROUND_ROLLING_SHAKER, tr("Rolling on ground shaker"),
           tr("Shakes the stick while the aircraft rolls on the ground, growing with the speed."), nullptr},
          {10, ET::EFFECT_TYPE_IL2_SHAKING, tr("IL2 Sturmovik specific shaker"),
           tr("IL-2 Sturmovik's own shaking: the stall buffet the game sends, a burst while the guns fire "
              "and a kick for each hit."),
           nullptr},
          {11, ET::EFFECT_TYPE_CONDOR_SHAKER, tr("Condor 2 specific shaker"),
           tr("The turbulence Condor 2 and Condor 3 send: the stick shakes harder and faster the stronger "
              "it is."),
           nullptr},
          {12, ET::EFFECT_TYPE_SMART_DAMPER, tr("Smart dampers"),
           tr("Damping that the device itself applies against moving the stick, whatever the game sends: "
              "the stick feels heavier and steadier."),
           nullptr},
          {13, ET::EFFECT_TYPE_TRIM_FOLLOWING, tr("Trim following"),
           tr("Moves the centre of the springs to the aircraft's trim, so a trimmed aircraft flies hands "
              "off; "
              "while the autopilot flies, the stick follows the controls it moves. At 100 % a trim of 20 % "
              "holds the stick at 20 % of full deflection. MSFS and X-Plane; DCS and IL-2 send their own "
              "trimmed spring through the standard FFB effects."),
           nullptr},
      }} {
    ui_->setupUi(this);
    // The tallest panels need more height than a small screen offers: they scroll instead of
    // pushing the window past the screen's edge.
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("effect_scroll"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    delete ui_->horizontalLayout->replaceWidget(ui_->effect_stack, scroll);
    scroll->setWidget(ui_->effect_stack);
    scroll->setMinimumWidth(ui_->effect_stack->minimumSizeHint().width() +
                            scroll->verticalScrollBar()->sizeHint().width());
    // Only the shown page's height counts, so a short page does not scroll for a tall one.
    auto fitHeightToPage = [stack = ui_->effect_stack](int current) {
        for (int i = 0; i < stack->count(); ++i) {
            stack->widget(i)->setSizePolicy(QSizePolicy::Preferred,
                                            i == current ? QSizePolicy::Preferred : QSizePolicy::Ignored);
        }
        stack->updateGeometry();
    };
    fitHeightToPage(ui_->effect_stack->currentIndex());
    connect(ui_->effect_stack, &QStackedWidget::currentChanged, this, fitHeightToPage);

    // Both models hold one item per effect type at the descriptor's row.
    effectsModel_->setRowCount(EffectsProfile::EffectTypeCount);
    activeModel_->setRowCount(EffectsProfile::EffectTypeCount);
    for (const EffectDescriptor& d : descriptors_) {
        for (QStandardItemModel* model : {effectsModel_, activeModel_}) {
            auto* item = new QStandardItem(d.name);
            item->setData(static_cast<int>(d.type), EffectTypeRole);
            item->setToolTip(d.toolTip);
            // Screen readers read the explanation as the item's description.
            item->setData(d.toolTip, Qt::AccessibleDescriptionRole);
            item->setEditable(false);
            model->setItem(d.row, item);
        }
    }
    ui_->effects_combo->setModel(effectsModel_);
    ui_->active_effects_list->setModel(activeModel_);
    connect(ui_->active_effects_list, &QListView::clicked, this, &AxisEffectsWidget::showPage);
    connect(ui_->activate_effect_button, &QPushButton::clicked, this,
            &AxisEffectsWidget::activateChosenEffect);
    const std::pair<QPushButton*, EffectsProfile::EffectType> disableButtons[] = {
        {ui_->natural_airflow_disable_button, ET::EFFECT_TYPE_NATURAL_AIRFLOW},
        {ui_->simple_spring_disable_button, ET::EFFECT_TYPE_SIMPLE_SPRING},
        {ui_->elevator_weight_disable_button, ET::EFFECT_TYPE_ELEVATOR_WEIGHT},
        {ui_->landing_jolt_disable_button, ET::EFFECT_TYPE_LANDING_JOLT},
        {ui_->aoa_shaker_disble_button, ET::EFFECT_TYPE_AOA_SHAKER},
        {ui_->extended_gear_shaker_disable_button, ET::EFFECT_TYPE_EXTENDED_GEAR_SHAKER},
        {ui_->extended_flaps_shaker_disable_button, ET::EFFECT_TYPE_EXTENDED_FLAPS_SHAKER},
        {ui_->extended_airbrake_shaker_disable_button, ET::EFFECT_TYPE_EXTENDED_AIRBRAKES_SHAKER},
        {ui_->on_ground_rolling_shaker_disable_button, ET::EFFECT_TYPE_ON_GROUND_ROLLING_SHAKER},
        {ui_->il2_shaker_disable_button, ET::EFFECT_TYPE_IL2_SHAKING},
        {ui_->direct_x_disable_button, ET::EFFECT_TYPE_DIRECT_X_FFB},
        {ui_->condor_shaker_disable_button, ET::EFFECT_TYPE_CONDOR_SHAKER},
        {ui_->smart_damper_disable_button, ET::EFFECT_TYPE_SMART_DAMPER},
        {ui_->trim_following_disable_button, ET::EFFECT_TYPE_TRIM_FOLLOWING},
    };
    for (const auto& [button, type] : disableButtons) {
        connect(button, &QPushButton::clicked, this, [this, type = type] { removeEffect(type); });
    }

    showName(ui_->natural_airflow_page_label, descriptors_[ET::EFFECT_TYPE_NATURAL_AIRFLOW]);
    showName(ui_->simple_spring_page_label, descriptors_[ET::EFFECT_TYPE_SIMPLE_SPRING]);
    showName(ui_->elevator_weight_page_label, descriptors_[ET::EFFECT_TYPE_ELEVATOR_WEIGHT]);
    showName(ui_->direct_x_page_label, descriptors_[ET::EFFECT_TYPE_DIRECT_X_FFB]);
    showName(ui_->landing_jolt_page_label, descriptors_[ET::EFFECT_TYPE_LANDING_JOLT]);
    showName(ui_->aoa_shaker_page_label, descriptors_[ET::EFFECT_TYPE_AOA_SHAKER]);
    showName(ui_->extended_gear_shaker_page_label, descriptors_[ET::EFFECT_TYPE_EXTENDED_GEAR_SHAKER]);
    showName(ui_->extended_flaps_shaker_page_label, descriptors_[ET::EFFECT_TYPE_EXTENDED_FLAPS_SHAKER]);
    showName(ui_->extended_airbrake_shaker_page_label,
             descriptors_[ET::EFFECT_TYPE_EXTENDED_AIRBRAKES_SHAKER]);
    showName(ui_->on_ground_rolling_shaker_page_label,
             descriptors_[ET::EFFECT_TYPE_ON_GROUND_ROLLING_SHAKER]);
    showName(ui_->il2_shaker_page_label, descriptors_[ET::EFFECT_TYPE_IL2_SHAKING]);
    showName(ui_->condor_shaker_page_label, descriptors_[ET::EFFECT_TYPE_CONDOR_SHAKER]);
    showName(ui_->smart_damper_page_label, descriptors_[ET::EFFECT_TYPE_SMART_DAMPER]);
    showName(ui_->trim_following_page_label, descriptors_[ET::EFFECT_TYPE_TRIM_FOLLOWING]);

    // Every panel edit is a moderate change of the axis.
    connect(ui_->natural_airflow_widget, &AirflowSpringSettingsWidget::settingsChanged, this,
            &AxisEffectsWidget::moderateSettingsChange);
    connect(ui_->simple_spring_widget, &SimpleSpringSettingsWidget::settingsChanged, this,
            &AxisEffectsWidget::moderateSettingsChange);
    connect(ui_->elevator_weight_widget, &SimpleEffectSettingsWidget::settingsChanged, this,
            &AxisEffectsWidget::moderateSettingsChange);
    connect(ui_->direct_x_widget, &DirectXSettingsWidget::settingsChanged, this,
            &AxisEffectsWidget::moderateSettingsChange);
    connect(ui_->landing_jolt_widget, &LandingJoltSettingsWidget::settingsChanged, this,
            &AxisEffectsWidget::moderateSettingsChange);
    connect(ui_->aoa_shaker_widget, &AoAShakerSettingsWidget::settingsChanged, this,
            &AxisEffectsWidget::moderateSettingsChange);
    connect(ui_->extended_gear_shaker_widget, &GenericShakerSettingsWidget::settingsChanged, this,
            &AxisEffectsWidget::moderateSettingsChange);
    connect(ui_->extended_flaps_shaker_widget, &GenericShakerSettingsWidget::settingsChanged, this,
            &AxisEffectsWidget::moderateSettingsChange);
    connect(ui_->extended_airbrake_shaker_widget, &GenericShakerSettingsWidget::settingsChanged, this,
            &AxisEffectsWidget::moderateSettingsChange);
    connect(ui_->on_ground_rolling_shaker_widget, &GenericShakerSettingsWidget::settingsChanged, this,
            &AxisEffectsWidget::moderateSettingsChange);
    connect(ui_->il2_shaker_widget, &SimpleEffectSettingsWidget::settingsChanged, this,
            &AxisEffectsWidget::moderateSettingsChange);
    connect(ui_->condor_shaker_widget, &CondorShakerSettingsWidget::settingsChanged, this,
            &AxisEffectsWidget::moderateSettingsChange);
    connect(ui_->smart_damper_widget, &SmartDampeningSettingsWidget::settingsChanged, this,
            &AxisEffectsWidget::moderateSettingsChange);
    connect(ui_->trim_following_widget, &SimpleEffectSettingsWidget::settingsChanged, this,
            &AxisEffectsWidget::moderateSettingsChange);

    // Nothing is offered until the axis is bound and given its effect types.
    refresh();
}

AxisEffectsWidget::~AxisEffectsWidget() = default;

void AxisEffectsWidget::bind(AxisEffectsSettings* settings) {
    settings_ = settings;
    for (EffectDescriptor& d : descriptors_) {
        d.settings = settings ? settings->effect(d.type) : nullptr;
    }
    if (!settings) {
        return;
    }
    ui_->natural_airflow_widget->bind(&settings->airflow_spring);
    ui_->simple_spring_widget->bind(&settings->simple_spring);
    ui_->elevator_weight_widget->bind(&settings->elevator_weight);
    ui_->direct_x_widget->bind(&settings->direct_x);
    ui_->landing_jolt_widget->bind(&settings->landing_jolt);
    ui_->aoa_shaker_widget->bind(&settings->aoa_shaker);
    ui_->extended_gear_shaker_widget->bind(&settings->gear_shaker);
    ui_->extended_flaps_shaker_widget->bind(&settings->flaps_shaker);
    ui_->extended_airbrake_shaker_widget->bind(&settings->airbrake_shaker);
    ui_->on_ground_rolling_shaker_widget->bind(&settings->on_ground_shaker);
    ui_->il2_shaker_widget->bind(&settings->il2_shaker);
    ui_->condor_shaker_widget->bind(&settings->condor_shaker);
    ui_->smart_damper_widget->bind(&settings->smart_damper);
    ui_->trim_following_widget->bind(&settings->trim_following);
}

void AxisEffectsWidget::showCentre(float centre) {
    // Redrawn only when the shown text changes, so a stick at rest costs the window nothing.
    const float c = std::isfinite(centre) ? centre : 0.0f;
    const int tenths = static_cast<int>(std::lround(c * 1000.0f));
    if (tenths == shownCentre_) {
        return;
    }
    shownCentre_ = tenths;
    ui_->trim_following_centre_label->setText(
        tr("Centre now: %1 % of full deflection").arg(static_cast<double>(tenths) / 10.0, 0, 'f', 1));
}

bool AxisEffectsWidget::setEnabledEffects(const QSet<int>& effects) {
    enabledEffects_ = effects;
    hasEnabledEffects_ = true;
    bool switchedOff = false;
    for (EffectDescriptor& d : descriptors_) {
        if (!effects.contains(d.type) && d.settings) {
            switchedOff = switchedOff || d.settings->active;
            d.settings->resetToDefaults();
        }
    }
    refresh();
    return switchedOff;
}

bool AxisEffectsWidget::isEnabled(int effectType) const {
    return hasEnabledEffects_ && enabledEffects_.contains(effectType);
}

void AxisEffectsWidget::refresh() {
    ui_->effects_combo->setCurrentIndex(-1);
    auto* comboView = qobject_cast<QListView*>(ui_->effects_combo->view());
    for (int row = 0; row < effectsModel_->rowCount(); ++row) {
        QStandardItem* item = effectsModel_->item(row);
        const int type = item->data(EffectTypeRole).toInt();
        if (type < 0 || type >= EffectsProfile::EffectTypeCount) {
            continue;
        }
        SimpleEffectSettings* settings = descriptors_[type].settings;
        if (isEnabled(type)) {
            if (comboView) {
                comboView->setRowHidden(row, false);
            }
            if (settings && settings->active) {
                // Greyed out: an active effect cannot be added twice.
                item->setFlags(Qt::NoItemFlags);
                ui_->active_effects_list->setRowHidden(row, false);
            } else {
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
                ui_->active_effects_list->setRowHidden(row, true);
            }
        } else {
            // Also disabled, so that the keyboard cannot pick a hidden row of the closed combo.
            item->setFlags(Qt::NoItemFlags);
            if (comboView) {
                comboView->setRowHidden(row, true);
            }
            ui_->active_effects_list->setRowHidden(row, true);
            if (settings) {
                settings->active = false;
            }
        }
    }

    int page = NoEffectPage;
    for (int row = 0; row < activeModel_->rowCount(); ++row) {
        if (!ui_->active_effects_list->isRowHidden(row)) {
            const QModelIndex index = activeModel_->index(row, 0);
            ui_->active_effects_list->setCurrentIndex(index);
            page = index.data(EffectTypeRole).toInt();
            break;
        }
    }
    ui_->effect_stack->setCurrentIndex(page);
    ui_->active_effects_list->setMinimumWidth(ui_->active_effects_list->sizeHintForColumn(0));

    ui_->natural_airflow_widget->refresh();
    ui_->simple_spring_widget->refresh();
    ui_->elevator_weight_widget->refresh();
    ui_->direct_x_widget->refresh();
    ui_->landing_jolt_widget->refresh();
    ui_->aoa_shaker_widget->refresh();
    ui_->extended_gear_shaker_widget->refresh();
    ui_->extended_flaps_shaker_widget->refresh();
    ui_->extended_airbrake_shaker_widget->refresh();
    ui_->on_ground_rolling_shaker_widget->refresh();
    ui_->il2_shaker_widget->refresh();
    ui_->condor_shaker_widget->refresh();
    ui_->smart_damper_widget->refresh();
    ui_->trim_following_widget->refresh();
}

void AxisEffectsWidget::activateChosenEffect() {
    const int row = ui_->effects_combo->currentIndex();
    if (row < 0 || row >= EffectsProfile::EffectTypeCount) {
        return;
    }
    const int type = effectsModel_->item(row)->data(EffectTypeRole).toInt();
    if (type < 0 || type >= EffectsProfile::EffectTypeCount || !isEnabled(type)) {
        return; // an effect this axis does not offer is never switched on
    }
    SimpleEffectSettings* settings = descriptors_[type].settings;
    if (!settings) {
        return;
    }
    // A freshly added effect always starts from its defaults, at a strength that can be felt.
    settings->resetToDefaults();
    if (settings_) {
        giveStartingStrength(*settings_, type);
    }
    settings->active = true;
    refresh();
    ui_->effect_stack->setCurrentIndex(type);
    ui_->active_effects_list->setCurrentIndex(activeModel_->index(row, 0));
    emit suddenSettingsChange();
}

void AxisEffectsWidget::removeEffect(EffectsProfile::EffectType type) {
    if (SimpleEffectSettings* settings = descriptors_[type].settings) {
        settings->resetToDefaults();
    }
    emit moderateSettingsChange();
    refresh();
}

void AxisEffectsWidget::showPage(const QModelIndex& index) {
    if (!index.isValid()) {
        return;
    }
    const int page = index.data(EffectTypeRole).toInt();
    if (page >= 0 && page < EffectsProfile::EffectTypeCount) {
        ui_->effect_stack->setCurrentIndex(page);
    }
}
