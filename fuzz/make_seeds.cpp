// velkor-fuzz-seeds DIR: writes the seed corpus of every fuzz target into DIR/<target>/,
// generated from synthesised photos and hand-laid partition tables rather than copied.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "host/photo_synth.h"
#include "platform/files.h"
#include "tests/support/jpeg_containers.h"
#include "tests/support/jpeg_edit.h"

namespace {

using velkor::ByteSet;
using velkor::synth::JpegOptions;
using velkor::synth::MakeJpeg;

class Corpus {
public:
    Corpus(const std::string& root, const std::string& target) : directory_(root + "/" + target) {
        std::filesystem::create_directories(directory_);
    }
    void Add(const ByteSet& seed) {
        const std::string path = directory_ + "/seed-" + std::to_string(count_++);
        if (!velkor::WriteWholeFile(path, seed)) std::fprintf(stderr, "cannot write %s\n", path.c_str());
    }

private:
    std::string directory_;
    int count_ = 0;
};

// Photos in the codings cameras use, small enough to mutate quickly.
std::vector<ByteSet> Photos() {
    std::vector<ByteSet> photos = {
        MakeJpeg(16, 16),
        MakeJpeg(40, 30, {.progressive = true}),
        MakeJpeg(24, 9, {.grayscale = true}),
        MakeJpeg(32, 32, {.horizontalSampling = 1, .verticalSampling = 1, .restartRows = 1}),
        MakeJpeg(48, 32, {.horizontalSampling = 2, .verticalSampling = 1}),
        MakeJpeg(64, 48, {.exifThumbnail = true, .thumbnailPadding = 16}),
    };
    ByteSet truncated = photos.back();
    truncated.resize(truncated.size() / 2);
    photos.push_back(truncated);
    return photos;
}

ByteSet WithTail(ByteSet bytes, std::initializer_list<std::uint8_t> tail) {
    bytes.insert(bytes.end(), tail);
    return bytes;
}

void ProbeSeeds(const std::string& root) {
    Corpus corpus(root, "probe");
    for (const ByteSet& photo : Photos()) corpus.Add(photo);
    ByteSet bmp(60, 0);
    bmp[0] = 'B';
    bmp[1] = 'M';
    bmp[18] = 0x20;
    bmp[22] = 0xF0;
    bmp[25] = 0xFF;
    corpus.Add(bmp);
    ByteSet png = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 3, 0x20, 0, 0, 2, 0x58};
    png.resize(60, 0);
    corpus.Add(png);
    ByteSet gif = velkor::BytesOf("GIF89a");
    gif.insert(gif.end(), {0x20, 0x03, 0x58, 0x02});
    gif.resize(60, 0);
    corpus.Add(gif);
}

void MeasureSeeds(const std::string& root) {
    Corpus corpus(root, "measure");
    for (const ByteSet& photo : Photos()) corpus.Add(photo);
    corpus.Add(WithTail({0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x11, 0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0x03}, {0x01, 0x22, 0x00}));
    corpus.Add({});
}

// The preview target reads its box from the first two bytes: these give the window's 489 x 393.
ByteSet InPreviewBox(const ByteSet& jpeg) {
    ByteSet input = {122, 98};
    input.insert(input.end(), jpeg.begin(), jpeg.end());
    return input;
}

void PreviewSeeds(const std::string& root) {
    Corpus corpus(root, "preview");
    for (const ByteSet& photo : Photos()) corpus.Add(InPreviewBox(photo));
    const ByteSet progressive = MakeJpeg(16, 16, {.progressive = true});
    corpus.Add(InPreviewBox(velkor::testing::WithFrameSize(progressive, 32768, 32768)));
    corpus.Add(InPreviewBox(velkor::testing::WithScanCount(progressive, 600)));
    corpus.Add(InPreviewBox(velkor::testing::WithFrameSize(MakeJpeg(16, 16), 20000, 60)));
    corpus.Add({1, 1});
}

