// libvelkor.so as a host meets it: its four entry points, and the whole tool driven
// end to end through the real window by velkor-autoscan.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>

#include "platform/files.h"
#include "tests/support/test_support.h"

namespace velkor {
namespace {

using testing::ScratchDir;

struct CommandResult {
    int status = -1;
    std::string output;
};

// Runs a shell command line (the test's own, with fixed words) and collects its output.
CommandResult RunCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return result;
    std::array<char, 4096> block{};
    for (std::size_t got; (got = std::fread(block.data(), 1, block.size(), pipe)) > 0;) result.output.append(block.data(), got);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string Library() { return testing::BuildProgramDirectory() + "/libvelkor.so"; }

TEST(Exports, OnlyTheFourEntriesAreVisible) {
    const CommandResult symbols = RunCommand("nm -D --defined-only '" + Library() + "'");
    ASSERT_EQ(symbols.status, 0) << symbols.output;
    std::set<std::string> functions;
    std::istringstream lines(symbols.output);
    for (std::string address, kind, name; lines >> address >> kind >> name;) {
        if (kind == "T" || kind == "W" || kind == "i") functions.insert(name);
    }
    EXPECT_EQ(functions, (std::set<std::string>{"winhex", "取jpg图片高度", "取jpg图片宽度", "线程1"}));
}

TEST(Exports, ProbesAndMeasuringEntryWorkBeforeAnyScan) {
    void* library = dlopen(Library().c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    EXPECT_NE(dlsym(library, "winhex"), nullptr);
    auto* height = reinterpret_cast<std::int32_t (*)()>(dlsym(library, "取jpg图片高度"));
    auto* width = reinterpret_cast<std::int32_t (*)()>(dlsym(library, "取jpg图片宽度"));
    auto* measure = reinterpret_cast<void (*)()>(dlsym(library, "线程1"));
    ASSERT_NE(height, nullptr);
    ASSERT_NE(width, nullptr);
    ASSERT_NE(measure, nullptr);
    EXPECT_EQ(height(), 0) << "no candidate yet";
    EXPECT_EQ(width(), 0);
    measure();
    EXPECT_EQ(height(), 0) << "measuring does not change the candidate";
    dlclose(library);
}

TEST(Exports, WithoutADisplayTheHostGetsTheMessageAndExitCodeMinusOne) {
    const CommandResult run =
        RunCommand("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" + testing::BuildProgramDirectory() + "/velkor'");
    EXPECT_EQ(run.status, 255);
    EXPECT_NE(run.output.find("The runtime library is missing or invalid, or this edition of it does not support DLLs!"),
              std::string::npos)
        << run.output;
}

TEST(EndToEnd, ScanAndSaveThroughTheWindowRecoverEveryPicture) {
    ScratchDir program;
    for (const char* name : {"velkor-autoscan", "libvelkor.so", "picvet"}) testing::CopyDeliverable(name, program.Path());
    ScratchDir media;
    const std::string image = media.File("card.img");
    testing::SizeFile(image, 150000 * 512);
    std::vector<std::pair<std::int64_t, ByteSet>> pictures;
    const std::int64_t sectors[] = {64, 4000, 99990, 120000};  // the third straddles the first chunk's end
    for (std::size_t i = 0; i < std::size(sectors); ++i) {
        pictures.emplace_back(sectors[i], testing::MakeJpeg(300 + 40 * static_cast<int>(i), 200,
                                                            {.progressive = i % 2 == 1, .exifThumbnail = i == 2,
                                                             .seed = static_cast<std::uint32_t>(i + 1)}));
        testing::PlaceBytes(image, sectors[i] * 512, pictures.back().second);
    }
    const CommandResult run =
        RunCommand("env QT_QPA_PLATFORM=offscreen '" + program.File("velkor-autoscan") + "' '" + image + "' '" + media.File("out") + "'");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("\"found\": 4, \"saved\": 4"), std::string::npos) << run.output;
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        const ByteSet saved = ReadWholeFile(media.File("out/" + std::to_string(10000000 + i) + ".jpg"));
        const ByteSet& original = pictures[i].second;
        EXPECT_EQ(saved.size(), (original.size() - 1) / 512 * 512 + 512) << i;
        EXPECT_TRUE(saved.size() >= original.size() && std::equal(original.begin(), original.end(), saved.begin())) << i;
    }
}

}  // namespace
}  // namespace velkor
