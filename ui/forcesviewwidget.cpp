#include "ui/forcesviewwidget.h"

#include "ui/stripchart.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

const QColor kAxisColours[3] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28), QColor(0x2c, 0xa0, 0x2c)};

QString clockText(qint64 ms) {
    const qint64 s = std::max<qint64>(ms, 0) / 1000;
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
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

    // 20 frames a second, one a sample: smooth to the eye; each scrolls the lines and draws
    // only what is new.
    redrawTimer_->setInterval(FrameMs);
    // Started by a sample that needs drawing, so a plot at rest wakes nobody.
    redrawTimer_->setSingleShot(true);
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

// The plots are made when first needed: most runs never open the tab.
void ForcesViewWidget::buildCharts() {
    if (forceChart_) {
        return;
    }
    // What was sent: colour tells the axis, the line tells force, vibration or spring.
    forceChart_ = new StripChart(tr("Sent to the devices"), WindowMs, this);
    forceChart_->setObjectName(QStringLiteral("force_plot"));
    StripChart::Scale percent;
    percent.title = tr("% of full force");
    percent.colour = palette().color(QPalette::WindowText);
    // Forces in whole percent.
    const int forceScale = forceChart_->addScale(percent);
    const QString axisNames[3] = {tr("Ailerons"), tr("Elevator"), tr("Rudder")};
    const QString quantities[3] = {tr("force"), tr("vibration"), tr("spring")};
    const Qt::PenStyle styles[3] = {Qt::SolidLine, Qt::DotLine, Qt::DashLine};
    for (int q = 0; q < 3; ++q) {
        for (int a = 0; a < 3; ++a) {
            QPen pen(kAxisColours[a], q == 0 ? 2.0 : 1.5, styles[q]);
            forceChart_->addTrace(
                axisNames[a] + QLatin1Char(' ') + quantities[q], pen, forceScale,
                [q, a](const ForcesSample& s) {
                    return q == 0 ? s.force[a] : q == 1 ? s.vibration[a] : s.springMagnitude[a];
                });
        }
    }

    flightChart_ = new StripChart(tr("Flight state"), WindowMs, this);
    flightChart_->setObjectName(QStringLiteral("flight_plot"));
    // Each quantity on a scale of its own in its own unit, drawn in its line's colour: an AoA of
    // 5 degrees must not read off a scale stretched to 400 km/h or to 6 G. Airspeeds in whole
    // km/h, angles and G in halves; level flight's 1 G stays on the G scale.
    const QColor speedColour(Qt::black);
    const QColor aoaColour(0x94, 0x67, 0xbd);
    const QColor gColour(0xff, 0x7f, 0x0e);
    const auto scale = [](const QString& title, const QColor& colour, bool right, double span, double step,
                          double high) {
        StripChart::Scale s;
        s.title = title;
        s.colour = colour;
        s.right = right;
        s.minimumSpan = span;
        s.minimumStep = step;
        s.includeHigh = high;
        return s;
    };
    const int speed =
        flightChart_->addScale(scale(tr("Airspeed (km/h)"), speedColour, false, 10.0, 1.0, 0.0));
    const int angle = flightChart_->addScale(scale(tr("AoA (degrees)"), aoaColour, true, 2.0, 0.5, 0.0));
    const int g = flightChart_->addScale(scale(tr("G"), gColour, true, 2.0, 0.5, 1.0));
    flightChart_->addTrace(tr("Airspeed (km/h)"), QPen(speedColour, 2.0), speed,
                           [](const ForcesSample& s) { return s.airspeed; });
    flightChart_->addTrace(tr("AoA (degrees)"), QPen(aoaColour, 1.5), angle,
                           [](const ForcesSample& s) { return s.aoa; });
    flightChart_->addTrace(tr("G"), QPen(gColour, 1.5), g, [](const ForcesSample& s) { return s.gForce; });

    for (StripChart* chart : {forceChart_, flightChart_}) {
        chart->setSamples(&samples_);
        chart->samplesChanged();
    }
    layout_->addWidget(forceChart_, 3);
    layout_->addWidget(flightChart_, 2);
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
    if (!forceChart_) {
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
    const bool repeated = !samples_.empty() && sameValues(samples_.back(), sample);
    if (!repeated) {
        flatSince_ = sample.time;
    }
    samples_.push_back(sample);
    changed_ = true;
    // Flat lines already drawn across the whole window need no new frame for a repeat. A frame
    // that is due is drawn on this sample's wake-up, so that the thread does not wake again for
    // a timer; one that is not yet due waits for the rest of its FrameMs.
    bool frameDue = false;
    if (listening_ && !(repeated && drawnFlat_)) {
        const qint64 since = lastFrame_.isValid() ? lastFrame_.elapsed() : FrameMs;
        if (since >= FrameMs) {
            redrawTimer_->stop();
            frameDue = true;
        } else if (!redrawTimer_->isActive()) {
            redrawTimer_->start(static_cast<int>(FrameMs - since));
        }
    }
    while (!samples_.empty() && samples_.front().time < sample.time - WindowMs) {
        samples_.pop_front();
    }
    // A clock that went back (a new loop) starts the window afresh.
    while (samples_.size() > 1 && samples_.front().time > sample.time) {
        samples_.pop_front();
    }
    if (frameDue) {
        redraw();
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
    if (!forceChart_) {
        return {0.0, 0.0};
    }
    return {forceChart_->scale(0).min, forceChart_->scale(0).max};
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
    lastFrame_.start();
    // The charts fit their scales now and draw the new pieces of their lines when Qt paints
    // them, which it does only while they are on screen.
    forceChart_->samplesChanged();
    flightChart_->samplesChanged();
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