void RadixSeeds(const std::string& root) {
    Corpus corpus(root, "radix");
    const struct {
        std::uint8_t source;
        std::uint8_t target;
        const char* text;
    } seeds[] = {{14, 8, "ff"},        {14, 14, "00FF"}, {8, 14, "255"},        {8, 34, "35"},
                 {14, 8, "1G"},        {6, 8, "8"},      {14, 8, "3F000000"}, {14, 8, "C1FF3F00"},
                 {14, 8, "１２ＡＢ"},  {14, 8, ""},      {34, 0, "ZZZZZZZZ"},
                 {14, 8, "0123456789ABCDEF0123456789ABCDEF01234567"}};
    for (const auto& seed : seeds) {
        ByteSet bytes = {seed.source, seed.target};
        const std::string text = seed.text;
        bytes.insert(bytes.end(), text.begin(), text.end());
        corpus.Add(bytes);
    }
}

// A partition entry: type at byte 4, start sector at bytes 8 ... 11, sector count at 12 ... 15.
void PutEntry(ByteSet& sector, int entry, std::uint8_t type, std::uint32_t start, std::uint32_t count) {
    const std::size_t at = 446 + 16 * static_cast<std::size_t>(entry - 1);
    sector[at + 4] = type;
    for (int i = 0; i < 4; ++i) {
        sector[at + 8 + i] = static_cast<std::uint8_t>(start >> (8 * i));
        sector[at + 12 + i] = static_cast<std::uint8_t>(count >> (8 * i));
    }
}

ByteSet BootRecord() {
    ByteSet sector(512, 0);
    sector[510] = 0x55;
    sector[511] = 0xAA;
    return sector;
}

// Input of the locator target: letters on the drive, the letter asked for, then records.
class DriveSeed {
public:
    DriveSeed(std::uint8_t lettersOnDrive, char asked) : bytes_{static_cast<std::uint8_t>(lettersOnDrive - 1), static_cast<std::uint8_t>(asked - 'A')} {}
    DriveSeed& Sector(std::uint16_t number, const ByteSet& content) {
        bytes_.push_back(static_cast<std::uint8_t>(number));
        bytes_.push_back(static_cast<std::uint8_t>(number >> 8));
        bytes_.insert(bytes_.end(), content.begin(), content.end());
        return *this;
    }
    const ByteSet& Bytes() const { return bytes_; }

private:
    ByteSet bytes_;
};

void LocatorSeeds(const std::string& root) {
    Corpus corpus(root, "locator");
    // A chain of logical partitions laid back to back, as the locator assumes.
    ByteSet master = BootRecord();
    PutEntry(master, 1, 0x07, 1, 1);
    PutEntry(master, 2, 0x0F, 2, 300);
    ByteSet first = BootRecord();
    PutEntry(first, 1, 0x07, 63, 2);
    PutEntry(first, 2, 0x05, 65, 100);
    ByteSet second = BootRecord();
    PutEntry(second, 1, 0x0B, 63, 5);
    for (const char asked : {'C', 'D', 'E', 'F'}) {
        corpus.Add(DriveSeed(4, asked).Sector(0, master).Sector(64, first).Sector(129, second).Bytes());
    }
    // A boot record whose link points back at itself, and one whose count points past the end.
    ByteSet looping = BootRecord();
    PutEntry(looping, 1, 0x07, 63, 0);
    PutEntry(looping, 2, 0x05, 0, 63);
    corpus.Add(DriveSeed(6, 'H').Sector(0, master).Sector(64, looping).Bytes());
    ByteSet far = BootRecord();
    PutEntry(far, 1, 0x07, 63, 0xFFFFFFFF);
    corpus.Add(DriveSeed(3, 'E').Sector(0, master).Sector(64, far).Bytes());
    // Primary partitions only, with an empty entry and another kind of extended one.
    ByteSet primaries = BootRecord();
    PutEntry(primaries, 1, 0x00, 0, 0);
    PutEntry(primaries, 2, 0x05, 2048, 4096);
    PutEntry(primaries, 3, 0x83, 8192, 0x80000000);
    PutEntry(primaries, 4, 0x07, 16384, 777);
    for (const char asked : {'C', 'D', 'E', 'F', 'G', 'B'}) corpus.Add(DriveSeed(5, asked).Sector(0, primaries).Bytes());
}

