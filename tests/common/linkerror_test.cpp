#include "common/linkerror.h"
#include "common/tickclock.h"

#include <gtest/gtest.h>

using namespace kelvalog;

namespace {
template <class E> E Caught(int Code)
{
    try {
        RaiseLinkError(Code);
    } catch (const E& Error) {
        return Error;
    } catch (...) {
        ADD_FAILURE() << "code " << Code << " raised another class";
    }
    throw std::logic_error("unreachable");
}
} // namespace

TEST(LinkErrors, CodesRaiseTheirClassesWithTheirTexts)
{
    const auto Missing = Caught<EBadId>(ecode::BadId);
    EXPECT_THROW(RaiseLinkError(ecode::BadId), EOpenComm);
    EXPECT_STREQ(Missing.what(), "ie_BadId - Specified comport doesn't exist");
    EXPECT_EQ(Missing.ErrorCode(), -2001);

    EXPECT_STREQ(Caught<EAlreadyOpen>(ecode::AlreadyOpen).what(), "ie_Open - device already open");
    EXPECT_STREQ(Caught<ENoPortSelected>(ecode::NoPortSelected).what(),
                 "The ComNumber property of the TComPort has not been set");
    EXPECT_STREQ(Caught<ECommNotOpen>(ecode::CommNotOpen).what(), "ie_NOpen - device not open");
    EXPECT_STREQ(Caught<EBadArgument>(ecode::BadArgument).what(),
                 "Bad argument passed to function");
    EXPECT_STREQ(Caught<EBufferIsEmpty>(ecode::BufferIsEmpty).what(), "Buffer is empty");
    const auto Trigger = Caught<ETrigger>(ecode::BadTriggerHandle);
    EXPECT_STREQ(Trigger.what(), "Bad trigger handle");
    EXPECT_STREQ(Caught<ENoMoreTriggers>(ecode::NoMoreTriggers).what(), "No more trigger slots");
    const auto Packet = Caught<EInvalidProperty>(-5502);
    EXPECT_STREQ(Packet.what(), "Packet size cannot be smaller than start string");
    EXPECT_EQ(Packet.ErrorCode(), -5502);
    EXPECT_STREQ(Caught<EInvalidProperty>(-5505).what(), "Packet size cannot be zero");

    // Only the opening family is caught by the window's opening handler.
    EXPECT_THROW(RaiseLinkError(ecode::NullApi), ESerialIO);
    EXPECT_THROW(RaiseLinkError(ecode::PortNotAssigned), EGeneral);
    try {
        RaiseLinkError(ecode::NullApi);
    } catch (const EOpenComm&) {
        ADD_FAILURE() << "ENullApi is not an opening failure";
    } catch (const ELinkException&) {
    }
}

TEST(LinkErrors, SystemNumbersUnknownCodesAndResults)
{
    const auto Sharing = Caught<EInOutError>(-32);
    EXPECT_EQ(Sharing.ErrorCode(), 32);
    EXPECT_FALSE(std::string(Sharing.what()).empty());
    EXPECT_EQ(Caught<EInOutError>(-161).ErrorCode(), 161);
    EXPECT_EQ(Caught<EInOutError>(-2).ErrorCode(), 2);
    EXPECT_THROW(RaiseLinkError(ecode::OutOfMemory), EOutOfMemory);

    for (int Code : {-1, -163, -9999, -2013}) {
        const auto Generic = Caught<ELinkException>(Code);
        EXPECT_EQ(Generic.ErrorCode(), 0) << Code;
        EXPECT_FALSE(std::string(Generic.what()).empty());
    }
    EXPECT_EQ(CheckLinkResult(0), 0);
    EXPECT_EQ(CheckLinkResult(7), 7);

    EXPECT_EQ(CleanSystemText("Access is denied.\r\n"), "Access is denied. ");
    EXPECT_EQ(CleanSystemText("a\t\tb  c"), "a b c");
    for (int Number = 2; Number <= 162; ++Number) {
        const std::string Text = SystemErrorText(Number);
        EXPECT_EQ(Text.find("  "), std::string::npos) << Number;
        for (char C : Text)
            EXPECT_GE(static_cast<unsigned char>(C), 32) << Number;
    }
}

TEST(TickClock, TicksAreMillisecondsBy55AndSpanTheWrap)
{
    TManualTickClock Clock(54);
    EXPECT_EQ(Clock.Ticks(), 0u);
    Clock.SetMilliseconds(55);
    EXPECT_EQ(Clock.Ticks(), 1u);
    Clock.SetMilliseconds(0xFFFFFFFFu);
    EXPECT_EQ(Clock.Ticks(), TickPeriod - 1);
    EXPECT_EQ(TicksBetween(10, 13), 3u);
    EXPECT_EQ(TicksBetween(TickPeriod - 2, 1), 3u);

    SetTickClock(&Clock);
    EXPECT_EQ(CurrentTick(), TickPeriod - 1);
    SetTickClock(nullptr);
    EXPECT_NE(&TickClock(), static_cast<const TTickClock*>(&Clock));
}
