#pragma once
// The window's English catalogue, built into the library itself, so that it can never
// be missing beside an installed copy: on Qt compiled from translations/velkor_en.ts,
// elsewhere that file as it is.
#include <cstddef>

namespace velkor {

extern const unsigned char kEnglishCatalogue[];
extern const std::size_t kEnglishCatalogueSize;

}  // namespace velkor
