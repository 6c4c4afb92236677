#include "telemetry/telemetrylog.h"

#include "records/gamename.h"
#include "records/logcategories.h"

#include <QElapsedTimer>

#include <mutex>

namespace {

struct Stream {
    QString aircraft;
    QElapsedTimer running;
};

struct Streams {
    std::mutex mutex;
    Stream games[6];
};

Streams& streams() {
    static Streams s;
    return s;
}

int slot(Telemetry::Source source) {
    return source >= 0 && source < 6 ? source : 0;
}

QString duration(qint64 ms) {
    const qint64 seconds = ms / 1000;
    if (seconds < 60) {
        return QStringLiteral("%1 s").arg(seconds);
    }
    if (seconds < 3600) {
        return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
    }
    return QStringLiteral("%1 h %2 min").arg(seconds / 3600).arg(seconds / 60 % 60);
}

} // namespace

namespace TelemetryLog {

void streamStarted(Telemetry::Source source, const QString& aircraft) {
    {
        Streams& s = streams();
        std::lock_guard<std::mutex> lock(s.mutex);
        Stream& stream = s.games[slot(source)];
        stream.aircraft = aircraft;
        stream.running.start();
    }
    qCInfo(lcTelemetryOf(source)).noquote()
        << gameName(source) << "stream started: aircraft" << ('"' + aircraft + '"');
}

void streamEnded(Telemetry::Source source) {
    QString aircraft;
    qint64 ms = -1;
    {
        Streams& s = streams();
        std::lock_guard<std::mutex> lock(s.mutex);
        Stream& stream = s.games[slot(source)];
        aircraft = stream.aircraft;
        ms = stream.running.isValid() ? stream.running.elapsed() : -1;
        stream.running.invalidate();
    }
    qCInfo(lcTelemetryOf(source)).noquote()
        << gameName(source) << "stream ended: aircraft" << ('"' + aircraft + '"')
        << (ms >= 0 ? QStringLiteral("after ") + duration(ms) : QString());
}

} // namespace TelemetryLog
