#pragma once

#include "records/effectssettings.h"

#include <QtGlobal>

#include <vector>

// The effect settings the forces are leaving after a change (a profile loaded by hand or for a
// new aircraft, an effect added, a slider moved), each with its share of what is sent. A set
// keeps the share it had when it was left and gives it up linearly over the 500 ms after the
// latest change; the settings in force hold the rest. So the forces glide from old to new and
// never drop in between, and a change during a glide carries on from where the glide stood.
//
// Threading: a plain value of the control thread.
class SettingsCrossFade {
public:
    static constexpr qint64 DurationMs = 500;
    // Most sets that fade at once; beyond, the faintest hands its share to the next newer one.
    static constexpr int MaxFading = 4;
    // A set left with less than this share is not kept: too little of it is felt.
    static constexpr float MinShare = 0.02f;

    // The settings change at `now`; `previous` were in force until then.
    void change(const EffectsSettings& previous, qint64 now);
    // Forgets what has faded out by `now`.
    void expire(qint64 now);
    void clear() { fading_.clear(); }

    bool isFading() const { return !fading_.empty(); }
    int size() const { return static_cast<int>(fading_.size()); }
    const EffectsSettings& settings(int i) const { return fading_[static_cast<size_t>(i)].settings; }
    // The share of fading set `i` at `now`, 0..1.
    float share(int i, qint64 now) const;
    // The share of the settings in force: 1.0 exactly when nothing fades.
    float currentShare(qint64 now) const;

private:
    struct Fading {
        EffectsSettings settings;
        float share = 0.0f; // at `since`
        qint64 since = 0;
    };
    std::vector<Fading> fading_; // oldest first
};
