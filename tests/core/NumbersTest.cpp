// Number formatting and parsing.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "core/Errors.h"
#include "core/Numbers.h"

namespace {

class Numbers : public ::testing::Test {
protected:
    void SetUp() override { SetDecimalSeparator('.'); }
    void TearDown() override { SetDecimalSeparator('.'); }
};

TEST_F(Numbers, FormatSigWorkedExamples)
{
    EXPECT_EQ(FormatSig(3, 1.23456), "1.235");
    EXPECT_EQ(FormatSig(3, 12.3456), "12.35");
    EXPECT_EQ(FormatSig(3, 123.456), "123.5");
    EXPECT_EQ(FormatSig(3, 1234.56), "1235");
    EXPECT_EQ(FormatSig(3, 12345.6), "1.235E4");
    EXPECT_EQ(FormatSig(3, 0.123456), "0.123");
    EXPECT_EQ(FormatSig(3, 0.0123456), "0.0123");
    EXPECT_EQ(FormatSig(3, 0.0000123), "0.0000123");
    EXPECT_EQ(FormatSig(3, 0.00000123), "1.23E-6");
    EXPECT_EQ(FormatSig(3, 0.0), "0");
    EXPECT_EQ(FormatSig(3, 12345), "1.235E4");
    EXPECT_EQ(FormatSig(3, 100000), "1.00E+5");
}

TEST_F(Numbers, FormatSigSignsDigitsAndBoundaries)
{
    EXPECT_EQ(FormatSig(3, -1.23456), "-1.235");
    EXPECT_EQ(FormatSig(3, -0.0123456), "-0.0123");
    EXPECT_EQ(FormatSig(3, -12345.6), "-1.235E4");
    EXPECT_EQ(FormatSig(3, -0.00000123), "-1.23E-6");
    EXPECT_EQ(FormatSig(3, -100000), "-1.00E+5");
    EXPECT_EQ(FormatSig(3, 123456), "1.23E+5");
    EXPECT_EQ(FormatSig(4, 1.23456), "1.2350");  // fixed(4, 4): four significant digits, padded
    EXPECT_EQ(FormatSig(5, 0.5), "0.50000");     // trunc(log10 0.5) is 0
    EXPECT_EQ(FormatSig(3, 0.05), "0.0500");     // trunc(log10 0.05) is -1
    // 0.1 and 0.01 as binary values lie just above the power of ten: trunc(log10) 0, -1
    EXPECT_EQ(FormatSig(3, 0.1), "0.100");
    EXPECT_EQ(FormatSig(3, 0.01), "0.0100");
    EXPECT_EQ(FormatSig(3, 9.99e-6), "9.99E-6");  // exponent -5
    // rounding that carries into the next digit
    EXPECT_EQ(FormatSig(3, 9.9996), "10.000");
    EXPECT_EQ(FormatSig(3, -9.9996), "-10.000");
    // rounded up to five integer digits: the general form
    EXPECT_EQ(FormatSig(3, 9999.7), "1E4");
    EXPECT_EQ(FormatSig(3, 99999), "1E5");
    // exactly half a unit goes away from zero
    EXPECT_EQ(FormatSig(3, 1234.5), "1235");
    EXPECT_EQ(FormatSig(3, -1234.5), "-1235");
    SetDecimalSeparator(',');
    EXPECT_EQ(FormatSig(3, 1.23456), "1,235");
    EXPECT_EQ(FormatSig(3, 0.00000123), "1,23E-6");
    EXPECT_EQ(FormatSig(3, 12345.6), "1,235E4");
}

TEST_F(Numbers, FixedRoundsOnceAtTheCoarserLimit)
{
    EXPECT_EQ(FormatFixed(1.23456, 4, 3), "1.235");
    EXPECT_EQ(FormatFixed(1.5, 4, 2), "1.50");  // padding zeros
    EXPECT_EQ(FormatFixed(123.456, 3, 3), "123.000");  // three significant digits win
    EXPECT_EQ(FormatFixed(123.456, 2, 3), "1.2E2");    // integer part longer than the precision
    EXPECT_EQ(FormatFixed(0.00123456, 3, 6), "0.001230");
    EXPECT_EQ(FormatFixed(12345.6, 5, 0), "12346");  // no decimal point with 0 decimals
    EXPECT_EQ(FormatFixed(99999, 4, 2), "1E5");      // more integer digits than precision
    EXPECT_EQ(FormatFixed(123456.7, 4, 1), "1.235E5");
    EXPECT_EQ(FormatFixed(0.0, 4, 3), "0.000");
    EXPECT_EQ(FormatFixed(0.0, 4, 0), "0");
    EXPECT_EQ(FormatFixed(-0.0001, 4, 3), "0.000");  // rounds to zero: no sign
    EXPECT_EQ(FormatFixed(0.0006, 4, 3), "0.001");
    EXPECT_EQ(FormatFixed(-7.25, 4, 1), "-7.3");
    EXPECT_EQ(FormatFixed(999.96, 5, 1), "1000.0");
}

TEST_F(Numbers, HalfUnitsRoundAwayFromZeroOnTheExactValue)
{
    EXPECT_EQ(FormatFixed(0.125, 4, 2), "0.13");
    EXPECT_EQ(FormatFixed(-0.125, 4, 2), "-0.13");
    EXPECT_EQ(FormatFixed(2.5, 4, 0), "3");
    EXPECT_EQ(FormatFixed(0.5, 4, 0), "1");
    EXPECT_EQ(FormatFixed(-2.5, 4, 0), "-3");
    EXPECT_EQ(FormatGeneral(1.125, 3), "1.13");
    // 1.0005 and 2.675 are stored slightly below the half: they round down
    EXPECT_EQ(FormatFixed(1.0005, 4, 3), "1.000");
    EXPECT_EQ(FormatFixed(2.675, 4, 2), "2.67");
    // 0.0015 is stored slightly above
    EXPECT_EQ(FormatFixed(0.0015, 4, 3), "0.002");
}

TEST_F(Numbers, ExponentForm)
{
    EXPECT_EQ(FormatExponent(123456, 3, 1), "1.23E+5");
    EXPECT_EQ(FormatExponent(0.000123456, 4, 2), "1.235E-04");
    EXPECT_EQ(FormatExponent(1.5e-5, 2, 3), "1.5E-005");
    EXPECT_EQ(FormatExponent(-9.999, 3, 1), "-1.00E+1");  // carry into the exponent
    EXPECT_EQ(FormatExponent(1e100, 3, 1), "1.00E+100");
    EXPECT_EQ(FormatExponent(123456, 3, 4), "1.23E+5");  // 4 or more: as few as needed
    EXPECT_EQ(FormatExponent(123456, 3, 0), "1.23E+5");
    EXPECT_EQ(FormatExponent(0.0, 3, 1), "0.00E+0");
    EXPECT_EQ(FormatExponent(7, 1, 1), "7E+0");
    SetDecimalSeparator(',');
    EXPECT_EQ(FormatExponent(123456, 3, 1), "1,23E+5");
}

TEST_F(Numbers, GeneralAndShortestForms)
{
    EXPECT_EQ(FormatGeneral(12345, 4), "1.235E4");
    EXPECT_EQ(FormatGeneral(12345, 5), "12345");
    EXPECT_EQ(FormatGeneral(99999.5, 5), "1E5");
    EXPECT_EQ(FormatGeneral(1234, 4), "1234");
    EXPECT_EQ(FormatGeneral(0.0, 4), "0");
    EXPECT_EQ(FormatShortest(0.00001), "1E-5");
    EXPECT_EQ(FormatShortest(0.0001), "0.0001");
    EXPECT_EQ(FormatShortest(0.000015), "1.5E-5");
    EXPECT_EQ(FormatShortest(0.00015), "0.00015");
    EXPECT_EQ(FormatShortest(123.456), "123.456");
    EXPECT_EQ(FormatShortest(100), "100");
    EXPECT_EQ(FormatShortest(-0.5), "-0.5");
    EXPECT_EQ(FormatShortest(0.1), "0.1");
    EXPECT_EQ(FormatShortest(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(FormatShortest(2.0 / 3.0), "0.666666666666667");
    EXPECT_EQ(FormatShortest(123456789012345.0), "123456789012345");
    EXPECT_EQ(FormatShortest(1e15), "1E15");
    EXPECT_EQ(FormatShortest(-2.5e-7), "-2.5E-7");
    EXPECT_EQ(FormatShortest(0.1f), "0.100000001490116");  // a float sample as stored
    EXPECT_EQ(FormatShortest(2000.0), "2000");
    SetDecimalSeparator(',');
    EXPECT_EQ(FormatShortest(2.25), "2,25");
    EXPECT_EQ(FormatShortest(1.5e-7), "1,5E-7");
}

TEST_F(Numbers, NonFiniteValues)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(FormatShortest(inf), "INF");
    EXPECT_EQ(FormatShortest(-inf), "-INF");
    EXPECT_EQ(FormatShortest(nan), "NAN");
    EXPECT_EQ(FormatFixed(-inf, 4, 2), "-INF");
    EXPECT_EQ(FormatExponent(nan, 3, 1), "NAN");
    EXPECT_EQ(FormatSig(3, inf), "INF");
}

TEST_F(Numbers, FormatWithPrefixWorkedExamples)
{
    EXPECT_EQ(FormatWithPrefix("nm", 2.5f), "2.500 nm");
    EXPECT_EQ(FormatWithPrefix("nm", 2500.0f), "2.500 \xB5m");
    EXPECT_EQ(FormatWithPrefix("nm", 0.25f), "250.0 pm");
    EXPECT_EQ(FormatWithPrefix("nm", 0.0f), "0.000  m");
    EXPECT_EQ(FormatWithPrefix("V", 12.0f), "12.00  V");
}

TEST_F(Numbers, FormatWithPrefixChoosesThePrefix)
{
    EXPECT_EQ(FormatWithPrefix("nm", -2500.0f), "-2.500 \xB5m");
    EXPECT_EQ(FormatWithPrefix("nm", 999.96f), "1.000 \xB5m");  // 999.96 counts as 1.000E+3
    EXPECT_EQ(FormatWithPrefix("nm", 1e12f), "1.000 km");
    EXPECT_EQ(FormatWithPrefix("V", 0.0123f), "12.30 mV");
    EXPECT_EQ(FormatWithPrefix("V", 123456.0f), "123.5 kV");
    EXPECT_EQ(FormatWithPrefix("V", 1234.0f), "1.234 kV");
    EXPECT_EQ(FormatWithPrefix("pA", 0.5f), "500.0 fA");
    EXPECT_EQ(FormatWithPrefix("\xB5m", 1500.0f), "1.500 mm");
    EXPECT_EQ(FormatWithPrefix("m", 5.0f), "5.000 m");  // a bare m is the milli prefix
    // beyond G and below a the prefix stays at the end of the table
    EXPECT_EQ(FormatWithPrefix("nm", 1e20f), "100.0 Gm");
    EXPECT_EQ(FormatWithPrefix("nm", 1e25f), "1.00E+7 Gm");
    EXPECT_EQ(FormatWithPrefix("nm", 1e-12f), "0.001 am");
    SetDecimalSeparator(',');
    EXPECT_EQ(FormatWithPrefix("nm", 2.5f), "2,500 nm");
}

TEST_F(Numbers, TolerantParsingAcceptsBothMarks)
{
    for (char sep : {'.', ','}) {
        SetDecimalSeparator(sep);
        EXPECT_EQ(StrToFloatTolerant("1.5"), 1.5L) << sep;
        EXPECT_EQ(StrToFloatTolerant("1,5"), 1.5L) << sep;
        EXPECT_EQ(StrToFloatTolerant("  -2.25  "), -2.25L) << sep;
        EXPECT_EQ(StrToFloatTolerant("+4.5e2"), 450.0L) << sep;
        EXPECT_EQ(StrToFloatTolerant("1E-3"), 1e-3L) << sep;
        EXPECT_EQ(StrToFloatTolerant("7"), 7.0L) << sep;
        EXPECT_EQ(StrToFloatTolerant(".5"), 0.5L) << sep;
        EXPECT_EQ(StrToFloatTolerant("0,1"), StrToFloatTolerant("0.1")) << sep;
        for (const char* bad : {"1,234.5", "1.234,5", "", "   ", "abc", "1.5x", "inf", "-INF", "nan", "0x1p3",
                                "1e", "--1", "1 5", "1.2.3", ".", "e5", "1e5.5"})
            EXPECT_THROW(StrToFloatTolerant(bad), EConvertError) << "'" << bad << "' sep " << sep;
    }
    try {
        StrToFloatTolerant("x1");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'x1' is not a valid floating point value");
    }
}

TEST_F(Numbers, PlainParsingUsesTheSeparator)
{
    EXPECT_EQ(StrToFloat("2.5"), 2.5L);
    EXPECT_THROW(StrToFloat("2,5"), EConvertError);
    long double v = 0;
    EXPECT_TRUE(TryStrToFloat(" 1e300 ", v));
    EXPECT_EQ(v, 1e300L);
    EXPECT_FALSE(TryStrToFloat("1e99999", v));  // beyond the extended range
    SetDecimalSeparator(',');
    EXPECT_EQ(StrToFloat("2,5"), 2.5L);
    EXPECT_THROW(StrToFloat("2.5"), EConvertError);
    EXPECT_FALSE(TryStrToFloat("2.5", v));
}

TEST_F(Numbers, IntegerParsing)
{
    EXPECT_EQ(StrToInt("42"), 42);
    EXPECT_EQ(StrToInt("  -7 "), -7);
    EXPECT_EQ(StrToInt("+3"), 3);
    EXPECT_EQ(StrToInt("2147483647"), INT_MAX);
    EXPECT_EQ(StrToInt("-2147483648"), INT_MIN);
    EXPECT_EQ(StrToInt("007"), 7);
    for (const char* bad : {"2147483648", "-2147483649", "99999999999999999999", "", " ", "-", "1.0", "0x10", "12a",
                            "1 2", "$10"})
        EXPECT_THROW(StrToInt(bad), EConvertError) << bad;
    try {
        StrToInt("abc");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
    }
    int v = 5;
    EXPECT_FALSE(TryStrToInt("x", v));
    EXPECT_EQ(v, 5);
    EXPECT_TRUE(TryStrToInt("-12", v));
    EXPECT_EQ(v, -12);
    EXPECT_EQ(IntToStr(-123), "-123");
    EXPECT_EQ(IntToStr(9000000000LL), "9000000000");
}

TEST_F(Numbers, RoundingHalfToEven)
{
    EXPECT_EQ(RoundHalfEven(0.5L), 0);
    EXPECT_EQ(RoundHalfEven(1.5L), 2);
    EXPECT_EQ(RoundHalfEven(2.5L), 2);
    EXPECT_EQ(RoundHalfEven(-0.5L), 0);
    EXPECT_EQ(RoundHalfEven(-1.5L), -2);
    EXPECT_EQ(RoundHalfEven(-2.5L), -2);
    EXPECT_EQ(RoundHalfEven(2.4999L), 2);
    EXPECT_EQ(RoundHalfEven(2.5001L), 3);
    EXPECT_EQ(RoundHalfEven(1e30L), LLONG_MAX);
    EXPECT_EQ(RoundHalfEven(-1e30L), LLONG_MIN);
    EXPECT_EQ(RoundHalfEven(std::numeric_limits<long double>::quiet_NaN()), 0);
}

}  // namespace
