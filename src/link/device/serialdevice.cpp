#include "link/device/serialdevice.h"

#include "link/device/posixserialdevice.h"

#include <mutex>

namespace kelvalog {

namespace {
std::mutex FactoryLock;
TSerialDeviceFactory& Factory()
{
    static TSerialDeviceFactory Instance;
    return Instance;
}
} // namespace

std::unique_ptr<TSerialDevice> CreateSerialDevice(const std::string& Path)
{
    TSerialDeviceFactory Current;
    {
        std::lock_guard Guard(FactoryLock);
        Current = Factory();
    }
    if (Current)
        return Current(Path);
    return std::make_unique<TPosixSerialDevice>();
}

void SetSerialDeviceFactory(TSerialDeviceFactory NewFactory)
{
    std::lock_guard Guard(FactoryLock);
    Factory() = std::move(NewFactory);
}

} // namespace kelvalog
