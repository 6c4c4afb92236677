#pragma once

#include "records/axiseffectssettings.h"

#include <QMetaType>

// The effect settings of the three axes by axis index (0 ailerons, 1 elevator, 2 rudder;
// "ailerons", "elevator", "rudder" in profile files). A value type: the editor sends whole
// copies of it to the control loop, which keeps its own.
class EffectsSettings {
public:
    void resetToDefaults() {
        for (AxisEffectsSettings& a : axes) {
            a.resetToDefaults();
        }
    }

    AxisEffectsSettings axes[3];
};

Q_DECLARE_METATYPE(EffectsSettings)
