#include "ui/curvepreviewwidget.h"

#include "forces/effectpreview.h"
#include "records/airflowspringsettings.h"
#include "records/aoashakersettings.h"
#include "records/genericspeeddependantshakersettings.h"
#include "records/joltsettings.h"
#include "ui/axisticks.h"

#include <QChart>
#include <QChartView>
#include <QGridLayout>
#include <QLineSeries>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>

namespace {

constexpr int kPoints = 61;
constexpr int kMinimumHeight = 260;

// The extent of some curves' y values, with a little room above, out to round ticks; never empty.
void fitAxis(QValueAxis* axis, const QList<QVector<QPointF>>& curves, const QList<bool>& onRight,
             bool right) {
    double lo = 0.0;
    double hi = 0.0;
    for (int i = 0; i < curves.size() && i < onRight.size(); ++i) {
        if (onRight[i] != right) {
            continue;
        }
        for (const QPointF& p : curves[i]) {
            lo = std::min(lo, p.y());
            hi = std::max(hi, p.y());
        }
    }
    if (hi - lo < 1e-6) {
        hi = lo + 1.0;
    }
    AxisTicks::roundOut(axis, lo, hi + (hi - lo) * 0.05);
}

} // namespace

CurvePreviewWidget::CurvePreviewWidget(const QString& title, const QString& leftTitle,
                                       const QString& rightTitle, const QList<Curve>& curves, QWidget* parent)
    : QWidget(parent), chart_(new QChart()), x_(new QValueAxis(this)), left_(new QValueAxis(this)) {
    setObjectName(QStringLiteral("curve_preview"));
    chart_->setTitle(title);
    chart_->setMargins(QMargins(2, 2, 2, 2));
    chart_->legend()->setAlignment(Qt::AlignTop);
    x_->setTitleText(tr("Airspeed (km/h)"));
    x_->setLabelFormat(QStringLiteral("%.0f"));
    left_->setTitleText(leftTitle);
    left_->setLabelFormat(QStringLiteral("%.3g"));
    chart_->addAxis(x_, Qt::AlignBottom);
    chart_->addAxis(left_, Qt::AlignLeft);
    if (!rightTitle.isEmpty()) {
        right_ = new QValueAxis(this);
        right_->setTitleText(rightTitle);
        right_->setLabelFormat(QStringLiteral("%.3g"));
        chart_->addAxis(right_, Qt::AlignRight);
    }
    for (const Curve& c : curves) {
        auto* series = new QLineSeries(this);
        series->setName(c.name);
        chart_->addSeries(series);
        series->attachAxis(x_);
        series->attachAxis(c.rightAxis && right_ ? right_ : left_);
        series_ << series;
        onRight_ << (c.rightAxis && right_);
    }

    auto* view = new QChartView(chart_, this);
    view->setRenderHint(QPainter::Antialiasing);
    // Tall enough for the title, the legend, both axes' labels and a readable plot; the
    // effect page scrolls where the window is shorter.
    view->setMinimumHeight(kMinimumHeight);
    // A picture to look at: Tab goes from the form's last control on, not into the chart.
    view->setFocusPolicy(Qt::NoFocus);
    view->setAccessibleName(title);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    setAccessibleName(title);
}

void CurvePreviewWidget::redraw() {
    QList<QVector<QPointF>> curves;
    if (source_) {
        curves = source_();
    }
    double top = 1.0;
    for (int i = 0; i < series_.size(); ++i) {
        const QVector<QPointF> points = i < curves.size() ? curves[i] : QVector<QPointF>();
        series_[i]->replace(QList<QPointF>(points.cbegin(), points.cend()));
        if (!points.isEmpty()) {
            top = std::max(top, points.last().x());
        }
    }
    shown_ = curves;
    AxisTicks::roundOut(x_, 0.0, top);
    fitAxis(left_, curves, onRight_, false);
    if (right_) {
        fitAxis(right_, curves, onRight_, true);
    }
}

void CurvePreviewWidget::placeBelow(QWidget* panel, CurvePreviewWidget* preview) {
    if (auto* grid = qobject_cast<QGridLayout*>(panel->layout())) {
        grid->addWidget(preview, grid->rowCount(), 0, 1, grid->columnCount());
    } else if (panel->layout()) {
        panel->layout()->addWidget(preview);
    }
    preview->redraw();
}

CurvePreviewWidget* CurvePreviewWidget::addToPanel(QWidget* panel, AirflowSpringSettings* const* settings) {
    auto* preview = new CurvePreviewWidget(tr("Force at full deflection"), tr("Force"), QString(),
                                           {{tr("No thrust"), false}, {tr("Full thrust"), false}}, panel);
    preview->setSource([settings]() -> QList<QVector<QPointF>> {
        if (!*settings) {
            return {};
        }
        return {airflowSpringForceCurve(**settings, 0.0f, kPoints),
                airflowSpringForceCurve(**settings, 100.0f, kPoints)};
    });
    placeBelow(panel, preview);
    return preview;
}

CurvePreviewWidget* CurvePreviewWidget::addToPanel(QWidget* panel,
                                                   GenericSpeedDependantShakerSettings* const* settings) {
    auto* preview = new CurvePreviewWidget(tr("Shaker fully extended"), tr("Amplitude"), tr("Hz"),
                                           {{tr("Amplitude"), false}, {tr("Frequency"), true}}, panel);
    preview->setSource([settings]() -> QList<QVector<QPointF>> {
        if (!*settings) {
            return {};
        }
        const ShakerCurves c =
            levelShakerCurves(**settings, shakerPreviewTopSpeed((*settings)->speed.max), kPoints);
        return {c.amplitude, c.frequency};
    });
    placeBelow(panel, preview);
    return preview;
}

CurvePreviewWidget* CurvePreviewWidget::addToPanel(QWidget* panel, AoAShakerSettings* const* settings) {
    auto* preview =
        new CurvePreviewWidget(tr("Shaker at the top of its AoA range"), tr("Amplitude"), tr("Hz"),
                               {{tr("Amplitude"), false}, {tr("Frequency"), true}}, panel);
    preview->setSource([settings]() -> QList<QVector<QPointF>> {
        if (!*settings) {
            return {};
        }
        const ShakerCurves c =
            aoaShakerCurves(**settings, shakerPreviewTopSpeed((*settings)->speed.max), kPoints);
        return {c.amplitude, c.frequency};
    });
    placeBelow(panel, preview);
    return preview;
}

CurvePreviewWidget* CurvePreviewWidget::addToPanel(QWidget* panel, JoltSettings* const* settings) {
    auto* preview =
        new CurvePreviewWidget(tr("Jolt of a hard landing, at touch-down"), tr("Amplitude"), tr("Hz"),
                               {{tr("Amplitude"), false}, {tr("Frequency"), true}}, panel);
    preview->setSource([settings]() -> QList<QVector<QPointF>> {
        if (!*settings) {
            return {};
        }
        const ShakerCurves c = joltCurves(**settings, shakerPreviewTopSpeed((*settings)->speed.max), kPoints);
        return {c.amplitude, c.frequency};
    });
    placeBelow(panel, preview);
    return preview;
}
