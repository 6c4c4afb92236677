#include "telemetry/shturmovikindicators.h"

#include "records/finite.h"
#include "telemetry/telemetryranges.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {
constexpr int kHeaderSize = 10;
constexpr int kRecordHeaderSize = 3;
constexpr int kEventHeaderSize = 3;
// The first four bytes of a telemetry datagram; the motion output begins otherwise.
constexpr uint32_t kTelemetryPacketId = 0x54000101;
constexpr int kTickOffset = 6;
// Event types: the aircraft's name when the pilot takes a seat, and what the aircraft shakes with.
constexpr unsigned kVehicleNameEvent = 0;
constexpr unsigned kHitEvent = 7;
constexpr unsigned kDamageEvent = 8;
constexpr unsigned kGunFiredEvent = 9;
constexpr int kMaxNameLength = 128;
// Metres per second squared in one G.
constexpr double kStandardGravity = 9.81;

// Little-endian IEEE-754 single at p; a non-finite value from the wire reads as 0.
float readFloat(const unsigned char* p) {
    const uint32_t bits =
        uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return finiteOrZero(value);
}

uint32_t readU32(const unsigned char* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

bool isTelemetryDatagram(const unsigned char* bytes, qsizetype size) {
    return size > kHeaderSize && readU32(bytes) == kTelemetryPacketId;
}

// The values one indicator record carries: n announced, all of them inside the datagram.
struct Values {
    const unsigned char* data;
    int count;
    float at(int i) const { return i < count ? readFloat(data + 4 * i) : 0.0f; }
};

void storeCounted(int& count, float* values, const Values& v) {
    count = std::min(v.count, ShturmovikIndicators::kMaxValues);
    for (int i = 0; i < count; ++i) {
        values[i] = v.at(i);
    }
}

// One height reading: the change since the previous one and the game ticks it took go into the
// ring. A tick that did not move on (or went back, a new mission) counts as one tick.
void storeHeight(ShturmovikIndicators& s, float height, uint32_t tick) {
    if (s.verticalSpeedRingIndex < 0 || s.verticalSpeedRingIndex >= ShturmovikIndicators::kRingSize) {
        s.verticalSpeedRingIndex = 0;
    }
    if (s.heightSeen) {
        const uint32_t elapsed = tick - s.heightTick;
        const bool plausible = elapsed > 0 && elapsed < 0x80000000u;
        s.verticalSpeedRing[s.verticalSpeedRingIndex] = finiteOrZero(height - s.indicator10Previous);
        s.verticalSpeedTicks[s.verticalSpeedRingIndex] = plausible ? static_cast<float>(elapsed) : 1.0f;
        s.verticalSpeedRingIndex = (s.verticalSpeedRingIndex + 1) % ShturmovikIndicators::kRingSize;
    }
    s.heightSeen = true;
    s.heightTick = tick;
    s.indicator10Previous = height;
}

void store(ShturmovikIndicators& s, unsigned id, const Values& v, uint32_t tick) {
    switch (id) {
    case 0:
        storeCounted(s.indicator0Count, s.indicator0, v);
        break;
    case 1:
        storeCounted(s.indicator1Count, s.indicator1, v);
        break;
    case 4:
        storeCounted(s.indicator4Count, s.indicator4, v);
        break;
    case 5:
        storeCounted(s.indicator5Count, s.indicator5, v);
        break;
    case 6:
        s.indicator6 = v.at(0);
        break;
    case 7:
        s.indicator7 = v.at(0);
        break;
    case 8:
        for (int i = 0; i < 3; ++i) {
            s.indicator8[i] = v.at(i);
        }
        break;
    case 9:
        s.indicator9[0] = v.at(0);
        s.indicator9[1] = v.at(1);
        break;
    case 10:
        storeHeight(s, v.at(0), tick);
        break;
    case 11:
        s.indicator11 = v.at(0);
        break;
    case 12:
        s.indicator12 = v.at(0);
        break;
    default:
        break;
    }
}

// Mean of the first count values, 0 for a count of 0 or less.
float mean(const float* values, int count) {
    float sum = 0.0f;
    for (int i = 0; i < count; ++i) {
        sum += values[i];
    }
    return finiteOrZero(sum / static_cast<float>(count));
}
} // namespace

namespace {
// Walks the indicator records of a telemetry datagram, handing each to `visit`; returns where
// the event block begins, or -1 when the records do not end inside the datagram.
template <typename Visit> qsizetype walkIndicators(const unsigned char* bytes, qsizetype size, Visit visit) {
    const int records = static_cast<int8_t>(bytes[kHeaderSize]);
    qsizetype pos = kHeaderSize + 1;
    for (int r = 0; r < records; ++r) {
        if (size - pos < kRecordHeaderSize) {
            return -1;
        }
        const unsigned id = unsigned(bytes[pos]) | (unsigned(bytes[pos + 1]) << 8);
        const int n = static_cast<int8_t>(bytes[pos + 2]);
        const qsizetype end = pos + kRecordHeaderSize + 4 * qsizetype(std::max(n, 0));
        // A record whose values run past the datagram has no meaning; nothing after it does.
        if (end > size) {
            return -1;
        }
        visit(id, Values{bytes + pos + kRecordHeaderSize, std::max(n, 0)});
        // A negative count gives no place for the next record.
        if (n < 0) {
            return -1;
        }
        pos = end;
    }
    return pos;
}

// The aircraft's name from a vehicle-name payload: a length byte, then ASCII padded with NULs.
QString vehicleName(const unsigned char* payload, int length) {
    if (length < 1) {
        return QString();
    }
    const int announced = std::min<int>(payload[0], length - 1);
    QString name;
    for (int i = 0; i < announced && name.size() < kMaxNameLength; ++i) {
        const unsigned char c = payload[1 + i];
        if (c == 0) {
            break;
        }
        // Only printable ASCII: a garbled byte must not give a name no profile can hold.
        if (c >= 0x20 && c < 0x7f) {
            name.append(QLatin1Char(static_cast<char>(c)));
        }
    }
    return name.trimmed();
}
} // namespace

