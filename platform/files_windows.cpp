#include <windows.h>

#include <string>

#include "platform/files.h"
#include "platform/files_system.h"
#include "platform/windows_handles.h"
#include "platform/windows_text.h"

namespace velkor {
namespace {

// 100-nanosecond intervals from 1601 to 1970.
constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ull;

bool Failed(std::string* reason) {
    if (reason != nullptr) *reason = SystemErrorText(::GetLastError());
    return false;
}

// Opens path for writing, creating it when missing, never through a link in its last component.
UniqueHandle OpenForOverwrite(const std::string& path) {
    return UniqueHandle(::CreateFileW(Widen(path).c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr));
}

// Writes bytes over the file's content and cuts the rest off.
bool OverwriteWith(HANDLE file, ByteView bytes, std::string* reason) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const auto piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD wrote = 0;
        if (!::WriteFile(file, bytes.data() + done, piece, &wrote, nullptr) || wrote == 0) return Failed(reason);
        done += wrote;
    }
    return ::SetEndOfFile(file) != 0 || Failed(reason);
}

std::optional<BY_HANDLE_FILE_INFORMATION> InformationOf(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(file, &information)) return std::nullopt;
    return information;
}

FileStamp StampFrom(const BY_HANDLE_FILE_INFORMATION& information) {
    const std::uint64_t written = std::uint64_t{information.ftLastWriteTime.dwHighDateTime} << 32 |
                                  information.ftLastWriteTime.dwLowDateTime;
    const std::int64_t sinceEpoch = static_cast<std::int64_t>(written) - static_cast<std::int64_t>(kUnixEpochAsFileTime);
    return {sinceEpoch / 10000000, (sinceEpoch % 10000000) * 100,
            std::uint64_t{information.nFileIndexHigh} << 32 | information.nFileIndexLow};
}

// Opens path only to ask about it; a link is asked about itself.
UniqueHandle OpenToQuery(const std::string& path) {
    return UniqueHandle(::CreateFileW(Widen(path).c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

}  // namespace

std::string ExecutableDirectory() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return ".";
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const std::string text = Narrow(path);
    const auto separator = text.find_last_of("\\/");
    return separator == std::string::npos ? std::string(".") : text.substr(0, separator);
}

std::string NativePath(std::string path) {
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

bool WriteWholeFile(const std::string& path, ByteView bytes, std::string* reason) {
    UniqueHandle file = OpenForOverwrite(path);
    if (!file) return Failed(reason);
    if (!OverwriteWith(file.get(), bytes, reason)) return false;
    // A full disk may only show at close, so its result counts too.
    return ::CloseHandle(file.release()) != 0 || Failed(reason);
}

std::optional<FileStamp> WriteBackdatedFile(const std::string& path, ByteView bytes, std::string* reason) {
    UniqueHandle file = OpenForOverwrite(path);
    if (!file) {
        Failed(reason);
        return std::nullopt;
    }
    if (!OverwriteWith(file.get(), bytes, reason)) return std::nullopt;
    FILETIME epoch{static_cast<DWORD>(kUnixEpochAsFileTime & 0xFFFFFFFFu), static_cast<DWORD>(kUnixEpochAsFileTime >> 32)};
    const std::optional<BY_HANDLE_FILE_INFORMATION> information =
        ::SetFileTime(file.get(), nullptr, &epoch, &epoch) ? InformationOf(file.get()) : std::nullopt;
    if (!information || !::CloseHandle(file.release())) {
        Failed(reason);
        return std::nullopt;
    }
    return StampFrom(*information);
}

std::optional<FileStamp> StampOf(const std::string& path) {
    const UniqueHandle file = OpenToQuery(path);
    const std::optional<BY_HANDLE_FILE_INFORMATION> information = file ? InformationOf(file.get()) : std::nullopt;
    if (!information) return std::nullopt;
    return StampFrom(*information);
}

ScratchFault ScratchFaultOf(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return ScratchFault::kNone;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return ScratchFault::kSymbolicLink;
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) return ScratchFault::kNotRegular;
    const UniqueHandle file = OpenToQuery(path);
    const std::optional<BY_HANDLE_FILE_INFORMATION> information = file ? InformationOf(file.get()) : std::nullopt;
    if (information && information->nNumberOfLinks > 1) return ScratchFault::kMoreNames;
    return ScratchFault::kNone;
}

bool SameFile(const std::string& a, const std::string& b) {
    const UniqueHandle first = OpenForReading(a, 0);
    const UniqueHandle second = OpenForReading(b, 0);
    if (!first || !second) return false;
    const std::optional<DeviceIdentity> one = IdentityOfHandle(first.get(), a);
    return one && one == IdentityOfHandle(second.get(), b);
}

// Windows has no file-size signal: a write beyond what the volume takes simply fails.
void FailWritesBeyondFileSizeLimit() {}

ByteSet ReadWholeFile(const std::string& path) {
    const UniqueHandle file = OpenForReading(path);
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size)) return {};
    ByteSet bytes(static_cast<std::size_t>(size.QuadPart));
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        const auto piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        if (!::ReadFile(file.get(), bytes.data() + done, piece, &got, nullptr)) return {};
        if (got == 0) break;
        done += got;
    }
    bytes.resize(done);
    return bytes;
}

FileMapping::FileMapping(const std::string& path) {
    const UniqueHandle file = OpenForReading(path);
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0) return;
    const UniqueHandle mapping(::CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping) return;
    // The view keeps the file mapped after both handles are closed.
    void* view = ::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0);
    if (view == nullptr) return;
    data_ = static_cast<const std::uint8_t*>(view);
    size_ = static_cast<std::size_t>(size.QuadPart);
}

FileMapping::~FileMapping() {
    if (data_ != nullptr) ::UnmapViewOfFile(data_);
}

bool IsDirectoryWritable(const std::string& directory) {
    const std::string probe = directory + "/.velkor-probe-" + std::to_string(::GetCurrentProcessId());
    const UniqueHandle file(::CreateFileW(Widen(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return static_cast<bool>(file);
}

bool IsExecutableFile(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
    DWORD kind = 0;
    return ::GetBinaryTypeW(Widen(path).c_str(), &kind) != 0;
}

}  // namespace velkor
