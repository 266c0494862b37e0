#include "link/dispatch/wakebytes.h"

#include <algorithm>

namespace kelvalog {

bool TByteSet::HoldsAny(const std::uint8_t* Bytes, std::size_t Count) const
{
    return !Empty() && std::any_of(Bytes, Bytes + Count, [this](std::uint8_t B) {
        return (Words[B / 64] >> (B % 64)) & 1;
    });
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
