#include "common/linkerror.h"

#include <cerrno>
#include <cstring>

namespace kelvalog {

namespace {

struct TCodeText
{
    int Code;
    const char* Text;
};

constexpr TCodeText CodeTexts[] = {
    {ecode::BadArgument, "Bad argument passed to function"},
    {ecode::PortNotAssigned, "ComPort component not assigned"},
    {ecode::BadId, "ie_BadId - Specified comport doesn't exist"},
    {ecode::BaudRate, "ie_Baudrate - unsupported baud rate"},
    {ecode::ByteSize, "ie_Bytesize - invalid byte size"},
    {ecode::Default, "ie_Default - error in default parameters"},
    {ecode::Hardware, "ie_Hardware - Specified comport in use"},
    {ecode::Memory, "ie_Memory - unable to allocate queues"},
    {ecode::CommNotOpen, "ie_NOpen - device not open"},
    {ecode::AlreadyOpen, "ie_Open - device already open"},
    {ecode::NoHandles, "No more handles, can't open port"},
    {ecode::NoTimers, "No timers available"},
    {ecode::NoPortSelected, "The ComNumber property of the TComPort has not been set"},
    {ecode::NotOpenedByTapi, "Comport was not opened by Tapi"},
    {ecode::NullApi, "No device layer specified"},
    {ecode::BufferIsEmpty, "Buffer is empty"},
    {ecode::NoMoreTriggers, "No more trigger slots"},
    {ecode::BadTriggerHandle, "Bad trigger handle"},
    {ecode::StartStringEmpty, "Start string is empty"},
    {ecode::PacketTooSmall, "Packet size cannot be smaller than start string"},
    {ecode::NoEndCondition, "CharCount packets must have an end-condition"},
    {ecode::EndStringEmpty, "End string is empty"},
    {ecode::PacketSizeZero, "Packet size cannot be zero"},
};

constexpr const char* GenericText = "Serial port error";

// The device layer reports failures with the numbers the port logic knows
// (2 not found, 5 access denied, ...). Their texts come from the C library's
// message for the matching errno.
int ErrnoForNumber(int Number)
{
    switch (Number) {
    case 2:
    case 3:
        return ENOENT;
    case 5:
        return EACCES;
    case 8:
        return ENOMEM;
    case 31:
        return EIO;
    case 32:
        return EBUSY;
    case 87:
        return EINVAL;
    case 160:
    case 161:
        return EIO;
    default:
        return Number;
    }
}

// Both strerror_r flavours.
[[maybe_unused]] const char* PickMessage(int Result, const char* Buffer)
{
    return Result == 0 ? Buffer : "";
}
[[maybe_unused]] const char* PickMessage(const char* Result, const char*)
{
    return Result;
}

} // namespace

std::string LinkErrorText(int Code)
{
    const int Key = Code < 0 ? Code : -Code;
    for (const auto& Entry : CodeTexts)
        if (Entry.Code == Key)
            return Entry.Text;
    return {};
}

std::string SystemErrorText(int Number)
{
    char Buffer[256] = {};
    return CleanSystemText(
        PickMessage(strerror_r(ErrnoForNumber(Number), Buffer, sizeof Buffer), Buffer));
}

std::string CleanSystemText(const std::string& Raw)
{
    std::string Clean;
    Clean.reserve(Raw.size());
    for (char C : Raw) {
        const char Ch = static_cast<unsigned char>(C) < 32 || C == 127 ? ' ' : C;
        if (Ch == ' ' && !Clean.empty() && Clean.back() == ' ')
            continue;
        Clean.push_back(Ch);
    }
    return Clean;
}

std::string LinkErrorMessage(int Code)
{
    std::string Text = LinkErrorText(Code);
    if (!Text.empty())
        return Text;
    const int Number = Code < 0 ? -Code : Code;
    if (Number >= -ecode::OsErrorFirst && Number <= -ecode::OsErrorLast)
        return SystemErrorText(Number);
    return GenericText;
}

std::exception_ptr MakeLinkException(int Code)
{
    const std::string Message = LinkErrorMessage(Code);
    switch (Code) {
    case ecode::BadArgument:
        return std::make_exception_ptr(EBadArgument());
    case ecode::PortNotAssigned:
        return std::make_exception_ptr(EPortNotAssigned());
    case ecode::BadId:
        return std::make_exception_ptr(EBadId());
    case ecode::BaudRate:
        return std::make_exception_ptr(EBaudRate());
    case ecode::ByteSize:
        return std::make_exception_ptr(EByteSize());
    case ecode::Default:
        return std::make_exception_ptr(EDefault());
    case ecode::Hardware:
        return std::make_exception_ptr(EHardware());
    case ecode::Memory:
        return std::make_exception_ptr(EMemory());
    case ecode::CommNotOpen:
        return std::make_exception_ptr(ECommNotOpen());
    case ecode::AlreadyOpen:
        return std::make_exception_ptr(EAlreadyOpen());
    case ecode::NoHandles:
        return std::make_exception_ptr(ENoHandles());
    case ecode::NoTimers:
        return std::make_exception_ptr(ENoTimers());
    case ecode::NoPortSelected:
        return std::make_exception_ptr(ENoPortSelected());
    case ecode::NotOpenedByTapi:
        return std::make_exception_ptr(ENotOpenedByTapi());
    case ecode::NullApi:
        return std::make_exception_ptr(ENullApi());
    case ecode::BufferIsEmpty:
        return std::make_exception_ptr(EBufferIsEmpty());
    case ecode::NoMoreTriggers:
        return std::make_exception_ptr(ENoMoreTriggers());
    case ecode::BadTriggerHandle:
        return std::make_exception_ptr(EBadTriggerHandle());
    case ecode::StartStringEmpty:
    case ecode::PacketTooSmall:
    case ecode::NoEndCondition:
    case ecode::EndStringEmpty:
    case ecode::PacketSizeZero:
        return std::make_exception_ptr(EInvalidProperty(Code));
    default:
        break;
    }
    if (Code == ecode::OutOfMemory)
        return std::make_exception_ptr(EOutOfMemory());
    if (Code <= ecode::OsErrorFirst && Code >= ecode::OsErrorLast)
        return std::make_exception_ptr(EInOutError(Message, -Code));
    return std::make_exception_ptr(ELinkException(GenericText, 0));
}

void RaiseLinkError(int Code)
{
    std::rethrow_exception(MakeLinkException(Code));
}

void RaiseLinkError(int Code, const std::string& Detail)
{
    try {
        RaiseLinkError(Code);
    } catch (ELinkException& E) {
        E.SetDetail(Detail);
        throw;
    }
}

} // namespace kelvalog
