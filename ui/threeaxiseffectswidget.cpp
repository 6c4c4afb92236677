#include "ui/threeaxiseffectswidget.h"

#include "profiles/effectsprofile.h"
#include "ui_threeaxiseffectswidget.h"

#include <QStandardItemModel>

namespace {

constexpr int SourceCount = 6;

} // namespace

ThreeAxisEffectsWidget::ThreeAxisEffectsWidget(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::ThreeAxisEffectsWidget>()) {
    ui_->setupUi(this);

    for (int source = 0; source < SourceCount; ++source) {
        ui_->game_combo->addItem(ProfileStore::sourceName(source));
    }
    ui_->profile_combo->setModel(ProfileStore::listModel());

    EffectsProfile& profile = currentEffectsProfile();
    profile.resetToDefaults();
    ui_->ailerons_effects_widget->bind(&profile.effects.axes[0]);
    ui_->elevator_effects_widget->bind(&profile.effects.axes[1]);
    ui_->rudder_effects_widget->bind(&profile.effects.axes[2]);
    checkEnabledEffects();
    readProfiles();
    ui_->delete_profile->setFocus();

    for (AxisEffectsWidget* axis :
         {ui_->ailerons_effects_widget, ui_->elevator_effects_widget, ui_->rudder_effects_widget}) {
        connect(axis, &AxisEffectsWidget::moderateSettingsChange, this,
                [this] { emit moderateValueChange(currentEffectsProfile().effects); });
        connect(axis, &AxisEffectsWidget::suddenSettingsChange, this,
                [this] { emit suddenValueChange(currentEffectsProfile().effects); });
    }
    connect(ui_->profile_comment_input, &QLineEdit::textChanged, this,
            [](const QString& text) { currentEffectsProfile().metadata.comment = text; });
    connect(ui_->flight_module_input, &QLineEdit::textChanged, this,
            [](const QString& text) { currentEffectsProfile().metadata.flight_module = text; });
    connect(ui_->game_combo, &QComboBox::currentIndexChanged, this, [this](int index) {
        // -1 only means that the combo shows nothing, for a profile of an unknown source.
        if (index < 0) {
            return;
        }
        currentEffectsProfile().metadata.flight_data_source = static_cast<Telemetry::Source>(index);
        checkEnabledEffects();
    });
}

ThreeAxisEffectsWidget::~ThreeAxisEffectsWidget() = default;

QSet<int> ThreeAxisEffectsWidget::enabledEffects(int source, int axis) {
    using P = EffectsProfile;
    QSet<int> set;
    switch (source) {
    case Telemetry::TELEMETRY_SOURCE_MSFS:
        // SimConnect passes no DirectX effects through.
        set = {P::EFFECT_TYPE_NATURAL_AIRFLOW,
               P::EFFECT_TYPE_SIMPLE_SPRING,
               P::EFFECT_TYPE_ELEVATOR_WEIGHT,
               P::EFFECT_TYPE_LANDING_JOLT,
               P::EFFECT_TYPE_AOA_SHAKER,
               P::EFFECT_TYPE_EXTENDED_GEAR_SHAKER,
               P::EFFECT_TYPE_EXTENDED_FLAPS_SHAKER,
               P::EFFECT_TYPE_EXTENDED_AIRBRAKES_SHAKER,
               P::EFFECT_TYPE_ON_GROUND_ROLLING_SHAKER,
               P::EFFECT_TYPE_SMART_DAMPER};
        break;
    case Telemetry::TELEMETRY_SOURCE_WARTHUNDER:
    default:
        // A source this program does not know is named and listed as War Thunder, so it
        // offers War Thunder's effects too.
        set = {P::EFFECT_TYPE_NATURAL_AIRFLOW,
               P::EFFECT_TYPE_SIMPLE_SPRING,
               P::EFFECT_TYPE_ELEVATOR_WEIGHT,
               P::EFFECT_TYPE_DIRECT_X_FFB,
               P::EFFECT_TYPE_AOA_SHAKER,
               P::EFFECT_TYPE_EXTENDED_GEAR_SHAKER,
               P::EFFECT_TYPE_EXTENDED_FLAPS_SHAKER,
               P::EFFECT_TYPE_EXTENDED_AIRBRAKES_SHAKER,
               P::EFFECT_TYPE_SMART_DAMPER};
        break;
    case Telemetry::TELEMETRY_SOURCE_CONDOR:
        set = {P::EFFECT_TYPE_NATURAL_AIRFLOW, P::EFFECT_TYPE_SIMPLE_SPRING,
               P::EFFECT_TYPE_ELEVATOR_WEIGHT, P::EFFECT_TYPE_DIRECT_X_FFB,
               P::EFFECT_TYPE_AOA_SHAKER,      P::EFFECT_TYPE_EXTENDED_FLAPS_SHAKER,
               P::EFFECT_TYPE_SMART_DAMPER};
        break;
    case Telemetry::TELEMETRY_SOURCE_NONE:
    case Telemetry::TELEMETRY_SOURCE_DCS:
    case Telemetry::TELEMETRY_SOURCE_IL2:
        for (int type = P::EFFECT_TYPE_NATURAL_AIRFLOW; type <= P::EFFECT_TYPE_ON_GROUND_ROLLING_SHAKER;
             ++type) {
            set.insert(type);
        }
        set.insert(P::EFFECT_TYPE_SMART_DAMPER);
        break;
    }
    // The elevator's weight only pulls on the pitch axis.
    if (axis != 1) {
        set.remove(P::EFFECT_TYPE_ELEVATOR_WEIGHT);
    }
    return set;
}

