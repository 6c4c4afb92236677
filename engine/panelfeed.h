#pragma once

#include "records/forces.h"
#include "records/forcessample.h"
#include "records/positioninput.h"
#include "records/recordingrow.h"
#include "records/telemetry.h"

#include <QObject>

#include <functional>

// What the window and the recorder hear of the control loop: positions and the latest record
// at the panels' rate (a view that sees less hears less), what the devices were sent at most
// 20 times a second while someone listens (the plot on screen), where the axes' centres are
// when they moved (at most 10 times a second), and every accepted record with the forces being
// sent when it arrived. Nothing is sent twice: a stick at rest, centres that stay and a game
// that repeats itself wake nobody.
//
// Threading: lives on the control thread and is called there by the tick and the loop's slots;
// its signals reach the other threads queued.
class PanelFeed : public QObject {
    Q_OBJECT

public:
    // Ticks between panel updates while the window is in front (5 a second: numbers a pilot
    // can still read as they change, each update a repaint of the status panel's changed
    // fields), and while it is behind.
    static constexpr int InFrontTicks = 40;
    static constexpr int BehindTicks = 100;
    // The shortest time between two samples of what was sent: 20 a second, each a frame of
    // the plot, whose lines then move smoothly enough to follow and cost a third less to draw
    // than at 30.
    static constexpr qint64 SampleMs = 50;

    explicit PanelFeed(QObject* parent = nullptr);

    // Ticks between updates; 0 while the window is hidden. A view that shows more than before
    // hears of the latest at the next tick.
    void setInterval(int ticks);
    // A record accepted from `source` at `now`: shown at the next panel tick, recorded now.
    void offerRecord(qint64 now, Telemetry::Source source, const Telemetry& record);
    // The stream ended: a record still waiting is stale, and the next one is shown whatever it is.
    void forgetRecord();
    // The panel shows something else (the hand-set record): the next game record is shown.
    void forgetShown() { telemetryShown_ = false; }
    // Once per tick with the corrected positions.
    void tick(const PositionInput& position);
    // Where the centres of the axes are now; the next sample carries them.
    void setCentres(const float centre[3]) {
        for (int axis = 0; axis < 3; ++axis) {
            centre_[axis] = centre[axis];
        }
    }
    // Whether anyone hears forcesSent (asked on this thread about 20 times a second); without
    // an answer every sample is made.
    void setSamplesWanted(std::function<bool()> wanted) { samplesWanted_ = std::move(wanted); }
    // Whether anyone records: each record is made into a row only then.
    void setRowsWanted(std::function<bool()> wanted) { rowsWanted_ = std::move(wanted); }
    // What this tick sent, with the record that drove it.
    void sent(qint64 now, const Forces& forces, const Telemetry& driving);

signals:
    void positionChanged(PositionInput position);
    void telemetryChanged(Telemetry telemetry);
    void forcesSent(ForcesSample sample);
    // The centres moved by a thousandth of full deflection or more (the editor shows tenths of
    // a percent); the sample carries them and what was sent.
    void centresChanged(ForcesSample sample);
    void recordReceived(RecordingRow row);

private:
    static bool sameRecord(const Telemetry& a, const Telemetry& b);
    ForcesSample makeSample(qint64 now, const Forces& forces, const Telemetry& driving) const;
    void announceCentres(qint64 now, const Forces& forces, const Telemetry& driving);

    int ticks_ = 0;
    int interval_ = InFrontTicks;
    bool positionShown_ = false;
    PositionInput shownPosition_;
    bool telemetryPending_ = false;
    Telemetry pendingTelemetry_;
    // What the panel was last sent; cleared when it shows something else (override, stream end).
    bool telemetryShown_ = false;
    Telemetry shownTelemetry_;
    Forces sent_;
    float centre_[3] = {0.0f, 0.0f, 0.0f};
    qint64 lastPublished_ = -1;
    std::function<bool()> samplesWanted_;
    std::function<bool()> rowsWanted_;
    // The centres last announced, in thousandths of full deflection; and when.
    int shownCentre_[3] = {0, 0, 0};
    bool centresShown_ = false;
    qint64 centresAnnounced_ = -1;
};
