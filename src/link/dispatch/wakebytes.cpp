#include "link/dispatch/wakebytes.h"

#include <algorithm>

namespace kelvalog {

std::size_t TByteSet::CountIn(const std::uint8_t* Bytes, std::size_t Count) const
{
    if (Empty())
        return 0;
    return static_cast<std::size_t>(std::count_if(
        Bytes, Bytes + Count, [this](std::uint8_t B) { return (Words[B / 64] >> (B % 64)) & 1; }));
}

void TWakeBytes::Set(std::string_view Bytes)
{
    TByteSet Bits;
    for (const char C : Bytes)
        Bits.Add(static_cast<std::uint8_t>(C));
    for (std::size_t I = 0; I < Bits.Words.size(); ++I)
        FWords[I].store(Bits.Words[I], std::memory_order_relaxed);
}

TByteSet TWakeBytes::Get() const
{
    TByteSet Bits;
    for (std::size_t I = 0; I < Bits.Words.size(); ++I)
        Bits.Words[I] = FWords[I].load(std::memory_order_relaxed);
    return Bits;
}

} // namespace kelvalog
