#include "ui/forcesviewwidget.h"

#include "ui/axisticks.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace {

const QColor kAxisColours[3] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28), QColor(0x2c, 0xa0, 0x2c)};

QString clockText(qint64 ms) {
    const qint64 s = std::max<qint64>(ms, 0) / 1000;
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

QValueAxis* timeAxis(QObject* parent) {
    auto* axis = new QValueAxis(parent);
    axis->setRange(-ForcesViewWidget::WindowMs / 1000.0, 0.0);
    axis->setTitleText(ForcesViewWidget::tr("Seconds"));
    axis->setLabelFormat(QStringLiteral("%.0f"));
    // A tick every two seconds: each falls on the whole second its label prints.
    axis->setTickCount(ForcesViewWidget::WindowMs / 2000 + 1);
    return axis;
}

QLineSeries* addSeries(QChart* chart, QValueAxis* x, QValueAxis* y, const QString& name, const QPen& pen) {
    auto* series = new QLineSeries(chart);
    series->setName(name);
    series->setPen(pen);
    chart->addSeries(series);
    series->attachAxis(x);
    series->attachAxis(y);
    return series;
}

// A range holding every value, with a tenth of its span to spare on each side and ticks at
// round values; at least `minimumSpan` wide so a flat line sits in the middle. Values that
// never go below zero keep zero as the bottom. Ticks are at least `minimumStep` apart; a
// step of a whole number or a half adds up without rounding errors from tick to tick.
void fit(QValueAxis* axis, double lo, double hi, double minimumSpan, double minimumStep) {
    const bool positive = lo >= 0.0;
    if (!(lo <= hi)) {
        lo = 0.0;
        hi = 0.0;
    }
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
    axis->setRange(bottom, top);
    AxisTicks::setStep(axis, std::max(AxisTicks::roundStep(top - bottom), minimumStep));
}

QChartView* chartView(QChart* chart, QWidget* parent) {
    chart->legend()->setAlignment(Qt::AlignRight);
    // Each entry drawn as its line, so dotted vibration and dashed spring read apart.
    chart->legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);
    chart->setMargins(QMargins(2, 2, 2, 2));
    auto* view = new QChartView(chart, parent);
    // Lines drawn without antialiasing: with it each redraw cost the window a third more.
    view->setRenderHint(QPainter::Antialiasing, false);
    view->setMinimumHeight(180);
    // A picture to look at: Tab goes from the buttons to the next control, not into the plot.
    view->setFocusPolicy(Qt::NoFocus);
    view->setAccessibleName(chart->title());
    return view;
}

} // namespace

