#include "playback/MediaSource.h"

#include <new>

#include "playback/FileStream.h"
#include "playback/MemoryStream.h"

IStream *CreateMediaSource(const AudioOutOpenParams *params, ImageGuard *image) {
    CStreamBase *source = nullptr;
    HRESULT hr = E_FAIL;
    if (params->sourceKind == SOURCE_MEMORY) {
        CMemoryStream *memory = new (std::nothrow) CMemoryStream;
        // The host's image is read in place and never freed here.
        if (memory) hr = memory->Attach(const_cast<void *>(params->source), params->sourceLength, 0, image);
        source = memory;
    } else if (params->sourceKind == SOURCE_FILE) {
        CFileStream *file = new (std::nothrow) CFileStream;
        if (file) hr = file->Open(static_cast<LPCWSTR>(params->source));
        source = file;
    }
    if (source && FAILED(hr)) {
        source->Release();
        source = nullptr;
    }
    return source;
}
