#include "tests/support/test_support.h"
#include "tests/support/scratch_files.h"

#include <windows.h>
#include <psapi.h>

namespace velkor::testing {

// The root of the temporary directory's drive first, the temporary directory itself where the
// root takes no folder. The suites choose their scratch folders in the system's folder chooser,
// which finds a folder by comparing each folder on its path, last-write time included, with what
// its tree read of it earlier, and never reads it again. The suites running beside one another keep changing the
// temporary directory, so a chooser that had read it before such a change never found the
// folder again; a drive's root is compared by its letter alone.
std::vector<std::filesystem::path> ScratchParents() {
    const std::filesystem::path temporary = std::filesystem::temp_directory_path();
    return {temporary.root_path(), temporary};
}

long long PeakResidentBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
    return static_cast<long long>(counters.PeakWorkingSetSize);
}

}  // namespace velkor::testing
