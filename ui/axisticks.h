#pragma once

class QValueAxis;

// Ticks of a chart's value axis at round values (1, 2 or 5 times a power of ten) and labels
// with as many decimals as the step has, so that a scale reads 0, 250, 500 rather than 0, 237.5,
// 475, and never "-5.55112e-17".
//
// Threading: GUI thread, like the axes.
namespace AxisTicks {

// The round step that divides `span` into about `ticks` parts; 1 for an empty or odd span.
double roundStep(double span, int ticks = 5);
// Ticks every `step` from 0, labelled with the step's decimals.
void setStep(QValueAxis* axis, double step);
// The range from `lo` to `hi` widened out to whole steps (at least `minimumStep`), with its ticks.
void roundOut(QValueAxis* axis, double lo, double hi, double minimumStep = 0.0);

} // namespace AxisTicks
