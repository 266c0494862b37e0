#pragma once

// The packet framer: cuts the byte stream of a port into packets (for the
// board: a line from line feed to carriage return) and hands each packet to
// the window thread.
//
// Typical use by a window:
//     DataPacket->SetComPort(ComPort);
//     DataPacket->SetStartString("\n");
//     DataPacket->SetEndString("\r");
//     DataPacket->SetEndCond({TPacketEndCond::ecString});
//     DataPacket->SetIncludeStrings(false);
//     DataPacket->SetTimeOut(1000);
//     DataPacket->OnStringPacket = [](QObject*, const std::string& Line) { ... };
//     DataPacket->OnTimeout = [](QObject*) { DataPacket->SetEnabled(true); };
//     DataPacket->SetEnabled(true);   // after opening the port
// Properties are set on the window thread; the events run there too, while
// the port's dispatch thread waits for them.

#include "link/port/basecomponent.h"
#include "link/port/comport.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvalog {

enum class TPacketStartCond { scString, scAnyData };
enum class TPacketEndCond : std::uint8_t { ecString = 1, ecPacketSize = 2 };

class TPacketEndSet
{
public:
    constexpr TPacketEndSet() = default;
    constexpr TPacketEndSet(std::initializer_list<TPacketEndCond> Conds)
    {
        for (auto C : Conds)
            FBits |= static_cast<std::uint8_t>(C);
    }
    constexpr bool Contains(TPacketEndCond C) const
    {
        return (FBits & static_cast<std::uint8_t>(C)) != 0;
    }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr bool operator==(const TPacketEndSet&) const = default;

private:
    std::uint8_t FBits = 0;
};

// A delimiter prepared for matching: a backslash makes the next character
// literal, an unescaped "?" matches any byte, and with case folding the ASCII
// letters are compared upper-cased.
class TPacketPattern
{
public:
    TPacketPattern() = default;
    TPacketPattern(std::string_view Text, bool IgnoreCase);

    std::size_t Length() const { return FChars.size(); }
    const std::string& Chars() const { return FChars; }
    bool IsWildcard(std::size_t Index) const { return FWild[Index] != 0; }
    // Whether Byte matches the character at the 0-based Index.
    bool Matches(std::size_t Index, unsigned char Byte) const;

private:
    std::string FChars;
    std::vector<std::uint8_t> FWild;
    bool FIgnoreCase = true;
};

using TPacketNotifyEvent =
    std::function<void(QObject* Sender, const char* Data, std::int32_t Size)>;
using TStringPacketNotifyEvent = std::function<void(QObject* Sender, const std::string& Data)>;

class TDataPacketManager;

class TDataPacket : public TBaseComponent
{
    Q_OBJECT
public:
    enum class TMode { Idle, WaitingForStart, Collecting };

    explicit TDataPacket(QObject* AOwner = nullptr);
    ~TDataPacket() override;

    bool Enabled() const { return FEnabled.load(); }
    // True arms, false disarms; a failed arming raises EInvalidProperty and
    // leaves Enabled unchanged.
    void SetEnabled(bool Value);
    bool AutoEnable() const { return FAutoEnable; }
    void SetAutoEnable(bool Value);
    TPacketStartCond StartCond() const { return FStartCond; }
    void SetStartCond(TPacketStartCond Value);
    TPacketEndSet EndCond() const { return FEndCond; }
    void SetEndCond(TPacketEndSet Value);
    const std::string& StartString() const { return FStartString; }
    void SetStartString(const std::string& Value);
    const std::string& EndString() const { return FEndString; }
    void SetEndString(const std::string& Value);
    bool IgnoreCase() const { return FIgnoreCase; }
    void SetIgnoreCase(bool Value);
    std::int32_t PacketSize() const { return FPacketSize; }
    void SetPacketSize(std::int32_t Value);
    bool IncludeStrings() const { return FIncludeStrings; }
    void SetIncludeStrings(bool Value);
    // Collection time-out in ticks of 55 ms; 0 means none.
    std::int32_t TimeOut() const { return FTimeOut; }
    void SetTimeOut(std::int32_t Value);
    TCustomComPort* ComPort() const { return FComPort; }
    void SetComPort(TCustomComPort* Value);

    TPacketNotifyEvent OnPacket;
    TStringPacketNotifyEvent OnStringPacket;
    TNotifyEvent OnTimeout;

private:
    friend class TDataPacketManager;
    // The tests' view of the match state.
    friend class TDataPacketProbe;

    std::atomic<bool> FEnabled{false};
    bool FAutoEnable = true;
    TPacketStartCond FStartCond = TPacketStartCond::scString;
    TPacketEndSet FEndCond;
    std::string FStartString;
    std::string FEndString;
    bool FIgnoreCase = true;
    std::int32_t FPacketSize = 0;
    bool FIncludeStrings = true;
    std::int32_t FTimeOut = 2184;
    TCustomComPort* FComPort = nullptr;

