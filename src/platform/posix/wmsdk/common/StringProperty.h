// The SDK's two-call protocol for strings: a call without a buffer learns the length in characters
// (terminator included), a second call with a buffer that large receives the text.
#pragma once

#include <algorithm>
#include <string>

#include "asferr.h"
#include "windows_types.h"

namespace posix {

template <class Length>
HRESULT CopyWideString(const std::u16string &text, WCHAR *buffer, Length *length)
{
    if (!length)
        return E_INVALIDARG;
    const size_t needed = text.size() + 1;
    if (needed > size_t(Length(-1)))
        return E_UNEXPECTED;
    if (buffer && *length < needed) {
        *length = Length(needed);
        return ASF_E_BUFFERTOOSMALL;
    }
    if (buffer) {
        std::copy(text.begin(), text.end(), buffer);
        buffer[text.size()] = 0;
    }
    *length = Length(needed);
    return S_OK;
}

}  // namespace posix
