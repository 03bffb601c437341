#pragma once
// Conversion of digit texts between bases, and little-endian hex fields.
#include <cstdint>
#include <string>

namespace velkor {

// Returns the same number in target base (2 ... 36), or the error text
// "参数错误-<digits>不是一个有效的<base in Chinese numerals>进制数！" when a digit (or the
// source base itself) is not valid; an empty text for a target base outside 2 ... 36.
// Full-width digits and letters count as their ASCII forms, lower case as upper.
std::string ConvertRadixText(const std::string& digits, std::int32_t sourceBase, std::int32_t targetBase);

// Returns the unsigned value (0 ... 4,294,967,295) of a little-endian hex field of up
// to four bytes; 0 when it is not hex.
std::int64_t LittleEndianHexValue(const std::string& field);

}  // namespace velkor
