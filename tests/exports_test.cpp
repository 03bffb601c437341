// libvelkor.so as a host meets it: its four entry points, and the whole tool driven
// end to end through the real window by velkor-autoscan.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <utility>

#include "platform/directory_lock.h"
#include "platform/files.h"
#include "tests/support/test_support.h"

namespace velkor {
namespace {

using testing::ScratchDir;

using testing::CommandResult;

// A shell command line (the test's own, with fixed words) started at once; Finish
// collects its output, so that several can run at the same time.
class RunningCommand {
public:
    explicit RunningCommand(const std::string& command) : pipe_(popen((command + " 2>&1").c_str(), "r")) {}
    RunningCommand(const RunningCommand&) = delete;
    RunningCommand& operator=(const RunningCommand&) = delete;
    ~RunningCommand() {
        if (pipe_ != nullptr) pclose(pipe_);
    }
    CommandResult Finish() {
        CommandResult result;
        if (pipe_ == nullptr) return result;
        std::array<char, 4096> block{};
        for (std::size_t got; (got = std::fread(block.data(), 1, block.size(), pipe_)) > 0;) result.output.append(block.data(), got);
        const int status = pclose(std::exchange(pipe_, nullptr));
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return result;
    }

private:
    FILE* pipe_;
};

CommandResult RunCommand(const std::string& command) { return RunningCommand(command).Finish(); }

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

constexpr char kBindingFailure[] =
    "The runtime library is missing or invalid, or this edition of it does not support DLLs!";

// A command line that runs program from the build without any display to open.
std::string WithoutDisplay(const std::string& program) {
    return "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" + testing::BuildProgramDirectory() + "/" +
           program + "'";
}

TEST(Exports, WithoutADisplayTheHostGetsTheMessageAndExitCodeMinusOneAndWhatFailed) {
    const CommandResult run = RunCommand(WithoutDisplay("velkor"));
    EXPECT_EQ(run.status, 255);
    EXPECT_NE(run.output.find(kBindingFailure), std::string::npos) << run.output;
    EXPECT_NE(
        run.output.find(
            "cannot open the display: set DISPLAY, or run velkor-autoscan with QT_QPA_PLATFORM=offscreen\n"),
        std::string::npos)
        << run.output;
}

TEST(Launchers, HelpAndVersionAnswerOnStandardOutputWithoutADisplay) {
    for (const std::string program : {"velkor", "velkor-autoscan"}) {
        // Standard error is dropped, so only what lands on standard output is seen.
        const CommandResult help = RunCommand("{ " + WithoutDisplay(program) + " --help 2>/dev/null; }");
        EXPECT_EQ(help.status, 0) << program;
        EXPECT_EQ(help.output.rfind("usage: " + program + " ", 0), 0u) << help.output;
        const CommandResult version =
            RunCommand("{ " + WithoutDisplay(program) + " --version 2>/dev/null; }");
        EXPECT_EQ(version.status, 0) << program;
        EXPECT_EQ(version.output, program + " " VELKOR_VERSION "\n");
    }
    const CommandResult unknown = RunCommand(WithoutDisplay("velkor") + " --no-such-option");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.output.find("unknown option --no-such-option"), std::string::npos) << unknown.output;
    EXPECT_EQ(unknown.output.find(kBindingFailure), std::string::npos) << "no window was attempted";
}

TEST(Launchers, TheHostSaysWhyAnImageIsNotOffered) {
    ScratchDir media;
    const std::string good = media.File("good.img");
    testing::SizeFile(good, 4096);
    const std::string run = "cd '" + media.Path() + "' && " + WithoutDisplay("velkor") +
                            " 'missing\n\xFF.img' --extra '" + media.Path() + "' '" + good + "'";
    const CommandResult result = RunCommand(run);
    EXPECT_EQ(result.status, 255) << "the window is still opened, here without a display";
    EXPECT_NE(
        result.output.find(media.Path() +
                           "/missing\\n\\xFF.img: No such file or directory (not offered as a drive)\n"),
        std::string::npos)
        << "a relative path is told made absolute: " << result.output;
    EXPECT_NE(
        result.output.find(media.Path() + ": is a directory, not an image file (not offered as a drive)\n"),
        std::string::npos)
        << result.output;
    EXPECT_EQ(result.output.find("good.img"), std::string::npos) << result.output;
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

TEST(EndToEnd, AnImagePathWithANewlineAByte0xFFAndAPercentSignIsScannedAsItIs) {
    ScratchDir program;
    for (const char* name : {"velkor-autoscan", "libvelkor.so", "picvet"})
        testing::CopyDeliverable(name, program.Path());
    ScratchDir media;
    const std::string image = media.File("card\n\xFF%41.img");
    testing::SizeFile(image, 20000 * 512);
    const ByteSet picture = testing::PadJpegTo(testing::MakeJpeg(64, 48), 6 * 512);
    testing::PlaceBytes(image, 300 * 512, picture);
    const CommandResult run = RunCommand("env QT_QPA_PLATFORM=offscreen '" + program.File("velkor-autoscan") +
                                         "' '" + image + "' '" + media.File("out") + "'");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("\"found\": 1, \"saved\": 1"), std::string::npos) << run.output;
    EXPECT_EQ(ReadWholeFile(media.File("out/10000000.jpg")), picture);
}

// A program directory with its own copies of the deliverables, and velkor-autoscan run from it.
class ProgramCopy {
public:
    ProgramCopy() {
        for (const char* name : {"velkor-autoscan", "libvelkor.so", "picvet"}) testing::CopyDeliverable(name, dir_.Path());
    }
    std::string Autoscan(const std::string& image, const std::string& out) const {
        return "env QT_QPA_PLATFORM=offscreen '" + dir_.File("velkor-autoscan") + "' '" + image + "' '" + out + "'";
    }
    std::string File(const std::string& name) const { return dir_.File(name); }

private:
    ScratchDir dir_;
};

// The probes answer for the last candidate a scan examined, width and height each its own.
TEST(EndToEnd, TheProbesTellTheLastCandidatesWidthAndHeight) {
    const ProgramCopy program;
    ScratchDir media;
    const std::string image = media.File("card.img");
    testing::SizeFile(image, 2000 * 512);
    testing::PlaceBytes(image, 100 * 512, testing::MakeJpeg(160, 90, {.seed = 3}));
    const CommandResult run = RunCommand(program.Autoscan(image, media.File("out")));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("\"probe_width\": 160, \"probe_height\": 90"), std::string::npos) << run.output;
}

