#pragma once

#include <exception>
#include <stdexcept>
#include <string>

namespace kelvalog {

// Result codes of the serial layer: 0 and positive values are results,
// negative values are errors. Codes from -2 to -162 are operating-system error
// numbers of the device layer (see SystemErrorText).
namespace ecode {
// The range of operating-system error numbers, OsErrorFirst down to OsErrorLast.
inline constexpr int OsErrorFirst = -2;
inline constexpr int OsErrorLast = -162;

inline constexpr int FileNotFound = -2;
inline constexpr int PathNotFound = -3;
inline constexpr int AccessDenied = -5;
inline constexpr int OutOfMemory = -8;
inline constexpr int GeneralFailure = -31;
inline constexpr int SharingViolation = -32;
inline constexpr int InvalidParameter = -87;
inline constexpr int WriteThreadFailed = -160;
inline constexpr int ReadThreadFailed = -161;

inline constexpr int BadArgument = -1002;
inline constexpr int PortNotAssigned = -1005;

inline constexpr int BadId = -2001;
inline constexpr int BaudRate = -2002;
inline constexpr int ByteSize = -2003;
inline constexpr int Default = -2004;
inline constexpr int Hardware = -2005;
inline constexpr int Memory = -2006;
inline constexpr int CommNotOpen = -2007;
inline constexpr int AlreadyOpen = -2008;
inline constexpr int NoHandles = -2009;
inline constexpr int NoTimers = -2010;
inline constexpr int NoPortSelected = -2011;
inline constexpr int NotOpenedByTapi = -2012;

inline constexpr int NullApi = -3001;
inline constexpr int BufferIsEmpty = -3007;

inline constexpr int NoMoreTriggers = -5001;
inline constexpr int BadTriggerHandle = -5003;

inline constexpr int StartStringEmpty = -5501;
inline constexpr int PacketTooSmall = -5502;
inline constexpr int NoEndCondition = -5503;
inline constexpr int EndStringEmpty = -5504;
inline constexpr int PacketSizeZero = -5505;

inline constexpr int ReadBufferAllocation = -13868;
} // namespace ecode

// The text stored for a code of the serial layer, or empty when the code has
// none (operating-system numbers and unknown codes).
std::string LinkErrorText(int Code);

// The operating system's message for an error number of the device layer, with
// control characters replaced by spaces and double spaces reduced to one.
std::string SystemErrorText(int Number);

// Text with every control character replaced by a space and every double
// space reduced to one.
std::string CleanSystemText(const std::string& Raw);

// The message an exception for Code would carry.
std::string LinkErrorMessage(int Code);

// Base of the serial layer's own exceptions; carries the code.
class ELinkException : public std::runtime_error
{
public:
    ELinkException(const std::string& Message, int Code) : std::runtime_error(Message), FCode(Code)
    {
    }
    int ErrorCode() const noexcept { return FCode; }
    // What the user can do about it, beyond the message (the device and the
    // cause of a failed opening); empty when there is nothing to add.
    const std::string& Detail() const noexcept { return FDetail; }
    void SetDetail(std::string Detail) { FDetail = std::move(Detail); }

private:
    int FCode;
    std::string FDetail;
};

#define KELVALOG_LINK_FAMILY(Name, Base)                                                           \
    class Name : public Base                                                                       \
    {                                                                                              \
    public:                                                                                        \
        Name(const std::string& Message, int Code) : Base(Message, Code) {}                        \
    };

#define KELVALOG_LINK_ERROR(Name, Base, CodeValue)                                                 \
    class Name : public Base                                                                       \
    {                                                                                              \
    public:                                                                                        \
        static constexpr int Code = CodeValue;                                                     \
        Name() : Base(LinkErrorMessage(CodeValue), CodeValue) {}                                   \
        Name(const std::string& Message, int Code) : Base(Message, Code) {}                        \
    };

KELVALOG_LINK_FAMILY(EGeneral, ELinkException)
KELVALOG_LINK_FAMILY(EOpenComm, ELinkException)
KELVALOG_LINK_FAMILY(ESerialIO, ELinkException)
KELVALOG_LINK_FAMILY(ETrigger, ELinkException)
KELVALOG_LINK_FAMILY(EPacket, ELinkException)

KELVALOG_LINK_ERROR(EBadArgument, EGeneral, ecode::BadArgument)
KELVALOG_LINK_ERROR(EPortNotAssigned, EGeneral, ecode::PortNotAssigned)

KELVALOG_LINK_ERROR(EBadId, EOpenComm, ecode::BadId)
KELVALOG_LINK_ERROR(EBaudRate, EOpenComm, ecode::BaudRate)
KELVALOG_LINK_ERROR(EByteSize, EOpenComm, ecode::ByteSize)
KELVALOG_LINK_ERROR(EDefault, EOpenComm, ecode::Default)
KELVALOG_LINK_ERROR(EHardware, EOpenComm, ecode::Hardware)
KELVALOG_LINK_ERROR(EMemory, EOpenComm, ecode::Memory)
KELVALOG_LINK_ERROR(ECommNotOpen, EOpenComm, ecode::CommNotOpen)
KELVALOG_LINK_ERROR(EAlreadyOpen, EOpenComm, ecode::AlreadyOpen)
KELVALOG_LINK_ERROR(ENoHandles, EOpenComm, ecode::NoHandles)
KELVALOG_LINK_ERROR(ENoTimers, EOpenComm, ecode::NoTimers)
KELVALOG_LINK_ERROR(ENoPortSelected, EOpenComm, ecode::NoPortSelected)
KELVALOG_LINK_ERROR(ENotOpenedByTapi, EOpenComm, ecode::NotOpenedByTapi)

KELVALOG_LINK_ERROR(ENullApi, ESerialIO, ecode::NullApi)
KELVALOG_LINK_ERROR(EBufferIsEmpty, ESerialIO, ecode::BufferIsEmpty)

KELVALOG_LINK_ERROR(ENoMoreTriggers, ETrigger, ecode::NoMoreTriggers)
KELVALOG_LINK_ERROR(EBadTriggerHandle, ETrigger, ecode::BadTriggerHandle)

// -5501 to -5505, the framer's arming errors.
class EInvalidProperty : public EPacket
{
public:
    explicit EInvalidProperty(int Code) : EPacket(LinkErrorMessage(Code), Code) {}
};

#undef KELVALOG_LINK_ERROR
#undef KELVALOG_LINK_FAMILY

// The general input/output error for an operating-system error number (not part
// of the serial layer's family). ErrorCode() is the positive number.
class EInOutError : public std::runtime_error
{
public:
    EInOutError(const std::string& Message, int Code) : std::runtime_error(Message), FCode(Code) {}
    int ErrorCode() const noexcept { return FCode; }

private:
    int FCode;
};

// The general out-of-memory error (code -8).
class EOutOfMemory : public std::runtime_error
{
public:
    EOutOfMemory() : std::runtime_error("Out of memory") {}
};

// The exception that belongs to a negative code: the class of the table, or
// EInOutError for -2 .. -162 (EOutOfMemory for -8), or ELinkException with a
// generic text and code 0 for anything else.
std::exception_ptr MakeLinkException(int Code);
[[noreturn]] void RaiseLinkError(int Code);
// The same, with Detail attached when the exception is one of the layer's own.
[[noreturn]] void RaiseLinkError(int Code, const std::string& Detail);

// Returns Code when it is not negative, raises its exception otherwise.
inline int CheckLinkResult(int Code)
{
    if (Code < 0)
        RaiseLinkError(Code);
    return Code;
}

} // namespace kelvalog