ForcesViewWidget::ForcesViewWidget(QWidget* parent) : QWidget(parent), redrawTimer_(new QTimer(this)) {
    setObjectName(QStringLiteral("forces_view"));

    pauseButton_ = new QPushButton(tr("Pause plot"), this);
    pauseButton_->setObjectName(QStringLiteral("pause_plot_button"));
    pauseButton_->setCheckable(true);
    pauseButton_->setToolTip(tr("Holds the plot still; the loop keeps sending forces"));
    detachButton_ = new QPushButton(tr("Own window"), this);
    detachButton_->setObjectName(QStringLiteral("detach_button"));
    detachButton_->setCheckable(true);
    detachButton_->setToolTip(tr("Shows the plot in a window of its own, beside the editor"));
    recordButton_ = new QPushButton(tr("Record"), this);
    recordButton_->setObjectName(QStringLiteral("record_button"));
    recordButton_->setCheckable(true);
    recordButton_->setToolTip(tr("Writes every telemetry record and the forces sent to a CSV file"));
    recordLabel_ = new QLabel(this);
    recordLabel_->setObjectName(QStringLiteral("record_label"));
    auto* openButton = new QPushButton(tr("Replay recording…"), this);
    openButton->setObjectName(QStringLiteral("replay_open_button"));
    openButton->setToolTip(tr("Plays a recorded flight into the loop as if its game were running"));
    replayPauseButton_ = new QPushButton(tr("Pause replay"), this);
    replayPauseButton_->setObjectName(QStringLiteral("replay_pause_button"));
    replayPauseButton_->setCheckable(true);
    replayPauseButton_->setToolTip(tr("Holds the replay at its position"));
    replayStopButton_ = new QPushButton(tr("Stop replay"), this);
    replayStopButton_->setObjectName(QStringLiteral("replay_stop_button"));
    replayStopButton_->setToolTip(tr("Ends the replay's stream as a game's ends"));
    replayLoopBox_ = new QCheckBox(tr("Loop"), this);
    replayLoopBox_->setObjectName(QStringLiteral("replay_loop_box"));
    replayLoopBox_->setToolTip(tr("Starts the recording again from its beginning when it ends"));
    replaySlider_ = new QSlider(Qt::Horizontal, this);
    replaySlider_->setObjectName(QStringLiteral("replay_slider"));
    replaySlider_->setAccessibleName(tr("Replay position"));
    replaySlider_->setToolTip(tr("Moves the replay to another moment of the recording"));
    replayLabel_ = new QLabel(this);
    replayLabel_->setObjectName(QStringLiteral("replay_label"));
    replayLabel_->setMinimumWidth(90);
    showReplayStopped();

    auto* recordRow = new QHBoxLayout();
    recordRow->addWidget(pauseButton_);
    recordRow->addWidget(detachButton_);
    recordRow->addWidget(recordButton_);
    recordRow->addWidget(recordLabel_, 1);
    auto* replayRow = new QHBoxLayout();
    replayRow->addWidget(openButton);
    replayRow->addWidget(replayPauseButton_);
    replayRow->addWidget(replayStopButton_);
    replayRow->addWidget(replayLoopBox_);
    replayRow->addWidget(replaySlider_, 1);
    replayRow->addWidget(replayLabel_);

    layout_ = new QVBoxLayout(this);
    layout_->addLayout(recordRow);
    layout_->addLayout(replayRow);

    // 20 redraws a second: smooth to the eye, and each costs the GUI thread a whole repaint.
    redrawTimer_->setInterval(50);
    connect(redrawTimer_, &QTimer::timeout, this, &ForcesViewWidget::redraw);
    connect(pauseButton_, &QPushButton::toggled, this, &ForcesViewWidget::setPlotPaused);
    connect(detachButton_, &QPushButton::toggled, this, &ForcesViewWidget::setDetached);
    connect(recordButton_, &QPushButton::clicked, this, &ForcesViewWidget::recordToggled);
    connect(openButton, &QPushButton::clicked, this, &ForcesViewWidget::replayOpenRequested);
    connect(replayPauseButton_, &QPushButton::clicked, this, &ForcesViewWidget::replayPauseToggled);
    connect(replayStopButton_, &QPushButton::clicked, this, &ForcesViewWidget::replayStopRequested);
    connect(replayLoopBox_, &QCheckBox::toggled, this, &ForcesViewWidget::replayLoopToggled);
    connect(replaySlider_, &QSlider::sliderReleased, this,
            [this]() { emit replaySeekRequested(replaySlider_->value()); });
    connect(replaySlider_, &QSlider::valueChanged, this, [this](int value) {
        // Keys and clicks move at once; a drag moves when released.
        if (!replaySlider_->isSliderDown()) {
            emit replaySeekRequested(value);
        }
    });
}

