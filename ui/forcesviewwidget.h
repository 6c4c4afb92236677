#pragma once

#include "records/forcessample.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QVector>
#include <QWidget>

#include <deque>
#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;
class QSlider;
class StripChart;
class QTabWidget;
class QTimer;
class QVBoxLayout;

// The "Forces" tab: a rolling plot of the last ten seconds of what the control loop sent
// (per axis force, vibration and spring magnitude) and of the airspeed, AoA and G behind it,
// with the recorder's and the replay's controls above it. It listens to the loop only while
// it is on screen and its window in front, so a hidden tab, a minimized window or one behind the
// simulator costs nothing; Pause freezes the plot.
//
// Threading: GUI thread; samples arrive from the control thread by a queued connection.
class ForcesViewWidget : public QWidget {
    Q_OBJECT

public:
    static constexpr qint64 WindowMs = 10000;
    // The shortest time between two frames of the plot. Samples come 50 ms apart, each drawing
    // its frame at once; the margin keeps a sample that arrives a little early from waiting
    // for a timer of its own.
    static constexpr int FrameMs = 40;

    explicit ForcesViewWidget(QWidget* parent = nullptr);

    // The loop whose forcesSent(ForcesSample) is plotted while the tab is visible. A template so
    // that the editor's widgets need not know the control object.
    template <class Loop> void setLoop(Loop* loop) {
        setSampleSource(loop, [this, loop] {
            return connect(loop, &Loop::forcesSent, this, &ForcesViewWidget::addSample);
        });
    }
    // The object that sends the samples, and how to connect to it; listening connects, hiding
    // disconnects.
    void setSampleSource(QObject* source, std::function<QMetaObject::Connection()> connectSamples);
    // The tab widget the view sits in; "Own window" takes it out into a window of its own (still
    // owned by the main window) so the editor and the plot can be seen together, and closing
    // that window puts it back.
    void setHome(QTabWidget* tabs);
    bool isDetached() const { return detached_; }

    // Whether the program is in front (its window or one of its dialogs has the focus). Behind,
    // the plot stops listening and drawing; back in front it shows the latest at once.
    void setProgramInFront(bool inFront);
    bool isListening() const { return listening_; }
    // Redraws that found new samples to draw; a plot nobody sees does none.
    int drawCount() const { return drawCount_; }
    bool isPlotPaused() const { return paused_; }
    // Samples kept for the plot, oldest first; never more than ten seconds' worth.
    const std::deque<ForcesSample>& samples() const { return samples_; }
    // The y range the force plot shows.
    QPair<double, double> forceRange() const;

public slots:
    void addSample(ForcesSample sample);
    void setPlotPaused(bool paused);
    // Has the plots draw the kept samples if they changed; run by a timer while listening.
    void redraw();

    void showRecording(bool recording, const QString& text);
    void showReplayStarted(const QString& name, qint64 length);
    void showReplayPosition(qint64 position, qint64 length);
    void showReplayPaused(bool paused);
    void showReplayStopped();
    void setDetached(bool detached);

signals:
    void recordToggled(bool on);
    void replayOpenRequested();
    void replayPauseToggled(bool paused);
    void replayStopRequested();
    void replayLoopToggled(bool looping);
    void replaySeekRequested(qint64 position);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void listen(bool on);
    // Visible, its window not minimized and the program in front.
    bool onScreen() const;
    void buildCharts();
    // The same values on every line (the time and the centres are not drawn).
    static bool sameValues(const ForcesSample& a, const ForcesSample& b);

    QPointer<QObject> loop_;
    std::function<QMetaObject::Connection()> connectSamples_;
    QMetaObject::Connection samplesConnection_;
    bool listening_ = false;
    bool paused_ = false;
    bool detached_ = false;
    bool programInFront_ = true;
    // Samples came or went since the last redraw.
    bool changed_ = true;
    // Since when every sample has had the values of the newest; and the values of the last
    // redraw if it drew nothing but these flat lines across the whole window.
    qint64 flatSince_ = 0;
    bool drawnFlat_ = false;
    ForcesSample drawnFlatSample_;
    int drawCount_ = 0;
    QPointer<QTabWidget> home_;
    int homeIndex_ = 0;
    QString homeTitle_;
    std::deque<ForcesSample> samples_;
    QTimer* redrawTimer_;
    // When the last frame was drawn; a sample that finds the next one due draws it.
    QElapsedTimer lastFrame_;

    QPushButton* pauseButton_;
    QPushButton* detachButton_;
    QPushButton* recordButton_;
    QLabel* recordLabel_;
    QPushButton* replayPauseButton_;
    QPushButton* replayStopButton_;
    QCheckBox* replayLoopBox_;
    QSlider* replaySlider_;
    QLabel* replayLabel_;

    QVBoxLayout* layout_;
    // Null until the plots are first shown or redrawn.
    StripChart* forceChart_ = nullptr;
    StripChart* flightChart_ = nullptr;
};
