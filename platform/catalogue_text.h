#pragma once
// The window's catalogue in its source form (translations/*.ts), read without a
// toolkit: where no Qt runs, the translations are taken from it directly.
#include <map>
#include <string>
#include <string_view>

namespace velkor {

// Each finished message of the catalogue text: its source text and its translation,
// UTF-8, with XML's character references resolved. Unfinished, obsolete and empty
// translations are left out, so their source texts stand.
std::map<std::string, std::string> ReadCatalogueText(std::string_view text);

}  // namespace velkor
