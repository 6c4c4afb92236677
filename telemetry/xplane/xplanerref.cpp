#include "telemetry/xplane/xplanerref.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

void putInt32(char* out, qint32 v) {
    const quint32 u = static_cast<quint32>(v);
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<char>((u >> (8 * i)) & 0xFF);
    }
}

quint32 getUInt32(const char* in) {
    quint32 u = 0;
    for (int i = 0; i < 4; ++i) {
        u |= static_cast<quint32>(static_cast<unsigned char>(in[i])) << (8 * i);
    }
    return u;
}

} // namespace

namespace XPlaneRref {

QByteArray request(qint32 rate, qint32 index, const QByteArray& path) {
    QByteArray out(RequestSize, '\0');
    std::memcpy(out.data(), "RREF", 4);
    putInt32(out.data() + HeaderSize, rate);
    putInt32(out.data() + HeaderSize + 4, index);
    const qsizetype n = std::min<qsizetype>(path.size(), PathSize - 1);
    std::memcpy(out.data() + HeaderSize + 8, path.constData(), static_cast<size_t>(n));
    return out;
}

int parseAnswer(const QByteArray& datagram, float* value, bool* seen, int count) {
    if (datagram.size() < HeaderSize || std::memcmp(datagram.constData(), "RREF", 4) != 0) {
        return -1;
    }
    int taken = 0;
    const char* p = datagram.constData() + HeaderSize;
    const qsizetype pairs = (datagram.size() - HeaderSize) / PairSize;
    for (qsizetype i = 0; i < pairs; ++i, p += PairSize) {
        const qint32 index = static_cast<qint32>(getUInt32(p));
        const quint32 bits = getUInt32(p + 4);
        float v;
        std::memcpy(&v, &bits, sizeof v);
        if (index < 0 || index >= count || !std::isfinite(v)) {
            continue;
        }
        value[index] = v;
        seen[index] = true;
        ++taken;
    }
    return taken;
}

} // namespace XPlaneRref
