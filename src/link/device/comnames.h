#pragma once

#include <string>

namespace kelvalog {

// Highest COM number the device table knows.
inline constexpr int MaxComNumber = 96;

// The device behind COMn: the entry "COMn" of the folder named by
// KELVALOG_PORTS when that is set, otherwise COM1-32 are /dev/ttyS0-31,
// COM33-64 /dev/ttyUSB0-31 and COM65-96 /dev/ttyACM0-31. Empty when n has no
// device.
std::string ComDevicePath(int ComNumber);

// Whether KELVALOG_PORTS names the folder of COM entries (the table is then
// not used).
bool ComPortsFolderSet();

// A dispatcher's device name: "COMn" (any case) goes through ComDevicePath,
// anything else is taken as a path.
std::string ResolvePortName(const std::string& Name);

// "COM%d".
std::string ComDisplayName(int ComNumber);

} // namespace kelvalog
