#include "ui/stripchart.h"

#include "ui/axisticks.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr int kTickLength = 4;
constexpr int kLegendLine = 20;
// No scale draws more ticks than this, whatever its range and step.
constexpr int kMaxTicks = 40;

// The tick values of a scale, lowest first: whole multiples of its step within its range.
std::vector<double> ticksOf(const StripChart::Scale& scale) {
    std::vector<double> ticks;
    if (!(scale.step > 0.0) || !std::isfinite(scale.min) || !std::isfinite(scale.max)) {
        return ticks;
    }
    const double first = std::ceil(scale.min / scale.step - 1e-9);
    const double last = std::floor(scale.max / scale.step + 1e-9);
    for (double n = first; n <= last && ticks.size() < static_cast<size_t>(kMaxTicks); n += 1.0) {
        ticks.push_back(n * scale.step);
    }
    return ticks;
}

} // namespace

StripChart::StripChart(const QString& title, qint64 windowMs, QWidget* parent)
    : QWidget(parent), title_(title), windowMs_(std::max<qint64>(windowMs, 1)) {
    // Every pixel is painted here: nothing beneath needs painting first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumHeight(180);
    // A picture to look at: Tab goes from the buttons to the next control, not into the plot.
    setFocusPolicy(Qt::NoFocus);
    setAccessibleName(title);
}

int StripChart::addScale(const Scale& scale) {
    scales_.push_back(scale);
    fit(scales_.back(), 0.0, 0.0);
    backgroundStale_ = true;
    return static_cast<int>(scales_.size()) - 1;
}

void StripChart::addTrace(const QString& name, const QPen& pen, int scale, Value value) {
    traces_.push_back(
        Trace{name, pen, std::clamp(scale, 0, std::max(scaleCount() - 1, 0)), std::move(value)});
    widestPen_ = std::max(widestPen_, pen.widthF());
    backgroundStale_ = true;
}

QStringList StripChart::traceNames() const {
    QStringList names;
    for (const Trace& t : traces_) {
        names << t.name;
    }
    return names;
}

QStringList StripChart::timeLabels() const {
    QStringList labels;
    const double seconds = static_cast<double>(windowMs_) / 1000.0;
    for (double s = -seconds; s <= 1e-9; s += 2.0) {
        labels << tickLabel(s, 1.0);
    }
    return labels;
}

QStringList StripChart::tickLabels(int index) const {
    QStringList labels;
    const Scale& s = scale(index);
    for (const double v : ticksOf(s)) {
        labels << tickLabel(v, s.step);
    }
    return labels;
}

QString StripChart::tickLabel(double value, double step) {
    // A step of 0.5 needs one decimal, 0.05 two; whole steps none.
    const int decimals =
        step >= 1.0 || !(step > 0.0) ? 0 : std::min(6, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)));
    // Values that round to zero print as "0", never "-0".
    if (!std::isfinite(value) || std::abs(value) < 0.5 * std::pow(10.0, -decimals)) {
        value = 0.0;
    }
    return QString::number(value, 'f', decimals);
}

bool StripChart::fit(Scale& scale, double lo, double hi) {
    if (!std::isfinite(lo) || !std::isfinite(hi) || !(lo <= hi)) {
        lo = 0.0;
        hi = 0.0;
    }
    lo = std::min(lo, scale.includeLow);
    hi = std::max(hi, scale.includeHigh);
    const double minimumSpan = std::max(scale.minimumSpan, 1e-6);
    if (scale.fitted && lo >= scale.min && hi <= scale.max &&
        scale.max - scale.min <= 1.25 * std::max(hi - lo, minimumSpan)) {
        return false;
    }
    const bool positive = lo >= 0.0;
    double span = hi - lo;
    if (span < minimumSpan) {
        const double mid = (lo + hi) / 2.0;
        lo = mid - minimumSpan / 2.0;
        hi = mid + minimumSpan / 2.0;
        span = minimumSpan;
    }
    double bottom = lo - span * 0.1;
    if (positive && bottom < 0.0) {
        bottom = 0.0;
    }
    const double top = hi + span * 0.1;
    const double step = std::max(AxisTicks::roundStep(top - bottom), scale.minimumStep);
    const bool changed = !scale.fitted || bottom != scale.min || top != scale.max || step != scale.step;
    scale.min = bottom;
    scale.max = top;
    scale.step = step;
    scale.fitted = true;
    return changed;
}

