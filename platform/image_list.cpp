#include "platform/image_list.h"

#include <algorithm>

namespace velkor {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

unsigned char Byte(std::string_view text, std::size_t at) { return static_cast<unsigned char>(text[at]); }

bool IsControl(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

// A newline or a carriage return would end the line early, a byte past ASCII could be re-encoded on the way.
bool NeedsEscape(unsigned char byte) { return byte == '%' || IsControl(byte) || byte >= 0x80; }

std::string HexByte(unsigned char byte) { return {kHexDigits[byte >> 4], kHexDigits[byte & 0x0F]}; }

int HexValue(char digit) {
    if (digit >= '0' && digit <= '9') return digit - '0';
    if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
    if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
    return -1;
}

// Returns the byte a %XX at text[at] stands for; -1 when none starts there.
int EscapedByteAt(std::string_view line, std::size_t at) {
    if (line[at] != '%' || line.size() - at < 3) return -1;
    const int high = HexValue(line[at + 1]);
    const int low = HexValue(line[at + 2]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

std::string DecodeLine(std::string_view line) {
    std::string path;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const int escaped = EscapedByteAt(line, i);
        if (escaped < 0) {
            path += line[i];
            continue;
        }
        path += static_cast<char>(escaped);
        i += 2;
    }
    return path;
}

// Returns the length of the well-formed UTF-8 sequence at text[at]; 0 when the bytes there are not one.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) {
    const unsigned char lead = Byte(text, at);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    // The second byte's range also rules out overlong forms, surrogates and code points past U+10FFFF.
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : low;
        high = lead == 0xED ? 0x9F : high;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high;
    } else {
        return 0;
    }
    if (text.size() - at < length || Byte(text, at + 1) < low || Byte(text, at + 1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if ((Byte(text, at + i) & 0xC0) != 0x80) return 0;
    }
    return length;
}

// A byte that cannot be shown as it is: a control character, or one that is not part of a UTF-8 character.
std::string EscapedForDisplay(unsigned char byte) {
    if (byte == '\n') return "\\n";
    if (byte == '\t') return "\\t";
    if (byte == '\r') return "\\r";
    return "\\x" + HexByte(byte);
}

}  // namespace

std::string EncodeImageList(const std::vector<std::string>& paths) {
    std::string text;
    for (const std::string& path : paths) {
        for (const char c : path) {
            const auto byte = static_cast<unsigned char>(c);
            text += NeedsEscape(byte) ? "%" + HexByte(byte) : std::string(1, c);
        }
        text += '\n';
    }
    return text;
}

std::vector<std::string> DecodeImageList(std::string_view text) {
    std::vector<std::string> paths;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty()) paths.push_back(DecodeLine(line));
    }
    return paths;
}

std::string PrintablePath(std::string_view path) {
    std::string text;
    for (std::size_t i = 0; i < path.size();) {
        const unsigned char byte = Byte(path, i);
        const std::size_t length = IsControl(byte) ? 0 : Utf8SequenceLength(path, i);
        if (length == 0) {
            text += EscapedForDisplay(byte);
            ++i;
            continue;
        }
        text.append(path.substr(i, length));
        i += length;
    }
    return text;
}

}  // namespace velkor
