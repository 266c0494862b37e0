#include "common/numbertext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace kelvalog;

TEST(TwoDecimals, RoundsHalvesAwayFromZeroOnTheEighteenDigitForm)
{
    // 0.125 and 2.675 as floats: the first is exact, the second lies below
    // its decimal text in binary and must not be rounded up.
    EXPECT_EQ(FormatTwoDecimals(0.125, '.'), "0.13");
    EXPECT_EQ(FormatTwoDecimals(-0.125, '.'), "-0.13");
    EXPECT_EQ(FormatTwoDecimals(static_cast<float>(2.675), '.'), "2.67");
    EXPECT_EQ(FormatTwoDecimals(static_cast<float>(998.245), '.'), "998.24");
    EXPECT_EQ(FormatTwoDecimals(998.245, '.'), "998.25");
    EXPECT_EQ(FormatTwoDecimals(21.125f, '.'), "21.13");
    EXPECT_EQ(FormatTwoDecimals(-3.375f, '.'), "-3.38");
    EXPECT_EQ(FormatTwoDecimals(-1022.625f, ','), "-1022,63");
    // 1.005 as a double is 1.00499999999999989...; at 18 digits still below half.
    EXPECT_EQ(FormatTwoDecimals(1.005, '.'), "1.00");
    // 0.285 as a double is 0.284999999999999975575...: the 18-digit form
    // 0.284999999999999976 stays below the half as well.
    EXPECT_EQ(FormatTwoDecimals(0.285, '.'), "0.28");
}

TEST(TwoDecimals, PlainValuesCarriesAndZero)
{
    EXPECT_EQ(FormatTwoDecimals(7, '.'), "7.00");
    EXPECT_EQ(FormatTwoDecimals(static_cast<float>(998.2), '.'), "998.20");
    EXPECT_EQ(FormatTwoDecimals(static_cast<float>(-3.1), '.'), "-3.10");
    EXPECT_EQ(FormatTwoDecimals(0.07, '.'), "0.07");
    EXPECT_EQ(FormatTwoDecimals(9.995, '.'), "9.99"); // 9.99499999999999922...
    EXPECT_EQ(FormatTwoDecimals(9.999, '.'), "10.00");
    EXPECT_EQ(FormatTwoDecimals(-99.999, '.'), "-100.00");
    EXPECT_EQ(FormatTwoDecimals(1e20, '.'), "100000000000000000000.00");
    EXPECT_EQ(FormatTwoDecimals(123456789012.345678, '.'), "123456789012.35");
    // Nothing left after rounding: no minus sign.
    EXPECT_EQ(FormatTwoDecimals(0.0, '.'), "0.00");
    EXPECT_EQ(FormatTwoDecimals(-0.0, '.'), "0.00");
    EXPECT_EQ(FormatTwoDecimals(-0.004, '.'), "0.00");
    EXPECT_EQ(FormatTwoDecimals(-1e-30, '.'), "0.00");
    EXPECT_EQ(FormatTwoDecimals(-0.005, '.'), "-0.01");
    EXPECT_EQ(FormatTwoDecimals(std::numeric_limits<double>::denorm_min(), '.'), "0.00");
    // The separator is the caller's, and nothing else changes with it.
    EXPECT_EQ(FormatTwoDecimals(-1234.5, ','), "-1234,50");
    EXPECT_EQ(FormatTwoDecimals(std::nan(""), '.'), "NAN");
    EXPECT_EQ(FormatTwoDecimals(-HUGE_VAL, '.'), "-INF");
}

