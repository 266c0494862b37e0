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
    void push_back(const T& item)
    {
        if (Count >= Capacity)
            throw ERangeError();
        Items[Count++] = item;
    }
    void clear() { Count = 0; }

    std::size_t size() const { return Count; }
    bool empty() const { return Count == 0; }
    static constexpr std::size_t capacity() { return Capacity; }

    const T& operator[](std::size_t index) const
    {
        if (index >= Count)
            throw ERangeError();
        return Items[index];
    }

    const T* begin() const { return Items.data(); }
    const T* end() const { return Items.data() + Count; }

private:
    std::array<T, Capacity> Items{};
    std::size_t Count = 0;
};

} // namespace kelvalog
