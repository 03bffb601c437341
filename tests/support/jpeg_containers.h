#pragma once
// JPEGs that declare what follows their end marker, laid out by hand: an MPF index of
// further images, the XMP of a motion photo and the video behind it. Header-only, so the
// fuzz seed generator (built without the test suites) can use it too.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bytes.h"

namespace velkor::testing {

// Where the TIFF structure of the MPF segment WithMpfIndex inserts begins: after the start
// marker, the segment's marker and length, and "MPF\0". Offsets of MP entries count from here.
inline constexpr std::size_t kMpfTiffStart = 2 + 4 + 4;

struct MpEntry {
    std::uint32_t size;
    std::uint32_t offset;  // from kMpfTiffStart; 0 for the primary image
};

// The fields of the MP Index IFD: version, number of images, MP Entry list.
inline constexpr std::size_t kMpfFields = 3;

// Returns how many bytes WithMpfIndex adds for an index of entries entries.
inline std::size_t MpfSegmentSize(std::size_t entries) {
    return 4 + 4 + 8 + 2 + 12 * kMpfFields + 4 + 16 * entries;
}

class TiffWriter {
public:
    explicit TiffWriter(bool bigEndian) : bigEndian_(bigEndian) {}
    void Put16(std::uint16_t value) { Put(value, 2); }
    void Put32(std::uint32_t value) { Put(value, 4); }
    void PutField(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t value) {
        Put16(tag);
        Put16(type);
        Put32(count);
        Put32(value);
    }
    const ByteSet& Bytes() const { return bytes_; }

private:
    void Put(std::uint32_t value, int width) {
        for (int i = 0; i < width; ++i) {
            const int shift = 8 * (bigEndian_ ? width - 1 - i : i);
            bytes_.push_back(static_cast<std::uint8_t>(value >> shift));
        }
    }

    bool bigEndian_;
    ByteSet bytes_;
};

// Returns jpeg with an MPF segment listing entries inserted right after its start marker.
inline ByteSet WithMpfIndex(const ByteSet& jpeg, const std::vector<MpEntry>& entries, bool bigEndian) {
    TiffWriter tiff(bigEndian);
    tiff.Put16(bigEndian ? 0x4D4D : 0x4949);
    tiff.Put16(0x002A);
    tiff.Put32(8);
    const auto listAt = static_cast<std::uint32_t>(8 + 2 + 12 * kMpfFields + 4);
    tiff.Put16(kMpfFields);
    tiff.PutField(0xB000, 7, 4, bigEndian ? 0x30313030 : 0x30303130);  // "0100"
    tiff.PutField(0xB001, 4, 1, static_cast<std::uint32_t>(entries.size()));
    tiff.PutField(0xB002, 7, static_cast<std::uint32_t>(16 * entries.size()), listAt);
    tiff.Put32(0);
    for (const MpEntry& entry : entries) {
        tiff.Put32(entry.offset == 0 ? 0x20030000 : 0x00020000);
        tiff.Put32(entry.size);
        tiff.Put32(entry.offset);
        tiff.Put32(0);
    }
    const std::size_t length = 2 + 4 + tiff.Bytes().size();
    ByteSet segment = {
        0xFF, 0xE2, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length), 'M', 'P',
        'F',  0};
    segment.insert(segment.end(), tiff.Bytes().begin(), tiff.Bytes().end());
    ByteSet edited = jpeg;
    edited.insert(edited.begin() + 2, segment.begin(), segment.end());
    return edited;
}

// Returns primary, indexed by an MPF segment, followed by the further images, with every
// offset and size right.
inline ByteSet MultiPictureFile(const ByteSet& primary, const std::vector<ByteSet>& further, bool bigEndian) {
    const std::size_t primarySize = primary.size() + MpfSegmentSize(1 + further.size());
    std::vector<MpEntry> entries = {{static_cast<std::uint32_t>(primarySize), 0}};
    std::size_t at = primarySize;
    for (const ByteSet& image : further) {
        entries.push_back(
            {static_cast<std::uint32_t>(image.size()), static_cast<std::uint32_t>(at - kMpfTiffStart)});
        at += image.size();
    }
    ByteSet file = WithMpfIndex(primary, entries, bigEndian);
    for (const ByteSet& image : further) file.insert(file.end(), image.begin(), image.end());
    return file;
}

// Returns an XMP packet whose description carries attributes and holds elements.
inline std::string XmpPacket(std::string_view attributes, std::string_view elements = {}) {
    return std::string(
               "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
               "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
               " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
               "  <rdf:Description rdf:about=\"\"\n"
               "    xmlns:GCamera=\"http://ns.google.com/photos/1.0/camera/\"\n"
               "    xmlns:Container=\"http://ns.google.com/photos/1.0/container/\"\n"
               "    xmlns:Item=\"http://ns.google.com/photos/1.0/container/item/\"\n    ") +
           std::string(attributes) + ">\n" + std::string(elements) +
           "  </rdf:Description>\n </rdf:RDF>\n</x:xmpmeta>\n<?xpacket end=\"w\"?>";
}

// Returns a Container:Directory element listing items, each written as the attributes of one Container:Item.
inline std::string ContainerDirectory(const std::vector<std::string>& items) {
    std::string directory = "   <Container:Directory>\n    <rdf:Seq>\n";
    for (const std::string& item : items) {
        directory += "     <rdf:li rdf:parseType=\"Resource\">\n      <Container:Item " + item +
                     "/>\n     </rdf:li>\n";
    }
    return directory + "    </rdf:Seq>\n   </Container:Directory>\n";
}

// Returns jpeg with an XMP segment holding packet inserted right after its start marker.
inline ByteSet WithXmp(const ByteSet& jpeg, std::string_view packet) {
    const std::string_view identifier("http://ns.adobe.com/xap/1.0/\0", 29);
    const std::size_t length = 2 + identifier.size() + packet.size();
    ByteSet segment = {0xFF, 0xE1, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
    segment.insert(segment.end(), identifier.begin(), identifier.end());
    segment.insert(segment.end(), packet.begin(), packet.end());
    ByteSet edited = jpeg;
    edited.insert(edited.begin() + 2, segment.begin(), segment.end());
    return edited;
}

// Returns length bytes (at least 12) that begin like an MP4 file, 00 00 00 18 ftyp mp42, and hold no FF.
inline ByteSet VideoBytes(std::size_t length) {
    ByteSet video = {0x00, 0x00, 0x00, 0x18, 'f', 't', 'y', 'p', 'm', 'p', '4', '2'};
    for (std::size_t i = video.size(); i < length; ++i)
        video.push_back(static_cast<std::uint8_t>((i * 131 + 7) % 255));
    return video;
}

}  // namespace velkor::testing
