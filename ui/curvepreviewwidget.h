#pragma once

#include <QList>
#include <QPointF>
#include <QVector>
#include <QWidget>

#include <functional>

class AirflowSpringSettings;
class AoAShakerSettings;
class GenericSpeedDependantShakerSettings;
class JoltSettings;
class QChart;
class QLineSeries;
class QValueAxis;

// A small chart of an effect against airspeed inside its settings panel: one or more curves on
// a left axis and optionally one on a right axis. The curves come from a function that asks
// the force synthesis (forces/effectpreview.h), called again at every redraw().
//
// Threading: GUI thread.
class CurvePreviewWidget : public QWidget {
    Q_OBJECT

public:
    struct Curve {
        QString name;
        bool rightAxis = false;
    };
    using Source = std::function<QList<QVector<QPointF>>()>;

    // `title` heads the chart; the axis titles are short units. An empty right title leaves
    // out the right axis.
    CurvePreviewWidget(const QString& title, const QString& leftTitle, const QString& rightTitle,
                       const QList<Curve>& curves, QWidget* parent = nullptr);

    // What the curves are drawn from: one point list per curve, in the constructor's order.
    void setSource(Source source) { source_ = std::move(source); }

    // Previews added below a panel's form, reading the settings the panel is bound to (none
    // drawn while it is bound to nothing).
    static CurvePreviewWidget* addToPanel(QWidget* panel, AirflowSpringSettings* const* settings);
    static CurvePreviewWidget* addToPanel(QWidget* panel,
                                          GenericSpeedDependantShakerSettings* const* settings);
    static CurvePreviewWidget* addToPanel(QWidget* panel, AoAShakerSettings* const* settings);
    static CurvePreviewWidget* addToPanel(QWidget* panel, JoltSettings* const* settings);

    // The points on show, per curve; for tests and the accessible description.
    QList<QVector<QPointF>> shownCurves() const { return shown_; }

public slots:
    void redraw();

private:
    static void placeBelow(QWidget* panel, CurvePreviewWidget* preview);

    Source source_;
    QChart* chart_;
    QValueAxis* x_;
    QValueAxis* left_;
    QValueAxis* right_ = nullptr;
    QList<QLineSeries*> series_;
    QList<bool> onRight_;
    QList<QVector<QPointF>> shown_;
};
