#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <array>

// X-Plane's own UDP interface, the part this program speaks: an "RREF" request asks the
// simulator to send one dataref at a rate, tagged with an index of our choosing, to the port the
// request came from; its answers carry (index, value) pairs. Requests are 413 bytes: "RREF", a
// zero byte, the rate (int32), the index (int32) and the dataref's path in 400 zero-padded
// bytes. An answer is "RREF", one byte, then pairs of int32 index and float32 value, all
// little-endian.
//
// Threading: pure functions and plain values; any thread.
namespace XPlaneRref {

constexpr int RequestSize = 413;
constexpr int PathSize = 400;
constexpr int HeaderSize = 5;
constexpr int PairSize = 8;

// The request for `path` at `rate` answers a second (0 cancels it) under `index`. A path longer
// than 399 bytes is cut, so the request always ends with a zero byte.
QByteArray request(qint32 rate, qint32 index, const QByteArray& path);

// The newest value of each index this program subscribed, and whether it has arrived since the
// table was last cleared.
template <int N> struct Values {
    std::array<float, N> value{};
    std::array<bool, N> seen{};
    void clear() { *this = Values(); }
};

// Applies one answer to `values`: every pair whose index lies in [0, count) and whose value is
// finite; other pairs, and a partial pair at the end, change nothing. Returns how many values
// it took, or -1 when the datagram is not an RREF answer (shorter than the header or another
// header).
int parseAnswer(const QByteArray& datagram, float* value, bool* seen, int count);

template <int N> int parseAnswer(const QByteArray& datagram, Values<N>& values) {
    return parseAnswer(datagram, values.value.data(), values.seen.data(), N);
}

} // namespace XPlaneRref
