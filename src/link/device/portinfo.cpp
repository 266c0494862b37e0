#include "link/device/portinfo.h"

#include "link/device/comnames.h"

#include <algorithm>
#include <fstream>
#include <system_error>

namespace kelvalog {

namespace fs = std::filesystem;

namespace {

// First line of a sysfs attribute, blanks trimmed; empty when unreadable.
std::string Attribute(const fs::path& File)
{
    std::ifstream In(File);
    std::string Line;
    std::getline(In, Line);
    const auto First = Line.find_first_not_of(" \t\r\n");
    if (First == std::string::npos)
        return {};
    const auto Last = Line.find_last_not_of(" \t\r\n");
    return Line.substr(First, Last - First + 1);
}

bool IsDirectory(const fs::path& P)
{
    std::error_code Ec;
    return fs::is_directory(P, Ec);
}

// The kernel's tty name of the first path along the chain of links from Path
// that sysfs lists under class/tty (a KELVALOG_PORTS entry may point to a
// /dev/serial/by-id name, which points to the node itself).
std::string KernelNameOf(fs::path Path, const fs::path& TtyClass)
{
    for (int Hop = 0; Hop < 16; ++Hop) {
        const std::string Name = Path.filename().string();
        if (!Name.empty() && IsDirectory(TtyClass / Name))
            return Name;
        std::error_code Ec;
        if (!fs::is_symlink(Path, Ec))
            return {};
        const fs::path Target = fs::read_symlink(Path, Ec);
        if (Ec)
            return {};
        Path = Target.is_absolute() ? Target : Path.parent_path() / Target;
    }
    return {};
}

// The USB device folder above a tty's device folder; empty for other devices.
fs::path UsbDeviceOf(const fs::path& DeviceLink, const fs::path& SysfsRoot)
{
    std::error_code Ec;
    const fs::path Root = fs::weakly_canonical(SysfsRoot, Ec);
    fs::path Dir = fs::canonical(DeviceLink, Ec);
    if (Ec)
        return {};
    const auto Inside = [&Root](const fs::path& P) {
        const auto [RootEnd, PathAt] = std::mismatch(Root.begin(), Root.end(), P.begin(), P.end());
        return RootEnd == Root.end() && P != Root;
    };
    for (; Inside(Dir); Dir = Dir.parent_path())
        if (fs::exists(Dir / "idVendor", Ec))
            return Dir;
    return {};
}

// "Manufacturer Product" of a USB device folder.
std::string UsbNameOf(const fs::path& Usb)
{
    const std::string Manufacturer = Attribute(Usb / "manufacturer");
    const std::string Product = Attribute(Usb / "product");
    if (Manufacturer.empty() || Product.empty())
        return Manufacturer + Product;
    return Manufacturer + " " + Product;
}

} // namespace

std::string ShownDevicePath(const std::string& Path)
{
    std::error_code Ec;
    if (!fs::is_symlink(Path, Ec))
        return Path;
    const fs::path Target = fs::read_symlink(Path, Ec);
    return Ec ? Path : Target.string();
}

TPortInfo DescribePortDevice(const std::string& Path, const fs::path& SysfsRoot)
{
    TPortInfo Info;
    Info.Device = ShownDevicePath(Path);
    const fs::path TtyClass = SysfsRoot / "class" / "tty";
    Info.KernelName = KernelNameOf(Path, TtyClass);
    if (Info.KernelName.empty())
        return Info;
    const fs::path Tty = TtyClass / Info.KernelName;
    Info.NoUart = Info.KernelName.starts_with("ttyS") && Attribute(Tty / "type") == "0";
    const fs::path Usb = UsbDeviceOf(Tty / "device", SysfsRoot);
    if (Usb.empty())
        return Info;
    Info.UsbName = UsbNameOf(Usb);
    Info.Usb = {Attribute(Usb / "idVendor"), Attribute(Usb / "idProduct"),
                Attribute(Usb / "serial")};
    return Info;
}

int ComNumberOfAdapter(const TUsbIdentity& Adapter, int Prefer, const fs::path& SysfsRoot)
{
    if (Adapter.Empty())
        return 0;
    const auto Leads = [&](int Number) {
        const std::string Path = ComDevicePath(Number);
        std::error_code Ec;
        return !Path.empty() && fs::exists(Path, Ec) &&
               DescribePortDevice(Path, SysfsRoot).Usb == Adapter;
    };
    if (Prefer > 0 && Leads(Prefer))
        return Prefer;
    // As many numbers as the port dialog offers.
    for (int Number = 1; Number <= 256; ++Number)
        if (Number != Prefer && Leads(Number))
            return Number;
    return 0;
}

} // namespace kelvalog
