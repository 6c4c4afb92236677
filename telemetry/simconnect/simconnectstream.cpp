#include "telemetry/simconnect/simconnectstream.h"

#include <algorithm>
#include <cstring>

size_t SimConnectStream::room() const {
    return corrupt_ ? 0 : kCapacity - buffered();
}

void SimConnectStream::append(const unsigned char* data, size_t size) {
    size = std::min(size, room());
    if (size == 0) {
        return;
    }
    if (start_ > 0) {
        // Drop what was read already so that the buffer holds only unread bytes.
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
        start_ = 0;
    }
    buffer_.insert(buffer_.end(), data, data + size);
}

SimConnectStream::Result SimConnectStream::next(const unsigned char** message, size_t* size) {
    if (corrupt_) {
        return Result::Corrupt;
    }
    const size_t available = buffered();
    if (available < sizeof(uint32_t)) {
        return Result::NeedMore;
    }
    uint32_t length = 0;
    std::memcpy(&length, buffer_.data() + start_, sizeof length);
    if (length < kHeaderSize || length > kMaxMessageSize) {
        corrupt_ = true;
        return Result::Corrupt;
    }
    if (available < length) {
        return Result::NeedMore;
    }
    *message = buffer_.data() + start_;
    *size = length;
    start_ += length; // its bytes are dropped at the next append()
    return Result::Message;
}

void SimConnectStream::clear() {
    buffer_.clear();
    start_ = 0;
    corrupt_ = false;
}
