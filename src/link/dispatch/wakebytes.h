#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kelvalog {

// A set of byte values, one bit each.
struct TByteSet
{
    std::array<std::uint64_t, 4> Words{};

    void Add(std::uint8_t Byte) { Words[Byte / 64] |= std::uint64_t{1} << (Byte % 64); }
    bool Empty() const { return (Words[0] | Words[1] | Words[2] | Words[3]) == 0; }
    // How many of the bytes are in the set.
    std::size_t CountIn(const std::uint8_t* Bytes, std::size_t Count) const;
};

// The bytes that end a message, set on any thread and read by the read
// thread at each burst without a lock.
class TWakeBytes
{
public:
    void Set(std::string_view Bytes);
    TByteSet Get() const;

private:
    // All zero when none are set.
    std::array<std::atomic<std::uint64_t>, 4> FWords{};
};

} // namespace kelvalog
