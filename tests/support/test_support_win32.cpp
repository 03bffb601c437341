#include "tests/support/test_support.h"

#include <windows.h>
#include <psapi.h>

namespace velkor::testing {

long long PeakResidentBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
    return static_cast<long long>(counters.PeakWorkingSetSize);
}

}  // namespace velkor::testing
