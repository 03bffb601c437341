#pragma once
// The window's words as UTF-8 text, with numbered markers (%1, %2, ...) filled in
// by Arg: what the system says, whatever toolkit shows it.
#include <cstdint>
#include <string>
#include <vector>

namespace velkor {

// A text with markers %1 to %99. The n-th Arg fills every occurrence of the n-th lowest
// marker number in the text, so a translation may reorder them. All markers are filled
// at once when the text is read: a value that itself holds "%1" stays as it is.
class Message {
public:
    Message() = default;
    explicit Message(std::string text) : text_(std::move(text)) {}

    Message Arg(const std::string& value) const;
    Message Arg(const Message& value) const { return Arg(value.Utf8()); }
    Message Arg(const char* value) const { return Arg(std::string(value)); }
    Message Arg(std::int64_t value) const { return Arg(std::to_string(value)); }
    Message Arg(int value) const { return Arg(std::int64_t{value}); }
    // Fills the next markers with each value in turn.
    template <typename First, typename Second, typename... Rest>
    Message Arg(const First& first, const Second& second, const Rest&... rest) const {
        return Arg(first).Arg(second, rest...);
    }
    // A whole number padded on the left with fill to at least width characters.
    Message Padded(std::int64_t value, int width, char fill) const;
    // A number with exactly decimals digits after the point.
    Message Fixed(double value, int decimals) const;

    // The text with its markers filled; a marker without a value stays as it is.
    std::string Utf8() const;
    bool Empty() const { return text_.empty(); }

    friend Message operator+(const Message& a, const Message& b) { return Message(a.Utf8() + b.Utf8()); }
    Message& operator+=(const Message& more) { return *this = *this + more; }

private:
    std::string text_;
    std::vector<std::string> values_;
};

// The window's words. Each text is written in Chinese, which is both its key and what
// the window shows unless the user's language has a catalogue.
struct Words {
    static Message tr(const char* source);
};

// A number rounded to decimals digits as decimal text: 2.5 with 2 gives "2.50".
std::string FixedText(double value, int decimals);

}  // namespace velkor
