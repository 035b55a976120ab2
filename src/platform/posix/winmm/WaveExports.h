// The steps every waveIn*/waveOut* export shares, over the direction's device class and handle type,
// so each export of either direction is one call.
#pragma once

#include <memory>
#include <utility>

#include "AudioSubsystem.h"
#include "HandleRegistry.h"
#include "WaveDevice.h"

namespace posix {

template <class Device, class Handle>
class CWaveExports {
public:
    using Registry = CHandleRegistry<Device>;

    static std::shared_ptr<Device> Find(Handle handle) { return Registry::Instance().Find(handle); }

    static MMRESULT Open(Handle *out, UINT deviceId, LPCWAVEFORMATEX format, DWORD_PTR callback, DWORD_PTR instance,
                         DWORD flags, bool input, UINT openMessage) {
        CWaveFormat parsed;
        MMRESULT result = CheckOpenArguments(out, format, flags, parsed);
        int index = -1;
        if (result == MMSYSERR_NOERROR) result = CAudioSubsystem::Resolve(deviceId, input, index);
        if (result != MMSYSERR_NOERROR || (flags & WAVE_FORMAT_QUERY)) return result;
        const DWORD_PTR function = (flags & CALLBACK_TYPEMASK) == CALLBACK_FUNCTION ? callback : 0;
        auto device = std::make_shared<Device>(parsed, function, instance);
        const uintptr_t handle = Registry::Instance().Add(device);
        result = device->Open(handle, index);
        if (result != MMSYSERR_NOERROR) {
            Registry::Instance().Remove(reinterpret_cast<Handle>(handle));
            return result;
        }
        *out = reinterpret_cast<Handle>(handle);
        device->Notify(openMessage, 0);
        return MMSYSERR_NOERROR;
    }

    static MMRESULT Close(Handle handle) {
        const auto device = Find(handle);
        if (!device) return MMSYSERR_INVALHANDLE;
        const MMRESULT result = device->Close();
        if (result == MMSYSERR_NOERROR) Registry::Instance().Remove(handle);
        return result;
    }

    // Prepare, unprepare and queue: the handle is checked before the header.
    template <class Operation>
    static MMRESULT WithHeader(Handle handle, LPWAVEHDR header, UINT headerSize, Operation operation) {
        const auto device = Find(handle);
        if (!device) return MMSYSERR_INVALHANDLE;
        return ValidHeader(header, headerSize) ? ((*device).*operation)(header) : MMSYSERR_INVALPARAM;
    }

    template <class Operation, class... Arguments>
    static MMRESULT Call(Handle handle, Operation operation, Arguments &&...arguments) {
        const auto device = Find(handle);
        return device ? ((*device).*operation)(std::forward<Arguments>(arguments)...) : MMSYSERR_INVALHANDLE;
    }
};

}  // namespace posix
