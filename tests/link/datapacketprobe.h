#pragma once

// What the framer tests look at inside a framer and its manager.

#include "link/port/datapacket.h"

#include <cstddef>
#include <mutex>

namespace kelvalog {

class TDataPacketProbe
{
public:
    static TDataPacket::TMode Mode(const TDataPacket& Packet)
    {
        if (Packet.FManager) {
            std::lock_guard Guard(Packet.FManager->FMutex);
            return Packet.FMode;
        }
        return Packet.FMode;
    }
    // Bytes held, and the capacity of the buffer holding them.
    static std::size_t Count(const TDataPacketManager& Manager)
    {
        std::lock_guard Guard(Manager.FMutex);
        return static_cast<std::size_t>(Manager.FCount);
    }
    static std::size_t Capacity(const TDataPacketManager& Manager)
    {
        std::lock_guard Guard(Manager.FMutex);
        return Manager.FCapacity;
    }
};

} // namespace kelvalog
