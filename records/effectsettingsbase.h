#pragma once

// Root of the effect settings classes. Every configurable field exists twice, as the
// current value the editor and the synthesis use and as a stored default; resetting an
// effect copies its defaults back, which is also how an effect is switched off.
class EffectSettingsBase {
public:
    virtual ~EffectSettingsBase() = default;
    virtual void resetToDefaults() = 0;

protected:
    EffectSettingsBase() = default;
    EffectSettingsBase(const EffectSettingsBase&) = default;
    EffectSettingsBase& operator=(const EffectSettingsBase&) = default;
};
