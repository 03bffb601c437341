#pragma once
// The fixture of the target directory suites: a folder "out" inside a scratch directory, opened
// with each way of putting a file in place (Windows has one way and takes no choice, so its
// runs are alike).
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/target_directory.h"
#include "tests/support/test_support.h"

namespace velkor::testing {

// A JPEG of exactly size bytes; seed makes photos of one size differ.
inline ByteSet Photo(std::uint32_t seed, std::size_t size) { return PadJpegTo(MakeJpeg(32, 24, {.seed = seed}), size); }

// Returns every ".part-" file at or under root.
inline std::vector<std::string> PartFilesUnder(const std::string& root) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.path().filename().string().starts_with(".part-")) found.push_back(entry.path().string());
    }
    return found;
}

class EachPlacing : public ::testing::TestWithParam<TargetDirectory::Placing> {
protected:
    EachPlacing() { std::filesystem::create_directory(out_); }

    TargetDirectory OpenOrFail(const std::string& path) {
        std::string reason;
        std::optional<TargetDirectory> directory = TargetDirectory::Open(path, reason, GetParam());
        if (!directory) throw std::runtime_error("cannot open " + path + ": " + reason);
        return std::move(*directory);
    }

    // So that the tests can see what lands beside the folder.
    ScratchDir parent_;
    const std::string out_ = parent_.File("out");
};

inline std::string PlacingName(const ::testing::TestParamInfo<TargetDirectory::Placing>& info) {
    const char* const names[] = {"AnonymousLink", "RenameNoReplace", "HardLink", "CheckThenRename"};
    return names[static_cast<int>(info.param)];
}

inline const auto kEveryPlacing =
    ::testing::Values(TargetDirectory::Placing::kAnonymousLink, TargetDirectory::Placing::kRenameNoReplace,
                      TargetDirectory::Placing::kHardLink, TargetDirectory::Placing::kCheckThenRename);

}  // namespace velkor::testing
