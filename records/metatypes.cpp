#include "records/metatypes.h"

#include "records/condor2telemetry.h"
#include "records/dcstelemetry.h"
#include "records/directxoverridetypedef.h"
#include "records/effectssettings.h"
#include "records/forces.h"
#include "records/forcessample.h"
#include "records/msfstelemetry.h"
#include "records/positioninput.h"
#include "records/recordingrow.h"
#include "records/shturmoviktelemetry.h"
#include "records/telemetry.h"
#include "records/telemetryrecord.h"
#include "records/warthundertelemetry.h"

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
    qRegisterMetaType<TelemetryRecord>("TelemetryRecord");
    qRegisterMetaType<EffectsSettings>("EffectsSettings");
    qRegisterMetaType<uint32_t>("uint32_t");
    qRegisterMetaType<ForcesSample>("ForcesSample");
    qRegisterMetaType<RecordingRow>("RecordingRow");
}
