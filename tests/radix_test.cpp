#include "device/radix.h"

#include <gtest/gtest.h>

namespace velkor {
namespace {

TEST(ConvertRadixText, ConvertsWithoutLeadingZerosAndKeepsTextInTheSameBase) {
    EXPECT_EQ(ConvertRadixText("ff", 16, 10), "255");
    EXPECT_EQ(ConvertRadixText("00FF", 16, 10), "255");
    EXPECT_EQ(ConvertRadixText("255", 10, 16), "FF");
    EXPECT_EQ(ConvertRadixText("35", 10, 36), "Z");
    EXPECT_EQ(ConvertRadixText("36", 10, 36), "10");
    EXPECT_EQ(ConvertRadixText("1011", 2, 8), "13");
    EXPECT_EQ(ConvertRadixText("", 16, 10), "0");
    EXPECT_EQ(ConvertRadixText("00ff", 16, 16), "00FF");
    EXPECT_EQ(ConvertRadixText("", 16, 16), "");
}

TEST(ConvertRadixText, FortyDigitNumbersConvertExactly) {
    EXPECT_EQ(ConvertRadixText(std::string(40, 'F'), 16, 10),
              "1461501637330902918203684832716283019655932542975");
    const std::string mixed = "123456789ABCDEF0FEDCBA9876543210C0FFEE11";
    EXPECT_EQ(ConvertRadixText(ConvertRadixText(mixed, 16, 7), 7, 16), mixed);
    EXPECT_EQ(ConvertRadixText(ConvertRadixText(mixed, 16, 36), 36, 16), mixed);
}

TEST(ConvertRadixText, InvalidDigitsAndBasesGiveTheErrorTextWithoutHanging) {
    EXPECT_EQ(ConvertRadixText("1g", 16, 10), "参数错误-1G不是一个有效的十六进制数！");
    EXPECT_EQ(ConvertRadixText("178", 8, 10), "参数错误-178不是一个有效的八进制数！");
    EXPECT_EQ(ConvertRadixText("Z#", 36, 10), "参数错误-Z#不是一个有效的三十六进制数！");
    EXPECT_EQ(ConvertRadixText("1A", 10, 10), "参数错误-1A不是一个有效的十进制数！")
        << "the digits are checked even when no conversion is needed";
    EXPECT_EQ(ConvertRadixText("10", 37, 10), "参数错误-10不是一个有效的三十七进制数！");
    EXPECT_EQ(ConvertRadixText("10", 10, 1), "");
    EXPECT_EQ(ConvertRadixText("10", 10, 0), "");
}

TEST(ConvertRadixText, FullWidthDigitsAndLettersCountAsAscii) {
    EXPECT_EQ(ConvertRadixText("ｆｆ", 16, 10), "255");
    EXPECT_EQ(ConvertRadixText("１２", 10, 16), "C");
    EXPECT_EQ(ConvertRadixText("Ｚ", 36, 10), "35");
    EXPECT_EQ(ConvertRadixText("１Ｇ", 16, 10), "参数错误-1G不是一个有效的十六进制数！");
}

TEST(LittleEndianHexValue, ReversesTheBytesAndKeepsTheUnsignedValue) {
    EXPECT_EQ(LittleEndianHexValue("3F000000"), 63);
    EXPECT_EQ(LittleEndianHexValue("00080000"), 2048);
    EXPECT_EQ(LittleEndianHexValue("C1FF3F00"), 4194241);
    EXPECT_EQ(LittleEndianHexValue("003F"), 16128);
    EXPECT_EQ(LittleEndianHexValue("3F000000FFFF"), 63) << "characters after the eighth are ignored";
    EXPECT_EQ(LittleEndianHexValue("00000080"), 2147483648);
    EXPECT_EQ(LittleEndianHexValue("FFFFFFFF"), 4294967295);
    EXPECT_EQ(LittleEndianHexValue(""), 0);
    EXPECT_EQ(LittleEndianHexValue("ZZ000000"), 0);
}

}  // namespace
}  // namespace velkor
