#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <cstdlib>

#include "platform/launcher.h"
#include "platform/windows_text.h"

namespace velkor {

// The narrow argv holds the arguments in the ANSI code page; the wide command line holds them whole.
std::vector<std::string> LauncherArguments(int, char**) {
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; wide != nullptr && i < count; ++i) arguments.push_back(Narrow(wide[i]));
    ::LocalFree(wide);
    return arguments;
}

// The C runtime's own copy of the environment is the one std::getenv reads.
void SetEnvironmentValue(const char* name, const std::string& value) { _putenv_s(name, value.c_str()); }

LibraryEntry LoadLibraryEntry(const std::string& path, const char* name, std::string& reason) {
    HMODULE module = ::LoadLibraryW(Widen(path).c_str());
    if (module == nullptr) {
        reason = SystemErrorText(::GetLastError());
        return nullptr;
    }
    auto* entry = reinterpret_cast<LibraryEntry>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
    if (entry == nullptr) reason = std::string("no entry ") + name;
    return entry;
}

long long BytesReadByThisProcess() {
    IO_COUNTERS counters{};
    return ::GetProcessIoCounters(::GetCurrentProcess(), &counters) ? static_cast<long long>(counters.ReadTransferCount) : 0;
}

long long PeakMemoryKib() {
    PROCESS_MEMORY_COUNTERS counters{};
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters)) return 0;
    return static_cast<long long>(counters.PeakWorkingSetSize / 1024);
}

}  // namespace velkor
