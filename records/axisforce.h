#pragma once

// What the synthesis produces for one axis in one tick. Vibration and spring magnitude are not
// clamped here; the direct-control report holds all three to -100..100.
struct AxisForce {
    float force = 0.0f;           // steady force; clamped to -100..100 when the forces are returned
    float vibration = 0.0f;       // sum of this tick's shaker outputs, not clamped
    float springMagnitude = 0.0f; // magnitude of the last spring computed on the axis, not clamped
};
