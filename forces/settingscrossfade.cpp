#include "forces/settingscrossfade.h"

#include <algorithm>

namespace {

float remaining(qint64 since, qint64 now) {
    const qint64 e = std::clamp<qint64>(now - since, 0, SettingsCrossFade::DurationMs);
    return 1.0f - static_cast<float>(e) / static_cast<float>(SettingsCrossFade::DurationMs);
}

} // namespace

float SettingsCrossFade::share(int i, qint64 now) const {
    const Fading& f = fading_[static_cast<size_t>(i)];
    return f.share * remaining(f.since, now);
}

float SettingsCrossFade::currentShare(qint64 now) const {
    if (fading_.empty()) {
        return 1.0f;
    }
    float rest = 1.0f;
    for (int i = 0; i < size(); ++i) {
        rest -= share(i, now);
    }
    return std::clamp(rest, 0.0f, 1.0f);
}

void SettingsCrossFade::change(const EffectsSettings& previous, qint64 now) {
    expire(now);
    const float left = currentShare(now);
    // Every set still fading gives up what it holds now over the next 500 ms, so the shares
    // move no faster, all together, than one set's would: changes in a row never step.
    for (int i = 0; i < size(); ++i) {
        Fading& f = fading_[static_cast<size_t>(i)];
        f.share = share(i, now);
        f.since = now;
    }
    if (left >= MinShare) {
        fading_.push_back(Fading{previous, left, now});
    }
    if (size() <= MaxFading) {
        return;
    }
    // The faintest set goes; the next newer one takes over its share from now on.
    int faintest = 0;
    for (int i = 1; i < size(); ++i) {
        if (share(i, now) < share(faintest, now)) {
            faintest = i;
        }
    }
    if (faintest + 1 < size()) {
        fading_[static_cast<size_t>(faintest + 1)].share += fading_[static_cast<size_t>(faintest)].share;
    }
    fading_.erase(fading_.begin() + faintest);
}

void SettingsCrossFade::expire(qint64 now) {
    fading_.erase(std::remove_if(fading_.begin(), fading_.end(),
                                 [now](const Fading& f) { return now - f.since >= DurationMs; }),
                  fading_.end());
}
