#include "link/port/datapacket.h"

#include "common/linkerror.h"
#include "link/dispatch/dispatcher.h"
#include "link/dispatch/exceptionrelay.h"

#include <QCoreApplication>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <exception>

namespace kelvalog {

namespace {

unsigned char UpCase(unsigned char C)
{
    return (C >= 'a' && C <= 'z') ? static_cast<unsigned char>(C - 'a' + 'A') : C;
}

} // namespace

// ---------------------------------------------------------------------------
// TPacketPattern

TPacketPattern::TPacketPattern(std::string_view Text, bool IgnoreCase) : FIgnoreCase(IgnoreCase)
{
    for (std::size_t I = 0; I < Text.size(); ++I) {
        unsigned char C = static_cast<unsigned char>(Text[I]);
        bool Wild = false;
        if (C == '\\') {
            if (++I >= Text.size())
                break;
            C = static_cast<unsigned char>(Text[I]);
        } else if (C == '?') {
            Wild = true;
        }
        FChars.push_back(static_cast<char>(IgnoreCase ? UpCase(C) : C));
        FWild.push_back(Wild ? 1 : 0);
    }
}

bool TPacketPattern::Matches(std::size_t Index, unsigned char Byte) const
{
    if (FWild[Index])
        return true;
    const auto C = static_cast<unsigned char>(FChars[Index]);
    return (FIgnoreCase ? UpCase(Byte) : Byte) == C;
}

// ---------------------------------------------------------------------------
// TDataPacket

TDataPacket::TDataPacket(QObject* AOwner) : TBaseComponent(AOwner) {}

TDataPacket::~TDataPacket()
{
    LeaveManager();
}

template <class F> void TDataPacket::Locked(F&& Fn)
{
    if (FManager) {
        std::lock_guard<std::mutex> Guard(FManager->FMutex);
        Fn();
    } else {
        Fn();
    }
}

void TDataPacket::SetEnabled(bool Value)
{
    Locked([&] { SetEnabledLocked(Value); });
}

void TDataPacket::SetEnabledLocked(bool Value)
{
    if (Value == FEnabled.load())
        return;
    if (Value) {
        Arm();
        FEnabled.store(true);
    } else {
        Disarm();
        FEnabled.store(false);
    }
}

void TDataPacket::SetAutoEnable(bool Value)
{
    Locked([&] { FAutoEnable = Value; });
}

void TDataPacket::SetStartCond(TPacketStartCond Value)
{
    Locked([&] { FStartCond = Value; });
}

void TDataPacket::SetEndCond(TPacketEndSet Value)
{
    Locked([&] {
        const bool Was = FEnabled.load();
        SetEnabledLocked(false);
        FEndCond = Value;
        SetEnabledLocked(Was);
    });
}

void TDataPacket::SetStartString(const std::string& Value)
{
    Locked([&] { FStartString = Value; });
}

void TDataPacket::SetEndString(const std::string& Value)
{
    Locked([&] {
        const bool Was = FEnabled.load();
        SetEnabledLocked(false);
        FEndString = Value;
        SetEnabledLocked(Was);
    });
}

void TDataPacket::SetIgnoreCase(bool Value)
{
    Locked([&] { FIgnoreCase = Value; });
}

void TDataPacket::SetPacketSize(std::int32_t Value)
{
    Locked([&] { FPacketSize = Value; });
}

void TDataPacket::SetIncludeStrings(bool Value)
{
    Locked([&] { FIncludeStrings = Value; });
}

void TDataPacket::SetTimeOut(std::int32_t Value)
{
    Locked([&] { FTimeOut = Value; });
}

void TDataPacket::SetComPort(TCustomComPort* Value)
{
    if (Value == FComPort)
        return;
    LeaveManager();
    FComPort = Value;
    if (Value)
        JoinManager(Value);
}

void TDataPacket::JoinManager(TCustomComPort* Port)
{
    auto* M = TDataPacketManagerList::Obtain(Port);
    M->Attach(this);
}

void TDataPacket::LeaveManager()
{
    if (FManager)
        FManager->Detach(this);
    FManager = nullptr;
    FComPort = nullptr;
}

void TDataPacket::ResetMatch()
{
    FLocalPacketSize = FPacketSize;
    FStartPos = -1;
    FStartMatch = 1;
    FEndMatch = 1;
}

void TDataPacket::Arm()
{
    if (!FManager || !FManager->FActive) {
        ResetMatch();
        return;
    }
    if (FManager->FLocked) {
        FEnablePending = true;
        return;
    }
    // Check everything before anything changes, so that a refused arming
    // leaves the framer as it was.
    const bool BySize = FEndCond.Contains(TPacketEndCond::ecPacketSize);
    if (FStartCond == TPacketStartCond::scString) {
        if (FStartString.empty())
            throw EInvalidProperty(ecode::StartStringEmpty);
        if (BySize && FPacketSize < static_cast<std::int32_t>(
                                        TPacketPattern(FStartString, FIgnoreCase).Length()))
            throw EInvalidProperty(ecode::PacketTooSmall);
    } else if (FEndCond.Empty()) {
        throw EInvalidProperty(ecode::NoEndCondition);
    }
    if (FEndCond.Contains(TPacketEndCond::ecString) && FEndString.empty())
        throw EInvalidProperty(ecode::EndStringEmpty);
    if (BySize && FPacketSize == 0)
        throw EInvalidProperty(ecode::PacketSizeZero);

    FEnablePending = false;
    ResetMatch();
    if (FEndCond.Contains(TPacketEndCond::ecString))
        FEndPattern = TPacketPattern(FEndString, FIgnoreCase);
    if (FStartCond == TPacketStartCond::scString) {
        FStartPattern = TPacketPattern(FStartString, FIgnoreCase);
        FMode = TMode::WaitingForStart;
    } else if (FManager->FCollecting && FManager->FCollecting != this) {
        // Starts collecting with its next byte, once the other has finished.
        FMode = TMode::WaitingForStart;
    } else {
        FManager->StartCollecting(this);
    }
}

void TDataPacket::ArmOrSwitchOff()
{
    try {
        Arm();
    } catch (...) {
        FEnabled.store(false);
    }
}

void TDataPacket::Disarm()
{
    if (FMode == TMode::Idle && !FEnablePending)
        return;
    FEnablePending = false;
    if (FMode == TMode::Collecting && FManager && FManager->FCollecting == this)
        FManager->StopCollecting(this);
    FMode = TMode::Idle;
}

void TDataPacket::FallBack(const TPacketPattern& Pattern, std::int64_t From, std::int64_t Pos,
                           std::int64_t& MatchStart, std::size_t& MatchIndex)
{
    const char* Buf = FManager->FBuffer.get();
    for (std::int64_t C = std::max<std::int64_t>(From, 0); C <= Pos; ++C) {
        const auto N = static_cast<std::size_t>(Pos - C + 1);
        if (N > Pattern.Length())
            continue;
        bool All = true;
        for (std::size_t I = 0; I < N && All; ++I)
            All = Pattern.Matches(
                I, static_cast<unsigned char>(Buf[C + static_cast<std::int64_t>(I)]));
        if (All) {
            MatchStart = C;
            MatchIndex = N + 1;
            return;
        }
    }
    MatchStart = -1;
    MatchIndex = 1;
}

void TDataPacket::ProcessByte(std::int64_t Pos)
{
    if (!FEnabled.load() || !FManager || Pos >= FManager->FCount || Pos < 0)
        return;
    auto* M = FManager;
    const auto Byte = static_cast<unsigned char>(M->FBuffer[Pos]);

    if (FMode == TMode::WaitingForStart && FStartCond == TPacketStartCond::scAnyData) {
        if (M->FCollecting)
            return;
        M->StartCollecting(this);
    }

    if (FMode == TMode::WaitingForStart) {
        if (FStartPattern.Matches(FStartMatch - 1, Byte)) {
            if (FStartPos == -1)
                FStartPos = Pos;
            if (FStartMatch < FStartPattern.Length()) {
                ++FStartMatch;
                return;
            }
            const bool BySize = FEndCond.Contains(TPacketEndCond::ecPacketSize);
            if (FEndCond.Empty() ||
                (BySize && FLocalPacketSize == static_cast<std::int32_t>(FStartPattern.Length()))) {
                std::unique_lock<std::mutex>* Guard = M->FScanGuard;
                M->Deliver(*Guard, this, Pos - FStartPos + 1, false);
            } else {
                M->StartCollecting(this);
            }
        } else if (FStartPos != -1) {
            FallBack(FStartPattern, FStartPos + 1, Pos, FStartPos, FStartMatch);
        }
        return;
    }

    if (FMode != TMode::Collecting)
        return;
    if (FStartPos == -1)
        FStartPos = Pos;
    const std::int64_t Length = Pos - FStartPos + 1;
    if (FEndCond.Contains(TPacketEndCond::ecPacketSize) && Length >= FLocalPacketSize) {
        M->Deliver(*M->FScanGuard, this, Length, false);
        return;
    }
    if (!FEndCond.Contains(TPacketEndCond::ecString))
        return;
    if (FEndPattern.Matches(FEndMatch - 1, Byte)) {
        if (FEndMatch == FEndPattern.Length())
            M->Deliver(*M->FScanGuard, this, Length, true);
        else
            ++FEndMatch;
    } else if (FEndMatch != 1) {
        std::int64_t Ignored = 0;
        FallBack(FEndPattern, Pos - static_cast<std::int64_t>(FEndMatch) + 2, Pos, Ignored,
                 FEndMatch);
    }
}

} // namespace kelvalog
