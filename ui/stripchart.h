#pragma once

#include "records/forcessample.h"

#include <QImage>
#include <QPen>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <deque>
#include <functional>
#include <vector>

// One plot of the force view: lines of the force view's samples over the last ten seconds, each
// against a value scale of its own unit, with a legend. Drawn by hand so that a frame costs
// little: the frame, scales, ticks, labels and legend are painted into a kept picture, again only
// when the size or a scale changes; the plot's inside (the value grid and the lines) into an
// opaque picture that scrolls left by the time passed, with only the new pieces drawn at its
// right edge. On screen the window's own copy scrolls along, so a frame repaints only that
// strip. A chart nobody sees draws nothing until it is shown.
//
// Threading: GUI thread.
class StripChart : public QWidget {
    Q_OBJECT

public:
    // A value scale: its range and tick step, fitted to the values its lines show.
    struct Scale {
        QString title;
        QColor colour;
        bool right = false;
        // Always inside the fitted range (0 for every scale here, 1 for level flight's G).
        double includeLow = 0.0;
        double includeHigh = 0.0;
        double minimumSpan = 1.0;
        double minimumStep = 1.0;
        double min = 0.0;
        double max = 1.0;
        double step = 1.0;
        bool fitted = false;
    };
    using Value = std::function<float(const ForcesSample&)>;

    StripChart(const QString& title, qint64 windowMs, QWidget* parent = nullptr);

    int addScale(const Scale& scale);
    void addTrace(const QString& name, const QPen& pen, int scale, Value value);
    // The samples drawn, oldest first, owned by the caller and kept alive as long as this.
    void setSamples(const std::deque<ForcesSample>* samples) { samples_ = samples; }

    // The samples changed: the scales are fitted to them and the chart is painted when Qt
    // next paints it (never while it is hidden).
    void samplesChanged();

    QString title() const { return title_; }
    int scaleCount() const { return static_cast<int>(scales_.size()); }
    const Scale& scale(int index) const { return scales_.at(static_cast<size_t>(index)); }
    // The labels of a scale's ticks, lowest first.
    QStringList tickLabels(int index) const;
    QStringList traceNames() const;
    // The labels of the time scale's ticks, in whole seconds before now, oldest first.
    QStringList timeLabels() const;
    // The time of the newest sample in the lines' picture; -1 before the first paint.
    qint64 drawnTime() const { return drawnTime_; }

    // The range a scale shows for values from `lo` to `hi`: unchanged while they fit it with
    // no more than a quarter of it to spare, so that the lines need not be drawn again; else
    // fitted anew with a tenth to spare on each side and a round tick step. True if it changed.
    static bool fit(Scale& scale, double lo, double hi);
    // The label of a tick at `value` on a scale with ticks `step` apart.
    static QString tickLabel(double value, double step);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Trace {
        QString name;
        QPen pen;
        int scale = 0;
        Value value;
        // Where the dash pattern stands at the newest point drawn, in pen widths.
        double dashPhase = 0.0;
    };

    // Lays out the plot area and paints the frame, ticks, labels and legend into background_.
    void paintBackground();
    // Brings the plot's picture up to the newest sample: scrolled and extended, or drawn anew.
    // Returns how many pixels it scrolled left (0 when only extended), -1 when drawn anew.
    int updateLines();
    // Fills the plot's columns from `from` to the right edge with its inside from the background.
    void fillFromBackground(int from);
    void drawLines(size_t from, bool fresh);
    double xAt(qint64 time) const;
    double yAt(const Scale& scale, float value) const;

    QString title_;
    qint64 windowMs_;
    std::vector<Scale> scales_;
    std::vector<Trace> traces_;
    const std::deque<ForcesSample>* samples_ = nullptr;

    QImage background_;
    // The plot's inside with the lines drawn on it, opaque, so that it can scroll: a ring whose
    // column `origin_` (in plot pixels) holds the plot's left edge.
    QImage picture_;
    int origin_ = 0;
    // The values' range seen per scale, the newest sample's time it covers, and when all the
    // samples were last gone through.
    std::vector<double> seenLow_;
    std::vector<double> seenHigh_;
    qint64 seenUntil_ = -1;
    qint64 wholeScanAt_ = -1;
    QRect plot_;
    QRect inner_; // inside the plot's frame
    double widestPen_ = 1.0;
    // Columns at the picture's right edge changed since the last paint.
    int unpainted_ = 0;
    bool backgroundStale_ = true;
    bool linesStale_ = true;
    // Samples changed since the lines were last brought up to date; a repaint for any other
    // reason shows the picture as it was drawn.
    bool samplesPending_ = true;
    // The loop time at the right edge of the picture, and its pixels per millisecond.
    double edgeTime_ = 0.0;
    double pixelsPerMs_ = 0.0;
    qint64 drawnTime_ = -1;
};
