// Playback exports: check, reserve or find the entry, post to the service thread, return at once.
#include <cstdlib>
#include <cstring>

#include "api/Library.h"
#include "api/OpenEntry.h"
#include "brivane.h"

namespace {

// Posts one command when the service exists; the result says nothing about the handle.
uint32_t PostCommand(DWORD code, uint32_t handle, DWORD param1 = 0, DWORD param2 = 0) {
    CLibraryLockScope scope;
    CAudioService *service = library::Service();
    if (!service) return 0;
    service->Post(MakeCommand(code, handle), param1, TRUE, nullptr, param2, 0);
    return 1;
}

uint32_t OpenPlayer(uint32_t mode, DWORD sourceKind, const void *source, DWORD length, AudioOutCallback callback,
                    BRIVANE_USER user) {
    // A path is copied behind the record (with its terminator), so a host may pass a temporary string;
    // an image is used in place.
    const size_t pathBytes = sourceKind == SOURCE_FILE ? length + sizeof(WCHAR) : 0;
    return OpenEntry(
        sizeof(AudioOutOpenParams) + pathBytes, sizeof(AudioOutOpenParams),
        [&](void *record) {
            AudioOutOpenParams *params = static_cast<AudioOutOpenParams *>(record);
            if (pathBytes) {
                std::memcpy(params + 1, source, pathBytes);
                source = params + 1;
            }
            *params = AudioOutOpenParams{mode, sourceKind, source, length};
        },
        [&](CAudioService *service, WORD handle) {
            service->SetPlaybackCallback(callback, user);
            service->Post(MakeCommand(CMD_OPEN, handle), 0, TRUE, nullptr, 0, 0);
        });
}

// Marks the entry closing and posts the close command; the service, when the handle named an instance.
CAudioService *PostClose(uint32_t handle, DWORD closeCommand) {
    CLibraryLockScope scope;
    CInstanceTable *table = library::Table();
    if (!table) return nullptr;
    table->Lock();
    InstanceEntry *entry = table->FindEntry(static_cast<WORD>(handle));
    if (entry) entry->image.closing = 1;
    table->Unlock();
    // The entry stays until the close command has run, which is posted only below.
    if (entry) entry->image.WaitForReaders();
    CAudioService *service = entry ? library::Service() : nullptr;
    if (service) service->Post(MakeCommand(closeCommand, handle), 0, TRUE, nullptr, 0, 0);
    return service;
}
}  // namespace

// Shared with the capture close export. Once the entry is closing the service drops the instance's
// events; waiting out a callback already running (outside the library lock, which that callback may
// want) means none reaches the host after the close returns.
void CloseInstance(uint32_t handle, DWORD closeCommand) {
    CAudioService *service = PostClose(handle, closeCommand);
    // A callback run for an export holding the library lock would wait here for a callback that waits for that lock.
    if (service && !library::LockUnavailableToCaller()) service->WaitForDelivery();
}

extern "C" {

uint32_t BRIVANE_CALL AudioOutOpen(uint32_t mode, const void *image, int32_t length, AudioOutCallback callback,
                                   BRIVANE_USER user) {
    if (!image || length < 1) return 0;
    return OpenPlayer(mode, SOURCE_MEMORY, image, static_cast<DWORD>(length), callback, user);
}

uint32_t BRIVANE_CALL AudioOutFileOpen(uint32_t mode, const BRIVANE_WCHAR *path, AudioOutCallback callback,
                                       BRIVANE_USER user) {
    if (!path || path[0] == 0) return 0;
    DWORD length = static_cast<DWORD>(lstrlenW(reinterpret_cast<LPCWSTR>(path))) * 2;
    return OpenPlayer(mode, SOURCE_FILE, path, length, callback, user);
}

void BRIVANE_CALL AudioOutClose(uint32_t handle) { CloseInstance(handle, CMD_CLOSE); }

uint32_t BRIVANE_CALL AudioOutPlay(uint32_t handle, uint32_t pause) {
    return PostCommand(pause ? CMD_PAUSE : CMD_PLAY, handle);
}

uint32_t BRIVANE_CALL AudioOutSeek(uint32_t handle, uint32_t positionMs) {
    return PostCommand(CMD_SEEK, handle, positionMs);
}

uint32_t BRIVANE_CALL AudioOutSetVolume(uint32_t handle, uint32_t volume) {
    return PostCommand(CMD_VOLUME, handle, volume);
}

uint32_t BRIVANE_CALL AudioOutSetDuration(uint32_t handle, uint32_t startMs, uint32_t endMs) {
    return PostCommand(CMD_DURATION, handle, startMs, endMs);
}

uint32_t BRIVANE_CALL AudioOutSetSpeed(uint32_t handle, int32_t speedPercent) {
    return PostCommand(CMD_SPEED, handle, static_cast<DWORD>(speedPercent));
}

uint32_t BRIVANE_CALL AudioOutSetEventMask(uint32_t handle, uint32_t mask) {
    return PostCommand(CMD_EVENT_MASK, handle, mask);
}

uint32_t BRIVANE_CALL AudioOutGetWholeDuration(uint32_t handle) {
    CLibraryLockScope scope;
    CAudioService *service = library::Service();
    return service ? service->GetWholeDuration(handle) : 0;
}

uint32_t BRIVANE_CALL AudioInStart(uint32_t handle, uint32_t stop) {
    return PostCommand(stop ? CMD_REC_HALT : CMD_REC_START, handle);
}

uint32_t BRIVANE_CALL AudioInStop(uint32_t handle) { return PostCommand(CMD_REC_STOP, handle); }

}  // extern "C"
