#pragma once

#include "records/directxoverridetypedef.h"
#include "records/effectssettings.h"
#include "records/forces.h"

#include <array>
#include <cstdint>

// Every HID report exchanged with the Grovik joystick base and rudder unit, as pure
// functions: 65-byte buffers (report id in byte 0), little-endian, IEEE single-precision
// floats at even unaligned offsets, every byte not named 0. No float that leaves here is
// ever NaN or infinite: such a value goes out as 0.0. Every float is then held to the range
// below, whatever the synthesis, the settings or the caller hand in, because the devices
// apply what they get to a motor in the pilot's hand.
namespace HidReports {

// Largest spring magnitude, force and vibration a direct-control report carries, either sign.
constexpr float ForceLimit = 100.0f;
// Damper gains and DirectX gains lie in 0..GainLimit.
constexpr float GainLimit = 1.0f;
// Position offsets lie in -OffsetLimit..OffsetLimit, the travel of an axis.
constexpr float OffsetLimit = 1.0f;

// The value held to lo..hi, with NaN and infinities read as 0 first.
float bounded(float value, float lo, float hi);

constexpr int ReportSize = 65;
using Report = std::array<uint8_t, ReportSize>;

constexpr unsigned short VendorId = 0x3F21;
constexpr unsigned short JoystickProductId = 0x7A10;
constexpr unsigned short RudderProductId = 0x7A2C;

constexpr uint8_t PositionReportId = 0x24;
constexpr uint8_t VersionReportId = 0x25;
constexpr uint8_t OutputReportId = 0x02;
constexpr uint8_t DirectControlCommand = 0x20;
constexpr uint8_t DirectXOverrideCommand = 0x21;

// A zeroed buffer with only the report id set, ready for hid_get_feature_report.
Report featureRequest(uint8_t reportId);

// The version value: bytes 0..3 little-endian, so its lowest byte is the report id 0x25.
uint32_t parseVersion(const Report& report);

// Position and offset of a device's first (X) and second (Y) axis from report 0x24.
// A non-finite value from the device reads as 0.0.
struct DevicePosition {
    float positionX = 0.0f;
    float positionY = 0.0f;
    float offsetX = 0.0f;
    float offsetY = 0.0f;
};
DevicePosition parsePosition(const Report& report);

// Damper gain of the direct-control report: dampening * total / 100 / 100 in single
// precision, multiplied first, held to 0..GainLimit; 0 when the smart damper is not active.
float staticDamperGain(const SmartDamperSettings& damper);
float dynamicDamperGain(const SmartDamperSettings& damper);

// Direct-control reports (0x02, 0x20): spring magnitude, force, vibration, static and dynamic
// damper gain and position offset of each of the device's axes. The joystick carries axes 0
// and 1, the rudder axis 2 in its X slots with 0.0 in the Y slots. Each value is bounded
// (ForceLimit, GainLimit, OffsetLimit).
Report joystickDirectControl(const Forces& forces, const float positionOffset[3],
                             const EffectsSettings& settings);
Report rudderDirectControl(const Forces& forces, const float positionOffset[3],
                           const EffectsSettings& settings);

// Gains of the game's own force-feedback effects from the direct_x settings of the device's
// axes, each held to 0..GainLimit; all 0.0 for an axis whose direct_x effect is not active.
// The trimmer gain is not scaled by the total strength.
DirectXOverrideTypeDef joystickDirectXOverride(const EffectsSettings& settings);
DirectXOverrideTypeDef rudderDirectXOverride(const EffectsSettings& settings);

// DirectX override report (0x02, 0x21) carrying the six gains in their order, each held to
// 0..GainLimit.
Report directXOverride(const DirectXOverrideTypeDef& gains);
// The DirectX override report with every gain at 0: the game's own effects do nothing. Sent
// with the all-zero direct-control report wherever the program or its guardian lets go.
Report directXOverrideOff();

} // namespace HidReports
