#include "platform/windows_com.h"

#include <shlwapi.h>

namespace velkor {

bool OpenJpegFrame(ByteView bytes, JpegFrame& opened) {
    if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                  reinterpret_cast<void**>(opened.factory.Out())))) {
        return false;
    }
    *opened.stream.Out() = ::SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size()));
    return opened.stream &&
           SUCCEEDED(opened.factory->CreateDecoderFromStream(opened.stream.get(), &GUID_ContainerFormatJpeg,
                                                             WICDecodeMetadataCacheOnDemand, opened.decoder.Out())) &&
           SUCCEEDED(opened.decoder->GetFrame(0, opened.frame.Out()));
}

}  // namespace velkor
