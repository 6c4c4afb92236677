#pragma once

#include <cstdint>

// Where the centre of each axis's position-driven effects (the springs, and whatever else reads
// the stick's position) sits, in full deflections: 0 is the stick's own centre. With trim
// following on, the centre goes to the game's trim, or under the autopilot to where the
// autopilot puts the control surface, so that a trimmed aircraft flies hands off and the stick
// shows what the autopilot does.
//
// The centre never jumps: it follows its goal through a 5 Hz low-pass with at most 0.05 of full
// deflection per 5 ms period, so a trim wheel spun fast does not jerk the stick. Following fades
// in over about a second when it begins (the stream starts, the effect is switched on) and the
// centre glides home over about a second when it ends.
//
// Threading: a plain value of the control thread, stepped once per tick by the control loop.
class CentreFollower {
public:
    static constexpr uint64_t FadeMs = 1000;
    static constexpr float CutoffHz = 5.0f;
    static constexpr float MaxStepPerPeriod = 0.05f;
    static constexpr uint64_t PeriodMs = 5;

    // The centre a game's value in percent asks for at this strength (percent): value / 100 ×
    // strength / 100, held to -1..1; anything not finite asks for 0.
    static float goal(float percent, float strengthPercent);

    // One tick at `now` (ms, any monotonic clock). For each axis, `following` says whether the
    // effect is on and a live stream gives a goal, and `goal` is that goal in full deflections.
    // A goal that is not finite counts as 0.
    void step(uint64_t now, const bool following[3], const float goal[3]);

    // The centre of an axis (0 ailerons, 1 elevator, 2 rudder); 0 for any other index.
    float centre(int axis) const { return axis >= 0 && axis < 3 ? axes_[axis].centre : 0.0f; }

private:
    struct Axis {
        float centre = 0.0f;
        float weight = 0.0f; // 0..1: how much of the held goal counts, fading in and out
        float held = 0.0f;   // the last goal while following, kept for the glide home
    };
    Axis axes_[3];
    bool started_ = false;
    uint64_t last_ = 0;
};
