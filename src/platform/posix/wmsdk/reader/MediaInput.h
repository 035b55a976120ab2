// Where a medium's bytes come from: a file named by the host, or the host's IStream. FFmpeg reads
// through this, so the reader never opens anything else.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ComPtr.h"
#include "objidl.h"

namespace posix {

class CMediaInput {
public:
    virtual ~CMediaInput() = default;

    // Bytes read into data (at most size), 0 at the end, negative on a read failure.
    virtual int Read(uint8_t *data, int size) = 0;
    // Moves to an absolute position; false when the input cannot get there.
    virtual bool Seek(int64_t position) = 0;
    // The size in bytes, or -1 when unknown.
    virtual int64_t Size() = 0;

    // Opens a file by its UTF-16 path, giving its name in UTF-8 too; the failure is a Windows Media
    // result code.
    static HRESULT OpenFile(LPCWSTR path, std::unique_ptr<CMediaInput> &input, std::string &name);
    static std::unique_ptr<CMediaInput> FromStream(ComPtr<IStream> stream);
};

}  // namespace posix