void StripChart::samplesChanged() {
    if (!samples_) {
        return;
    }
    // The values' range: over the new samples only, added to what was seen before, and over all
    // of them once a second, so that a scale shrinks a moment after a peak has scrolled away.
    constexpr double inf = std::numeric_limits<double>::infinity();
    const qint64 newestTime = samples_->empty() ? -1 : samples_->back().time;
    const bool whole = seenLow_.size() != scales_.size() || samples_->empty() || newestTime < seenUntil_ ||
                       newestTime - wholeScanAt_ >= 1000;
    if (whole) {
        seenLow_.assign(scales_.size(), inf);
        seenHigh_.assign(scales_.size(), -inf);
        wholeScanAt_ = newestTime;
    }
    const auto first = whole ? samples_->begin()
                             : std::upper_bound(samples_->begin(), samples_->end(), seenUntil_,
                                                [](qint64 t, const ForcesSample& s) { return t < s.time; });
    for (const Trace& t : traces_) {
        double& l = seenLow_[static_cast<size_t>(t.scale)];
        double& h = seenHigh_[static_cast<size_t>(t.scale)];
        for (auto it = first; it != samples_->end(); ++it) {
            const double v = t.value(*it);
            if (std::isfinite(v)) {
                l = std::min(l, v);
                h = std::max(h, v);
            }
        }
    }
    seenUntil_ = newestTime;
    std::vector<double> lo = seenLow_;
    std::vector<double> hi = seenHigh_;
    samplesPending_ = true;
    bool rescaled = false;
    for (size_t i = 0; i < scales_.size(); ++i) {
        if (lo[i] > hi[i]) {
            lo[i] = hi[i] = 0.0;
        }
        rescaled = fit(scales_[i], lo[i], hi[i]) || rescaled;
    }
    if (rescaled) {
        backgroundStale_ = true;
        update();
        return;
    }
    // A chart on screen whose picture holds the lines so far scrolls: the picture moves left on
    // its own and in the window's backing store, and only the strip with the new pieces is
    // painted. Anything else (hidden, a first or fresh picture, a screen scale that is not a
    // whole number) is drawn at the next paint.
    const qreal dpr = devicePixelRatioF();
    if (!isVisible() || backgroundStale_ || linesStale_ || picture_.isNull() || dpr != std::round(dpr)) {
        update(inner_);
        return;
    }
    const int shift = updateLines();
    samplesPending_ = false;
    if (shift < 0 || shift >= inner_.width()) {
        update(inner_);
        return;
    }
    if (shift > 0) {
        scroll(-shift, 0, inner_);
    }
    // The new pieces start at the newest point drawn before, now `shift` left of the edge, and a
    // wide pen reaches a little further; a strip not yet painted since the last frame moved left
    // with the rest and is painted too.
    unpainted_ = std::min(std::max(shift + 3 + static_cast<int>(std::ceil(widestPen_)), unpainted_ + shift),
                          inner_.width() - 1);
    update(QRect(inner_.right() - unpainted_, inner_.top(), unpainted_ + 1, inner_.height()));
}

void StripChart::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    backgroundStale_ = true;
}

void StripChart::paintEvent(QPaintEvent* event) {
    const qreal dpr = devicePixelRatioF();
    if (backgroundStale_ || background_.size() != (QSizeF(size()) * dpr).toSize()) {
        paintBackground();
        backgroundStale_ = false;
        linesStale_ = true;
    }
    unpainted_ = 0;
    QPainter p(this);
    p.setClipRegion(event->region());
    // The frame, scales and legend, unless only the inside of the plot is painted (each frame).
    if (!inner_.contains(event->region().boundingRect())) {
        p.drawImage(0, 0, background_);
    }
    if (inner_.width() < 2 || inner_.height() < 2) {
        return;
    }
    if (samplesPending_ || linesStale_) {
        updateLines();
        samplesPending_ = false;
    }
    // An opaque picture, copied rather than blended, in two pieces: its columns from the origin
    // on hold the plot's left part.
    const int d = static_cast<int>(std::lround(picture_.devicePixelRatio()));
    const int left = inner_.width() - origin_;
    p.drawImage(inner_.topLeft(), picture_, QRect(origin_ * d, 0, left * d, picture_.height()));
    if (origin_ > 0) {
        p.drawImage(inner_.topLeft() + QPoint(left, 0), picture_,
                    QRect(0, 0, origin_ * d, picture_.height()));
    }
}

