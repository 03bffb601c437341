#include "host/photo_encode.h"

#include <objidl.h>
#include <shlwapi.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/windows_com.h"

namespace velkor::synth {
namespace {

void Require(HRESULT result, const char* what) {
    if (FAILED(result)) throw std::runtime_error(std::string("WIC JPEG encoder: ") + what);
}

// WIC names the chroma subsampling of the luma's sampling factors.
BYTE Subsampling(const JpegOptions& options) {
    if (options.horizontalSampling == 1 && options.verticalSampling == 1) return WICJpegYCrCbSubsampling444;
    if (options.horizontalSampling == 2 && options.verticalSampling == 1) return WICJpegYCrCbSubsampling422;
    if (options.horizontalSampling == 1 && options.verticalSampling == 2) return WICJpegYCrCbSubsampling440;
    return WICJpegYCrCbSubsampling420;
}

void SetFrameOptions(IPropertyBag2& bag, const JpegOptions& options) {
    PROPBAG2 names[2] = {};
    names[0].pstrName = const_cast<LPOLESTR>(L"ImageQuality");
    names[1].pstrName = const_cast<LPOLESTR>(L"JpegYCrCbSubsampling");
    VARIANT values[2] = {};
    values[0].vt = VT_R4;
    values[0].fltVal = static_cast<float>(options.quality) / 100.0f;
    values[1].vt = VT_UI1;
    values[1].bVal = Subsampling(options);
    // An encoder that does not know an option leaves it at its default.
    for (int i = 0; i < 2; ++i) bag.Write(1, &names[i], &values[i]);
}

// The pixels fillRow writes, in the order WIC takes them: B, G, R, or grey alone.
std::vector<BYTE> Pixels(int width, int height, int components, const RowFiller& fillRow) {
    const std::size_t stride = static_cast<std::size_t>(width) * static_cast<std::size_t>(components);
    std::vector<BYTE> pixels(stride * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        BYTE* row = pixels.data() + stride * static_cast<std::size_t>(y);
        fillRow(y, components, row);
        if (components == 3) {
            for (std::size_t x = 0; x < stride; x += 3) std::swap(row[x], row[x + 2]);
        }
    }
    return pixels;
}

ByteSet StreamBytes(IStream& stream) {
    STATSTG status{};
    Require(stream.Stat(&status, STATFLAG_NONAME), "Stat");
    Require(stream.Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr), "Seek");
    ByteSet bytes(static_cast<std::size_t>(status.cbSize.QuadPart));
    ULONG got = 0;
    Require(stream.Read(bytes.data(), static_cast<ULONG>(bytes.size()), &got), "Read");
    bytes.resize(got);
    return bytes;
}

// Puts app1 right after the start marker, in place of a JFIF header the encoder wrote.
ByteSet WithApp1(ByteSet jpeg, const ByteSet& app1) {
    if (jpeg.size() > 6 && jpeg[2] == 0xFF && jpeg[3] == 0xE0) {
        const std::size_t length = static_cast<std::size_t>(jpeg[4]) << 8 | jpeg[5];
        jpeg.erase(jpeg.begin() + 2, jpeg.begin() + 2 + static_cast<std::ptrdiff_t>(length) + 2);
    }
    const std::size_t length = app1.size() + 2;
    ByteSet segment{0xFF, 0xE1, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
    segment.insert(segment.end(), app1.begin(), app1.end());
    jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
    return jpeg;
}

ByteSet EncodeWithWic(int width, int height, const JpegOptions& options, const ByteSet& app1, const RowFiller& fillRow) {
    ComApartment apartment;
    ComPointer<IWICImagingFactory> factory;
    Require(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                               reinterpret_cast<void**>(factory.Out())),
            "no imaging factory");
    ComPointer<IStream> stream;
    *stream.Out() = ::SHCreateMemStream(nullptr, 0);
    if (!stream) throw std::runtime_error("WIC JPEG encoder: no memory stream");
    ComPointer<IWICBitmapEncoder> encoder;
    Require(factory->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, encoder.Out()), "CreateEncoder");
    Require(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache), "Initialize");
    ComPointer<IWICBitmapFrameEncode> frame;
    ComPointer<IPropertyBag2> bag;
    Require(encoder->CreateNewFrame(frame.Out(), bag.Out()), "CreateNewFrame");
    SetFrameOptions(*bag.get(), options);
    Require(frame->Initialize(bag.get()), "frame Initialize");
    Require(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height)), "SetSize");
    const int components = options.grayscale ? 1 : 3;
    WICPixelFormatGUID format = options.grayscale ? GUID_WICPixelFormat8bppGray : GUID_WICPixelFormat24bppBGR;
    const WICPixelFormatGUID asked = format;
    Require(frame->SetPixelFormat(&format), "SetPixelFormat");
    if (format != asked) throw std::runtime_error("WIC JPEG encoder: pixel format refused");
    std::vector<BYTE> pixels = Pixels(width, height, components, fillRow);
    Require(frame->WritePixels(static_cast<UINT>(height), static_cast<UINT>(width * components),
                               static_cast<UINT>(pixels.size()), pixels.data()),
            "WritePixels");
    Require(frame->Commit(), "frame Commit");
    Require(encoder->Commit(), "Commit");
    ByteSet jpeg = StreamBytes(*stream.get());
    return app1.empty() ? jpeg : WithApp1(std::move(jpeg), app1);
}

// The luma's sampling factors the frame header of jpeg declares, 0 when it has none.
std::uint8_t LumaSampling(const ByteSet& jpeg) {
    for (std::size_t at = 2; at + 12 <= jpeg.size() && jpeg[at] == 0xFF;
         at += 2 + (static_cast<std::size_t>(jpeg[at + 2]) << 8 | jpeg[at + 3])) {
        if (jpeg[at + 1] == 0xC0) return jpeg[at + 11];
    }
    return 0;
}

ByteSet SmallPicture(const JpegOptions& options) {
    return EncodeWithWic(64, 64, options, {}, [](int, int components, std::uint8_t* row) {
        for (int x = 0; x < 64 * components; ++x) row[x] = static_cast<std::uint8_t>(x * 37);
    });
}

// Windows's encoder takes the subsampling and the quality as options; Wine's leaves both at
// its defaults. Each is tried once on a small picture.
bool HonoursSampling() {
    static const bool honoured = LumaSampling(SmallPicture({.horizontalSampling = 1, .verticalSampling = 1})) == 0x11;
    return honoured;
}

bool HonoursQuality() {
    static const bool honoured = SmallPicture({.quality = 30}).size() < SmallPicture({.quality = 95}).size();
    return honoured;
}

}  // namespace

bool CanEncode(const JpegOptions& options) {
    const JpegOptions defaults;
    const bool defaultSampling = options.grayscale || (options.horizontalSampling == defaults.horizontalSampling &&
                                                       options.verticalSampling == defaults.verticalSampling);
    return !options.progressive && options.restartRows == 0 && (defaultSampling || HonoursSampling()) &&
           (options.quality == defaults.quality || HonoursQuality());
}

ByteSet Encode(int width, int height, const JpegOptions& options, const ByteSet& app1, const RowFiller& fillRow) {
    // Subsampling and quality are asked for and may be left at the encoder's own (CanEncode tells).
    if (options.progressive || options.restartRows > 0) {
        throw std::runtime_error("WIC JPEG encoder: no progressive coding or restart markers");
    }
    return EncodeWithWic(width, height, options, app1, fillRow);
}

}  // namespace velkor::synth
