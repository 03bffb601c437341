#pragma once
// Conversion of digit texts between bases, and little-endian hex fields.
#include <cstdint>
#include <string>

namespace velkor {

// The same number in target base (2 ... 36), or the error text
// "参数错误-<digits>不是一个有效的<base in Chinese numerals>进制数！" at the first invalid digit.
std::string ConvertRadixText(const std::string& digits, std::int32_t sourceBase, std::int32_t targetBase);

// The value of a little-endian hex field of up to four bytes; 0 when it is not hex.
std::int64_t LittleEndianHexValue(const std::string& field);

}  // namespace velkor