void StripChart::paintBackground() {
    const qreal dpr = devicePixelRatioF();
    background_ = QImage((QSizeF(size()) * dpr).toSize(), QImage::Format_RGB32);
    background_.setDevicePixelRatio(dpr);
    const QColor base = palette().color(QPalette::Base);
    const QColor text = palette().color(QPalette::WindowText);
    const QColor grid = palette().color(QPalette::Mid).lighter(140);
    background_.fill(base);
    QPainter p(&background_);
    const QFontMetrics fm(font());
    const int lineHeight = fm.height();

    QFont bold = font();
    bold.setBold(true);
    p.setFont(bold);
    p.setPen(text);
    p.drawText(QRect(0, 2, width(), lineHeight + 2), Qt::AlignCenter, title_);
    p.setFont(font());

    int legendWidth = 0;
    for (const Trace& t : traces_) {
        legendWidth = std::max(legendWidth, fm.horizontalAdvance(t.name) + kLegendLine + 14);
    }
    // Each scale: its rotated title, its labels and its ticks, outward from the plot.
    std::vector<int> scaleWidths;
    int leftWidth = 4;
    int rightWidth = 4;
    for (int i = 0; i < scaleCount(); ++i) {
        int labels = 0;
        for (const QString& label : tickLabels(i)) {
            labels = std::max(labels, fm.horizontalAdvance(label));
        }
        const int w = lineHeight + 6 + labels + kTickLength + 2;
        scaleWidths.push_back(w);
        (scale(i).right ? rightWidth : leftWidth) += w;
    }
    const int top = lineHeight + 8;
    const int bottom = height() - 2 * lineHeight - 8;
    plot_ = QRect(QPoint(leftWidth, top), QPoint(width() - rightWidth - legendWidth - 1, bottom));
    inner_ = plot_.adjusted(1, 1, -1, -1);
    if (plot_.width() < 2 || plot_.height() < 2) {
        return;
    }
    const auto yOf = [this](const Scale& s, double v) {
        return plot_.bottom() - (v - s.min) / (s.max - s.min) * (plot_.height() - 1);
    };

    // Seconds: a tick every two, each on the whole second its label prints.
    const double seconds = static_cast<double>(windowMs_) / 1000.0;
    for (const QString& label : timeLabels()) {
        // No line across the plot: its inside scrolls with the lines, so it may only hold what
        // looks the same all along (the value grid).
        const double x = plot_.left() + (label.toDouble() + seconds) / seconds * (plot_.width() - 1);
        p.setPen(text);
        p.drawLine(QPointF(x, plot_.bottom()), QPointF(x, plot_.bottom() + kTickLength));
        p.drawText(QRectF(x - 30, plot_.bottom() + kTickLength + 1, 60, lineHeight),
                   Qt::AlignHCenter | Qt::AlignTop, label);
    }
    p.drawText(QRect(plot_.left(), plot_.bottom() + kTickLength + lineHeight + 2, plot_.width(), lineHeight),
               Qt::AlignCenter, tr("Seconds"));

    // The first scale's ticks across the plot, to read values along the lines.
    if (!scales_.empty()) {
        p.setPen(grid);
        for (const double v : ticksOf(scales_.front())) {
            const double y = yOf(scales_.front(), v);
            p.drawLine(QPointF(plot_.left(), y), QPointF(plot_.right(), y));
        }
    }
    p.setPen(text);
    p.drawRect(plot_.adjusted(0, 0, -1, -1));

    int leftEdge = plot_.left();
    int rightEdge = plot_.right();
    for (int i = 0; i < scaleCount(); ++i) {
        const Scale& s = scale(i);
        const int w = scaleWidths[static_cast<size_t>(i)];
        const int edge = s.right ? rightEdge : leftEdge;
        const int dir = s.right ? 1 : -1;
        p.setPen(s.colour);
        p.drawLine(edge, plot_.top(), edge, plot_.bottom());
        for (const double v : ticksOf(s)) {
            const double y = yOf(s, v);
            p.drawLine(QPointF(edge, y), QPointF(edge + dir * kTickLength, y));
            const QRectF box = s.right
                                   ? QRectF(edge + kTickLength + 2, y - lineHeight / 2.0, w, lineHeight)
                                   : QRectF(edge - kTickLength - 2 - w, y - lineHeight / 2.0, w, lineHeight);
            p.drawText(box, Qt::AlignVCenter | (s.right ? Qt::AlignLeft : Qt::AlignRight),
                       tickLabel(v, s.step));
        }
        // The title turned upright along the scale's outer side.
        p.save();
        const double titleX = s.right ? edge + w - lineHeight / 2.0 - 1 : edge - w + lineHeight / 2.0 + 1;
        p.translate(titleX, plot_.center().y());
        p.rotate(-90.0);
        p.drawText(QRectF(-plot_.height() / 2.0, -lineHeight / 2.0, plot_.height(), lineHeight),
                   Qt::AlignCenter, s.title);
        p.restore();
        (s.right ? rightEdge : leftEdge) += dir * w;
    }

    // The legend: each line as it is drawn, with its name.
    int y = top;
    const int x = width() - legendWidth + 6;
    for (const Trace& t : traces_) {
        p.setPen(t.pen);
        p.drawLine(x, y + lineHeight / 2, x + kLegendLine, y + lineHeight / 2);
        p.setPen(text);
        p.drawText(QRect(x + kLegendLine + 4, y, legendWidth, lineHeight), Qt::AlignLeft | Qt::AlignVCenter,
                   t.name);
        y += lineHeight + 2;
    }
}

