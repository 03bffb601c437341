// ConvertRadixText and LittleEndianHexValue on arbitrary texts and bases 2 ... 36.
// Input: source base, target base, then the text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "device/radix.h"

namespace {

std::int32_t BaseFrom(std::uint8_t byte) { return 2 + byte % 35; }

bool IsDigitTextOf(const std::string& text, std::int32_t base) {
    static const std::string kDigits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    if (text.empty() || (text.size() > 1 && text[0] == '0')) return false;
    return text.find_first_not_of(kDigits.substr(0, static_cast<std::size_t>(base))) == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::int32_t source = BaseFrom(data[0]);
    const std::int32_t target = BaseFrom(data[1]);
    const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
    const std::string converted = velkor::ConvertRadixText(text, source, target);
    const bool refused = converted.starts_with("参数错误-");
    // A number written in another base and back is the same number, without leading
    // zeros, whichever base it went through.
    if (!refused && source != target) {
        if (!IsDigitTextOf(converted, target)) std::abort();
        const std::int32_t other = source == 2 ? 3 : 2;
        const std::string back = velkor::ConvertRadixText(converted, target, source);
        if (back != velkor::ConvertRadixText(velkor::ConvertRadixText(text, source, other), other, source)) std::abort();
    }
    const std::int64_t value = velkor::LittleEndianHexValue(text);
    if (value < 0 || value > 0xFFFFFFFFLL) std::abort();
    return 0;
}
