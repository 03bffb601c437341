// The cut of a candidate worth judging, and the end searches consecutive candidates share.
#include "carving/candidate_cut.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "platform/picture_measure.h"
#include "tests/support/test_support.h"

namespace velkor {
namespace {

using testing::MakeJpeg;

const ByteSet kEndMarker = {0xFF, 0xD9, 0x00, 0x00};

// Bytes without a zero, so that no FF D9 00 00 lies in them by chance.
ByteSet OldData(std::size_t size, std::uint32_t seed) {
    std::mt19937 random(seed);
    ByteSet bytes(size);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random() % 255 + 1);
    return bytes;
}

void PutAt(ByteSet& bytes, std::size_t at, const ByteSet& what) { std::copy(what.begin(), what.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at)); }

// A search that remembers what it found gives what a fresh search of the same
// bytes would, for the orders a scan asks in: starts that move on, views that
// begin at the start or behind what was searched before, and views cut short.
TEST(MarkerSearch, AnswersAsAFreshSearchWouldWhateverItRemembers) {
    std::mt19937 random(7);
    ByteSet drive = OldData(1 << 20, 3);
    std::vector<std::int64_t> markers;
    for (int k = 0; k < 40; ++k) {
        markers.push_back(static_cast<std::int64_t>(random() % (drive.size() - 4)));
        PutAt(drive, static_cast<std::size_t>(markers.back()), kEndMarker);
    }
    const auto size = static_cast<std::int64_t>(drive.size());
    MarkerSearch search(kEndMarker);
    std::int64_t from = 0;
    for (int question = 0; question < 3000; ++question) {
        from += static_cast<std::int64_t>(random() % 3000);
        if (question % 500 == 0) from = static_cast<std::int64_t>(random() % drive.size());  // a new scan of the same bytes
        if (from >= size) from = 0;
        const MarkerSearch::Known known = search.KnownFrom(from);
        const std::int64_t at = random() % 2 == 0 ? from : std::max<std::int64_t>(known.clearTo - static_cast<std::int64_t>(random() % 600), from);
        std::int64_t end = std::min(size, at + static_cast<std::int64_t>(random() % 200000));
        // Views that end inside a marker, which the search must not pass over for later views.
        const std::int64_t marker = markers[random() % markers.size()];
        if (random() % 3 == 0 && marker > at) end = marker + 1 + static_cast<std::int64_t>(random() % 3);
        const ByteView view = ByteView(drive).subspan(static_cast<std::size_t>(at), static_cast<std::size_t>(end - at));
        const std::int64_t first = FindBytes(drive, kEndMarker, from);
        const std::int64_t expected = first >= 0 && first + 4 <= end ? first : -1;
        ASSERT_EQ(search.Find(view, at, from), expected) << "question " << question << " from " << from << " view " << at << "-" << end;
        const MarkerSearch::Known after = search.KnownFrom(from);
        if (after.found >= 0) {
            ASSERT_EQ(after.found, first);
        } else {
            const std::int64_t clear = first < 0 ? size : first;
            ASSERT_LE(after.clearTo, clear) << "claims no marker where there is one";
        }
    }
}

// reach: a photo at offset 0 followed by old data; the cut worth judging.
std::optional<std::int64_t> FirstCutOf(const ByteSet& reach) {
    EndSearches searches;
    CutFinder finder(reach, 0, searches);
    return finder.FirstCut();
}

TEST(CutFinder, CutsAtTheFirstEndMarkerBehindTheHeadersNotAtAThumbnailsEnd) {
    const ByteSet photo = MakeJpeg(320, 240, {.exifThumbnail = true, .thumbnailPadding = 64, .seed = 2});
    ASSERT_LT(FindBytes(photo, kEndMarker), FirstScanDataOffset(photo)) << "the thumbnail's end is a full end marker";
    ByteSet reach = OldData(200 * 512, 4);
    PutAt(reach, 0, photo);
    PutAt(reach, photo.size(), {0, 0});
    EXPECT_EQ(FirstCutOf(reach), CutSectorsForMarkerAt(static_cast<std::int64_t>(photo.size()) - 2));
}

// Headers the segment walk cannot follow (bytes that are no marker between two
// segments, which the validator skips) are measured as the validator reads them: a
// cut ending before it has read them is never judged, the first one after is.
TEST(CutFinder, HeadersTheWalkCannotFollowAreMeasuredAsTheValidatorReadsThem) {
    ByteSet photo = MakeJpeg(320, 240, {.seed = 5});
    photo.insert(photo.begin() + 20, {0x12, 0x34, 0x56});
    ASSERT_EQ(FirstScanDataOffset(photo), -1);
    const std::int64_t headers = MeasuredLength(photo);
    ASSERT_GT(headers, 600);
    ByteSet reach = OldData(200 * 512, 6);
    PutAt(reach, 0, photo);
    PutAt(reach, photo.size(), {0, 0});
    const auto early = static_cast<std::size_t>(headers - 520);  // its sector ends before the headers do
    PutAt(reach, early, kEndMarker);
    ASSERT_LT(CutSectorsForMarkerAt(static_cast<std::int64_t>(early)) * 512, headers);
    EXPECT_EQ(FirstCutOf(reach), CutSectorsForMarkerAt(static_cast<std::int64_t>(photo.size()) - 2));
    const auto late = static_cast<std::size_t>(headers + 600);
    PutAt(reach, late, kEndMarker);
    EXPECT_EQ(FirstCutOf(reach), CutSectorsForMarkerAt(static_cast<std::int64_t>(late)));
}

TEST(CutFinder, WithoutAnEndMarkerABareEndBehindTheScanDataIsTheCut) {
    const ByteSet photo = MakeJpeg(160, 120, {.exifThumbnail = true, .seed = 8});
    ByteSet reach = OldData(100 * 512, 9);
    PutAt(reach, 0, photo);
    EXPECT_EQ(FirstCutOf(reach), CutSectorsForMarkerAt(static_cast<std::int64_t>(photo.size()) - 2));
}

TEST(CutFinder, HeadersThatDoNotEndWithinReachGiveNoCut) {
    ByteSet reach = OldData(100 * 512, 10);
    PutAt(reach, 0, {0xFF, 0xD8, 0xFF, 0xE1, 0xFF, 0xFF});  // a 64 KB segment reaching past the end
    PutAt(reach, 3000, kEndMarker);
    EndSearches searches;
    CutFinder finder(ByteView(reach).first(60000), 0, searches);
    EXPECT_EQ(finder.FirstCut(), std::nullopt);
    EXPECT_FALSE(finder.HeadersEndWithin());
}

}  // namespace
}  // namespace velkor
