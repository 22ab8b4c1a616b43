// Number texts shown to the user and parsed from what the user types; bounded text copies.
#include "runtime/Exceptions.h"
#include "runtime/Format.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace ql;

TEST(Format, GeneralFormatWithFifteenDigits) {
    EXPECT_EQ(FloatToStrG(3.0), "3");
    EXPECT_EQ(FloatToStrG(12.5), "12.5");
    EXPECT_EQ(FloatToStrG(static_cast<double>(7.9f)), "7.90000009536743");
    EXPECT_EQ(FloatToStrG(-0.0), "0");
    EXPECT_EQ(FloatToStrG(1e20), "1E20");
    EXPECT_EQ(FloatToStrG(0.00001), "1E-5");
    EXPECT_EQ(FloatToStrG(0.0001), "0.0001");
    EXPECT_EQ(FloatToStrG(24.0), "24");
}

TEST(Format, ParsesWhatUsersType) {
    EXPECT_EQ(TryStrToFloat("12"), 12.0);
    EXPECT_EQ(TryStrToFloat(" 8 "), 8.0);
    EXPECT_EQ(TryStrToFloat("12,5"), 12.5);
    EXPECT_EQ(TryStrToFloat("-3.25e1"), -32.5);
    EXPECT_EQ(TryStrToFloat("+4"), 4.0);
    for (const char* bad : {"", " ", "abc", "12abc", "0x10", "inf", "nan", "--1", "+-1", "1 2"})
        EXPECT_FALSE(TryStrToFloat(bad).has_value()) << bad;
    EXPECT_THROW(StrToFloat("abc"), EConvertError);
}

TEST(Format, CopyTextAlwaysTerminatesInsideTheBuffer) {
    char buf[8];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(CopyText(buf, 5, "Quantilaw"), 4u);
    EXPECT_STREQ(buf, "Quan");
    EXPECT_EQ(buf[5], 'x');
    EXPECT_EQ(CopyText(buf, sizeof buf, "Bit"), 3u);
    EXPECT_STREQ(buf, "Bit");
    EXPECT_EQ(CopyText(nullptr, 10, "x"), 0u);
    EXPECT_EQ(CopyText(buf, 0, "x"), 0u);
}
