// How the SDK's objects answer a getter or take a setter's value, so that each accessor is one call.
#pragma once

#include <algorithm>
#include <new>
#include <string>

#include "asferr.h"
#include "windows_types.h"

namespace posix {

// A getter's value: `missing` (E_POINTER unless the interface says otherwise) without a place to put it.
template <class Out, class Value>
HRESULT PutValue(Out *out, const Value &value, HRESULT missing = E_POINTER) {
    if (!out) return missing;
    *out = value;
    return S_OK;
}

// A string setter: E_POINTER without a string, E_OUTOFMEMORY when it cannot be kept.
inline HRESULT KeepWideString(const WCHAR *text, std::u16string &kept) {
    if (!text) return E_POINTER;
    try {
        kept = text;
    } catch (const std::bad_alloc &) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

// The two-call protocol for strings: a call without a buffer learns the length in characters
// (terminator included), a second call with a buffer that large receives the text.
template <class Length>
HRESULT CopyWideString(const std::u16string &text, WCHAR *buffer, Length *length) {
    if (!length) return E_INVALIDARG;
    const size_t needed = text.size() + 1;
    if (needed > size_t(Length(-1))) return E_UNEXPECTED;
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