ByteSet Padded(const ByteSet& photo, std::size_t sectors) {
    return velkor::synth::PadJpegTo(photo, sectors * 512);
}

void CutSeeds(const std::string& root) {
    Corpus corpus(root, "cut");
    const std::vector<ByteSet> photos = Photos();
    // Pictures at sector starts, one behind another, one followed by old bytes.
    ByteSet chunk(24 * 512, 0);
    const ByteSet first = Padded(photos[0], 6);
    const ByteSet second = Padded(photos[1], 8);
    std::copy(first.begin(), first.end(), chunk.begin());
    std::copy(second.begin(), second.end(), chunk.begin() + 8 * 512);
    corpus.Add(chunk);
    ByteSet bare = chunk;
    bare[6 * 512 - 2] = 0x11;  // the first picture's end no longer followed by two zeros
    corpus.Add(bare);
    ByteSet thumbnail(16 * 512, 0xA5);
    const ByteSet withThumbnail = photos[5];
    std::copy(withThumbnail.begin(), withThumbnail.end(), thumbnail.begin());
    corpus.Add(thumbnail);
    // An end marker at the last bytes of a sector and across a sector boundary.
    ByteSet edges(4 * 512, 0);
    edges[0] = 0xFF;
    edges[1] = 0xD8;
    edges[2] = 0xFF;
    edges[510] = 0xFF;
    edges[511] = 0xD9;
    edges[1022] = 0xFF;
    edges[1023] = 0xD9;
    edges[2 * 512] = 0xFF;
    edges[2 * 512 + 1] = 0xD8;
    edges[2 * 512 + 2] = 0xFF;
    corpus.Add(edges);
}

// Pictures that declare what lies behind their end, one that runs into the next, and one
// whose coded data holds a marker that cannot stand there.
void PictureWalkSeeds(const std::string& root) {
    using namespace velkor::testing;
    Corpus corpus(root, "picture_walk");
    const std::vector<ByteSet> photos = Photos();
    for (const ByteSet& photo : photos) corpus.Add(photo);
    const ByteSet small = MakeJpeg(16, 16, {.seed = 3});
    corpus.Add(MultiPictureFile(photos[0], {small}, false));
    corpus.Add(MultiPictureFile(photos[1], {small, photos[2]}, true));
    const ByteSet video = VideoBytes(600);
    const std::string length = std::to_string(video.size());
    ByteSet microVideo = WithXmp(photos[0], XmpPacket("GCamera:MicroVideo=\"1\" GCamera:MicroVideoOffset=\"" + length + "\""));
    microVideo.insert(microVideo.end(), video.begin(), video.end());
    corpus.Add(microVideo);
    const std::string directory = ContainerDirectory({"Item:Mime=\"image/jpeg\" Item:Semantic=\"Primary\" Item:Padding=\"4\"",
                                                      "Item:Mime=\"video/mp4\" Item:Semantic=\"MotionPhoto\" Item:Length=\"" + length + "\""});
    ByteSet container = WithXmp(photos[1], XmpPacket("GCamera:MotionPhoto=\"1\"", directory));
    container.insert(container.end(), 4, 0);
    container.insert(container.end(), video.begin(), video.end());
    corpus.Add(container);
    ByteSet runsOn(photos[4].begin(), photos[4].end() - 40);
    runsOn.insert(runsOn.end(), small.begin(), small.end());
    corpus.Add(runsOn);
    ByteSet impossible = photos[3];
    const std::size_t middle = (LayoutOf(impossible).scans[0].first + LayoutOf(impossible).scans[0].second) / 2;
    impossible.insert(impossible.begin() + static_cast<std::ptrdiff_t>(middle), {0xFF, 0xC0, 0x00, 0x11});
    corpus.Add(impossible);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: velkor-fuzz-seeds DIR\n");
        return 2;
    }
    const std::string root = argv[1];
    ProbeSeeds(root);
    MeasureSeeds(root);
    PreviewSeeds(root);
    RadixSeeds(root);
    LocatorSeeds(root);
    CutSeeds(root);
    PictureWalkSeeds(root);
    return 0;
}
