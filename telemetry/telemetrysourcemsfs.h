#pragma once

#include "records/msfstelemetry.h"
#include "records/positioninput.h"
#include "telemetry/aircraftchangewatch.h"
#include "telemetry/simconnect/simconnect.h"
#include "telemetry/telemetrysource.h"

// Microsoft Flight Simulator input through the SimConnect client library. Opens a connection
// when the simulator is there, asks for the user aircraft's data one answer at a time, and
// handles at most one SimConnect message per poll: the first answer starts a stream named after
// the aircraft title, each later one is published, and "SimStop" or the simulator quitting end
// it, as does a second without a data answer (the next answer starts a new stream for the same
// aircraft). After a quit the dead connection is closed so that a restarted simulator is found
// again.
// Polled every 20 ms while a connection is open or being made (SimConnect_Open answering
// E_PENDING); while the simulator is not there, opening is tried about once a second.
//
// While the pilot lets it, the program also flies the aircraft's three axes: sendAxes() hands the
// stick's position (minus the trim the stick's centre already shows) to the simulator as its
// aileron, elevator and rudder axis events, while a stream is live and only then.
//
// Threading: lives on the telemetry thread as a child of TelemetryThread; every SimConnect call
// is made there, from poll() or the destructor. Never blocks.
class TelemetrySourceMSFS : public TelemetrySource {
    Q_OBJECT

public:
    explicit TelemetrySourceMSFS(QObject* parent = nullptr);
    ~TelemetrySourceMSFS() override;

    void poll() override;
    qint64 pollDelay() const override;
    void forgetStream() override { active_ = false; }

    // Sends the axes of the devices that are present as AXIS_AILERONS_SET, AXIS_ELEVATOR_SET and
    // AXIS_RUDDER_SET: -1..1 full deflection (positive right, pulled back, right pedal) becomes
    // -16383..16383 with the sign MSFS expects, which is the opposite. Nothing is sent without a
    // live stream; values out of range or not finite are held to the range or read as 0.
    void sendAxes(const PositionInput& axes, bool joystick, bool rudder);
    // The value of an axis event for a position: -round(16383 × position), held to -16383..16383.
    static int32_t axisEventValue(float position);

signals:
    void telemetryChanged(MSFSTelemetry telemetry);

private:
    void open(qint64 at);
    void requestData();
    void endStream();

    HANDLE connection_ = nullptr;
    bool active_ = false;
    AircraftChangeWatch aircraft_;
    qint64 lastDataAt_ = 0;
    qint64 nextOpenAt_ = 0;
    qint64 nextPollAt_ = 0;
    const MSFSTelemetry default_{};
};
