#pragma once
// Non-negative arbitrary-precision integers: set from a small integer, add,
// multiply, compare, remainder and truncating division by a small integer.
// GMP on Linux; Boost.Multiprecision's header-only integers where GMP is not
// packaged (the Windows cross build).
#if defined(_WIN32)
#include <boost/multiprecision/cpp_int.hpp>
#else
#include <gmpxx.h>
#endif

namespace velkor {

// SmallValueOf gives the value of a number known to fit in an unsigned long.
#if defined(_WIN32)
using BigUnsigned = boost::multiprecision::cpp_int;
inline unsigned long SmallValueOf(const BigUnsigned& value) { return value.convert_to<unsigned long>(); }
#else
using BigUnsigned = mpz_class;
inline unsigned long SmallValueOf(const BigUnsigned& value) { return value.get_ui(); }
#endif

}  // namespace velkor
