#pragma once

#include "records/telemetry.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <functional>

// One game's telemetry input, run by TelemetryThread (or, for the UDP games, by UdpTelemetry at
// the tick). A source starts a stream when data first
// arrives (telemetrySourceChanged with the aircraft name), publishes records with its own
// telemetryChanged signal while the stream lasts, and ends it with an all-zero record followed
// by telemetryEnded. It does all of that inside poll(), which the worker calls when the source
// raises inputReady or when its pollDelay() falls due, and only while the source may run (no
// other source is current, or this one is).
//
// Threading: lives on the thread of the object that runs it, as its child; every method runs
// there and none blocks.
class TelemetrySource : public QObject {
    Q_OBJECT

public:
    // Milliseconds of a monotonic clock. The default counts from construction; tests replace it
    // to step time by hand.
    using Clock = std::function<qint64()>;

    explicit TelemetrySource(QObject* parent = nullptr);

    // Milliseconds from now until the source next has work for poll(): 0 for at once, negative
    // for none on a schedule (input that arrives is announced by inputReady instead).
    virtual qint64 pollDelay() const { return -1; }

    void setClock(Clock clock);

    // Drops a running stream without a word, so that the next input starts and announces a new
    // one. The worker calls it when a replay takes the stream over.
    virtual void forgetStream() {}

    // Whether a game on another computer counts; off by default. Sources that hear only this
    // computer ignore it.
    virtual void setAcceptRemote(bool /*accept*/) {}

    // Whether the input announced by inputReady and not yet handled is the game's telemetry:
    // a failed request or a refusal is not, and must not tell the pilot a game is sending.
    virtual bool inputIsTelemetry() const { return true; }

public slots:
    // One step of work: handle the input that arrived, advance the stream, send what is due.
    virtual void poll() = 0;

signals:
    void telemetrySourceChanged(Telemetry::Source source, QString name);
    void telemetryEnded();
    void landed(float initialMagnitude);
    // Input arrived that the next poll() handles; the worker polls at once if the source may run.
    void inputReady();
    // Another computer's game was refused; once per sender, named as the user reads it.
    void senderRefused(QString sender);

protected:
    qint64 now() const { return clock_(); }

private:
    QElapsedTimer monotonic_;
    Clock clock_;
};
