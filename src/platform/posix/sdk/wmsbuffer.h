// The Windows Media sample buffer interface, with the SDK's method order and IID.
#pragma once

#include "unknwn.h"

struct INSSBuffer : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetLength(DWORD *pdwLength) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetLength(DWORD dwLength) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMaxLength(DWORD *pdwLength) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBuffer(BYTE **ppdwBuffer) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBufferAndLength(BYTE **ppdwBuffer, DWORD *pdwLength) = 0;

protected:
    ~INSSBuffer() = default;
};

DEFINE_GUID(IID_INSSBuffer, 0xe1cd3524, 0x03d7, 0x11d2, 0x9e, 0xed, 0x00, 0x60, 0x97, 0xd2, 0xd7, 0xcf);
