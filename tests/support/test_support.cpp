#include "tests/support/test_support.h"

#include <filesystem>

#include "platform/drive_table.h"
#include "platform/files.h"

namespace velkor::testing {

ScratchProgramDirectory::ScratchProgramDirectory() {
    CopyDeliverable(std::string("picvet") + kProgramSuffix, Path());
    OverrideProgramDirectory(Path());
}

ScratchProgramDirectory::~ScratchProgramDirectory() { OverrideProgramDirectory(""); }

ByteSet SectorPhoto(int width, int height, std::uint32_t seed, std::int64_t sectors) {
    return PadJpegTo(MakeJpeg(width, height, {.seed = seed}), static_cast<std::size_t>(sectors * 512));
}

// The pictures are placed before the drive is arranged: some systems (Wine) count a write as a
// change of the file's identity, which the drive table would then take for another card.
std::vector<ByteSet> MakeThreePictureCard(const std::string& image) {
    std::vector<ByteSet> pictures;
    for (int i = 0; i < 3; ++i) {
        pictures.push_back(SectorPhoto(80 + 10 * i, 60, static_cast<std::uint32_t>(i + 1)));
        PlaceBytes(image, (100 + 500 * i) * 512, pictures.back());
    }
    UseImageAsDriveC(image, 4000);
    return pictures;
}

std::vector<MeasuredCase> MeasuredCases() {
    ByteSet junkBetweenSegments = MakeJpeg(64, 48, {.seed = 3});
    // Decoders skip bytes that are no marker between segments, so they still read this one.
    junkBetweenSegments.insert(junkBetweenSegments.begin() + 20, {0x12, 0x34, 0x56});
    return {{"photo with thumbnail", MakeJpeg(320, 240, {.exifThumbnail = true, .thumbnailPadding = 64}), true},
            {"9 x 9", MakeJpeg(9, 9), false},
            {"junk between segments", junkBetweenSegments, true}};
}

std::string BuildProgramDirectory() { return VELKOR_BIN_DIR; }

void CopyDeliverable(const std::string& name, const std::string& directory) {
    std::filesystem::copy_file(BuildProgramDirectory() + "/" + name, directory + "/" + name,
                               std::filesystem::copy_options::overwrite_existing);
}

}  // namespace velkor::testing