// A card whose pictures lie where accepted (64 x 48) and rejected (9 x 9) say; the pictures a scan must list.
std::vector<ByteSet> MakeCard(const std::string& image, const std::vector<std::int64_t>& accepted,
                              const std::vector<std::int64_t>& rejected) {
    testing::SizeFile(image, 20000 * 512);
    std::vector<ByteSet> listed;
    for (const std::int64_t sector : rejected) testing::PlaceBytes(image, sector * 512, testing::PadJpegTo(testing::MakeJpeg(9, 9), 6 * 512));
    for (const std::int64_t sector : accepted) {
        listed.push_back(testing::PadJpegTo(testing::MakeJpeg(64, 48, {.seed = static_cast<std::uint32_t>(sector)}), 6 * 512));
        testing::PlaceBytes(image, sector * 512, listed.back());
    }
    return listed;
}

std::vector<std::int64_t> Sectors(std::int64_t first, std::int64_t count) {
    std::vector<std::int64_t> sectors;
    for (std::int64_t i = 0; i < count; ++i) sectors.push_back(first + 200 * i);
    return sectors;
}

// True when the run listed and saved exactly pictures, in order, into out.
bool RecoveredExactly(const CommandResult& run, const std::vector<ByteSet>& pictures, const std::string& out) {
    const std::string counts = "\"found\": " + std::to_string(pictures.size()) + ", \"saved\": " + std::to_string(pictures.size());
    if (run.status != 0 || run.output.find(counts) == std::string::npos) return false;
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        if (ReadWholeFile(out + "/" + std::to_string(10000000 + i) + ".jpg") != pictures[i]) return false;
    }
    return true;
}

constexpr char kOtherCopyScans[] = "另一个 Velkor 正在用程序目录";

// Two cards whose candidates sit at the same sectors with opposite verdicts, so verdicts
// crossing from one scan to the other would change what either lists.
class TwoCards : public ::testing::Test {
protected:
    ScratchDir media_;
    const std::string imageA_ = media_.File("a.img");
    const std::string imageB_ = media_.File("b.img");
    const std::vector<ByteSet> picturesA_ = MakeCard(imageA_, Sectors(100, 20), {});
    const std::vector<ByteSet> picturesB_ = MakeCard(imageB_, Sectors(150, 20), Sectors(100, 20));
};

