#pragma once
// COM on Windows: an interface pointer released when it goes, a thread's apartment
// left when it goes, and the Windows Imaging Component's decoder for JPEG bytes.
#include <windows.h>
#include <wincodec.h>

#include "platform/bytes.h"

namespace velkor {

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

// WIC's JPEG decoder over a copy of bytes, and its first frame; empty pointers when
// WIC is missing or refuses the bytes.
struct JpegFrame {
    ComPointer<IWICImagingFactory> factory;
    ComPointer<IStream> stream;
    ComPointer<IWICBitmapDecoder> decoder;
    ComPointer<IWICBitmapFrameDecode> frame;
};
bool OpenJpegFrame(ByteView bytes, JpegFrame& opened);

}  // namespace velkor