double StripChart::xAt(qint64 time) const {
    return (inner_.width() - 1) - (edgeTime_ - static_cast<double>(time)) * pixelsPerMs_;
}

double StripChart::yAt(const Scale& scale, float value) const {
    const double v = std::isfinite(value) ? static_cast<double>(value) : 0.0;
    // Far outside the picture is as good as just outside it, and keeps the painter's numbers small.
    const double y =
        (inner_.height() - 1) - (v - scale.min) / (scale.max - scale.min) * (inner_.height() - 1);
    return std::clamp(y, -10.0, inner_.height() + 10.0);
}

void StripChart::fillFromBackground(int from) {
    // The plot's inside as the background holds it (the value grid), for the plot's columns from
    // `from` to its right edge, wherever they lie in the picture.
    const int d = static_cast<int>(std::lround(picture_.devicePixelRatio()));
    const qreal backgroundRatio = background_.devicePixelRatio();
    const int width = inner_.width();
    for (int x = from; x < width;) {
        const int column = (x + origin_) % width;
        const int run = std::min(width - x, width - column);
        if (backgroundRatio == d && background_.height() >= (inner_.top() * d + picture_.height()) &&
            background_.width() >= (inner_.left() + x + run) * d) {
            for (int y = 0; y < picture_.height(); ++y) {
                const auto* source =
                    reinterpret_cast<const QRgb*>(background_.constScanLine(inner_.top() * d + y));
                auto* target = reinterpret_cast<QRgb*>(picture_.scanLine(y));
                std::memcpy(target + static_cast<size_t>(column) * d,
                            source + static_cast<size_t>(inner_.left() + x) * d,
                            static_cast<size_t>(run) * d * sizeof(QRgb));
            }
        } else {
            // A screen scale that is not a whole number: the painter scales the columns.
            QPainter p(&picture_);
            p.setCompositionMode(QPainter::CompositionMode_Source);
            p.drawImage(QRectF(column, 0, run, inner_.height()), background_,
                        QRectF(QPointF(inner_.left() + x, inner_.top()) * backgroundRatio,
                               QSizeF(run, inner_.height()) * backgroundRatio));
        }
        x += run;
    }
}

