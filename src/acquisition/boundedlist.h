#pragma once

#include "common/rangeerror.h"

#include <array>
#include <cstddef>

namespace kelvalog {

// A list with a fixed capacity that lives on the stack: the per-line and
// per-tick results never allocate.
template <typename T, std::size_t Capacity> class TBoundedList
{
public:
    void push_back(const T& Item)
    {
        if (FCount >= Capacity)
            throw ERangeError();
        FItems[FCount++] = Item;
    }
    void clear() { FCount = 0; }

    std::size_t size() const { return FCount; }
    bool empty() const { return FCount == 0; }
    static constexpr std::size_t capacity() { return Capacity; }

    const T& operator[](std::size_t Index) const
    {
        if (Index >= FCount)
            throw ERangeError();
        return FItems[Index];
    }

    const T* begin() const { return FItems.data(); }
    const T* end() const { return FItems.data() + FCount; }

private:
    std::array<T, Capacity> FItems{};
    std::size_t FCount = 0;
};

} // namespace kelvalog