    // Match state, guarded by the manager's lock.
    TMode FMode = TMode::Idle;
    std::int64_t FStartPos = -1;
    std::size_t FStartMatch = 1;
    std::size_t FEndMatch = 1;
    TPacketPattern FStartPattern;
    TPacketPattern FEndPattern;
    std::int32_t FLocalPacketSize = 0;
    bool FEnablePending = false;
    bool FOwner = false;
    TDataPacketManager* FManager = nullptr;

    // Runs F with the manager's lock held (if there is a manager).
    template <class F> void Locked(F&& Fn);
    void Arm();
    // Arming done by the manager: a rule that cannot be armed switches the
    // framer off instead of failing the caller.
    void ArmOrSwitchOff();
    void Disarm();
    void ResetMatch();
    void SetEnabledLocked(bool Value);
    void ProcessByte(std::int64_t Pos);
    void FallBack(const TPacketPattern& Pattern, std::int64_t From, std::int64_t Pos,
                  std::int64_t& MatchStart, std::size_t& MatchIndex);
    void LeaveManager();
    void JoinManager(TCustomComPort* Port);
};

// One per port that has framers: owns the received bytes, feeds them to the
// framers and owns the port's collection timer.
class TDataPacketManager : public QObject
{
    Q_OBJECT
public:
    explicit TDataPacketManager(TCustomComPort* Port);
    ~TDataPacketManager() override;

    TCustomComPort* Port() const { return FPort; }
    bool Active() const;

private:
    friend class TDataPacket;
    friend class TDataPacketManagerList;
    // The tests' view of the bytes held.
    friend class TDataPacketProbe;

    TCustomComPort* FPort;
    std::vector<TDataPacket*> FPackets;
    // Guards everything below and every framer's match state. Held while
    // scanning, arming and disarming; released while the dispatch thread
    // waits for an event on the window thread.
    mutable std::mutex FMutex;
    std::unique_ptr<char[]> FBuffer;
    std::size_t FCapacity = 0;
    std::int64_t FCount = 0;
    std::int64_t FScanPos = -1;
    TDataPacket* FCollecting = nullptr;
    int FTimerHandle = 0;
    bool FActive = false;
    bool FLocked = false;
    bool FDeferredScan = false;
    std::int64_t FDeferredFrom = 0;
    // The lock of the scan in progress, used by deliveries made inside it.
    std::unique_lock<std::mutex>* FScanGuard = nullptr;
    // Changes at every activation and deactivation, so that a scan that
    // waited for the window thread notices a closing in between.
    std::uint64_t FGeneration = 0;
    // The bytes that end the armed packets, as last given to the dispatcher:
    // the dispatch thread hears of the input of a line coming byte by byte
    // about once, at its end.
    std::string FWakeBytes;
    // Packets a scan has found, handed to the window thread together when
    // the scan has reached the end of the bytes received: one wait for the
    // window thread per read instead of one per packet.
    struct TFoundPacket
    {
        TDataPacket* Packet;
        std::size_t Offset; // into FFoundText
        std::size_t Length;
    };
    std::vector<TFoundPacket> FFound;
    std::string FFoundText;

    void Attach(TDataPacket* Packet);
    void Detach(TDataPacket* Packet);
    bool Attached(const TDataPacket* Packet) const;
    void PortEvent(TPortCallbackKind Kind);
    void Activate();
    void Deactivate();
    void ReleaseBuffer();
    void Dispatched(unsigned Msg, unsigned WParam, unsigned LParam);
    void Receive(std::unique_lock<std::mutex>& Guard, int N);
    // The bytes that end every armed packet; empty when one may end by its
    // size or at any byte.
    std::string WakeBytes() const;
    void UpdateWakeBytes();
    void Scan(std::unique_lock<std::mutex>& Guard, std::int64_t From);
    void Lock();
    void Unlock(std::unique_lock<std::mutex>& Guard);
    void StartCollecting(TDataPacket* Packet);
    void StopCollecting(TDataPacket* Packet);
    void Deliver(std::unique_lock<std::mutex>& Guard, TDataPacket* Packet, std::int64_t Length,
                 bool EndedByString);
    // On the window thread: runs Packet's events with Text unless it left;
    // false (nothing run) when the port closed since Generation, if given.
    bool RunEvents(TDataPacket* Packet, const std::string& Text,
                   std::optional<std::uint64_t> Generation);
    // Runs the events of the packets found so far, in order.
    void DeliverFound(std::unique_lock<std::mutex>& Guard);
    void TimedOut(std::unique_lock<std::mutex>& Guard);
    void RemoveFront(std::int64_t N);
    void PostFree();
};

// Maps each port to its manager; frees the managers that remain at exit.
class TDataPacketManagerList
{
public:
    static TDataPacketManager* Find(const TCustomComPort* Port);
    static TDataPacketManager* Obtain(TCustomComPort* Port);
    static void Remove(TDataPacketManager* Manager);
    static std::size_t Size();
};

} // namespace kelvalog
