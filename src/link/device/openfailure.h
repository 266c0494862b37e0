#pragma once

// Why a port did not open, told so that a user can act on it.

#include <string>

namespace kelvalog {

enum class TOpenFailure { Other, Permission, InUse, Gone };

// The cause behind an errno of open(2) or flock(2) on a serial node.
TOpenFailure OpenFailureOf(int Errno);

// The cause behind a code of the device layer when no errno is known
// (-5: in use, -2/-3: no such device).
TOpenFailure OpenFailureOfCode(int Code);

// "<device>: permission denied. Add your user ..." and the like; empty for
// TOpenFailure::Other.
std::string OpenFailureText(const std::string& Device, TOpenFailure Failure);

} // namespace kelvalog