TEST(General, FixedNotationWithFifteenDigits)
{
    EXPECT_EQ(FormatGeneral(0, '.'), "0");
    EXPECT_EQ(FormatGeneral(-0.0, '.'), "0");
    EXPECT_EQ(FormatGeneral(1, '.'), "1");
    EXPECT_EQ(FormatGeneral(-1.5, ','), "-1,5");
    EXPECT_EQ(FormatGeneral(45634, '.'), "45634");
    EXPECT_EQ(FormatGeneral(0.1 + 0.2, '.'), "0.3");
    EXPECT_EQ(FormatGeneral(1.0 / 3.0, '.'), "0.333333333333333");
    // 14:03:07 on 8 December 2024.
    EXPECT_EQ(FormatGeneral(45634 + 50587.0 / 86400.0, '.'), "45634.5854976852");
    EXPECT_EQ(FormatGeneral(123456789012345.0, '.'), "123456789012345");
    EXPECT_EQ(FormatGeneral(12345678901234.56, '.'), "12345678901234.6");
    EXPECT_EQ(FormatGeneral(0.000123456789012345678, '.'), "0.000123456789012346");
    EXPECT_EQ(FormatGeneral(0.0001, '.'), "0.0001");
    // Halves of the 15th digit go away from zero.
    EXPECT_EQ(FormatGeneral(1.000000000000005, '.'), "1.00000000000001");
    EXPECT_EQ(FormatGeneral(0.9999999999999999, '.'), "1");
}

TEST(General, ExponentNotationOutsidePlainRange)
{
    EXPECT_EQ(FormatGeneral(1e15, '.'), "1E15");
    EXPECT_EQ(FormatGeneral(-2.5e20, ','), "-2,5E20");
    EXPECT_EQ(FormatGeneral(0.00009, '.'), "9E-5");
    EXPECT_EQ(FormatGeneral(1.5e-5, '.'), "1.5E-5");
    EXPECT_EQ(FormatGeneral(1.7976931348623157e308, '.'), "1.79769313486232E308");
    EXPECT_EQ(FormatGeneral(std::numeric_limits<double>::denorm_min(), '.'),
              "4.94065645841247E-324");
    // Rounding decides the notation: these reach the limits only when rounded.
    EXPECT_EQ(FormatGeneral(999999999999999.9, '.'), "1E15");
    EXPECT_EQ(FormatGeneral(0.00009999999999999999, '.'), "0.0001");
}

TEST(ParseDecimal, AcceptsTheDecimalGrammar)
{
    EXPECT_EQ(ParseDecimal("1", '.'), 1.0);
    EXPECT_EQ(ParseDecimal("  -1.5  ", '.'), -1.5);
    EXPECT_EQ(ParseDecimal("+2,25", ','), 2.25);
    EXPECT_EQ(ParseDecimal(".5", '.'), 0.5);
    EXPECT_EQ(ParseDecimal("5.", '.'), 5.0);
    EXPECT_EQ(ParseDecimal("1e3", '.'), 1000.0);
    EXPECT_EQ(ParseDecimal("1,5E-2", ','), 0.015);
    EXPECT_EQ(ParseDecimal("2E+2", '.'), 200.0);
    EXPECT_EQ(ParseDecimal("000000000000000000000000000012", '.'), 12.0);
    EXPECT_EQ(ParseDecimal("1e-400", '.'), 0.0);
    EXPECT_EQ(ParseDecimal("0e99999999999999999999", '.'), 0.0);
}

TEST(ParseDecimal, RefusesEverythingElse)
{
    for (const char* text : {"",    " ",   "-",     "+",     ".",      "1.5.",  "1..5",  "1e",
                             "1e+", "e5",  "--1",   "+-1",   "1 2",    "\t1",   "1\t",   "0x10",
                             "inf", "nan", "1e5.0", "1e999", "-1e309", "1'000", "1 000", "1,5"}) {
        EXPECT_FALSE(ParseDecimal(text, '.').has_value()) << '"' << text << '"';
    }
    for (const char* text : {"1.5", "1,5,0", "1,5e", ",", "1,,5"}) {
        EXPECT_FALSE(ParseDecimal(text, ',').has_value()) << '"' << text << '"';
    }
    // Rounded to 15 digits, the largest double lies beyond the range.
    EXPECT_FALSE(ParseDecimal(FormatGeneral(1.7976931348623157e308, '.'), '.').has_value());
}