void ThreeAxisEffectsWidget::checkEnabledEffects() {
    const int source = currentEffectsProfile().metadata.flight_data_source;
    ui_->ailerons_effects_widget->setEnabledEffects(enabledEffects(source, 0));
    ui_->elevator_effects_widget->setEnabledEffects(enabledEffects(source, 1));
    ui_->rudder_effects_widget->setEnabledEffects(enabledEffects(source, 2));
}

void ThreeAxisEffectsWidget::redraw() {
    checkEnabledEffects();
    const EffectsProfileMetadata metadata = currentEffectsProfile().metadata;
    const int source = metadata.flight_data_source;
    ui_->game_combo->setCurrentIndex(source >= 0 && source < SourceCount ? source : -1);
    ui_->profile_comment_input->setText(metadata.comment);
    ui_->flight_module_input->setText(metadata.flight_module);
}

void ThreeAxisEffectsWidget::readProfiles() {
    store_.scan();
    ui_->profile_combo->setCurrentIndex(-1);
}

QString ThreeAxisEffectsWidget::fileNameAt(int row) {
    const QStandardItem* item = row >= 0 ? ProfileStore::listModel()->item(row) : nullptr;
    return item ? item->data(ProfileStore::FileNameRole).toString() : QString();
}

void ThreeAxisEffectsWidget::on_profile_combo_activated(int index) {
    const QString fileName = fileNameAt(index);
    if (fileName.isEmpty()) {
        return;
    }
    store_.load(fileName, currentEffectsProfile());
    // The copy leaves before the source's effect set is applied by the redraw.
    emit suddenValueChange(currentEffectsProfile().effects);
    redraw();
}

void ThreeAxisEffectsWidget::on_save_profile_clicked() {
    const QString fileName = store_.save(currentEffectsProfile());
    readProfiles();
    markByFileName(fileName);
}

void ThreeAxisEffectsWidget::on_delete_profile_clicked() {
    const QString fileName = fileNameAt(ui_->profile_combo->currentIndex());
    if (fileName.isEmpty()) {
        return;
    }
    store_.remove(fileName);
    readProfiles();
    currentEffectsProfile().resetToDefaults();
    redraw();
}

void ThreeAxisEffectsWidget::selectByFileName(const QString& fileName) {
    const int row = store_.rowOf(fileName);
    if (row < 0) {
        return;
    }
    ui_->profile_combo->setCurrentIndex(row);
    on_profile_combo_activated(row);
}

void ThreeAxisEffectsWidget::markByFileName(const QString& fileName) {
    const int row = store_.rowOf(fileName);
    if (row >= 0) {
        ui_->profile_combo->setCurrentIndex(row);
    }
}

void ThreeAxisEffectsWidget::selectProfileFor(Telemetry::Source source, const QString& flightModule) {
    if (source == Telemetry::TELEMETRY_SOURCE_NONE) {
        return;
    }
    const QString fileName = store_.autoSelect(source, flightModule);
    if (!fileName.isEmpty()) {
        selectByFileName(fileName);
    }
}
