// The Windows Media Format runtime's factories, resolved from WMVCore.dll at first use so that the
// library loads on Windows editions without the runtime; there the factories fail cleanly.
#include "platform/platform.h"

namespace {

HMODULE WmvCore() {
    static HMODULE volatile s_module = nullptr;
    HMODULE module = static_cast<HMODULE>(
        InterlockedCompareExchangePointer(reinterpret_cast<PVOID volatile *>(&s_module), nullptr, nullptr));
    if (module) return module;
    module = LoadLibraryW(L"WMVCore.dll");
    if (!module) return nullptr;
    // Two first calls may race: the loser drops its extra reference to the same module.
    PVOID previous = InterlockedCompareExchangePointer(reinterpret_cast<PVOID volatile *>(&s_module), module, nullptr);
    if (previous) {
        FreeLibrary(module);
        return static_cast<HMODULE>(previous);
    }
    return module;
}

template <class Function>
HRESULT Resolve(const char *name, Function *&function) {
    HMODULE module = WmvCore();
    if (!module) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    function = reinterpret_cast<Function *>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    return function ? S_OK : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
}

}  // namespace

HRESULT WINAPI WMCreateReader(IUnknown *certificate, DWORD rights, IWMReader **reader) {
    HRESULT(WINAPI * create)(IUnknown *, DWORD, IWMReader **) = nullptr;
    const HRESULT hr = Resolve("WMCreateReader", create);
    return SUCCEEDED(hr) ? create(certificate, rights, reader) : hr;
}

HRESULT WINAPI WMCreateWriter(IUnknown *certificate, IWMWriter **writer) {
    HRESULT(WINAPI * create)(IUnknown *, IWMWriter **) = nullptr;
    const HRESULT hr = Resolve("WMCreateWriter", create);
    return SUCCEEDED(hr) ? create(certificate, writer) : hr;
}

HRESULT WINAPI WMCreateWriterFileSink(IWMWriterFileSink **sink) {
    HRESULT(WINAPI * create)(IWMWriterFileSink **) = nullptr;
    const HRESULT hr = Resolve("WMCreateWriterFileSink", create);
    return SUCCEEDED(hr) ? create(sink) : hr;
}

HRESULT WINAPI WMCreateProfileManager(IWMProfileManager **manager) {
    HRESULT(WINAPI * create)(IWMProfileManager **) = nullptr;
    const HRESULT hr = Resolve("WMCreateProfileManager", create);
    return SUCCEEDED(hr) ? create(manager) : hr;
}
