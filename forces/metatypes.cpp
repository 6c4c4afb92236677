#include "forces/metatypes.h"

#include "forces/condor2telemetry.h"
#include "forces/dcstelemetry.h"
#include "forces/directxoverridetypedef.h"
#include "forces/forces.h"
#include "forces/forcessample.h"
#include "forces/msfstelemetry.h"
#include "forces/positioninput.h"
#include "forces/recordingrow.h"
#include "forces/shturmoviktelemetry.h"
#include "forces/telemetry.h"
#include "forces/warthundertelemetry.h"
#include "profiles/effectssettings.h"

#include <cstdint>

void registerMetaTypes() {
    qRegisterMetaType<Telemetry>("Telemetry");
    qRegisterMetaType<Telemetry::Source>("Telemetry::Source");
    qRegisterMetaType<Forces>("Forces");
    qRegisterMetaType<PositionInput>("PositionInput");
    qRegisterMetaType<PositionInput*>("PositionInput*");
    qRegisterMetaType<DirectXOverrideTypeDef>("DirectXOverrideTypeDef");
    qRegisterMetaType<MSFSTelemetry>("MSFSTelemetry");
    qRegisterMetaType<DCSTelemetry>("DCSTelemetry");
    qRegisterMetaType<ShturmovikTelemetry>("ShturmovikTelemetry");
    qRegisterMetaType<WarthunderTelemetry>("WarthunderTelemetry");
    qRegisterMetaType<Condor2Telemetry>("Condor2Telemetry");
    qRegisterMetaType<EffectsSettings>("EffectsSettings");
    qRegisterMetaType<uint32_t>("uint32_t");
    qRegisterMetaType<ForcesSample>("ForcesSample");
    qRegisterMetaType<RecordingRow>("RecordingRow");
}
