#include "platform/message.h"

#include <algorithm>
#include <charconv>

namespace velkor {
namespace {

// Returns the marker number at text[at] ("%1" to "%99") and its length; 0 when none is there.
std::pair<int, std::size_t> MarkerAt(const std::string& text, std::size_t at) {
    if (text[at] != '%' || at + 1 >= text.size() || text[at + 1] < '1' || text[at + 1] > '9') return {0, 0};
    int number = text[at + 1] - '0';
    if (at + 2 < text.size() && text[at + 2] >= '0' && text[at + 2] <= '9') return {number * 10 + (text[at + 2] - '0'), 3};
    return {number, 2};
}

}  // namespace

Message Message::Arg(const std::string& value) const {
    Message filled = *this;
    filled.values_.push_back(value);
    return filled;
}

Message Message::Padded(std::int64_t value, int width, char fill) const {
    std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) < width) digits.insert(0, static_cast<std::size_t>(width) - digits.size(), fill);
    return Arg(digits);
}

Message Message::Fixed(double value, int decimals) const { return Arg(FixedText(value, decimals)); }

std::string Message::Utf8() const {
    if (values_.empty()) return text_;
    std::vector<int> numbers;
    for (std::size_t at = 0; at < text_.size(); ++at) {
        if (const auto [number, length] = MarkerAt(text_, at); number != 0) numbers.push_back(number);
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    std::string out;
    for (std::size_t at = 0; at < text_.size();) {
        const auto [number, length] = MarkerAt(text_, at);
        const auto rank = static_cast<std::size_t>(std::find(numbers.begin(), numbers.end(), number) - numbers.begin());
        if (number == 0 || rank >= values_.size()) {
            out += text_[at++];
            continue;
        }
        out += values_[rank];
        at += length;
    }
    return out;
}

std::string FixedText(double value, int decimals) {
    // to_chars, unlike printf, writes a point whatever locale the toolkit has set.
    char text[400];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals).ptr;
    return std::string(text, end);
}

}  // namespace velkor
