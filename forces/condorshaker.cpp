#include "forces/condorshaker.h"

#include "forces/shakerdrive.h"
#include "records/finite.h"

void CondorShaker::addTo(Forces& forces, uint64_t now, const Condor2Telemetry& record,
                         const EffectsSettings& settings) {
    for (int axis = 0; axis < 3; ++axis) {
        const CondorShakerSettings& s = settings.axes[axis].condor_shaker;
        if (!s.active) {
            continue;
        }
        const ShakerDrive drive = condorTurbulenceDrive(record.line31Value, s);
        AxisForce& f = forces.axis[axis];
        f.vibration = finiteOrZero(finiteOrZero(f.vibration) +
                                   oscillatorStep(axes_[axis], now, drive.frequency, drive.amplitude));
    }
}
