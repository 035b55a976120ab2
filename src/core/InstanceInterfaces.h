// What the service thread's commands need of a player and of a capture instance, and the sinks
// through which those instances raise events towards the host.
#pragma once

#include <atomic>

#include "core/HeldResources.h"
#include "platform/platform.h"

// An instance's hold on the host's memory image. The close export sets closing and then waits until
// no read that began before is still copying, so the host may free the image once it returns. Only
// Enter and Leave change readers, never a reset, so a read overlapping a slot's reuse cannot unbalance it.
struct ImageGuard {
    std::atomic<BYTE> closing;
    std::atomic<LONG> readers;

    // A read may touch the image only between a TRUE Enter and its Leave.
    BOOL Enter() {
        readers.fetch_add(1);
        if (closing.load() == 0) {
            CHeldResources::Hold(&EndRead, this);
            return TRUE;
        }
        readers.fetch_sub(1);
        return FALSE;
    }
    void Leave() {
        CHeldResources::Drop(&EndRead, this);
        readers.fetch_sub(1);
    }
    void WaitForReaders() const {
        while (readers.load() != 0) Sleep(1);
    }

private:
    static void EndRead(void *guard) { static_cast<ImageGuard *>(guard)->readers.fetch_sub(1); }
};

// Arguments of AudioOutOpen / AudioOutFileOpen, kept until the entry is freed.
struct AudioOutOpenParams {
    DWORD mode;
    DWORD sourceKind;    // SOURCE_MEMORY or SOURCE_FILE
    const void *source;  // first byte of the host's image (used in place), or the library's copy of the UTF-16 path
    DWORD sourceLength;  // bytes: the image size, or the path's characters x 2
};
enum : DWORD { SOURCE_MEMORY = 1, SOURCE_FILE = 2 };

// Playback event sink: handle, context, code, data (valid during the call only), size.
typedef LONG(WINAPI *PlayEventSink)(DWORD handle, void *context, DWORD code, const void *data, DWORD size);
// Capture event sink: handle, context, code, first argument, second argument, data, size.
typedef void(WINAPI *RecordEventSink)(DWORD handle, void *context, DWORD code, DWORD arg1, DWORD arg2, const void *data,
                                      DWORD size);

class IPlayerCommands {
public:
    virtual ~IPlayerCommands() = default;
    virtual void SetHandle(WORD handle) = 0;
    // Binds the media source; a memory image is read only under the entry's guard.
    virtual BOOL SetSource(const AudioOutOpenParams *params, ImageGuard *image) = 0;
    virtual void SetEventSink(PlayEventSink sink, void *context, DWORD blockPeriodMs) = 0;
    // Opens the medium on first use; TRUE when the player is ready to play.
    virtual BOOL EnsureOpen() = 0;
    virtual HRESULT Play() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Seek(DWORD positionMs) = 0;
    virtual BOOL IsSeekable() = 0;
    virtual HRESULT SetVolume(DWORD volume) = 0;
    virtual HRESULT SetPlayWindow(DWORD startMs, DWORD endMs) = 0;
    virtual HRESULT SetSpeed(LONG percent) = 0;
    virtual HRESULT SetEventMask(DWORD mask) = 0;
    // Whole duration of the medium in 100 ns units.
    virtual ULONGLONG GetDuration() = 0;
    // Stops and closes the reader and the wave output; the player can be opened again.
    virtual void ClosePlayback() = 0;
    virtual void ReleaseSource() = 0;
    // Releases everything the player holds before it is destroyed.
    virtual void Shutdown() = 0;
    virtual void Destroy() = 0;
};

class ICaptureCommands {
public:
    virtual ~ICaptureCommands() = default;
    virtual void SetHandle(WORD handle) = 0;
    // profile: the host's UTF-16 XML text of the encoder profile, valid during the call only.
    virtual BOOL Open(const WAVEFORMATEX *format, LPCWSTR profile) = 0;
    virtual void SetEventSink(RecordEventSink sink, void *context) = 0;
    virtual BOOL Start() = 0;
    virtual BOOL Stop() = 0;
    virtual void Close() = 0;
    virtual void Destroy() = 0;
};

// Makes new instances for the service; a null result is a construction failure.
struct InstanceFactory {
    IPlayerCommands *(*newPlayer)();
    ICaptureCommands *(*newRecorder)();
};
