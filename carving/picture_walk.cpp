#include "carving/picture_walk.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>

#include "platform/byte_scan.h"

namespace velkor {
namespace {

using namespace std::string_view_literals;

constexpr int kBytesEnd = -1;    // marker code when the bytes end before a marker's code
constexpr int kNotAMarker = -2;  // marker code when no FF stands where a marker must

constexpr std::uint8_t kStartOfScan = 0xDA;
constexpr std::uint8_t kNumberOfLines = 0xDC;
constexpr std::int64_t kMpEntryTag = 0xB002;
constexpr std::int64_t kMpEntrySize = 16;

constexpr std::string_view kMpfIdentifier = "MPF\0"sv;
constexpr std::string_view kXmpIdentifier = "http://ns.adobe.com/xap/1.0/\0"sv;

std::int64_t SizeOf(ByteView bytes) { return static_cast<std::int64_t>(bytes.size()); }

std::uint8_t ByteAt(ByteView bytes, std::int64_t at) { return bytes[static_cast<std::size_t>(at)]; }

// Returns whether bytes hold text at offset at.
bool HoldsAt(ByteView bytes, std::int64_t at, std::string_view text) {
    return at >= 0 && at + static_cast<std::int64_t>(text.size()) <= SizeOf(bytes) &&
           std::memcmp(bytes.data() + at, text.data(), text.size()) == 0;
}

// Returns the big-endian 16-bit value at at, -1 when the bytes are not there.
std::int64_t ReadBe16(ByteView bytes, std::int64_t at) {
    if (at < 0 || at + 2 > SizeOf(bytes)) return -1;
    return std::int64_t{ByteAt(bytes, at)} << 8 | ByteAt(bytes, at + 1);
}

struct Marker {
    std::int64_t at;  // offset of the FF right before the code
    int code;         // the marker's code, or kBytesEnd / kNotAMarker
};

// Returns the marker at at, past any FF fill bytes before its code.
Marker MarkerAt(ByteView bytes, std::int64_t at) {
    if (at >= SizeOf(bytes)) return {SizeOf(bytes), kBytesEnd};
    if (ByteAt(bytes, at) != 0xFF) return {at, kNotAMarker};
    std::int64_t code = at + 1;
    while (code < SizeOf(bytes) && ByteAt(bytes, code) == 0xFF) ++code;
    if (code == SizeOf(bytes)) return {code, kBytesEnd};
    return {code - 1, ByteAt(bytes, code)};
}

bool BelongsToCodedData(int code) { return code == 0x00 || (code >= 0xD0 && code <= 0xD7); }

// Returns the offset of the marker that ends coded data beginning at at (stuffed zeros and
// restart markers are part of the data), the size when the bytes end first. Of fill bytes
// before a code, the last is the marker's FF.
std::int64_t EndOfCodedData(ByteView bytes, std::int64_t at) {
    const std::int64_t size = SizeOf(bytes);
    const std::int64_t end = FindByteWhere(bytes, at, 0xFF, [&](std::int64_t ff) {
        if (ff + 1 == size) return true;
        const int code = ByteAt(bytes, ff + 1);
        return code != 0xFF && !BelongsToCodedData(code);
    });
    return end + 1 >= size ? size : end;
}

bool IsFrameHeader(int code) {
    return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

// Tables (DHT, DAC, DQT, DRI) and miscellaneous segments (APPn, COM), which may stand
// before the frame, before the first scan and between scans alike.
bool IsTableOrMiscellany(int code) {
    return code == 0xC4 || code == 0xCC || code == 0xDB || code == 0xDD || code == 0xFE ||
           (code >= 0xE0 && code <= 0xEF);
}

// Where a segment's data lies behind its identifier.
struct Body {
    std::int64_t at = -1;
    std::int64_t size = 0;
};

enum class Stage { kBeforeFrame, kBeforeScan, kBetweenScans };

class Walker {
public:
    explicit Walker(ByteView bytes) : bytes_(bytes) {}
    // Returns the walk without declaredEnd, which WalkPicture works out from MpfBody() and XmpBody().
    PictureWalk Walk();
    Body MpfBody() const { return mpf_; }
    Body XmpBody() const { return xmp_; }

private:
    std::optional<PictureEnd> Step();
    std::optional<PictureEnd> TakeEnd();
    bool MayStandHere(int code) const;
    void Take(int code, std::int64_t bodyAt, std::int64_t bodyEnd);

    ByteView bytes_;
    PictureWalk walk_;
    Stage stage_ = Stage::kBeforeFrame;
    bool justAfterFirstScan_ = false;
    std::int64_t at_ = 2;
    Body mpf_;
    Body xmp_;
};

PictureWalk Walker::Walk() {
    std::optional<PictureEnd> end;
    if (SizeOf(bytes_) < 2) {
        end = PictureEnd::kDataEnds;
        at_ = SizeOf(bytes_);
    } else if (ByteAt(bytes_, 0) != 0xFF || ByteAt(bytes_, 1) != 0xD8) {
        end = PictureEnd::kImpossibleMarker;
        at_ = 0;
    }
    for (int segments = 0; !end && segments < kMaxWalkSegments; ++segments) end = Step();
    walk_.end = end.value_or(PictureEnd::kImpossibleMarker);
    walk_.stopAt = at_;
    return walk_;
}

// Takes the marker at at_ and what belongs to it; returns how the walk ended, with at_ where
// it stopped, or nothing while it goes on.
std::optional<PictureEnd> Walker::Step() {
    const Marker marker = MarkerAt(bytes_, at_);
    at_ = marker.at;
    if (marker.code == kBytesEnd) return PictureEnd::kDataEnds;
    if (marker.code == kNotAMarker) return PictureEnd::kImpossibleMarker;
    if (marker.code == 0xD8) return PictureEnd::kRunsIntoAnotherPicture;
    if (marker.code == 0xD9) return TakeEnd();
    if (!MayStandHere(marker.code)) return PictureEnd::kImpossibleMarker;
    if (marker.code == kStartOfScan && walk_.scans == kMaxWalkScans) return PictureEnd::kImpossibleMarker;
    const std::int64_t length = ReadBe16(bytes_, at_ + 2);
    if (length >= 0 && length < 2) return PictureEnd::kImpossibleMarker;
    if (length < 0 || at_ + 2 + length > SizeOf(bytes_)) {
        at_ = SizeOf(bytes_);
        return PictureEnd::kDataEnds;
    }
    Take(marker.code, at_ + 4, at_ + 2 + length);
    return std::nullopt;
}

std::optional<PictureEnd> Walker::TakeEnd() {
    // An end before any scan closes no picture: the bytes are tables, or a damaged header.
    if (stage_ != Stage::kBetweenScans) return PictureEnd::kImpossibleMarker;
    at_ += 2;
    walk_.eoiEnd = at_;
    return PictureEnd::kComplete;
}

bool Walker::MayStandHere(int code) const {
    if (IsTableOrMiscellany(code)) return true;
    if (IsFrameHeader(code)) return stage_ == Stage::kBeforeFrame;
    if (code == kStartOfScan) return stage_ != Stage::kBeforeFrame;
    if (code == kNumberOfLines) return justAfterFirstScan_;
    return false;
}

void Walker::Take(int code, std::int64_t bodyAt, std::int64_t bodyEnd) {
    at_ = bodyEnd;
    justAfterFirstScan_ = false;
    if (code == kStartOfScan) {
        ++walk_.scans;
        if (walk_.firstScanData < 0) walk_.firstScanData = at_;
        at_ = EndOfCodedData(bytes_, at_);
        stage_ = Stage::kBetweenScans;
        justAfterFirstScan_ = walk_.scans == 1;
    } else if (IsFrameHeader(code)) {
        stage_ = Stage::kBeforeScan;
    } else if (code == 0xE2 && mpf_.at < 0 && HoldsAt(bytes_, bodyAt, kMpfIdentifier)) {
        mpf_ = {bodyAt + static_cast<std::int64_t>(kMpfIdentifier.size()),
                bodyEnd - bodyAt - static_cast<std::int64_t>(kMpfIdentifier.size())};
    } else if (code == 0xE1 && xmp_.at < 0 && HoldsAt(bytes_, bodyAt, kXmpIdentifier)) {
        xmp_ = {bodyAt + static_cast<std::int64_t>(kXmpIdentifier.size()),
                bodyEnd - bodyAt - static_cast<std::int64_t>(kXmpIdentifier.size())};
    }
}

// Returns false when the bytes at at, as far as they go, are not the start signature FF D8 FF.
bool MayBeginPicture(ByteView bytes, std::int64_t at) {
    constexpr std::uint8_t kSignature[] = {0xFF, 0xD8, 0xFF};
    for (std::int64_t i = 0; i < 3 && at + i < SizeOf(bytes); ++i) {
        if (ByteAt(bytes, at + i) != kSignature[i]) return false;
    }
    return true;
}

// A TIFF structure: offsets inside it count from its first byte, which lies at start.
struct Tiff {
    ByteView bytes;
    std::int64_t start;
    bool bigEndian;
};

// Returns the width-byte (2 or 4) value at offset at of the structure, -1 when it is not there.
std::int64_t ReadTiff(const Tiff& tiff, std::int64_t at, int width) {
    if (at < 0 || at + width > SizeOf(tiff.bytes)) return -1;
    std::int64_t value = 0;
    for (int i = 0; i < width; ++i) {
        const int shift = 8 * (tiff.bigEndian ? width - 1 - i : i);
        value |= std::int64_t{ByteAt(tiff.bytes, at + i)} << shift;
    }
    return value;
}

// Returns the TIFF structure of an MPF segment's body, nothing when it has no byte order mark.
std::optional<Tiff> TiffOf(ByteView bytes, Body body) {
    const ByteView tiff =
        bytes.subspan(static_cast<std::size_t>(body.at), static_cast<std::size_t>(body.size));
    if (HoldsAt(tiff, 0, "II*\0"sv)) return Tiff{tiff, body.at, false};
    if (HoldsAt(tiff, 0, "MM\0*"sv)) return Tiff{tiff, body.at, true};
    return std::nullopt;
}

struct EntryList {
    std::int64_t at;     // inside the TIFF structure
    std::int64_t count;  // of 16-byte entries
};

// Returns the MP Entry list of the first IFD, nothing when it is absent or not wholly inside the structure.
std::optional<EntryList> MpEntryList(const Tiff& tiff) {
    const std::int64_t ifd = ReadTiff(tiff, 4, 4);
    const std::int64_t fields = ReadTiff(tiff, ifd, 2);
    for (std::int64_t i = 0; i < fields; ++i) {
        const std::int64_t field = ifd + 2 + 12 * i;
        const std::int64_t tag = ReadTiff(tiff, field, 2);
        if (tag < 0) return std::nullopt;
        if (tag != kMpEntryTag) continue;
        const std::int64_t length = ReadTiff(tiff, field + 4, 4);
        const std::int64_t at = ReadTiff(tiff, field + 8, 4);
        if (length < kMpEntrySize || at < 0 || at + length > SizeOf(tiff.bytes)) return std::nullopt;
        return EntryList{at, length / kMpEntrySize};
    }
    return std::nullopt;
}

struct IndexedImages {
    bool listRead = false;
    int believed = 0;
    std::int64_t end = -1;
};

// Returns the further images of the MPF index in body that begin at or after floor, end within
// kMaxIndexedImagesEnd and, as far as the bytes go, begin with a start signature.
IndexedImages ReadMpfIndex(ByteView bytes, Body body, std::int64_t floor) {
    IndexedImages images;
    const std::optional<Tiff> tiff = TiffOf(bytes, body);
    const std::optional<EntryList> list = tiff ? MpEntryList(*tiff) : std::nullopt;
    if (!list) return images;
    images.listRead = true;
    for (std::int64_t i = 0; i < list->count; ++i) {
        const std::int64_t entry = list->at + kMpEntrySize * i;
        const std::int64_t size = ReadTiff(*tiff, entry + 4, 4);
        const std::int64_t offset = ReadTiff(*tiff, entry + 8, 4);
        // Offset 0 stands for the primary image: the picture walked.
        if (offset == 0) continue;
        const std::int64_t begin = tiff->start + offset;
        const std::int64_t end = begin + size;
        if (begin < floor || size < 4 || end > kMaxIndexedImagesEnd || !MayBeginPicture(bytes, begin))
            continue;
        ++images.believed;
        images.end = std::max(images.end, end);
    }
    return images;
}

constexpr std::int64_t kNotANumber = -1;
constexpr std::size_t kMaxDigits = 10;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsNameChar(char c) {
    return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '-' ||
           c == '.' || c == ':';
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Returns where name first stands in text at or after from as a whole name, npos when nowhere.
std::size_t FindName(std::string_view text, std::string_view name, std::size_t from) {
    for (std::size_t at = text.find(name, from); at != std::string_view::npos; at = text.find(name, at + 1)) {
        const std::size_t after = at + name.size();
        if ((at == 0 || !IsNameChar(text[at - 1])) && (after == text.size() || !IsNameChar(text[after])))
            return at;
    }
    return std::string_view::npos;
}

// Returns where the opening tag <name first stands in text at or after from, npos when nowhere.
std::size_t FindOpeningTag(std::string_view text, std::string_view name, std::size_t from) {
    for (std::size_t at = FindName(text, name, from + 1); at != std::string_view::npos;
         at = FindName(text, name, at + 1)) {
        if (at > 0 && text[at - 1] == '<') return at - 1;
    }
    return std::string_view::npos;
}

std::size_t SkipSpaces(std::string_view text, std::size_t at) {
    while (at < text.size() && IsSpace(text[at])) ++at;
    return at;
}

// Returns the number written in 1 to kMaxDigits digits at the start of text and closed by close,
// kNotANumber for anything else.
std::int64_t Digits(std::string_view text, char close) {
    std::int64_t value = 0;
    std::size_t count = 0;
    for (; count < text.size() && IsDigit(text[count]); ++count) {
        if (count == kMaxDigits) return kNotANumber;
        value = value * 10 + (text[count] - '0');
    }
    if (count == 0 || count == text.size() || text[count] != close) return kNotANumber;
    return value;
}

// Returns the value of the first property name in text, written name="digits", name='digits' or
// <name>digits<: nothing when text does not name it, kNotANumber when its value is anything else.
std::optional<std::int64_t> NumericProperty(std::string_view text, std::string_view name) {
    std::size_t at = FindName(text, name, 0);
    if (at == std::string_view::npos) return std::nullopt;
    at = SkipSpaces(text, at + name.size());
    if (at < text.size() && text[at] == '>') return Digits(text.substr(at + 1), '<');
    if (at == text.size() || text[at] != '=') return kNotANumber;
    at = SkipSpaces(text, at + 1);
    if (at == text.size() || (text[at] != '"' && text[at] != '\'')) return kNotANumber;
    return Digits(text.substr(at + 1), text[at]);
}

// What a motion photo lays behind the end marker: a gap, then items of length bytes in all.
struct Trailing {
    std::int64_t gap = 0;
    std::int64_t length = -1;  // -1: nothing declared
    bool videoFirst = false;   // the first item can only be a video
};

// Returns the video of GCamera:MicroVideoOffset: the file's last N bytes, which follow the
// picture directly.
Trailing MicroVideo(std::string_view xmp) {
    const std::optional<std::int64_t> length = NumericProperty(xmp, "GCamera:MicroVideoOffset");
    if (!length || *length <= 0 || *length > kMaxTrailingItems) return {};
    return {0, *length, true};
}

// Returns the items of the Container:Directory after the primary, laid behind the end marker in
// order, each followed by its padding (the primary's padding makes the gap); nothing declared
// when the directory is absent, lists no further item, leaves a further item's length out,
// writes a value that is not plain digits, or declares more than kMaxTrailingItems.
Trailing ContainerItems(std::string_view xmp) {
    const std::size_t open = FindOpeningTag(xmp, "Container:Directory", 0);
    if (open == std::string_view::npos) return {};
    const std::string_view directory = xmp.substr(open, xmp.find("</Container:Directory", open) - open);
    Trailing items{0, 0};
    int count = 0;
    for (std::size_t item = FindOpeningTag(directory, "Container:Item", 0); item != std::string_view::npos;
         ++count) {
        const std::size_t next = FindOpeningTag(directory, "Container:Item", item + 1);
        const std::string_view text = directory.substr(item, next - item);
        const std::optional<std::int64_t> length = NumericProperty(text, "Item:Length");
        const std::int64_t padding = NumericProperty(text, "Item:Padding").value_or(0);
        if (padding == kNotANumber) return {};
        if (count == 0) {
            // The primary is the picture walked; its own length is the walk's to find.
            items.gap = padding;
        } else {
            if (!length || *length == kNotANumber) return {};
            items.length += *length + padding;
        }
        if (items.gap + items.length > kMaxTrailingItems) return {};
        item = next;
    }
    return count >= 2 && items.length > 0 ? items : Trailing{};
}

// Returns false when the bytes at at are there and begin no ISO media file (a video) nor, unless
// videoOnly, a picture: editors keep the XMP of a motion photo whose video they dropped.
bool MayBeginItem(ByteView bytes, std::int64_t at, bool videoOnly) {
    if (at + 8 > SizeOf(bytes)) return true;
    return HoldsAt(bytes, at + 4, "ftyp"sv) || (!videoOnly && MayBeginPicture(bytes, at));
}

// Returns the end of the items the XMP packet in body declares behind eoiEnd, -1 when none are believed.
std::int64_t TrailingItemsEnd(ByteView bytes, Body body, std::int64_t eoiEnd) {
    const std::string_view xmp(reinterpret_cast<const char*>(bytes.data()) + body.at,
                               static_cast<std::size_t>(body.size));
    std::int64_t end = -1;
    for (const Trailing& items : {MicroVideo(xmp), ContainerItems(xmp)}) {
        const std::int64_t begin = eoiEnd + items.gap;
        if (items.length > 0 && MayBeginItem(bytes, begin, items.videoFirst))
            end = std::max(end, begin + items.length);
    }
    return end;
}

}  // namespace

PictureWalk WalkPicture(ByteView bytes) {
    Walker walker(bytes);
    PictureWalk walk = walker.Walk();
    const Body mpf = walker.MpfBody();
    if (mpf.at >= 0) {
        // Further images follow the primary's end; before it is known, at least its MPF segment.
        const IndexedImages images =
            ReadMpfIndex(bytes, mpf, walk.eoiEnd >= 0 ? walk.eoiEnd : mpf.at + mpf.size);
        walk.mpfIndex = images.listRead;
        walk.indexedImages = images.believed;
        walk.declaredEnd = images.end;
    }
    const Body xmp = walker.XmpBody();
    if (xmp.at >= 0 && walk.eoiEnd >= 0) {
        const std::int64_t end = TrailingItemsEnd(bytes, xmp, walk.eoiEnd);
        walk.motionPhoto = end >= 0;
        walk.declaredEnd = std::max(walk.declaredEnd, end);
    }
    return walk;
}

}  // namespace velkor
