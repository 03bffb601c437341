// velkor.dll as a Windows host meets it: exactly the four entries, named in GBK in the
// export table, found by GetProcAddress with those bytes, and callable before any scan.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/files.h"

namespace velkor {
namespace {

const std::string kHeight = "\xc8\xa1jpg\xcd\xbc\xc6\xac\xb8\xdf\xb6\xc8";  // 取jpg图片高度
const std::string kWidth = "\xc8\xa1jpg\xcd\xbc\xc6\xac\xbf\xed\xb6\xc8";   // 取jpg图片宽度
const std::string kMeasure = "\xcf\xdf\xb3\xcc" "1";                         // 线程1

std::string LibraryPath() { return ProgramDirectory() + "/../bin/velkor.dll"; }

// The names of the module's export table, in the table's order.
std::vector<std::string> ExportedNames(HMODULE module) {
    const auto* base = reinterpret_cast<const std::uint8_t*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
    const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    std::vector<std::string> found;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) found.emplace_back(reinterpret_cast<const char*>(base + names[i]));
    return found;
}

// The entry named name, as a function of type Function; nullptr when there is none.
template <typename Function>
Function* Entry(HMODULE module, const std::string& name) {
    // Through a plain function pointer: FARPROC's own type says nothing of the entry's.
    return reinterpret_cast<Function*>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name.c_str())));
}

class Library : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(module_, nullptr) << "cannot load " << LibraryPath() << ": " << ::GetLastError(); }
    void TearDown() override {
        if (module_ != nullptr) ::FreeLibrary(module_);
    }
    HMODULE module_ = ::LoadLibraryA(LibraryPath().c_str());
};

TEST_F(Library, ExportsExactlyTheFourEntriesUnderTheirGbkNamesInByteOrder) {
    EXPECT_EQ(ExportedNames(module_), (std::vector<std::string>{"winhex", kHeight, kWidth, kMeasure}));
}

TEST_F(Library, TheProbesAndTheMeasuringEntryAnswerBeforeAnyScan) {
    EXPECT_NE(::GetProcAddress(module_, "winhex"), nullptr);
    auto* height = Entry<std::int32_t()>(module_, kHeight);
    auto* width = Entry<std::int32_t()>(module_, kWidth);
    auto* measure = Entry<void()>(module_, kMeasure);
    ASSERT_NE(height, nullptr);
    ASSERT_NE(width, nullptr);
    ASSERT_NE(measure, nullptr);
    EXPECT_EQ(height(), 0) << "no candidate yet";
    EXPECT_EQ(width(), 0);
    measure();
    EXPECT_EQ(height(), 0) << "measuring does not change the candidate";
    EXPECT_EQ(::GetProcAddress(module_, "取jpg图片高度"), nullptr) << "the UTF-8 name is not the exported one";
}

}  // namespace
}  // namespace velkor
