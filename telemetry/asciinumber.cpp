#include "telemetry/asciinumber.h"

#include "records/finite.h"

#include <charconv>

namespace {
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
} // namespace

float asciiNumber(QByteArrayView field) {
    const char* begin = field.data();
    const char* end = begin + field.size();
    while (begin != end && isBlank(*begin)) {
        ++begin;
    }
    while (end != begin && isBlank(end[-1])) {
        --end;
    }
    if (begin != end && *begin == '+') {
        ++begin;
        if (begin != end && *begin == '-') {
            return 0.0f;
        }
    }
    if (begin == end) {
        return 0.0f;
    }
    float value = 0.0f;
    const std::from_chars_result read = std::from_chars(begin, end, value);
    if (read.ec != std::errc() || read.ptr != end) {
        return 0.0f;
    }
    return finiteOrZero(value);
}
