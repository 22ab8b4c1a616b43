// The host's texts for the contract's codes: four-character codes, flags, categories.
#include "host/VstHostAbi.h"

#include <gtest/gtest.h>

using namespace ql::host::vst;

TEST(HostAbi, FourCharacterCodesPackTheFirstCharacterHighest) {
    EXPECT_EQ(kEffectMagic, 0x56737450);
    EXPECT_EQ(FourCC('N', 'v', 'E', 'f'), 0x4E764566);
    EXPECT_EQ(FourCCText(FourCC('Q', 'l', 'W', 'v')), "QlWv");
    // Codes with bytes outside printable ASCII still give four characters.
    EXPECT_EQ(FourCCText(static_cast<Int32>(0xFF410042u)), ".A.B");
    EXPECT_EQ(FourCCText(0), "....");
}

TEST(HostAbi, FlagNamesListKnownBitsAndShowTheRestInHex) {
    EXPECT_EQ(FlagNames(25), "HasEditor CanMono CanReplacing");
    EXPECT_EQ(FlagNames(effFlagsIsSynth), "IsSynth");
    EXPECT_EQ(FlagNames(0), "");
    EXPECT_EQ(FlagNames(effFlagsHasVu | 0x40 | 0x100000), "HasVu 0x100040");
}

TEST(HostAbi, CategoryNamesCoverTheKnownRangeOnly) {
    EXPECT_STREQ(CategoryName(kPlugCategEffect), "Effect");
    EXPECT_STREQ(CategoryName(kPlugCategGenerator), "Generator");
    EXPECT_STREQ(CategoryName(-1), "?");
    EXPECT_STREQ(CategoryName(12), "?");
}
