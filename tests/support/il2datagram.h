#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <initializer_list>

// Builds IL-2 Sturmovik telemetry datagrams for tests: a 10-byte header, the record count,
// indicator records, then (once an event is added) the event count and the events. The counts
// can be announced falsely to make hostile datagrams.
class Il2Datagram {
public:
    // Appends a record carrying the given values and announcing as many.
    Il2Datagram& indicator(quint16 id, std::initializer_list<float> values);
    // Appends a record announcing `announced` values but carrying the given ones.
    Il2Datagram& indicatorAnnouncing(quint16 id, qint8 announced, std::initializer_list<float> values);
    // Appends raw bytes after the records.
    Il2Datagram& raw(const QByteArray& bytes);
    // Announces this record count instead of the number of records appended.
    Il2Datagram& announceCount(qint8 count);
    // The header's packet id (the telemetry's by default) and game tick (0 by default).
    Il2Datagram& packetId(quint32 id);
    Il2Datagram& tick(quint32 tick);
    // Appends an event with this payload, announcing its length (or `announced`).
    Il2Datagram& event(quint16 type, const QByteArray& payload, int announced = -1);
    // A vehicle-name event: a length byte, then the name padded with NULs to `padded` bytes.
    Il2Datagram& vehicleName(const QByteArray& name, int padded = 32);

    QByteArray bytes() const;

private:
    QByteArray records_;
    int appended_ = 0;
    bool countOverridden_ = false;
    qint8 count_ = 0;
    quint32 packetId_ = 0x54000101;
    quint32 tick_ = 0;
    QByteArray events_;
    int eventCount_ = 0;
};
