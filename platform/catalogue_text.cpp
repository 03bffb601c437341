#include "platform/catalogue_text.h"

#include <charconv>
#include <cstdint>

namespace velkor {
namespace {

void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | code >> 18);
        out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The character a reference between '&' and ';' stands for; false for one it does not know.
bool Resolve(std::string_view name, std::string& out) {
    static constexpr struct {
        std::string_view name;
        char character;
    } kNamed[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& named : kNamed) {
        if (name == named.name) {
            out += named.character;
            return true;
        }
    }
    if (name.size() < 2 || name[0] != '#') return false;
    const bool hex = name[1] == 'x';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    std::uint32_t code = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
    if (error != std::errc{} || end != digits.data() + digits.size() || code > 0x10FFFF) return false;
    AppendUtf8(out, code);
    return true;
}

std::string Unescaped(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t end = text[i] == '&' ? text.find(';', i) : std::string_view::npos;
        if (end != std::string_view::npos && Resolve(text.substr(i + 1, end - i - 1), out)) {
            i = end;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The content of the first element named tag in text, and its opening tag's attributes.
struct Element {
    std::string_view attributes;
    std::string_view content;
    bool found = false;
};

Element FirstElement(std::string_view text, std::string_view tag) {
    const std::string open = "<" + std::string(tag);
    for (std::size_t at = text.find(open); at != std::string_view::npos; at = text.find(open, at + 1)) {
        const std::size_t nameEnd = at + open.size();
        if (nameEnd >= text.size() || (text[nameEnd] != '>' && text[nameEnd] != ' ' && text[nameEnd] != '/')) continue;
        const std::size_t tagEnd = text.find('>', nameEnd);
        if (tagEnd == std::string_view::npos) return {};
        const std::string_view attributes = text.substr(nameEnd, tagEnd - nameEnd);
        if (!attributes.empty() && attributes.back() == '/') return {attributes, {}, true};
        const std::size_t close = text.find("</" + std::string(tag) + ">", tagEnd + 1);
        if (close == std::string_view::npos) return {};
        return {attributes, text.substr(tagEnd + 1, close - tagEnd - 1), true};
    }
    return {};
}

}  // namespace

std::map<std::string, std::string> ReadCatalogueText(std::string_view text) {
    std::map<std::string, std::string> messages;
    constexpr std::string_view kClose = "</message>";
    for (std::size_t at = text.find("<message"); at != std::string_view::npos; at = text.find("<message", at + 1)) {
        const std::size_t end = text.find(kClose, at);
        if (end == std::string_view::npos) break;
        const std::string_view message = text.substr(at, end - at);
        const Element source = FirstElement(message, "source");
        const Element translation = FirstElement(message, "translation");
        if (!source.found || !translation.found || translation.content.empty()) continue;
        if (translation.attributes.find("type=") != std::string_view::npos) continue;
        messages[Unescaped(source.content)] = Unescaped(translation.content);
    }
    return messages;
}

}  // namespace velkor
