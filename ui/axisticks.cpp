#include "ui/axisticks.h"

#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace AxisTicks {

double roundStep(double span, int ticks) {
    const double raw = span / std::max(ticks, 1);
    if (!std::isfinite(raw) || raw <= 0.0) {
        return 1.0;
    }
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double n = raw / magnitude;
    return (n < 1.5 ? 1.0 : n < 3.0 ? 2.0 : n < 7.0 ? 5.0 : 10.0) * magnitude;
}

void setStep(QValueAxis* axis, double step) {
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(0.0);
    axis->setTickInterval(step);
    // A step of 0.5 needs one decimal, 0.05 two; whole steps none.
    const int decimals = step >= 1.0 ? 0 : std::min(6, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)));
    axis->setLabelFormat(QStringLiteral("%.%1f").arg(decimals));
}

void roundOut(QValueAxis* axis, double lo, double hi, double minimumStep) {
    if (!std::isfinite(lo) || !std::isfinite(hi) || !(lo <= hi)) {
        lo = 0.0;
        hi = 1.0;
    }
    const double step = std::max(roundStep(hi - lo), minimumStep > 0.0 ? minimumStep : 0.0);
    double bottom = std::floor(lo / step) * step;
    double top = std::ceil(hi / step) * step;
    if (top <= bottom) {
        top = bottom + step;
    }
    // -0 would print as "-0".
    bottom = bottom == 0.0 ? 0.0 : bottom;
    axis->setRange(bottom, top);
    setStep(axis, step);
}

} // namespace AxisTicks