// The plots are made when first needed: most runs never open the tab, and the charts hold
// more than a megabyte.
void ForcesViewWidget::buildCharts() {
    if (forceAxis_) {
        return;
    }
    // What was sent: colour tells the axis, the line tells force, vibration or spring.
    auto* forceChart = new QChart();
    forceChart->setTitle(tr("Sent to the devices"));
    forceTime_ = timeAxis(this);
    forceAxis_ = new QValueAxis(this);
    forceAxis_->setTitleText(tr("% of full force"));
    forceChart->addAxis(forceTime_, Qt::AlignBottom);
    forceChart->addAxis(forceAxis_, Qt::AlignLeft);
    const QString axisNames[3] = {tr("Ailerons"), tr("Elevator"), tr("Rudder")};
    const QString quantities[3] = {tr("force"), tr("vibration"), tr("spring")};
    const Qt::PenStyle styles[3] = {Qt::SolidLine, Qt::DotLine, Qt::DashLine};
    for (int q = 0; q < 3; ++q) {
        for (int a = 0; a < 3; ++a) {
            QPen pen(kAxisColours[a], q == 0 ? 2.0 : 1.5, styles[q]);
            forceSeries_[q][a] = addSeries(forceChart, forceTime_, forceAxis_,
                                           axisNames[a] + QLatin1Char(' ') + quantities[q], pen);
        }
    }

    auto* flightChart = new QChart();
    flightChart->setTitle(tr("Flight state"));
    flightTime_ = timeAxis(this);
    // Each quantity on a scale of its own in its own unit, drawn in its line's colour: an AoA of
    // 5 degrees must not read off a scale stretched to 400 km/h or to 6 G.
    const QColor speedColour(Qt::black);
    const QColor aoaColour(0x94, 0x67, 0xbd);
    const QColor gColour(0xff, 0x7f, 0x0e);
    const auto valueAxis = [this](const QString& title, const QColor& colour) {
        auto* axis = new QValueAxis(this);
        axis->setTitleText(title);
        axis->setTitleBrush(colour);
        axis->setLabelsColor(colour);
        return axis;
    };
    airspeedAxis_ = valueAxis(tr("Airspeed (km/h)"), speedColour);
    angleAxis_ = valueAxis(tr("AoA (degrees)"), aoaColour);
    gAxis_ = valueAxis(tr("G"), gColour);
    flightChart->addAxis(flightTime_, Qt::AlignBottom);
    flightChart->addAxis(airspeedAxis_, Qt::AlignLeft);
    flightChart->addAxis(angleAxis_, Qt::AlignRight);
    flightChart->addAxis(gAxis_, Qt::AlignRight);
    airspeedSeries_ =
        addSeries(flightChart, flightTime_, airspeedAxis_, tr("Airspeed (km/h)"), QPen(speedColour, 2.0));
    aoaSeries_ = addSeries(flightChart, flightTime_, angleAxis_, tr("AoA (degrees)"), QPen(aoaColour, 1.5));
    gSeries_ = addSeries(flightChart, flightTime_, gAxis_, tr("G"), QPen(gColour, 1.5));

    layout_->addWidget(chartView(forceChart, this), 3);
    layout_->addWidget(chartView(flightChart, this), 2);
}

void ForcesViewWidget::setSampleSource(QObject* source,
                                       std::function<QMetaObject::Connection()> connectSamples) {
    listen(false);
    loop_ = source;
    connectSamples_ = std::move(connectSamples);
    listen(onScreen());
}

void ForcesViewWidget::setHome(QTabWidget* tabs) {
    home_ = tabs;
}

void ForcesViewWidget::setDetached(bool detached) {
    if (detached == detached_ || !home_) {
        const QSignalBlocker block(detachButton_);
        detachButton_->setChecked(detached_);
        return;
    }
    detached_ = detached;
    if (detached) {
        homeIndex_ = home_->indexOf(this);
        homeTitle_ = home_->tabText(homeIndex_);
        home_->removeTab(homeIndex_);
        QWidget* main = home_->window();
        setParent(main, Qt::Window);
        setWindowTitle(tr("Forces"));
        resize(900, 600);
        // Placed before it is shown, a little below and right of the main window, so that the
        // window manager puts its title bar on screen; room for a frame is left on every side.
        if (const QScreen* screen = main->screen()) {
            const QRect area = screen->availableGeometry().marginsRemoved(QMargins(8, 32, 8, 8));
            QPoint at = main->frameGeometry().topLeft() + QPoint(40, 40);
            at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - width())));
            at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() + 1 - height())));
            move(at);
        }
        show();
    } else {
        hide();
        setParent(nullptr);
        home_->insertTab(homeIndex_, this, homeTitle_);
        home_->setCurrentWidget(this);
    }
    const QSignalBlocker block(detachButton_);
    detachButton_->setChecked(detached);
}

