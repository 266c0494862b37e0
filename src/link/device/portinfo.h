#pragma once

// What the kernel's sysfs tells about the device behind a port: whether a
// ttyS node has a UART at all, and the name of a USB adapter.

#include <filesystem>
#include <string>

namespace kelvalog {

// What tells one USB adapter from another wherever the kernel puts it, as
// /dev/serial/by-id does: vendor and product numbers and the serial number.
struct TUsbIdentity
{
    std::string Vendor;
    std::string Product;
    std::string Serial;

    bool Empty() const { return Vendor.empty() && Product.empty(); }
    bool operator==(const TUsbIdentity&) const = default;
};

struct TPortInfo
{
    // The device as the user should see it: the path, or for a link (a
    // KELVALOG_PORTS entry) the path it points to.
    std::string Device;
    // The kernel's name of the tty ("ttyUSB0"); empty when sysfs does not know it.
    std::string KernelName;
    // "Manufacturer Product" of a USB adapter; empty for other devices.
    std::string UsbName;
    // Empty for other devices.
    TUsbIdentity Usb;
    // A ttyS node whose sysfs type is 0: no UART behind it.
    bool NoUart = false;
};

// Path, or for a link the path it points to.
std::string ShownDevicePath(const std::string& Path);

// Reads sysfs below SysfsRoot ("/sys" on a running system) for the device at
// Path, following links from Path to find the kernel's tty name.
TPortInfo DescribePortDevice(const std::string& Path, const std::filesystem::path& SysfsRoot);

// The COM number whose device is the USB adapter Adapter, Prefer when that
// one still is; 0 while no port leads to it (unplugged, or not yet named).
int ComNumberOfAdapter(const TUsbIdentity& Adapter, int Prefer,
                       const std::filesystem::path& SysfsRoot);

} // namespace kelvalog
