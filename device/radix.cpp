#include "device/radix.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>

#include "platform/bigint.h"

namespace velkor {
namespace {

constexpr std::string_view kRadixDigits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr std::int32_t kLowestBase = 2;
constexpr std::int32_t kHighestBase = 36;
// Full-width forms sit this far above their ASCII counterparts.
constexpr char32_t kFullWidthShift = 0xFEE0;

bool IsSupportedBase(std::int32_t base) { return base >= kLowestBase && base <= kHighestBase; }

bool IsFullWidthDigitOrLetter(char32_t code) {
    return (code >= U'\uFF10' && code <= U'\uFF19') || (code >= U'\uFF21' && code <= U'\uFF3A') ||
           (code >= U'\uFF41' && code <= U'\uFF5A');
}

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The code point of the three-byte UTF-8 sequence at text[at], or 0 when there is none.
char32_t ThreeByteCodeAt(const std::string& text, std::size_t at) {
    if (text.size() - at < 3 || (static_cast<unsigned char>(text[at]) & 0xF0) != 0xE0) return 0;
    if (!IsContinuationByte(text[at + 1]) || !IsContinuationByte(text[at + 2])) return 0;
    return (char32_t{static_cast<unsigned char>(text[at]) & 0x0Fu} << 12) |
           (char32_t{static_cast<unsigned char>(text[at + 1]) & 0x3Fu} << 6) |
           char32_t{static_cast<unsigned char>(text[at + 2]) & 0x3Fu};
}

// Digits typed with a Chinese input method arrive full-width; they mean the same digits.
std::string WithAsciiDigitsAndLetters(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const char32_t code = ThreeByteCodeAt(text, i);
        if (IsFullWidthDigitOrLetter(code)) {
            result.push_back(static_cast<char>(code - kFullWidthShift));
            i += 3;
            continue;
        }
        result.push_back(text[i++]);
    }
    return result;
}

std::string NormalisedDigits(const std::string& digits) {
    std::string text = WithAsciiDigitsAndLetters(digits);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; });
    return text;
}

// Numbers up to 99 as written in simplified Chinese; others stay decimal, as no
// supported base reaches them.
std::string ChineseNumeral(std::int32_t number) {
    static constexpr std::array<std::string_view, 10> kUnits = {"零", "一", "二", "三", "四",
                                                                "五", "六", "七", "八", "九"};
    if (number < 0 || number > 99) return std::to_string(number);
    if (number < 10) return std::string(kUnits[static_cast<std::size_t>(number)]);
    const auto tens = static_cast<std::size_t>(number / 10);
    const auto ones = static_cast<std::size_t>(number % 10);
    return std::string(tens == 1 ? "" : kUnits[tens]) + "十" + std::string(ones == 0 ? "" : kUnits[ones]);
}

std::string InvalidDigitsText(const std::string& digits, std::int32_t base) {
    return "参数错误-" + digits + "不是一个有效的" + ChineseNumeral(base) + "进制数！";
}

bool AreDigitsOfBase(const std::string& digits, std::int32_t base) {
    const std::string_view valid = kRadixDigits.substr(0, static_cast<std::size_t>(base));
    return std::all_of(digits.begin(), digits.end(),
                       [valid](char c) { return valid.find(c) != std::string_view::npos; });
}

BigUnsigned ValueOfDigits(const std::string& digits, std::int32_t base) {
    BigUnsigned value = 0;
    for (const char c : digits) value = value * base + static_cast<unsigned long>(kRadixDigits.find(c));
    return value;
}

std::string DigitsOfValue(BigUnsigned value, std::int32_t base) {
    std::string digits;
    while (value > base - 1) {
        const BigUnsigned remainder = value % base;
        digits.push_back(kRadixDigits[SmallValueOf(remainder)]);
        value /= base;
    }
    digits.push_back(kRadixDigits[SmallValueOf(value)]);
    std::reverse(digits.begin(), digits.end());
    return digits;
}

// Four bytes reach 4,294,967,295 at most, which the 64-bit result holds exactly:
// the count of a partition of 1 TiB or more keeps its true value.
std::int64_t DecimalTextValue(const std::string& text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    const bool whole =
        error == std::errc{} && end == text.data() + text.size() && !text.empty() && text[0] != '-';
    return whole ? value : 0;
}

}  // namespace

std::string ConvertRadixText(const std::string& digits, std::int32_t sourceBase, std::int32_t targetBase) {
    const std::string normalised = NormalisedDigits(digits);
    if (!IsSupportedBase(sourceBase) || !AreDigitsOfBase(normalised, sourceBase)) {
        return InvalidDigitsText(normalised, sourceBase);
    }
    if (!IsSupportedBase(targetBase)) return {};
    if (sourceBase == targetBase) return normalised;
    return DigitsOfValue(ValueOfDigits(normalised, sourceBase), targetBase);
}

std::int64_t LittleEndianHexValue(const std::string& field) {
    const std::string padded = field + std::string(10, ' ');
    std::string joined =
        padded.substr(6, 2) + padded.substr(4, 2) + padded.substr(2, 2) + padded.substr(0, 2);
    std::erase(joined, ' ');
    return DecimalTextValue(ConvertRadixText(joined, 16, 10));
}

}  // namespace velkor