void ForcesViewWidget::closeEvent(QCloseEvent* event) {
    if (detached_) {
        // Closing the own window puts the plot back in its tab.
        event->ignore();
        setDetached(false);
        return;
    }
    QWidget::closeEvent(event);
}

void ForcesViewWidget::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!forceAxis_) {
        redraw();
    }
    listen(onScreen());
}

void ForcesViewWidget::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // In its own window the plot is minimized apart from the main window.
    if (event->type() == QEvent::WindowStateChange) {
        listen(onScreen());
    }
}

void ForcesViewWidget::setProgramInFront(bool inFront) {
    programInFront_ = inFront;
    listen(onScreen());
}

bool ForcesViewWidget::onScreen() const {
    return isVisible() && programInFront_ && !window()->isMinimized();
}

void ForcesViewWidget::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    listen(false);
}

void ForcesViewWidget::listen(bool on) {
    if (on == listening_) {
        return;
    }
    if (!on) {
        listening_ = false;
        redrawTimer_->stop();
        disconnect(samplesConnection_);
        return;
    }
    if (!loop_ || !connectSamples_) {
        return;
    }
    listening_ = true;
    samplesConnection_ = connectSamples_();
    if (!paused_) {
        redrawTimer_->start();
        // What changed while nobody looked is drawn now, not a timer period later.
        redraw();
    }
}

void ForcesViewWidget::addSample(ForcesSample sample) {
    if (paused_) {
        return;
    }
    if (samples_.empty() || !sameValues(samples_.back(), sample)) {
        flatSince_ = sample.time;
    }
    samples_.push_back(sample);
    changed_ = true;
    while (!samples_.empty() && samples_.front().time < sample.time - WindowMs) {
        samples_.pop_front();
    }
    // A clock that went back (a new loop) starts the window afresh.
    while (samples_.size() > 1 && samples_.front().time > sample.time) {
        samples_.pop_front();
    }
}

void ForcesViewWidget::setPlotPaused(bool paused) {
    paused_ = paused;
    {
        const QSignalBlocker block(pauseButton_);
        pauseButton_->setChecked(paused);
    }
    pauseButton_->setText(paused ? tr("Resume plot") : tr("Pause plot"));
    if (paused) {
        redrawTimer_->stop();
    } else if (listening_) {
        redrawTimer_->start();
    }
}

QPair<double, double> ForcesViewWidget::forceRange() const {
    if (!forceAxis_) {
        return {0.0, 0.0};
    }
    return {forceAxis_->min(), forceAxis_->max()};
}

