#pragma once
// The window's English catalogue, compiled from translations/velkor_en.ts into the
// library itself, so that it can never be missing beside an installed copy.
#include <cstddef>

namespace velkor {

extern const unsigned char kEnglishCatalogue[];
extern const std::size_t kEnglishCatalogueSize;

}  // namespace velkor
