#pragma once
// Velkor's texts are UTF-8 throughout; Windows takes and gives UTF-16 at its wide
// interfaces. The conversions between the two, for the Windows build only.
#include <string>
#include <string_view>

namespace velkor {

// UTF-8 to UTF-16; invalid bytes become U+FFFD.
std::wstring Widen(std::string_view text);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Narrow(std::wstring_view text);

// The system's own words for a Win32 error code, in UTF-8, without the line break
// FormatMessage ends them with.
std::string SystemErrorText(unsigned long code);

}  // namespace velkor
