#include "controls/picturemask.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

using namespace kelvalog;

TEST(PictureMask, LayoutFollowsFromTheMask)
{
    const TPictureMask display("###.##");
    EXPECT_EQ(display.Width(), 6);
    EXPECT_EQ(display.Decimals(), 2);
    EXPECT_EQ(display.IntegerPositions(), 3);
    const TPictureMask pressure("#####");
    EXPECT_EQ(pressure.Width(), 5);
    EXPECT_EQ(pressure.Decimals(), 0);
    EXPECT_EQ(pressure.IntegerPositions(), 5);
    EXPECT_EQ(TPictureMask("9999999999").Width(), 10);
    EXPECT_EQ(TPictureMask("iiiiiiiiiii").Width(), 11);
}

TEST(PictureMask, MaskCharacterDecidesWhatIsTyped)
{
    const TPictureMask nine("9999999999");
    EXPECT_TRUE(nine.Admits('7'));
    EXPECT_FALSE(nine.Admits('-'));
    EXPECT_FALSE(nine.Admits(' '));
    const TPictureMask eye("iiiiiiiiiii");
    EXPECT_TRUE(eye.Admits('-'));
    EXPECT_FALSE(eye.Admits('.'));
    EXPECT_FALSE(eye.Admits('+'));
    EXPECT_TRUE(TPictureMask("###.##").Admits('.'));
}

TEST(PictureMask, FloatTextRoundsAndPlacesDigits)
{
    const TPictureMask m("###.##");
    EXPECT_EQ(m.FloatText(-5.2, '.'), "-5.20");
    EXPECT_EQ(m.FloatText(0.5, '.'), "0.50");
    EXPECT_EQ(m.FloatText(0.125, '.'), "0.13"); // exact tie: away from zero
    EXPECT_EQ(m.FloatText(-0.125, '.'), "-0.13");
    // 2.675 stored as a float lies just below the halfway point.
    EXPECT_EQ(m.FloatText(2.675, '.'), "2.67");
    EXPECT_EQ(m.FloatText(99.999, '.'), "100.00");
    EXPECT_EQ(m.FloatText(-99.99, '.'), "-99.99");
    EXPECT_EQ(m.FloatText(0.0, '.'), "0.00");
    EXPECT_EQ(m.FloatText(-0.001, '.'), "0.00"); // no sign on a rounded zero
    EXPECT_EQ(m.FloatText(21.46, ','), "21,46");
}

// The texts must not follow the process locale, which a Qt program takes
// from the environment: under a comma locale a search for "." finds nothing.
TEST(PictureMask, FloatTextIgnoresTheProcessLocale)
{
    const std::string before = std::setlocale(LC_ALL, nullptr);
    bool comma = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "nl_NL.UTF-8"}) {
        if (std::setlocale(LC_ALL, name) != nullptr) {
            comma = true;
            break;
        }
    }
    const TPictureMask m("###.##");
    const TPictureMask p("#####");
    const std::string dotted = m.FloatText(30.03, '.');
    const std::string commaed = m.FloatText(23.2, ',');
    const std::string pressure = p.FloatText(1003.4, ',');
    const std::string tie = m.FloatText(-0.125, ',');
    std::setlocale(LC_ALL, before.c_str());
    if (!comma)
        GTEST_SKIP() << "no comma locale installed (scripts/test.sh makes de_DE.UTF-8)";
    EXPECT_EQ(dotted, "30.03");
    EXPECT_EQ(commaed, "23,20");
    EXPECT_EQ(pressure, "1003");
    EXPECT_EQ(tie, "-0,13");
}

TEST(PictureMask, RoundingUsesTheExactStoredValue)
{
    // Halfway points and values a hair either side of them, large and tiny.
    EXPECT_EQ(RoundedFixed(1.005, 2).Fraction, "00"); // 1.00499999999999989...
    EXPECT_EQ(RoundedFixed(0.375, 2).Fraction, "38");
    EXPECT_EQ(RoundedFixed(1e-300, 2).Integer, "0");
    EXPECT_FALSE(RoundedFixed(-1e-300, 2).Negative);
    const TFixedText huge = RoundedFixed(1e300, 0);
    EXPECT_EQ(huge.Integer.size(), 301U);
    EXPECT_EQ(huge.Integer.substr(0, 4), "1000");
    EXPECT_EQ(RoundedFixed(3.4028234663852886e38, 0).Integer,
              "340282346638528859811704183484516925440");
}

TEST(PictureMask, TooWideValuesLoseLeadingDigitsAndSign)
{
    const TPictureMask m("###.##");
    EXPECT_EQ(m.FloatText(1234.5, '.'), "234.50");
    EXPECT_EQ(m.FloatText(-123.4, '.'), "123.40");
    EXPECT_EQ(m.FloatText(-12.25, '.'), "-12.25");
    EXPECT_EQ(m.FloatText(3.4e38, '.').size(), 6U);
    const TPictureMask p("#####");
    EXPECT_EQ(p.FloatText(998.6, '.'), "999");
    EXPECT_EQ(p.FloatText(12.5, '.'), "13");
    EXPECT_EQ(p.FloatText(-12.5, '.'), "-13");
    EXPECT_EQ(p.FloatText(123456.0, '.'), "23456");
    EXPECT_EQ(p.FloatText(-99999.0, '.'), "99999");
}

TEST(PictureMask, NonFiniteShowsNothing)
{
    const TPictureMask m("###.##");
    EXPECT_EQ(m.FloatText(std::numeric_limits<double>::quiet_NaN(), '.'), "");
    EXPECT_EQ(m.FloatText(1e39, '.'), ""); // beyond the float range
}

TEST(PictureMask, IntegerText)
{
    const TPictureMask eye("iiiiiiiiiii");
    EXPECT_EQ(eye.IntegerText(0), "0");
    EXPECT_EQ(eye.IntegerText(-2147483648LL), "-2147483648");
    EXPECT_EQ(eye.IntegerText(2147483647), "2147483647");
    const TPictureMask nine("9999999999");
    EXPECT_EQ(nine.IntegerText(-2147483648LL), "2147483648");
    EXPECT_EQ(nine.IntegerText(-5), "-5");
    EXPECT_EQ(TPictureMask("999").IntegerText(12345), "345");
}

TEST(PictureMask, ReadIntegerContent)
{
    std::int32_t v = 99;
    EXPECT_TRUE(ReadIntegerContent("", v));
    EXPECT_EQ(v, 0);
    EXPECT_TRUE(ReadIntegerContent("-0", v));
    EXPECT_EQ(v, 0);
    EXPECT_TRUE(ReadIntegerContent("-2147483648", v));
    EXPECT_EQ(v, std::numeric_limits<std::int32_t>::min());
    EXPECT_TRUE(ReadIntegerContent("2147483647", v));
    EXPECT_EQ(v, std::numeric_limits<std::int32_t>::max());
    EXPECT_FALSE(ReadIntegerContent("2147483648", v));
    EXPECT_FALSE(ReadIntegerContent("99999999999", v));
    EXPECT_FALSE(ReadIntegerContent("-", v));
    EXPECT_FALSE(ReadIntegerContent("1-2", v));
    EXPECT_FALSE(ReadIntegerContent("1.5", v));
}
