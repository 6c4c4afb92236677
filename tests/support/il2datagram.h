#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <initializer_list>

// Builds IL-2 Sturmovik telemetry datagrams for tests: a 10-byte header, the record count,
// then indicator records. The count and each record's value count can be announced falsely
// to make hostile datagrams.
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

    QByteArray bytes() const;

private:
    QByteArray records_;
    int appended_ = 0;
    bool countOverridden_ = false;
    qint8 count_ = 0;
};
