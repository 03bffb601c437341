#include <windows.h>

#include <string>

#include "platform/process.h"
#include "platform/windows_handles.h"
#include "platform/windows_text.h"

namespace velkor {
namespace {

// Windows ends a program that faults with an exception code, 0xC0000000 and above,
// where Linux would end it by a signal.
constexpr DWORD kFirstExceptionCode = 0xC0000000u;

std::string HexCode(DWORD code) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (int shift = 28; shift >= 0; shift -= 4) text += kDigits[(code >> shift) & 0xF];
    return text;
}

}  // namespace

bool RunsAsAdministrator() {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
    const UniqueHandle token(raw);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return ::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated != 0;
}

ProgramRun StartProgramAndWait(const std::string& path, std::int64_t limitMilliseconds) {
    ProgramRun run;
    const std::wstring program = Widen(path);
    // The program's name alone, quoted, is its whole command line: no arguments, no shell.
    std::wstring commandLine = L"\"" + program + L"\"";
    // Wine would hand a file that is not a Windows program to Linux to run; Windows refuses it.
    DWORD kind = 0;
    if (!::GetBinaryTypeW(program.c_str(), &kind)) {
        const DWORD error = ::GetLastError();
        run.failure = SystemErrorText(error == ERROR_SUCCESS ? ERROR_BAD_EXE_FORMAT : error);
        return run;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                          nullptr, &startup, &process)) {
        run.failure = SystemErrorText(::GetLastError());
        return run;
    }
    const UniqueHandle thread(process.hThread);
    const UniqueHandle child(process.hProcess);
    run.started = true;
    const DWORD wait = limitMilliseconds > 0 ? static_cast<DWORD>(limitMilliseconds) : INFINITE;
    if (::WaitForSingleObject(child.get(), wait) == WAIT_TIMEOUT) {
        ::TerminateProcess(child.get(), 1);
        ::WaitForSingleObject(child.get(), INFINITE);
        run.timedOut = true;
        return run;
    }
    DWORD code = 0;
    if (!::GetExitCodeProcess(child.get(), &code)) return run;
    if (code >= kFirstExceptionCode) {
        run.signal = static_cast<int>(code);
        run.signalName = HexCode(code);
    } else {
        run.exitStatus = static_cast<int>(code);
    }
    return run;
}

}  // namespace velkor
