#include "controls/picturemask.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

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