int StripChart::updateLines() {
    const qreal dpr = devicePixelRatioF();
    // Whole device pixels per plot pixel; any other screen scale draws the picture anew each time.
    const int d = std::max(1, static_cast<int>(std::lround(dpr)));
    if (picture_.size() != inner_.size() * d || picture_.devicePixelRatio() != d) {
        picture_ = QImage(inner_.size() * d, QImage::Format_RGB32);
        picture_.setDevicePixelRatio(d);
        linesStale_ = true;
    }
    if (!samples_ || samples_->empty()) {
        origin_ = 0;
        fillFromBackground(0);
        drawnTime_ = -1;
        linesStale_ = false;
        return -1;
    }
    pixelsPerMs_ = static_cast<double>(inner_.width()) / static_cast<double>(windowMs_);
    const qint64 newest = samples_->back().time;
    if (!linesStale_ && drawnTime_ >= 0 && newest == drawnTime_) {
        return 0;
    }
    const int shift = static_cast<int>(std::ceil((static_cast<double>(newest) - edgeTime_) * pixelsPerMs_));
    const bool fresh = linesStale_ || drawnTime_ < 0 || newest < drawnTime_ || shift >= inner_.width() ||
                       samples_->front().time > drawnTime_ || dpr != std::round(dpr);
    int moved = -1;
    if (fresh) {
        origin_ = 0;
        fillFromBackground(0);
        edgeTime_ = static_cast<double>(newest);
        drawLines(0, true);
    } else {
        if (shift > 0) {
            // The picture is a ring: scrolling left by whole pixels moves its origin, and the
            // oldest columns become the newest, cleared. The loop time at the edge moves along.
            origin_ = (origin_ + shift) % inner_.width();
            fillFromBackground(inner_.width() - shift);
            edgeTime_ += shift / pixelsPerMs_;
        }
        // From the newest sample already drawn, so each line continues where it ended.
        const auto from = std::lower_bound(samples_->begin(), samples_->end(), drawnTime_,
                                           [](const ForcesSample& s, qint64 t) { return s.time < t; });
        drawLines(static_cast<size_t>(from - samples_->begin()), false);
        moved = std::max(shift, 0);
    }
    drawnTime_ = newest;
    linesStale_ = false;
    return moved;
}

void StripChart::drawLines(size_t from, bool fresh) {
    QPainter p(&picture_);
    p.setRenderHint(QPainter::Antialiasing, false);
    QPolygonF points;
    points.reserve(static_cast<int>(samples_->size() - std::min(from, samples_->size())));
    for (Trace& t : traces_) {
        const Scale& s = scale(t.scale);
        points.clear();
        double length = 0.0;
        for (size_t i = from; i < samples_->size(); ++i) {
            const ForcesSample& sample = (*samples_)[i];
            const QPointF point(xAt(sample.time), yAt(s, t.value(sample)));
            if (!points.isEmpty()) {
                length += std::hypot(point.x() - points.back().x(), point.y() - points.back().y());
            }
            points.append(point);
        }
        QPen pen = t.pen;
        if (fresh) {
            t.dashPhase = 0.0;
        }
        // Dots and dashes run on across the pieces drawn frame by frame.
        const QList<qreal> pattern = pen.style() == Qt::SolidLine ? QList<qreal>() : pen.dashPattern();
        double period = 0.0;
        for (const qreal d : pattern) {
            period += d;
        }
        if (period > 0.0) {
            pen.setDashOffset(t.dashPhase);
            t.dashPhase = std::fmod(t.dashPhase + length / std::max(pen.widthF(), 1.0), period);
        }
        p.setPen(pen);
        // Where the ring wraps, a piece shows partly at its end and partly at its start; each
        // part is held to its own columns, so that nothing beyond the plot's edges wraps round.
        const int width = inner_.width();
        const int height = inner_.height();
        const int wrap = width - origin_; // the plot's first column at the picture's start
        const double reach = pen.widthF() + 1.0;
        double left = std::numeric_limits<double>::infinity();
        double right = -left;
        for (const QPointF& point : points) {
            left = std::min(left, point.x());
            right = std::max(right, point.x());
        }
        if (left - reach < wrap) {
            p.resetTransform();
            p.translate(origin_, 0);
            p.setClipRect(QRect(0, -1, wrap, height + 2));
            p.drawPolyline(points);
        }
        if (origin_ > 0 && right + reach >= wrap) {
            p.resetTransform();
            p.translate(origin_ - width, 0);
            p.setClipRect(QRect(wrap, -1, origin_, height + 2));
            p.drawPolyline(points);
        }
    }
}
