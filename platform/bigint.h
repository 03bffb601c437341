#pragma once
// Non-negative arbitrary-precision integers: set from a small integer, add,
// multiply, compare, remainder and truncating division by a small integer,
// decimal text (get_str()).
#include <gmpxx.h>

namespace velkor {

using BigUnsigned = mpz_class;

}  // namespace velkor