// A card with photos on offer beside the image asked for, which a fallback would scan.
TEST_F(TwoCards, AnImageThatCannotBeOpenedFailsWithItsReasonAndNoDriveIsScanned) {
    const ProgramCopy program;
    const std::string missing = media_.File("missing.img");
    const std::string cases[][2] = {{missing, missing + ": No such file or directory"},
                                    {media_.Path(), media_.Path() + ": is a directory, not an image file"}};
    for (const auto& [image, reason] : cases) {
        const CommandResult run = RunCommand("env VELKOR_EXTRA_IMAGES='" + imageA_ + "' " +
                                             program.Autoscan(image, media_.File("out")));
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_NE(run.output.find("\"found\": 0, \"saved\": 0,"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("\"ok\": false, \"reason\": \"" + reason + "\"}"), std::string::npos)
            << run.output;
        EXPECT_TRUE(testing::NamesIn(media_.File("out")).empty());
        EXPECT_FALSE(std::filesystem::exists(program.File("velkor.lock")))
            << "a scan of any drive takes the lock first";
    }
    const CommandResult textless = RunCommand(program.Autoscan(imageA_, media_.File("out\xFF")));
    EXPECT_EQ(textless.status, 1) << textless.output;
    EXPECT_NE(textless.output.find("\"reason\": \"OUTDIR and SCREENSHOT must be UTF-8 paths\""),
              std::string::npos)
        << textless.output;
    EXPECT_FALSE(std::filesystem::exists(media_.File("out\xFF")));
}

TEST_F(TwoCards, CopiesInDifferentDirectoriesScanAtOnceWithoutDisturbingEachOther) {
    const ProgramCopy first;
    const ProgramCopy second;
    RunningCommand a(first.Autoscan(imageA_, media_.File("outA")));
    RunningCommand b(second.Autoscan(imageB_, media_.File("outB")));
    const CommandResult runA = a.Finish();
    const CommandResult runB = b.Finish();
    EXPECT_TRUE(RecoveredExactly(runA, picturesA_, media_.File("outA"))) << runA.output;
    EXPECT_TRUE(RecoveredExactly(runB, picturesB_, media_.File("outB"))) << runB.output;
}

TEST_F(TwoCards, ASecondCopyInTheSameDirectoryIsRefusedWithAMessage) {
    const ProgramCopy program;
    {
        bool heldElsewhere = false;
        std::string failure;
        const auto firstCopy = DirectoryLock::TryTake(program.File("velkor.lock"), heldElsewhere, failure);
        ASSERT_TRUE(firstCopy.has_value()) << failure;
        const CommandResult refused = RunCommand(program.Autoscan(imageA_, media_.File("refused")));
        EXPECT_EQ(refused.status, 1);
        EXPECT_NE(refused.output.find(kOtherCopyScans), std::string::npos) << refused.output;
        EXPECT_NE(refused.output.find("\"found\": 0, \"saved\": 0"), std::string::npos) << refused.output;
    }
    EXPECT_TRUE(RecoveredExactly(RunCommand(program.Autoscan(imageA_, media_.File("outA"))), picturesA_,
                                 media_.File("outA")))
        << "the directory is free again";
}

TEST_F(TwoCards, CopiesStartedTogetherInOneDirectoryNeverMixTheirVerdicts) {
    const ProgramCopy program;
    RunningCommand a(program.Autoscan(imageA_, media_.File("outA")));
    RunningCommand b(program.Autoscan(imageB_, media_.File("outB")));
    const CommandResult runA = a.Finish();
    const CommandResult runB = b.Finish();
    const bool refusedA = runA.status == 1 && runA.output.find(kOtherCopyScans) != std::string::npos;
    const bool refusedB = runB.status == 1 && runB.output.find(kOtherCopyScans) != std::string::npos;
    EXPECT_TRUE(refusedA || RecoveredExactly(runA, picturesA_, media_.File("outA"))) << runA.output;
    EXPECT_TRUE(refusedB || RecoveredExactly(runB, picturesB_, media_.File("outB"))) << runB.output;
    EXPECT_FALSE(refusedA && refusedB) << "one of them scans";
}

}  // namespace
}  // namespace velkor
