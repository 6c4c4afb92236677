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

QByteArray Il2Datagram::bytes() const {
    // Packet id 0x54000101 and a zero size and tick, as the game's header starts.
    QByteArray out = QByteArray::fromHex("0101005400000000000000");
    out[10] = static_cast<char>(countOverridden_ ? count_ : static_cast<qint8>(appended_));
    out.append(records_);
    return out;
}
