#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Splits the byte stream of one SimConnect connection into its messages. Every message, in both
// directions, starts with its own length (a little-endian 32-bit count that includes the
// header); bytes arrive however TCP cut them, so they are buffered until a whole message is
// there. A length below the 12-byte header or above kMaxMessageSize marks the stream corrupt for
// good: nothing after it can be trusted. The buffer never holds more than kCapacity bytes.
//
// Threading: a plain value owned by one SimConnect connection; not shared between threads.
class SimConnectStream {
public:
    static constexpr size_t kHeaderSize = 12;
    static constexpr size_t kMaxMessageSize = size_t(1) << 20;
    static constexpr size_t kCapacity = kMaxMessageSize + 64 * 1024;

    enum class Result { Message, NeedMore, Corrupt };

    // How many more bytes append() takes now.
    size_t room() const;
    // Adds received bytes; at most room() of them are kept.
    void append(const unsigned char* data, size_t size);
    // The next whole message: its first byte and its length. The bytes stay valid until the next
    // call to append(), next() or clear().
    Result next(const unsigned char** message, size_t* size);
    bool corrupt() const { return corrupt_; }
    size_t buffered() const { return buffer_.size() - start_; }
    void clear();

private:
    std::vector<unsigned char> buffer_;
    size_t start_ = 0; // where the first unread message begins
    bool corrupt_ = false;
};
