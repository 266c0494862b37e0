#include "common/datetimetext.h"
#include "common/numbertext.h"
#include "common/serialdate.h"

#include <gtest/gtest.h>

using namespace kelvalog;

namespace {

TLocalDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    return TLocalDateTime{y, mo, d, h, mi, s, ms};
}

TLocaleFacts Dutch()
{
    TLocaleFacts f;
    f.DecimalSeparator = ',';
    f.ShortDatePattern = "d-M-yyyy";
    f.TwentyFourHourClock = true;
    f.LeadingZeroInHour = true;
    return f;
}

} // namespace

TEST(SerialDate, DaysSinceTheEpochAndTimeOfDay)
{
    EXPECT_EQ(SerialDate(At(1899, 12, 30)), 0.0);
    EXPECT_EQ(SerialDate(At(1900, 1, 1)), 2.0);
    EXPECT_EQ(SerialDate(At(1900, 3, 1)), 61.0);
    EXPECT_EQ(SerialDate(At(2000, 2, 29)), 36585.0);
    EXPECT_EQ(SerialDate(At(2024, 12, 8)), 45634.0);
    EXPECT_EQ(SerialDate(At(1899, 12, 29)), -1.0);
    EXPECT_EQ(SerialDate(At(2024, 12, 8, 12)), 45634.5);
    EXPECT_EQ(FormatGeneral(SerialDate(At(2024, 12, 8, 14, 3, 7)), '.'), "45634.5854976852");
    // The millisecond reaches the text.
    EXPECT_EQ(FormatGeneral(SerialDate(At(2024, 12, 8, 0, 0, 0, 1)), '.'), "45634.0000000116");
    EXPECT_EQ(FormatGeneral(SerialDate(At(2024, 12, 8, 23, 59, 59, 999)), '.'), "45634.9999999884");
}

TEST(DateTimeText, ShortDatePictures)
{
    TLocaleFacts f;
    const auto dt = At(2024, 3, 5, 14, 3, 7);
    f.ShortDatePattern = "M/d/yyyy";
    EXPECT_EQ(FormatShortDate(dt, f), "3/5/2024");
    f.ShortDatePattern = "dd.MM.yy";
    EXPECT_EQ(FormatShortDate(dt, f), "05.03.24");
    f.ShortDatePattern = "yyyy-MM-dd";
    EXPECT_EQ(FormatShortDate(dt, f), "2024-03-05");
    f.ShortDatePattern = "ddd d MMM yyyy";
    EXPECT_EQ(FormatShortDate(dt, f), "Tue 5 Mar 2024");
    f.ShortDatePattern = "dddd, MMMM d";
    EXPECT_EQ(FormatShortDate(dt, f), "Tuesday, March 5");
    f.ShortDatePattern = "d 'de' MMMM 'y''s'";
    EXPECT_EQ(FormatShortDate(dt, f), "5 de March y's");
    f.ShortDatePattern = "yy/M/d 'open";
    EXPECT_EQ(FormatShortDate(At(2005, 1, 9), f), "05/1/9 open");
}

TEST(DateTimeText, ExampleRecordUnderBothLocales)
{
    const auto dt = At(2024, 12, 8, 14, 3, 7, 512);
    EXPECT_EQ(FormatDateTime(dt, Dutch()), "8-12-2024 14:03:07");
    EXPECT_EQ(FormatDateTime(dt, TLocaleFacts{}), "12/8/2024 2:03:07 PM");
}

TEST(DateTimeText, TwelveHourClockAndDesignators)
{
    TLocaleFacts f;
    EXPECT_EQ(FormatTimeOfDay(At(2024, 1, 1, 0, 5, 0), f), "12:05:00 AM");
    EXPECT_EQ(FormatTimeOfDay(At(2024, 1, 1, 11, 59, 59), f), "11:59:59 AM");
    EXPECT_EQ(FormatTimeOfDay(At(2024, 1, 1, 12, 0, 0), f), "12:00:00 PM");
    EXPECT_EQ(FormatTimeOfDay(At(2024, 1, 1, 9, 1, 2), f), "9:01:02 AM");
    f.LeadingZeroInHour = true;
    f.DesignatorBeforeTime = true;
    f.AmDesignator = "午前";
    f.PmDesignator = "午後";
    f.TimeSeparator = ".";
    EXPECT_EQ(FormatTimeOfDay(At(2024, 1, 1, 21, 1, 2), f), "午後 09.01.02");
    EXPECT_EQ(FormatTimeOfDay(At(2024, 1, 1, 9, 1, 2), f), "午前 09.01.02");
    f.TwentyFourHourClock = true;
    EXPECT_EQ(FormatTimeOfDay(At(2024, 1, 1, 21, 1, 2), f), "21.01.02");
    f.LeadingZeroInHour = false;
    EXPECT_EQ(FormatTimeOfDay(At(2024, 1, 1, 0, 0, 1), f), "0.00.01");
}

TEST(DateTimeText, MidnightToTheSecondShowsOnlyTheDate)
{
    EXPECT_EQ(FormatDateTime(At(2024, 12, 8, 0, 0, 0, 999), Dutch()), "8-12-2024");
    EXPECT_EQ(FormatDateTime(At(2024, 12, 8, 0, 0, 1), Dutch()), "8-12-2024 00:00:01");
    EXPECT_EQ(FormatDateTime(At(2024, 12, 8, 0, 1, 0), TLocaleFacts{}), "12/8/2024 12:01:00 AM");
}
