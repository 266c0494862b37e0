#pragma once

// A sysfs tree of the test's own: ttyS nodes with a UART type, a USB serial
// adapter with its manufacturer and product, and device nodes that are links
// to pseudo-terminals so that they really open.

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace porttest {

class TFakeSysfs
{
public:
    TFakeSysfs()
    {
        if (!FDir.isValid())
            throw std::runtime_error("no temporary folder");
        std::filesystem::permissions(Root(), std::filesystem::perms(0755));
    }

    std::filesystem::path Root() const { return FDir.path().toStdString(); }
    std::filesystem::path Tty(const std::string& Name) const
    {
        return Root() / "class" / "tty" / Name;
    }

    // class/tty/<Name>/type holding Type (0: no UART behind the node).
    void AddUart(const std::string& Name, int Type)
    {
        std::filesystem::create_directories(Tty(Name));
        std::ofstream(Tty(Name) / "type") << Type << '\n';
    }

    // A USB adapter in the hub port UsbPort: the device folder with its
    // numbers and strings, its interface, and class/tty/<Name>/device linked
    // (relatively, as the kernel does) to it.
    void AddUsbAdapter(const std::string& Name, const std::string& Manufacturer,
                       const std::string& Product, const std::string& UsbPort = "1-1",
                       const std::string& Serial = "A10KQ3")
    {
        const auto Usb = Root() / "devices" / "pci0000:00" / "usb1" / UsbPort;
        const auto Port = Usb / (UsbPort + ":1.0") / Name;
        std::filesystem::create_directories(Port);
        std::ofstream(Usb / "idVendor") << "0403\n";
        std::ofstream(Usb / "idProduct") << "6001\n";
        std::ofstream(Usb / "serial") << Serial << '\n';
        std::ofstream(Usb / "manufacturer") << Manufacturer << '\n';
        std::ofstream(Usb / "product") << Product << '\n';
        std::filesystem::create_directories(Tty(Name));
        std::filesystem::create_directory_symlink(
            std::filesystem::path("../../../devices/pci0000:00/usb1") / UsbPort /
                (UsbPort + ":1.0") / Name,
            Tty(Name) / "device");
    }

    // A device node named Name (in a dev/ folder of the tree) that leads to
    // Target; returns its path.
    std::string AddNode(const std::string& Name, const std::string& Target)
    {
        const auto Dev = Root() / "dev";
        std::filesystem::create_directories(Dev);
        std::filesystem::create_symlink(Target, Dev / Name);
        return (Dev / Name).string();
    }

private:
    QTemporaryDir FDir;
};

} // namespace porttest
