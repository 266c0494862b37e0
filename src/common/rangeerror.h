#pragma once

#include <stdexcept>
#include <string>

namespace kelvalog {

// Raised by indexed access to a fixed table (channel table, moving-average
// buffer) with an index outside the table.
class ERangeError : public std::out_of_range
{
public:
    ERangeError() : std::out_of_range("Range check error") {}
    explicit ERangeError(const std::string& Message) : std::out_of_range(Message) {}
};

} // namespace kelvalog
