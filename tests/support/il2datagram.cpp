#include "il2datagram.h"

#include <cstdint>
#include <cstring>

namespace {
void appendFloat(QByteArray& out, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 4; ++i) {
        out.append(static_cast<char>((bits >> (8 * i)) & 0xff));
    }
}
} // namespace

Il2Datagram& Il2Datagram::indicator(quint16 id, std::initializer_list<float> values) {
    return indicatorAnnouncing(id, static_cast<qint8>(values.size()), values);
}

Il2Datagram& Il2Datagram::indicatorAnnouncing(quint16 id, qint8 announced,
                                              std::initializer_list<float> values) {
    records_.append(static_cast<char>(id & 0xff));
    records_.append(static_cast<char>(id >> 8));
    records_.append(static_cast<char>(announced));
    for (float v : values) {
        appendFloat(records_, v);
    }
    ++appended_;
    return *this;
}

Il2Datagram& Il2Datagram::raw(const QByteArray& bytes) {
    records_.append(bytes);
    return *this;
}

Il2Datagram& Il2Datagram::announceCount(qint8 count) {
    countOverridden_ = true;
    count_ = count;
    return *this;
}

Il2Datagram& Il2Datagram::packetId(quint32 id) {
    packetId_ = id;
    return *this;
}

Il2Datagram& Il2Datagram::tick(quint32 tick) {
    tick_ = tick;
    return *this;
}

Il2Datagram& Il2Datagram::event(quint16 type, const QByteArray& payload, int announced) {
    events_.append(static_cast<char>(type & 0xff));
    events_.append(static_cast<char>(type >> 8));
    events_.append(static_cast<char>(announced < 0 ? payload.size() : announced));
    events_.append(payload);
    ++eventCount_;
    return *this;
}

Il2Datagram& Il2Datagram::vehicleName(const QByteArray& name, int padded) {
    QByteArray payload(1, static_cast<char>(padded));
    payload.append(name.left(padded));
    payload.append(QByteArray(padded - qMin<int>(padded, name.size()), '\0'));
    return event(0, payload);
}

QByteArray Il2Datagram::bytes() const {
    // The packet id, a size of 0 (the game's is not read) and the tick.
    QByteArray out;
    for (quint32 v : {packetId_, quint32(0), tick_}) {
        for (int i = 0; i < 4; ++i) {
            out.append(static_cast<char>((v >> (8 * i)) & 0xff));
        }
    }
    out.remove(4, 2); // the size field is two bytes
    out.append(static_cast<char>(countOverridden_ ? count_ : static_cast<qint8>(appended_)));
    out.append(records_);
    if (eventCount_ > 0) {
        out.append(static_cast<char>(eventCount_));
        out.append(events_);
    }
    return out;
}
