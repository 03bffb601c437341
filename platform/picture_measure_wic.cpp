#include <windows.h>
#include <shlwapi.h>
#include <wincodec.h>

#include "platform/jpeg_headers.h"
#include "platform/picture_measure.h"

namespace velkor {
namespace {

// Releases a COM interface when it goes.
template <typename T>
class ComPointer {
public:
    ComPointer() = default;
    ComPointer(const ComPointer&) = delete;
    ComPointer& operator=(const ComPointer&) = delete;
    ~ComPointer() {
        if (pointer_ != nullptr) pointer_->Release();
    }
    T** Out() { return &pointer_; }
    T* get() const { return pointer_; }
    T* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }

private:
    T* pointer_ = nullptr;
};

class ComApartment {
public:
    ComApartment() : entered_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (entered_) ::CoUninitialize();
    }

private:
    bool entered_;
};

// The headers up to the first scan followed by an end marker: the decoder answers from
// the headers alone, as libjpeg's header reader does, however the coded data behind
// them is cut or damaged.
ByteSet HeadersOnly(ByteView bytes) {
    const std::int64_t end = HeadersEnd(bytes);
    if (end < 0) return {};
    ByteSet headers(bytes.begin(), bytes.begin() + end);
    headers.push_back(0xFF);
    headers.push_back(0xD9);
    return headers;
}

}  // namespace

PictureSize MeasurePicture(ByteView bytes) {
    const ByteSet headers = HeadersOnly(bytes);
    if (headers.empty()) return {};
    const ComApartment apartment;
    ComPointer<IWICImagingFactory> factory;
    if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                  reinterpret_cast<void**>(factory.Out())))) {
        return {};
    }
    ComPointer<IStream> stream;
    *stream.Out() = ::SHCreateMemStream(headers.data(), static_cast<UINT>(headers.size()));
    ComPointer<IWICBitmapDecoder> decoder;
    ComPointer<IWICBitmapFrameDecode> frame;
    UINT width = 0;
    UINT height = 0;
    if (!stream ||
        FAILED(factory->CreateDecoderFromStream(stream.get(), &GUID_ContainerFormatJpeg,
                                                WICDecodeMetadataCacheOnDemand, decoder.Out())) ||
        FAILED(decoder->GetFrame(0, frame.Out())) || FAILED(frame->GetSize(&width, &height))) {
        return {};
    }
    if (static_cast<long long>(width) * height > kMaxPicturePixels) return {};
    return {static_cast<int>(width), static_cast<int>(height)};
}

}  // namespace velkor