void ForcesViewWidget::redraw() {
    buildCharts();
    // A paused game or a stopped loop sends nothing new: the plot stays as drawn.
    if (!changed_) {
        return;
    }
    changed_ = false;
    // Flat lines across the whole window look the same however far they scrolled: a loop at
    // rest with no game is not drawn again and again.
    const bool flat = !samples_.empty() && flatSince_ <= samples_.front().time &&
                      samples_.back().time - samples_.front().time >= WindowMs - 100;
    if (flat && drawnFlat_ && sameValues(samples_.back(), drawnFlatSample_)) {
        return;
    }
    drawnFlat_ = flat;
    if (flat) {
        drawnFlatSample_ = samples_.back();
    }
    ++drawCount_;
    QList<QPointF> force[3][3];
    QList<QPointF> airspeed;
    QList<QPointF> aoa;
    QList<QPointF> g;
    double lo = 0.0;
    double hi = 0.0;
    double speedHi = 0.0;
    double angleLo = 0.0;
    double angleHi = 0.0;
    double gLo = 0.0;
    double gHi = 1.0;
    const qint64 newest = samples_.empty() ? 0 : samples_.back().time;
    for (const ForcesSample& s : samples_) {
        const double x = static_cast<double>(s.time - newest) / 1000.0;
        for (int a = 0; a < 3; ++a) {
            const double values[3] = {s.force[a], s.vibration[a], s.springMagnitude[a]};
            for (int q = 0; q < 3; ++q) {
                force[q][a].append(QPointF(x, values[q]));
                lo = std::min(lo, values[q]);
                hi = std::max(hi, values[q]);
            }
        }
        airspeed.append(QPointF(x, s.airspeed));
        aoa.append(QPointF(x, s.aoa));
        g.append(QPointF(x, s.gForce));
        speedHi = std::max(speedHi, static_cast<double>(s.airspeed));
        angleLo = std::min(angleLo, static_cast<double>(s.aoa));
        angleHi = std::max(angleHi, static_cast<double>(s.aoa));
        gLo = std::min(gLo, static_cast<double>(s.gForce));
        gHi = std::max(gHi, static_cast<double>(s.gForce));
    }
    for (int q = 0; q < 3; ++q) {
        for (int a = 0; a < 3; ++a) {
            forceSeries_[q][a]->replace(force[q][a]);
        }
    }
    airspeedSeries_->replace(airspeed);
    aoaSeries_->replace(aoa);
    gSeries_->replace(g);
    // Forces in whole percent, airspeeds in whole km/h, angles and G in halves; level flight's
    // 1 G stays on the G scale.
    fit(forceAxis_, lo, hi, 1.0, 1.0);
    fit(airspeedAxis_, 0.0, speedHi, 10.0, 1.0);
    fit(angleAxis_, angleLo, angleHi, 2.0, 0.5);
    fit(gAxis_, gLo, gHi, 2.0, 0.5);
}

bool ForcesViewWidget::sameValues(const ForcesSample& a, const ForcesSample& b) {
    for (int axis = 0; axis < 3; ++axis) {
        if (a.force[axis] != b.force[axis] || a.vibration[axis] != b.vibration[axis] ||
            a.springMagnitude[axis] != b.springMagnitude[axis]) {
            return false;
        }
    }
    return a.airspeed == b.airspeed && a.aoa == b.aoa && a.gForce == b.gForce;
}

void ForcesViewWidget::showRecording(bool recording, const QString& text) {
    const QSignalBlocker block(recordButton_);
    recordButton_->setChecked(recording);
    recordButton_->setText(recording ? tr("Stop recording") : tr("Record"));
    recordLabel_->setText(text);
}

void ForcesViewWidget::showReplayStarted(const QString& name, qint64 length) {
    replayPauseButton_->setEnabled(true);
    replayStopButton_->setEnabled(true);
    replaySlider_->setEnabled(true);
    {
        const QSignalBlocker block(replaySlider_);
        replaySlider_->setRange(0, static_cast<int>(std::min<qint64>(length, INT_MAX)));
        replaySlider_->setPageStep(10000);
        replaySlider_->setSingleStep(1000);
        replaySlider_->setValue(0);
    }
    showReplayPaused(false);
    replayLabel_->setText(clockText(0) + QStringLiteral(" / ") + clockText(length));
    replayLabel_->setToolTip(name);
}

void ForcesViewWidget::showReplayPosition(qint64 position, qint64 length) {
    if (!replaySlider_->isSliderDown()) {
        const QSignalBlocker block(replaySlider_);
        replaySlider_->setValue(static_cast<int>(std::min<qint64>(position, INT_MAX)));
    }
    replayLabel_->setText(clockText(position) + QStringLiteral(" / ") + clockText(length));
}

void ForcesViewWidget::showReplayPaused(bool paused) {
    const QSignalBlocker block(replayPauseButton_);
    replayPauseButton_->setChecked(paused);
    replayPauseButton_->setText(paused ? tr("Resume replay") : tr("Pause replay"));
}

void ForcesViewWidget::showReplayStopped() {
    showReplayPaused(false);
    replayPauseButton_->setEnabled(false);
    replayStopButton_->setEnabled(false);
    replaySlider_->setEnabled(false);
    replayLabel_->setText(tr("No replay"));
}
