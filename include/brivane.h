/* Brivane: audio playback, capture and file conversion behind 22 plain C exports.
 * Every asynchronous result reaches the host through its callbacks, on the library's service thread. */
#ifndef BRIVANE_H
#define BRIVANE_H

#include <stdint.h>

#if defined(_WIN32)
#define BRIVANE_CALL __stdcall
#ifdef BRIVANE_BUILDING
#define BRIVANE_API
#else
#define BRIVANE_API __declspec(dllimport)
#endif
typedef wchar_t BRIVANE_WCHAR;
#else
#define BRIVANE_CALL
#define BRIVANE_API __attribute__((visibility("default")))
#ifdef __cplusplus
typedef char16_t BRIVANE_WCHAR;
#else
#include <uchar.h>
typedef char16_t BRIVANE_WCHAR;
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Playback events (AudioOutCallback event codes). */
#define BRIVANE_EVENT_FORMAT 1 /* payload: the 18-byte wave format of the decoded PCM */
#define BRIVANE_EVENT_PAUSED 2
#define BRIVANE_EVENT_PLAYING 3
#define BRIVANE_EVENT_DATA 4 /* payload: one block of decoded PCM */
#define BRIVANE_EVENT_END 5
#define BRIVANE_EVENT_COMMAND_FAILED 6 /* no payload */

/* Capture events (AudioInCallback event codes). arg1 is 1 for raw PCM, 0 for encoder output; for
 * encoder output arg2 is 0 for header bytes and BRIVANE_REC_NOT_HEADER for everything else. */
#define BRIVANE_REC_EVENT_BEGIN 1        /* payload: the 18-byte capture format */
#define BRIVANE_REC_EVENT_STREAM_BEGIN 3 /* the encoded stream begins */
#define BRIVANE_REC_EVENT_DATA 4         /* raw PCM, encoded header bytes or an encoded data unit */
#define BRIVANE_REC_EVENT_END 5          /* the encoder has finished writing */
#define BRIVANE_REC_NOT_HEADER 0xFFFFFFFEu

/* Play modes for AudioOutOpen / AudioOutFileOpen. */
#define BRIVANE_MODE_DECODE 1 /* decode through the media reader */
#define BRIVANE_MODE_WAVE 2   /* play a PCM WAV image or file directly */

/* Kinds for Convert. */
#define BRIVANE_KIND_WMA 1
#define BRIVANE_KIND_WAV 2

/* AudioInOpen and GetAudioPCM kind. */
#define BRIVANE_KIND_AUDIO 1

/* AudioOutSetDuration end value meaning "to the end of the medium". */
#define BRIVANE_TO_END 0xFFFFFFFFu

/* PcmDataCallback codes. */
#define BRIVANE_PCM_FORMAT 1 /* data: the 18-byte wave format */
#define BRIVANE_PCM_DATA 4   /* data: PCM bytes inside the window */
#define BRIVANE_PCM_END 5
#define BRIVANE_PCM_WINDOW_REJECTED 6

/* User values are handed back unchanged; pointer-sized so that 64-bit hosts may pass a pointer. */
typedef uintptr_t BRIVANE_USER;

typedef void(BRIVANE_CALL *AudioOutCallback)(uint32_t handle, BRIVANE_USER user, uint32_t event, const void *payload,
                                             uint32_t size);
typedef void(BRIVANE_CALL *AudioInCallback)(uint32_t handle, BRIVANE_USER user, uint32_t event, uint32_t arg1,
                                            uint32_t arg2, const void *payload, uint32_t size);
typedef void(BRIVANE_CALL *PcmDataCallback)(uint32_t reserved, BRIVANE_USER user, uint32_t code, const void *data,
                                            uint32_t length);

/* The 18-byte wave format record, packed as on disk. */
#pragma pack(push, 1)
typedef struct BrivaneWaveFormat {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;
} BrivaneWaveFormat;
#pragma pack(pop)

BRIVANE_API void BRIVANE_CALL AudioInClose(uint32_t handle);
BRIVANE_API uint32_t BRIVANE_CALL AudioInOpen(uint32_t kind, const BrivaneWaveFormat *format,
                                              const BRIVANE_WCHAR *profileXml, AudioInCallback callback,
                                              BRIVANE_USER user);
BRIVANE_API uint32_t BRIVANE_CALL AudioInSetVolume(uint32_t unused1, uint32_t unused2);
BRIVANE_API uint32_t BRIVANE_CALL AudioInStart(uint32_t handle, uint32_t stop);
BRIVANE_API uint32_t BRIVANE_CALL AudioInStop(uint32_t handle);
BRIVANE_API void BRIVANE_CALL AudioOutClose(uint32_t handle);
BRIVANE_API uint32_t BRIVANE_CALL AudioOutFileOpen(uint32_t mode, const BRIVANE_WCHAR *path, AudioOutCallback callback,
                                                   BRIVANE_USER user);
BRIVANE_API uint32_t BRIVANE_CALL AudioOutGetWholeDuration(uint32_t handle);
BRIVANE_API uint32_t BRIVANE_CALL AudioOutOpen(uint32_t mode, const void *image, int32_t length,
                                               AudioOutCallback callback, BRIVANE_USER user);
BRIVANE_API uint32_t BRIVANE_CALL AudioOutPlay(uint32_t handle, uint32_t pause);
BRIVANE_API uint32_t BRIVANE_CALL AudioOutSeek(uint32_t handle, uint32_t positionMs);
BRIVANE_API uint32_t BRIVANE_CALL AudioOutSetDuration(uint32_t handle, uint32_t startMs, uint32_t endMs);
BRIVANE_API uint32_t BRIVANE_CALL AudioOutSetEventMask(uint32_t handle, uint32_t mask);
BRIVANE_API uint32_t BRIVANE_CALL AudioOutSetSpeed(uint32_t handle, int32_t speedPercent);
BRIVANE_API uint32_t BRIVANE_CALL AudioOutSetVolume(uint32_t handle, uint32_t volume);
BRIVANE_API uint32_t BRIVANE_CALL AudioWavFreeData(void *data);
BRIVANE_API int16_t *BRIVANE_CALL AudioWavGetData(const BRIVANE_WCHAR *path, uint32_t *sampleCount,
                                                  BrivaneWaveFormat *format, uint32_t unused);
BRIVANE_API uint32_t BRIVANE_CALL Convert(uint32_t targetKind, const char *targetPath, uint32_t sourceKind,
                                          const char *sourcePath, const BRIVANE_WCHAR *profileXml);
BRIVANE_API uint32_t BRIVANE_CALL GetAudioPCM(uint32_t kind, const char *path, uint32_t startMs, uint32_t endMs,
                                              PcmDataCallback callback, BRIVANE_USER user, volatile uint32_t *cancel);
BRIVANE_API uint32_t BRIVANE_CALL GetWmaFileDuration(const BRIVANE_WCHAR *path);
BRIVANE_API uint32_t BRIVANE_CALL InitBrivane(void);
BRIVANE_API void BRIVANE_CALL UnInitBrivane(void);

#ifdef __cplusplus
}
#endif

#endif
