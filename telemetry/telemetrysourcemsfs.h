#pragma once

#include "records/msfstelemetry.h"
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
