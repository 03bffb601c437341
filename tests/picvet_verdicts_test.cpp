// The validator's verdicts on one set of pictures, which every build must give alike:
// the Linux picvet reads the headers with libjpeg, the Windows one with the Windows
// Imaging Component. The pictures are built here byte by byte (the verdict rests on
// the headers alone), so the set needs no encoder and is the same for both builds.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/jpeg_headers.h"
#include "platform/process.h"
#include "tests/support/scratch_files.h"

namespace velkor {
namespace {

ByteSet Segment(std::uint8_t marker, const ByteSet& body) {
    const std::size_t length = body.size() + 2;
    ByteSet bytes{0xFF, marker, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

struct Layout {
    int width = 96;
    int height = 64;
    std::uint8_t frame = 0xC0;  // SOF0 baseline; 0xC2 progressive, 0xC3 lossless
    bool frameFirst = true;     // false: the scan header comes before the frame header
    bool endBeforeScan = false;
    ByteSet strayBeforeTables = {};  // bytes that are no marker, between two segments
};

// SOI, a quantisation table, the frame, Huffman tables, the scan header, some coded data and EOI.
ByteSet Picture(const Layout& layout) {
    ByteSet quantisation(65, 1);
    quantisation[0] = 0x00;
    const ByteSet frame = Segment(layout.frame, {8, static_cast<std::uint8_t>(layout.height >> 8),
                                                 static_cast<std::uint8_t>(layout.height),
                                                 static_cast<std::uint8_t>(layout.width >> 8),
                                                 static_cast<std::uint8_t>(layout.width), 1, 1, 0x11, 0});
    ByteSet huffman;
    for (const std::uint8_t table : {0x00, 0x10}) {
        huffman.push_back(table);
        ByteSet counts(16, 0);
        counts[0] = 1;
        huffman.insert(huffman.end(), counts.begin(), counts.end());
        huffman.push_back(0);
    }
    const bool progressive = layout.frame == 0xC2;
    const ByteSet scan = Segment(0xDA, {1, 1, 0x00, 0, static_cast<std::uint8_t>(progressive ? 0 : 63), 0});
    ByteSet bytes{0xFF, 0xD8};
    const auto add = [&bytes](const ByteSet& part) { bytes.insert(bytes.end(), part.begin(), part.end()); };
    add(layout.strayBeforeTables);
    add(Segment(0xDB, quantisation));
    if (layout.frameFirst) add(frame);
    add(Segment(0xC4, huffman));
    if (layout.endBeforeScan) add({0xFF, 0xD9});
    add(scan);
    if (!layout.frameFirst) add(frame);
    add(ByteSet(200, 0x00));
    add({0xFF, 0xD9});
    return bytes;
}

// bytes with an application segment of length 0 right behind the start marker, which libjpeg passes over.
ByteSet WithEmptyApplication(const ByteSet& bytes) {
    ByteSet out = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x00};
    out.insert(out.end(), bytes.begin() + 2, bytes.end());
    return out;
}

ByteSet Cut(ByteSet bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

struct Case {
    const char* name;
    ByteSet candidate;
    const char* verdict;
};

std::vector<Case> SharedSet() {
    const ByteSet baseline = Picture({});
    return {
        {"baseline 96 x 64", baseline, "1"},
        {"10 x 10, the smallest accepted", Picture({.width = 10, .height = 10}), "1"},
        {"9 pixels wide", Picture({.width = 9, .height = 64}), "0"},
        {"9 pixels high", Picture({.width = 64, .height = 9}), "0"},
        {"progressive 640 x 480", Picture({.width = 640, .height = 480, .frame = 0xC2}), "1"},
        {"coded data cut right behind the scan header", Cut(baseline, static_cast<std::size_t>(HeadersEnd(baseline))),
         "1"},
        {"headers cut inside the Huffman tables", Cut(baseline, 120), "0"},
        {"stray bytes before a marker", Picture({.strayBeforeTables = {0x12, 0x34, 0x56}}), "1"},
        {"an application segment of length 0", WithEmptyApplication(baseline), "1"},
        {"65535 x 65535, beyond the pixel cap", Picture({.width = 65535, .height = 65535}), "0"},
        {"a width of 0", Picture({.width = 0, .height = 64}), "0"},
        {"the scan before the frame", Picture({.frameFirst = false}), "0"},
        {"an end marker before the scan", Picture({.endBeforeScan = true}), "0"},
        {"lossless coding", Picture({.frame = 0xC3}), "0"},
        {"not a JPEG", BytesOf("\x89PNG\r\n\x1a\n and more"), "0"},
    };
}

TEST(PicvetVerdicts, TheSharedSetIsJudgedAlikeOnEverySystem) {
    const std::string picvet = ProgramDirectory() + "/../bin/picvet" + kProgramSuffix;
    testing::ScratchDir dir;
    const std::string program = dir.File("picvet") + kProgramSuffix;
    std::filesystem::copy_file(picvet, program);
    for (const Case& c : SharedSet()) {
        ASSERT_TRUE(WriteWholeFile(dir.File("tem.tem"), c.candidate));
        ASSERT_TRUE(WriteWholeFile(dir.File("ini.ini"), BytesOf("stale")));
        const ProgramRun run = StartProgramAndWait(program, 10000);
        ASSERT_TRUE(run.started) << run.failure;
        EXPECT_EQ(run.exitStatus, 0) << c.name;
        EXPECT_EQ(ReadWholeFile(dir.File("ini.ini")), BytesOf(c.verdict)) << c.name;
    }
}

TEST(HeadersEnd, FollowsLibjpegsWayToTheFirstScan) {
    const ByteSet baseline = Picture({});
    const std::int64_t end = HeadersEnd(baseline);
    ASSERT_GT(end, 0);
    EXPECT_EQ(baseline[static_cast<std::size_t>(end)], 0x00) << "the coded data begins there";
    EXPECT_EQ(HeadersEnd(Picture({.strayBeforeTables = {0x12, 0xFF, 0x00, 0x56}})), end + 4)
        << "stray bytes, even FF 00, are passed over";
    EXPECT_EQ(HeadersEnd(Cut(baseline, static_cast<std::size_t>(end) - 1)), end - 1)
        << "libjpeg finishes a scan header cut short with the end marker it reads past the data";
    const std::size_t scanHeader = static_cast<std::size_t>(end) - 10;
    ASSERT_EQ(baseline[scanHeader + 1], 0xDA);
    EXPECT_EQ(HeadersEnd(Cut(baseline, scanHeader + 2)), -1) << "without its length a scan header cannot be read";
    EXPECT_EQ(HeadersEnd(Picture({.endBeforeScan = true})), -1);
    EXPECT_EQ(HeadersEnd(BytesOf("\xFF\xD8\xFF\xD8")), -1) << "a second start";
    EXPECT_EQ(HeadersEnd(BytesOf("\xFF\xD8\xFF\xDB\x00\x01")), -1) << "a table's length below 2";
    EXPECT_EQ(HeadersEnd(WithEmptyApplication(baseline)), end + 4) << "an application segment's length below 2 skips nothing";
    EXPECT_EQ(HeadersEnd({}), -1);
}

// What the frame declares is read without a decoder, so a hostile size can be refused before
// any decoder sees it; the header is found on the way the decoder takes to the first scan.
TEST(DeclaredFrameSize, IsTheFirstFrameHeadersOnTheWayToTheFirstScan) {
    const auto declared = [](const ByteSet& bytes) {
        const std::optional<DeclaredSize> size = DeclaredFrameSize(bytes);
        return size ? std::to_string(size->width) + "x" + std::to_string(size->height) : std::string("none");
    };
    EXPECT_EQ(declared(Picture({})), "96x64");
    EXPECT_EQ(declared(Picture({.width = 640, .height = 480, .frame = 0xC2})), "640x480");
    const ByteSet large = Picture({.width = 640, .height = 480});
    const std::size_t at = static_cast<std::size_t>(DeclaredFrameSize(large)->heightAt);
    EXPECT_EQ(ByteSet(large.begin() + static_cast<std::ptrdiff_t>(at), large.begin() + static_cast<std::ptrdiff_t>(at) + 4),
              (ByteSet{0x01, 0xE0, 0x02, 0x80}))
        << "where the height and the width lie";
    EXPECT_EQ(declared(Picture({.width = 65535, .height = 65535})), "65535x65535") << "the caps are the caller's";
    EXPECT_EQ(declared(Picture({.strayBeforeTables = {0x12, 0xFF, 0x00, 0x56}})), "96x64");
    EXPECT_EQ(declared(WithEmptyApplication(Picture({.width = 300}))), "300x64");
    EXPECT_EQ(declared(Picture({.frameFirst = false})), "none") << "the scan comes first";
    EXPECT_EQ(declared(Picture({.endBeforeScan = true})), "none");
    const ByteSet baseline = Picture({});
    const std::size_t frame = static_cast<std::size_t>(FindBytes(baseline, ByteSet{0xFF, 0xC0}));
    EXPECT_EQ(declared(Cut(baseline, frame + 6)), "none") << "a frame header cut short";
    EXPECT_EQ(declared({}), "none");
}

}  // namespace
}  // namespace velkor
