#pragma once

#include "records/effectsprofile.h"

#include <QSet>
#include <QString>
#include <QWidget>

#include <array>
#include <memory>

namespace Ui {
class AxisEffectsWidget;
}
class AxisEffectsSettings;
class QModelIndex;
class QStandardItemModel;
class SimpleEffectSettings;

// Editor of the effects of one axis of a profile: a combo box of the effect types that may be
// added, the list of active effects, and one settings panel per effect type in a stacked widget.
// Adding an effect is announced as a sudden change, removing one or editing a panel as a moderate
// change; the profile editor passes both to its profile session, which tells the loop.
//
// Threading: GUI thread. It keeps pointers into the bound settings, which must outlive it.
class AxisEffectsWidget : public QWidget {
    Q_OBJECT

public:
    // Data role of the list items that holds their EffectsProfile::EffectType.
    static constexpr int EffectTypeRole = Qt::UserRole + 1;
    // Page of the effect stack shown when no effect is selected.
    static constexpr int NoEffectPage = EffectsProfile::EffectTypeCount;

    explicit AxisEffectsWidget(QWidget* parent = nullptr);
    ~AxisEffectsWidget() override;

    // Binds every panel to its effect of `settings`, which refreshes the panels.
    void bind(AxisEffectsSettings* settings);
    // The EffectsProfile::EffectType values this axis may use: every other effect is reset to
    // its defaults (which switches it off) and hidden. Emits nothing; returns whether an effect
    // that was on is now off, so that the caller can tell the control loop.
    bool setEnabledEffects(const QSet<int>& effects);
    // Shows the bound settings: which effects can be added, which are active, and their values.
    void refresh();
    // Where the centre of this axis's springs is now (full deflections), on the trim following
    // panel.
    void showCentre(float centre);

signals:
    void suddenSettingsChange();
    void moderateSettingsChange();

private:
    // One effect type: its row in both list models, its name, what it does (shown on hover) and
    // the settings it is bound to.
    struct EffectDescriptor {
        int row;
        EffectsProfile::EffectType type;
        QString name;
        QString toolTip;
        SimpleEffectSettings* settings;
    };

    void activateChosenEffect();
    void showPage(const QModelIndex& index);
    bool isEnabled(int effectType) const;
    void removeEffect(EffectsProfile::EffectType type);

    std::unique_ptr<Ui::AxisEffectsWidget> ui_;
    QStandardItemModel* effectsModel_;
    QStandardItemModel* activeModel_;
    std::array<EffectDescriptor, EffectsProfile::EffectTypeCount> descriptors_;
    AxisEffectsSettings* settings_ = nullptr;
    QSet<int> enabledEffects_;
    bool hasEnabledEffects_ = false; // no set is present until one is given
    int shownCentre_ = 0;            // the centre shown, in tenths of a percent
};