void applyShturmovikDatagram(ShturmovikIndicators& state, const QByteArray& datagram) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(datagram.constData());
    const qsizetype size = datagram.size();
    if (!isTelemetryDatagram(bytes, size)) {
        return;
    }
    const uint32_t tick = readU32(bytes + kTickOffset);
    // The game paused sends no indicators: its stall buffet must not go on shaking the stick.
    if (static_cast<int8_t>(bytes[kHeaderSize]) <= 0) {
        state.indicator9[0] = 0.0f;
        state.indicator9[1] = 0.0f;
    }
    walkIndicators(bytes, size, [&](unsigned id, const Values& v) { store(state, id, v, tick); });
}

void readShturmovikEvents(ShturmovikEvents& events, const QByteArray& datagram) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(datagram.constData());
    const qsizetype size = datagram.size();
    if (!isTelemetryDatagram(bytes, size)) {
        return;
    }
    qsizetype pos = walkIndicators(bytes, size, [](unsigned, const Values&) {});
    if (pos < 0 || pos >= size) {
        return;
    }
    const int count = bytes[pos];
    ++pos;
    for (int e = 0; e < count; ++e) {
        if (size - pos < kEventHeaderSize) {
            return;
        }
        const unsigned type = unsigned(bytes[pos]) | (unsigned(bytes[pos + 1]) << 8);
        const int length = bytes[pos + 2];
        const unsigned char* payload = bytes + pos + kEventHeaderSize;
        if (size - pos - kEventHeaderSize < length) {
            return;
        }
        switch (type) {
        case kVehicleNameEvent: {
            const QString name = vehicleName(payload, length);
            if (!name.isEmpty()) {
                events.vehicleName = name;
            }
            break;
        }
        case kHitEvent:
            ++events.hits;
            break;
        case kDamageEvent:
            ++events.damages;
            break;
        case kGunFiredEvent:
            ++events.gunShots;
            break;
        default:
            break;
        }
        pos += kEventHeaderSize + length;
    }
}

ShturmovikTelemetry shturmovikRecord(const ShturmovikIndicators& s) {
    ShturmovikTelemetry t;
    t.airspeed = finiteOrZero(static_cast<float>(static_cast<double>(s.indicator6) * 3.6));
    // The height change over the ring's game time: m/s whatever the datagram rate.
    double change = 0.0;
    double ticks = 0.0;
    for (int i = 0; i < ShturmovikIndicators::kRingSize; ++i) {
        change += static_cast<double>(s.verticalSpeedRing[i]);
        ticks += static_cast<double>(s.verticalSpeedTicks[i]);
    }
    t.verticalSpeed =
        ticks > 0.0 ? finiteOrZero(static_cast<float>(change * kShturmovikTicksPerSecond / ticks)) : 0.0f;
    t.aoa = finiteOrZero(static_cast<float>(static_cast<double>(s.indicator7) * 57.2958));
    // Indicator 8 is the acceleration in m/s²; its vertical component over g is the load factor,
    // so level flight reads about 1.
    t.gForce = finiteOrZero(static_cast<float>(static_cast<double>(s.indicator8[1]) / kStandardGravity));

    float power = 0.0f;
    const int engines = std::min(s.indicator0Count, ShturmovikIndicators::kMaxValues);
    for (int i = 0; i < engines; ++i) {
        power += s.indicator0[i] * s.indicator1[i];
    }
    // RPM times manifold pressure, scaled so that full power (2700 rpm at 140 kPa) is about 100 %.
    t.propAirflow =
        finiteOrZero(power / static_cast<float>(s.indicator0Count) / 100000.0f / 3700.0f * 100.0f);

    t.gear = finiteOrZero(mean(s.indicator4, std::min(s.indicator4Count, ShturmovikIndicators::kMaxValues)) *
                          100.0f);
    t.airbrake = finiteOrZero(s.indicator12 * 100.0f);
    t.flaps = finiteOrZero(s.indicator11 * 100.0f);
    t.onGround = s.indicator5Count > 0 &&
                 static_cast<double>(
                     mean(s.indicator5, std::min(s.indicator5Count, ShturmovikIndicators::kMaxValues))) > 0.1;
    t.indicator9Value0 = finiteOrZero(s.indicator9[0]);
    t.indicator9Value1 = finiteOrZero(s.indicator9[1]);
    TelemetryRanges::clampToPhysicalRanges(t);
    return t;
}
