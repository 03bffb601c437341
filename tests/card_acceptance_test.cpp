// The whole tool on a realistic card: a small FAT32 camera card (made by
// bench/media/make_card.py) whose photographs were erased by formatting, scanned and
// saved through the real window by velkor-autoscan.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "tests/support/test_support.h"

namespace velkor {
namespace {

using testing::ScratchDir;

constexpr std::int64_t kChunkBytes = 51200000;


struct Photo {
    std::string name;
    std::int64_t offset = 0;
    std::int64_t size = 0;
    std::string sha256;
    std::string coding;
};

// The manifest's photographs, in the order of their offsets on the card.
std::vector<Photo> ReadManifest(const std::string& path) {
    std::vector<Photo> photos;
    std::ifstream manifest(path);
    for (std::string line; std::getline(manifest, line);) {
        if (line.empty() || line[0] == '#' || line.rfind("name\t", 0) == 0) continue;
        std::istringstream fields(line);
        Photo photo;
        std::string offset, size;
        std::getline(fields, photo.name, '\t');
        std::getline(fields, offset, '\t');
        std::getline(fields, size, '\t');
        std::getline(fields, photo.sha256, '\t');
        std::getline(fields, photo.coding);
        photo.offset = std::stoll(offset);
        photo.size = std::stoll(size);
        photos.push_back(photo);
    }
    std::sort(photos.begin(), photos.end(), [](const Photo& a, const Photo& b) { return a.offset < b.offset; });
    return photos;
}

// The sha256 of the first size bytes of a file, as sha256sum writes it.
std::string Sha256OfBeginning(const std::string& path, std::int64_t size) {
    const testing::CommandResult run = testing::RunCommand("head -c " + std::to_string(size) + " '" + path + "' | sha256sum");
    return run.output.substr(0, run.output.find(' '));
}

bool AnyCodingHas(const std::vector<Photo>& photos, const std::string& word) {
    return std::any_of(photos.begin(), photos.end(), [&](const Photo& p) { return p.coding.find(word) != std::string::npos; });
}

TEST(CardAcceptance, EveryPhotographOfAFormattedCardIsRecoveredWholeAndNothingElse) {
    ScratchDir program;
    for (const char* name : {"velkor-autoscan", "libvelkor.so", "picvet"}) testing::CopyDeliverable(name, program.Path());
    ScratchDir media;
    const testing::CommandResult made = testing::RunCommand("python3 '" VELKOR_SOURCE_DIR "/bench/media/make_card.py' '" + media.File("card.img") +
                                          "' --variant clean --card-mib 64 --photos 20 --clips 0 --small-frames --straddle"
                                          " --seed 3 --jobs 2 --makephotos '" + testing::BuildProgramDirectory() + "/velkor-makephotos'");
    ASSERT_EQ(made.status, 0) << made.output;
    const std::vector<Photo> photos = ReadManifest(media.File("card.manifest.tsv"));
    ASSERT_EQ(photos.size(), 20u) << made.output;
    // The card must hold the hard cases, or passing proves little.
    EXPECT_TRUE(std::any_of(photos.begin(), photos.end(), [](const Photo& p) {
        return p.offset < kChunkBytes && p.offset + p.size > kChunkBytes;
    })) << "no photograph straddles the first chunk boundary";
    for (const char* coding : {"progressive", "baseline", "420", "422", "444", "gray", "restart", "thumb+pad", "thumb"}) {
        EXPECT_TRUE(AnyCodingHas(photos, coding)) << "no photograph coded " << coding;
    }
    EXPECT_EQ(testing::RunCommand("MTOOLS_SKIP_CHECK=1 mdir -b -i '" + media.File("card.img") + "@@4194304' ::/").output, "")
        << "the file system still lists files";

    const testing::CommandResult run = testing::RunCommand("env QT_QPA_PLATFORM=offscreen '" + program.File("velkor-autoscan") + "' '" +
                                         media.File("card.img") + "' '" + media.File("out") + "'");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("\"found\": 20, \"saved\": 20,"), std::string::npos) << run.output;
    // Entries are numbered in the order the scan meets them, which is the order on the card.
    for (std::size_t k = 0; k < photos.size(); ++k) {
        const Photo& photo = photos[k];
        const std::string saved = media.File("out/" + std::to_string(10000000 + k) + ".jpg");
        ASSERT_TRUE(std::filesystem::is_regular_file(saved)) << photo.name;
        EXPECT_EQ(ReadWholeFile(saved).size(), static_cast<std::size_t>((photo.size + 511) / 512 * 512))
            << photo.name << " is not cut at the sector that holds its end (" << photo.coding << ")";
        EXPECT_EQ(Sha256OfBeginning(saved, photo.size), photo.sha256) << photo.name << " (" << photo.coding << ")";
    }
}

}  // namespace
}  // namespace velkor
