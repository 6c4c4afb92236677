#include "telemetry/aircraftchangewatch.h"

void AircraftChangeWatch::start(const QString& name) {
    name_ = name;
    candidate_.clear();
    seen_ = 0;
}

bool AircraftChangeWatch::observe(const QString& name) {
    if (name == name_) {
        seen_ = 0;
        return false;
    }
    if (seen_ > 0 && name == candidate_) {
        ++seen_;
    } else {
        candidate_ = name;
        seen_ = 1;
    }
    if (seen_ < kConfirmations) {
        return false;
    }
    start(name);
    return true;
}
