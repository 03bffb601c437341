#include <windows.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "platform/target_directory.h"
#include "platform/target_names.h"
#include "platform/windows_handles.h"
#include "platform/windows_text.h"

namespace velkor {
namespace {

using Kind = TargetDirectory::Saved::Kind;
using Saved = TargetDirectory::Saved;

constexpr int kTemporaryNameTries = 100;
constexpr std::size_t kCompareBlock = 64 * 1024;
constexpr DWORD kMostWrittenAtOnce = 1u << 30;

HANDLE AsHandle(std::intptr_t descriptor) { return reinterpret_cast<HANDLE>(descriptor); }

std::string LastErrorText() { return SystemErrorText(::GetLastError()); }

Saved Failed(const std::string& name, std::string reason) { return {Kind::kFailed, name, std::move(reason)}; }

// The directory's path as the system now knows it, from its handle: the photos follow the
// folder even where it was reached through a link.
std::wstring PathOf(HANDLE directory) {
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = ::GetFinalPathNameByHandleW(directory, path.data(), static_cast<DWORD>(path.size()), 0);
    if (length >= path.size()) {
        path.resize(length + 1);
        length = ::GetFinalPathNameByHandleW(directory, path.data(), static_cast<DWORD>(path.size()), 0);
    }
    path.resize(length < path.size() ? length : 0);
    return path;
}

std::wstring Within(HANDLE directory, const std::string& name) { return PathOf(directory) + L"\\" + Widen(name); }

bool WriteAll(HANDLE file, ByteView bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, kMostWrittenAtOnce));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return true;
}

// A ".part-" file no other save is writing: created new, never opened over another.
UniqueHandle CreateTemporary(HANDLE directory, std::int64_t& made, std::string& name) {
    for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
        name = ".part-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(made++);
        UniqueHandle file(::CreateFileW(Within(directory, name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file || ::GetLastError() != ERROR_FILE_EXISTS) return file;
    }
    return UniqueHandle();
}

// A move without MOVEFILE_REPLACE_EXISTING refuses a name that exists, as a refusing rename does.
Placed Place(HANDLE directory, const std::string& temporary, const std::string& name) {
    if (::MoveFileExW(Within(directory, temporary).c_str(), Within(directory, name).c_str(), MOVEFILE_WRITE_THROUGH)) {
        return Placed::kYes;
    }
    const DWORD error = ::GetLastError();
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? Placed::kTaken : Placed::kFailed;
}

// True when name is a plain file, not a link, holding exactly bytes.
bool HoldsExactly(HANDLE directory, const std::string& name, ByteView bytes) {
    UniqueHandle file(::CreateFileW(Within(directory, name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!file || !::GetFileInformationByHandle(file.get(), &information) ||
        (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
        (std::uint64_t{information.nFileSizeHigh} << 32 | information.nFileSizeLow) != bytes.size()) {
        return false;
    }
    std::array<std::uint8_t, kCompareBlock> block;
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        const DWORD wanted = static_cast<DWORD>(std::min(block.size(), bytes.size() - done));
        if (!::ReadFile(file.get(), block.data(), wanted, &got, nullptr) || got == 0 ||
            std::memcmp(block.data(), bytes.data() + done, got) != 0) {
            return false;
        }
        done += got;
    }
    return true;
}

// Windows has no flush of a whole file system for a plain user, so each photo reaches the
// disk before it is put under its name.
Saved WriteAndPlace(HANDLE directory, UniqueHandle file, std::string& temporary, const std::string& name,
                    ByteView bytes) {
    if (!WriteAll(file.get(), bytes) || !::FlushFileBuffers(file.get())) return Failed(name, LastErrorText());
    file = UniqueHandle();
    Saved saved = PutUnderFreeName(
        name, [&](const std::string& candidate) { return Place(directory, temporary, candidate); },
        [&](const std::string& candidate) { return HoldsExactly(directory, candidate, bytes); }, LastErrorText);
    if (saved.kind == Kind::kWritten || saved.kind == Kind::kWrittenUnderFreeName) temporary.clear();
    return saved;
}

}  // namespace

std::optional<TargetDirectory> TargetDirectory::Open(const std::string& path, std::string& reason, Placing) {
    // Held without leave to delete: while the save runs the folder can be neither removed,
    // renamed nor moved, so every photo lands in the folder the user chose.
    UniqueHandle directory(::CreateFileW(Widen(path).c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!directory) {
        reason = LastErrorText();
        return std::nullopt;
    }
    // The backup flag that lets a folder be opened opens a file just as well.
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(directory.get(), &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        reason = SystemErrorText(ERROR_DIRECTORY);
        return std::nullopt;
    }
    return TargetDirectory(reinterpret_cast<std::intptr_t>(directory.release()), Placing::kRenameNoReplace);
}

TargetDirectory::TargetDirectory(TargetDirectory&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)),
      placing_(other.placing_),
      temporariesMade_(other.temporariesMade_) {}

TargetDirectory& TargetDirectory::operator=(TargetDirectory&& other) noexcept {
    if (this != &other) {
        UniqueHandle released(AsHandle(descriptor_));
        descriptor_ = std::exchange(other.descriptor_, -1);
        placing_ = other.placing_;
        temporariesMade_ = other.temporariesMade_;
    }
    return *this;
}

TargetDirectory::~TargetDirectory() { UniqueHandle released(AsHandle(descriptor_)); }

TargetDirectory::Saved TargetDirectory::Save(const std::string& name, ByteView bytes) {
    if (!IsPlainFileName(name)) return Failed(name, NotAFileNameText());
    const HANDLE directory = AsHandle(descriptor_);
    std::string temporary;
    UniqueHandle file = CreateTemporary(directory, temporariesMade_, temporary);
    if (!file) return Failed(name, LastErrorText());
    Saved saved = WriteAndPlace(directory, std::move(file), temporary, name, bytes);
    if (!temporary.empty() && !::DeleteFileW(Within(directory, temporary).c_str())) {
        saved = Failed(name, saved.reason + "（临时文件 " + temporary + " 未能删除：" + LastErrorText() + "）");
    }
    return saved;
}

bool TargetDirectory::MakeDurable(std::string&) { return true; }

}  // namespace velkor
