#include "link/port/datapacket.h"

#include "common/linkerror.h"
#include "link/dispatch/dispatcher.h"
#include "link/dispatch/exceptionrelay.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstring>
#include <exception>

// The framers' manager: one per port, holding the received bytes.

namespace kelvalog {

namespace {

constexpr std::size_t BufferStep = 8192;

} // namespace

// ---------------------------------------------------------------------------
// TDataPacketManagerList

namespace {

struct TManagerRegistry
{
    std::vector<TDataPacketManager*> Live;
    // Managers that lost their last framer and wait to be freed.
    std::vector<TDataPacketManager*> Retired;
    ~TManagerRegistry()
    {
        auto All = std::move(Live);
        All.insert(All.end(), Retired.begin(), Retired.end());
        Retired.clear();
        for (auto* M : All)
            delete M;
    }
};

TManagerRegistry& Registry()
{
    static TManagerRegistry R;
    return R;
}

} // namespace

TDataPacketManager* TDataPacketManagerList::Find(const TCustomComPort* Port)
{
    for (auto* M : Registry().Live)
        if (M->FPort == Port)
            return M;
    return nullptr;
}

TDataPacketManager* TDataPacketManagerList::Obtain(TCustomComPort* Port)
{
    if (auto* M = Find(Port))
        return M;
    auto* M = new TDataPacketManager(Port);
    Registry().Live.push_back(M);
    return M;
}

void TDataPacketManagerList::Remove(TDataPacketManager* Manager)
{
    auto& L = Registry().Live;
    L.erase(std::remove(L.begin(), L.end(), Manager), L.end());
    auto& R = Registry().Retired;
    R.erase(std::remove(R.begin(), R.end(), Manager), R.end());
}

std::size_t TDataPacketManagerList::Size()
{
    return Registry().Live.size();
}

// ---------------------------------------------------------------------------
// TDataPacketManager

TDataPacketManager::TDataPacketManager(TCustomComPort* Port) : FPort(Port)
{
    Port->RegisterCallbackEx(this, [this](QObject*, TPortCallbackKind Kind) { PortEvent(Kind); });
    connect(Port, &QObject::destroyed, this, [this] {
        // The port has closed itself already; only the references remain.
        std::lock_guard<std::mutex> Guard(FMutex);
        for (auto* P : FPackets) {
            P->FManager = nullptr;
            P->FComPort = nullptr;
            P->FMode = TDataPacket::TMode::Idle;
        }
        FPackets.clear();
        FPort = nullptr;
        FActive = false;
        ReleaseBuffer();
        TDataPacketManagerList::Remove(this);
        PostFree();
    });
    if (Port->Open()) {
        try {
            Activate();
        } catch (...) {
            // Stays inactive until the port opens again.
        }
    }
}

TDataPacketManager::~TDataPacketManager()
{
    TDataPacketManagerList::Remove(this);
    if (FPort) {
        Deactivate();
        FPort->DeregisterCallbackEx(this);
    }
    for (auto* P : FPackets) {
        P->FManager = nullptr;
        P->FComPort = nullptr;
    }
}

bool TDataPacketManager::Active() const
{
    std::lock_guard<std::mutex> Guard(FMutex);
    return FActive;
}

void TDataPacketManager::Attach(TDataPacket* Packet)
{
    std::lock_guard<std::mutex> Guard(FMutex);
    FPackets.push_back(Packet);
    Packet->FManager = this;
    if (FActive && Packet->FEnabled.load())
        Packet->ArmOrSwitchOff();
}

bool TDataPacketManager::Attached(const TDataPacket* Packet) const
{
    return std::find(FPackets.begin(), FPackets.end(), Packet) != FPackets.end();
}

void TDataPacketManager::Detach(TDataPacket* Packet)
{
    bool Last = false;
    {
        std::lock_guard<std::mutex> Guard(FMutex);
        Packet->Disarm();
        FPackets.erase(std::remove(FPackets.begin(), FPackets.end(), Packet), FPackets.end());
        Packet->FManager = nullptr;
        Last = FPackets.empty();
    }
    if (!Last)
        return;
    // The last framer left: nothing needs this manager any more.
    TDataPacketManagerList::Remove(this);
    if (FPort) {
        Deactivate();
        FPort->DeregisterCallbackEx(this);
        disconnect(FPort, nullptr, this, nullptr);
        FPort = nullptr;
    }
    PostFree();
}

void TDataPacketManager::PostFree()
{
    if (std::find(Registry().Retired.begin(), Registry().Retired.end(), this) ==
        Registry().Retired.end())
        Registry().Retired.push_back(this);
    auto* App = QCoreApplication::instance();
    if (!App)
        return; // freed with the list at exit
    QMetaObject::invokeMethod(
        App,
        [this] {
            auto& R = Registry().Retired;
            if (std::find(R.begin(), R.end(), this) == R.end())
                return;
            {
                std::lock_guard<std::mutex> Guard(FMutex);
                if (FLocked) {
                    // Still delivering: try again once that has finished.
                    QMetaObject::invokeMethod(
                        QCoreApplication::instance(), [this] { PostFree(); }, Qt::QueuedConnection);
                    return;
                }
            }
            delete this;
        },
        Qt::QueuedConnection);
}

void TDataPacketManager::PortEvent(TPortCallbackKind Kind)
{
    if (Kind == TPortCallbackKind::pckOpen)
        Activate();
    else
        Deactivate();
}

void TDataPacketManager::Activate()
{
    std::lock_guard<std::mutex> Guard(FMutex);
    if (FActive || !FPort)
        return;
    FPort->RegisterEventHandler(this, [this](unsigned Msg, unsigned WParam, unsigned LParam) {
        Dispatched(Msg, WParam, LParam);
    });
    try {
        FTimerHandle = FPort->AddTimerTrigger();
    } catch (...) {
        FPort->RemoveEventHandler(this);
        throw;
    }
    FActive = true;
    ++FGeneration;
    // A rule that cannot be armed fails the opening of the port, as the
    // arming itself would have failed.
    std::exception_ptr Refused;
    for (auto* P : FPackets) {
        if (!P->FEnabled.load())
            continue;
        try {
            P->Arm();
        } catch (...) {
            if (!Refused)
                Refused = std::current_exception();
        }
    }
    if (Refused)
        std::rethrow_exception(Refused);
}

void TDataPacketManager::Deactivate()
{
    std::lock_guard<std::mutex> Guard(FMutex);
    if (!FActive)
        return;
    for (auto* P : FPackets)
        P->Disarm();
    FCollecting = nullptr;
    if (FPort) {
        FPort->RemoveTrigger(FTimerHandle);
        FPort->RemoveEventHandler(this);
    }
    FTimerHandle = 0;
    if (FPort && !FWakeBytes.empty() && FPort->Dispatcher())
        FPort->Dispatcher()->SetWakeBytes({});
    FWakeBytes.clear();
    ReleaseBuffer();
    FActive = false;
    ++FGeneration;
}

void TDataPacketManager::ReleaseBuffer()
{
    FBuffer.reset();
    FCapacity = 0;
    FCount = 0;
    FScanPos = -1;
    FDeferredScan = false;
}

void TDataPacketManager::Dispatched(unsigned Msg, unsigned WParam, unsigned)
{
    std::unique_lock<std::mutex> Guard(FMutex);
    if (!FActive)
        return;
    if (Msg == msg::TriggerAvail) {
        UpdateWakeBytes();
        Receive(Guard, static_cast<int>(WParam));
    } else if (Msg == msg::TriggerTimer) {
        if (FTimerHandle != 0 && static_cast<int>(WParam) == FTimerHandle && FCollecting)
            TimedOut(Guard);
    }
}

std::string TDataPacketManager::WakeBytes() const
{
    std::string Bytes;
    for (const auto* P : FPackets) {
        if (P->FMode == TDataPacket::TMode::Idle)
            continue;
        // A packet that may end by its size, or at any byte, needs every byte
        // as it comes.
        const TPacketPattern& End = P->FEndPattern;
        if (P->FEndCond != TPacketEndSet{TPacketEndCond::ecString} || End.Length() == 0 ||
            End.IsWildcard(End.Length() - 1))
            return {};
        const auto Last = static_cast<unsigned char>(End.Chars().back());
        Bytes += static_cast<char>(Last);
        if (P->FIgnoreCase && std::isalpha(Last))
            Bytes += static_cast<char>(std::tolower(Last));
    }
    return Bytes;
}

void TDataPacketManager::UpdateWakeBytes()
{
    std::string Bytes = WakeBytes();
    if (Bytes == FWakeBytes)
        return;
    FWakeBytes = std::move(Bytes);
    if (TSerialDispatcher* Dispatcher = FPort->Dispatcher())
        Dispatcher->SetWakeBytes(FWakeBytes);
}

void TDataPacketManager::Receive(std::unique_lock<std::mutex>& Guard, int N)
{
    if (N <= 0)
        return;
    const auto Need = static_cast<std::size_t>(FCount + N);
    if (Need >= FCapacity) {
        std::size_t NewCapacity = FCapacity;
        while (Need >= NewCapacity)
            NewCapacity += BufferStep;
        auto Grown = std::make_unique<char[]>(NewCapacity);
        if (FCount > 0)
            std::memcpy(Grown.get(), FBuffer.get(), static_cast<std::size_t>(FCount));
        FBuffer = std::move(Grown);
        FCapacity = NewCapacity;
    }
    try {
        FPort->GetBlock(FBuffer.get() + FCount, N);
    } catch (...) {
        // Nothing was read; the notification carried a stale count.
        return;
    }
    const std::int64_t First = FCount;
    FCount += N;
    Scan(Guard, First);
}

void TDataPacketManager::Scan(std::unique_lock<std::mutex>& Guard, std::int64_t From)
{
    if (FLocked || FScanGuard) {
        // A scan is in progress further up (waiting for the window thread):
        // it reaches the new bytes by itself.
        if (!FDeferredScan || From < FDeferredFrom)
            FDeferredFrom = From;
        FDeferredScan = true;
        return;
    }
    const auto Generation = FGeneration;
    FScanGuard = &Guard;
    FScanPos = From;
    for (;;) {
        while (FScanPos < FCount) {
            if (FCollecting) {
                FCollecting->ProcessByte(FScanPos);
            } else {
                const auto Pos = FScanPos;
                for (std::size_t I = 0; I < FPackets.size(); ++I) {
                    FPackets[I]->ProcessByte(Pos);
                    if (Generation != FGeneration || FCollecting || FCount == 0 || FScanPos != Pos)
                        break;
                }
            }
            if (Generation != FGeneration)
                break;
            ++FScanPos;
        }
        if (Generation == FGeneration && !FFound.empty())
            DeliverFound(Guard);
        if (Generation != FGeneration) {
            // The port closed while an event ran.
            FFound.clear();
            FFoundText.clear();
            FScanGuard = nullptr;
            return;
        }
        // Bytes received from inside the events are scanned too.
        if (FScanPos >= FCount)
            break;
    }
    FScanGuard = nullptr;
    FDeferredScan = false;

    if (FCollecting)
        return;
    for (auto* P : FPackets)
        if (P->FEnabled.load() && P->FMode != TDataPacket::TMode::Idle && P->FStartPos != -1)
            return;
    ReleaseBuffer();
}

void TDataPacketManager::Lock()
{
    FLocked = true;
    for (auto* P : FPackets)
        if (P->FEnabled.load())
            P->Disarm();
}

void TDataPacketManager::Unlock(std::unique_lock<std::mutex>& Guard)
{
    FLocked = false;
    for (auto* P : FPackets) {
        // The properties may have been changed during the event into a rule
        // that cannot be armed.
        if (P->FEnabled.load())
            P->ArmOrSwitchOff();
    }
    if (FDeferredScan && !FScanGuard) {
        FDeferredScan = false;
        Scan(Guard, FDeferredFrom);
    }
}

void TDataPacketManager::StartCollecting(TDataPacket* Packet)
{
    FCollecting = Packet;
    Packet->FMode = TDataPacket::TMode::Collecting;
    Packet->FOwner = true;
    if (Packet->FTimeOut != 0 && FPort)
        FPort->SetTimerTrigger(FTimerHandle, Packet->FTimeOut, true);
    for (auto* P : FPackets) {
        if (P == Packet || !P->FEnabled.load())
            continue;
        P->Disarm();
        P->ArmOrSwitchOff();
    }
}

void TDataPacketManager::StopCollecting(TDataPacket* Packet)
{
    FCollecting = nullptr;
    Packet->FOwner = false;
    if (FPort && FActive)
        FPort->SetTimerTrigger(FTimerHandle, 0, false);
}

void TDataPacketManager::RemoveFront(std::int64_t N)
{
    if (N <= 0 || FCount == 0)
        return;
    if (N >= FCount) {
        const auto Scan = FScanPos;
        ReleaseBuffer();
        FScanPos = std::max<std::int64_t>(Scan - N, -1);
        return;
    }
    std::memmove(FBuffer.get(), FBuffer.get() + N, static_cast<std::size_t>(FCount - N));
    FCount -= N;
    FScanPos = std::max<std::int64_t>(FScanPos - N, -1);
    for (auto* P : FPackets)
        if (P->FStartPos != -1)
            P->FStartPos = std::max<std::int64_t>(P->FStartPos - N, -1);
}

void TDataPacketManager::Deliver(std::unique_lock<std::mutex>& Guard, TDataPacket* Packet,
                                 std::int64_t Length, bool EndedByString)
{
    const std::int64_t Start = Packet->FStartPos;
    std::int64_t TextStart = Start;
    std::int64_t TextLength = Length;
    if (Packet->FStartCond == TPacketStartCond::scString && !Packet->FIncludeStrings) {
        const auto S = static_cast<std::int64_t>(Packet->FStartPattern.Length());
        TextStart += S;
        TextLength -= S;
    }
    if (!Packet->FIncludeStrings && EndedByString)
        TextLength -= static_cast<std::int64_t>(Packet->FEndPattern.Length());
    TextLength = std::max<std::int64_t>(TextLength, 0);
    if (Packet->FAutoEnable && FScanGuard) {
        // Armed again at once, as after its event: the scan goes on, and the
        // events of all packets it finds run together when it ends.
        FFound.push_back({Packet, FFoundText.size(), static_cast<std::size_t>(TextLength)});
        FFoundText.append(FBuffer.get() + TextStart, static_cast<std::size_t>(TextLength));
        RemoveFront(Start + Length);
        for (auto* P : FPackets)
            if (P->FEnabled.load()) {
                P->Disarm();
                P->ArmOrSwitchOff();
            }
        return;
    }
    if (!FFound.empty()) {
        // Packets found earlier have their events first.
        const auto Before = FGeneration;
        DeliverFound(Guard);
        if (Before != FGeneration)
            return;
    }
    Lock();
    Packet->FEnabled.store(false);
    // The handlers get their own copy: the buffer may be released by a
    // closing done from inside the event.
    const std::string Text(FBuffer.get() + TextStart, static_cast<std::size_t>(TextLength));
    const auto Generation = FGeneration;

    Guard.unlock();
    FPort->HandOff([this, Packet, &Text] { RunEvents(Packet, Text, std::nullopt); });
    Guard.lock();

    if (Generation == FGeneration)
        RemoveFront(Start + Length);
    if (Attached(Packet) && Packet->FAutoEnable) {
        try {
            Packet->SetEnabledLocked(true);
        } catch (...) {
            // A rule that cannot be armed leaves the framer off, as if switched off.
        }
    }
    Unlock(Guard);
}

bool TDataPacketManager::RunEvents(TDataPacket* Packet, const std::string& Text,
                                   std::optional<std::uint64_t> Generation)
{
    TPacketNotifyEvent OnPacket;
    TStringPacketNotifyEvent OnString;
    {
        std::lock_guard<std::mutex> G(FMutex);
        if (Generation && *Generation != FGeneration)
            return false;
        if (!Attached(Packet))
            return true;
        OnPacket = Packet->OnPacket;
        OnString = Packet->OnStringPacket;
    }
    RunGuarded([&] {
        if (OnPacket)
            OnPacket(Packet, Text.data(), static_cast<std::int32_t>(Text.size()));
        if (OnString)
            OnString(Packet, Text);
    });
    return true;
}

void TDataPacketManager::DeliverFound(std::unique_lock<std::mutex>& Guard)
{
    std::vector<TFoundPacket> Found;
    std::string Texts;
    Found.swap(FFound);
    Texts.swap(FFoundText);
    // Each was armed again when it was found, and may hold the start of the
    // next packet: locked, not disarmed, while the events run.
    FLocked = true;
    for (const auto& Item : Found)
        Item.Packet->FEnabled.store(false);
    const auto Generation = FGeneration;

    Guard.unlock();
    FPort->HandOff([this, &Found, &Texts, Generation] {
        std::string Text;
        for (const auto& Item : Found) {
            Text.assign(Texts, Item.Offset, Item.Length);
            // Closed from inside an event: the rest went with the port.
            if (!RunEvents(Item.Packet, Text, Generation))
                return;
        }
    });
    Guard.lock();

    FLocked = false;
    for (const auto& Item : Found) {
        TDataPacket* P = Item.Packet;
        if (!Attached(P) || !P->FAutoEnable || P->FEnabled.load())
            continue;
        // Enabled again, keeping what it matched since, unless an event
        // changed its rule (which disarmed it).
        if (P->FMode != TDataPacket::TMode::Idle)
            P->FEnabled.store(true);
        else
            try {
                P->SetEnabledLocked(true);
            } catch (...) {
                // A rule that cannot be armed leaves the framer off.
            }
    }
    for (auto* P : FPackets)
        if (P->FEnabled.load() && P->FEnablePending)
            P->ArmOrSwitchOff();
    if (FFound.empty()) {
        // Keeps the memory for the next read.
        Found.clear();
        Texts.clear();
        FFound.swap(Found);
        FFoundText.swap(Texts);
    }
}

void TDataPacketManager::TimedOut(std::unique_lock<std::mutex>& Guard)
{
    TDataPacket* Packet = FCollecting;
    Lock();
    Packet->FEnabled.store(false);
    const auto Generation = FGeneration;

    Guard.unlock();
    FPort->HandOff([this, Packet] {
        TNotifyEvent OnTimeout;
        {
            std::lock_guard<std::mutex> G(FMutex);
            if (!Attached(Packet))
                return;
            OnTimeout = Packet->OnTimeout;
        }
        if (OnTimeout)
            RunGuarded([&] { OnTimeout(Packet); });
    });
    Guard.lock();

    if (Generation == FGeneration)
        ReleaseBuffer();
    Unlock(Guard);
}

} // namespace kelvalog
