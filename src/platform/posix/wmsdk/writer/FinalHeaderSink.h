// This platform's own (not the SDK's) way to hand the file sink the final header at the end of writing,
// so that other sinks see one header only and the bytes they receive, joined, form a playable stream.
#pragma once

#include "wmsdk.h"

struct IWmFinalHeaderSink : public IUnknown {
    // The same length as the header sent by OnHeader; it replaces that header.
    virtual HRESULT STDMETHODCALLTYPE OnFinalHeader(INSSBuffer *header) = 0;

protected:
    ~IWmFinalHeaderSink() = default;
};

DEFINE_GUID(IID_IWmFinalHeaderSink, 0x2e3e152a, 0x33aa, 0x474e, 0x9f, 0xe5, 0x22, 0x88, 0xeb, 0x6b, 0xdd, 0x38);
