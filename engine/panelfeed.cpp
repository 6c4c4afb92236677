#include "engine/panelfeed.h"

#include "forces/effectcurves.h"

#include <algorithm>
#include <cmath>

PanelFeed::PanelFeed(QObject* parent) : QObject(parent) {}

void PanelFeed::setInterval(int ticks) {
    if (ticks != 0 && (interval_ == 0 || ticks < interval_)) {
        ticks_ = 0;
    }
    interval_ = ticks;
}

void PanelFeed::offerRecord(qint64 now, Telemetry::Source source, const Telemetry& record) {
    pendingTelemetry_ = record;
    telemetryPending_ = true;
    if (rowsWanted_ && !rowsWanted_()) {
        return;
    }
    emit recordReceived(RecordingRow{
        now, source, QString(), record, {sent_.axis[0].force, sent_.axis[1].force, sent_.axis[2].force}});
}

void PanelFeed::forgetRecord() {
    telemetryPending_ = false;
    telemetryShown_ = false;
}

void PanelFeed::tick(const PositionInput& position) {
    // A hidden window hears nothing; what it missed waits here for it.
    if (interval_ == 0) {
        return;
    }
    if (ticks_ > 0) {
        --ticks_;
        return;
    }
    ticks_ = interval_ - 1;
    // A stick at rest wakes nobody: the panel already shows this position.
    if (!positionShown_ || position.roll != shownPosition_.roll || position.pitch != shownPosition_.pitch ||
        position.yaw != shownPosition_.yaw) {
        positionShown_ = true;
        shownPosition_ = position;
        emit positionChanged(position);
    }
    // Nor does a game that repeats itself (paused, or parked on the ground).
    if (telemetryPending_) {
        telemetryPending_ = false;
        if (!telemetryShown_ || !sameRecord(pendingTelemetry_, shownTelemetry_)) {
            telemetryShown_ = true;
            shownTelemetry_ = pendingTelemetry_;
            emit telemetryChanged(pendingTelemetry_);
        }
    }
}

void PanelFeed::sent(qint64 now, const Forces& forces, const Telemetry& driving) {
    sent_ = forces;
    announceCentres(now, forces, driving);
    // SampleMs apart at least, whatever the tick rate: one sample for each of the plot's frames,
    // so that the plot's thread wakes once a frame.
    if (lastPublished_ >= 0 && now - lastPublished_ < SampleMs) {
        return;
    }
    lastPublished_ = now;
    // A plot nobody sees gets nothing: no sample is made and no thread woken.
    if (samplesWanted_ && !samplesWanted_()) {
        return;
    }
    emit forcesSent(makeSample(now, forces, driving));
}

void PanelFeed::announceCentres(qint64 now, const Forces& forces, const Telemetry& driving) {
    // 100 ms apart at least: a centre the pilot reads, not a curve to follow.
    if (centresAnnounced_ >= 0 && now - centresAnnounced_ < 100 && now >= centresAnnounced_) {
        return;
    }
    int thousandths[3];
    bool moved = !centresShown_;
    for (int axis = 0; axis < 3; ++axis) {
        const double c = std::clamp(static_cast<double>(finiteOrZero(centre_[axis])), -1.0, 1.0);
        thousandths[axis] = static_cast<int>(std::lround(c * 1000.0));
        moved = moved || thousandths[axis] != shownCentre_[axis];
    }
    if (!moved) {
        return;
    }
    centresShown_ = true;
    centresAnnounced_ = now;
    std::copy(thousandths, thousandths + 3, shownCentre_);
    emit centresChanged(makeSample(now, forces, driving));
}

ForcesSample PanelFeed::makeSample(qint64 now, const Forces& forces, const Telemetry& driving) const {
    ForcesSample sample;
    sample.time = now;
    for (int axis = 0; axis < 3; ++axis) {
        sample.force[axis] = forces.axis[axis].force;
        sample.vibration[axis] = forces.axis[axis].vibration;
        sample.springMagnitude[axis] = forces.axis[axis].springMagnitude;
        sample.centre[axis] = finiteOrZero(centre_[axis]);
    }
    sample.airspeed = finiteOrZero(driving.airspeed);
    sample.aoa = finiteOrZero(driving.aoa);
    sample.gForce = finiteOrZero(driving.gForce);
    return sample;
}

bool PanelFeed::sameRecord(const Telemetry& a, const Telemetry& b) {
    return a.airspeed == b.airspeed && a.verticalSpeed == b.verticalSpeed && a.aileronAoa == b.aileronAoa &&
           a.aoa == b.aoa && a.sideslip == b.sideslip && a.rollRate == b.rollRate && a.gForce == b.gForce &&
           a.propAirflow == b.propAirflow && a.trimmerRoll == b.trimmerRoll &&
           a.trimmerPitch == b.trimmerPitch && a.trimmerYaw == b.trimmerYaw && a.gear == b.gear &&
           a.airbrake == b.airbrake && a.flaps == b.flaps && a.onGround == b.onGround;
}
