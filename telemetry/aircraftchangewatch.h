#pragma once

#include <QString>

// Notices a change of aircraft inside a running stream: a name that differs from the stream's
// counts once it has come in kConfirmations readings in a row, so one garbled name changes
// nothing. The sources then announce the stream again under the new name, and the profile is
// chosen as for a new stream.
//
// Threading: a plain value owned by one source on the telemetry thread.
class AircraftChangeWatch {
public:
    static constexpr int kConfirmations = 3;

    // A stream begins under this name.
    void start(const QString& name);
    // One reading of the aircraft's name; true when it makes the change sure, after which
    // name() is the new one.
    bool observe(const QString& name);
    QString name() const { return name_; }

private:
    QString name_;
    QString candidate_;
    int seen_ = 0;
};
