// Media the playback tests play, made from what playback_media.sh prepares, and what each decodes to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "HostHarness.h"

struct Medium {
    std::string name;
    std::string path;
    HostText widePath;        // the library reads a path when its open command runs, so it must outlive the call
    std::vector<char> image;  // the file's bytes, for memory playback
    std::vector<char> pcm;    // what the medium decodes to: the data chunk of a PCM WAV, ffmpeg's decode otherwise
    BrivaneWaveFormat format;
    uint32_t durationMs;
    bool exact;  // PCM WAV: the host's data is `pcm` bit for bit, or for a damaged one a beginning of it
};

// A playable or damaged medium by name: MediaSet::Make and playback_media.sh show the names and what each holds.
const Medium &MediumNamed(const char *name);
// A memory-only PCM WAV of pseudo-random frames, so a shifted or swapped frame never matches.
Medium NoiseWave(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t ms);
BrivaneWaveFormat Pcm(uint16_t channels, uint32_t rate, uint16_t bits);
// A RIFF WAVE image of a 16-byte format chunk and a data chunk that claims `claimed` bytes.
std::vector<char> WaveImage(const BrivaneWaveFormat &format, const std::vector<char> &pcm,
                            uint32_t claimed = UINT32_MAX);
// Writes the bytes to a new file in place of the old: a device still open on that goes on reading it, removed.
bool Rewrite(const std::string &path, const std::vector<char> &bytes);
// Writes the bytes to a file in GoogleTest's temporary directory and gives its path.
std::string WriteTemp(const std::string &name, const std::vector<char> &bytes);
// A directory inside the media directory.
std::string MediaDirectory();

// Linux decodes with FFmpeg as the ffmpeg program does; Windows' decoders differ in padding (Wine's by 10 % of length).
#ifdef _WIN32
constexpr bool kFfmpegDecodes = false;
#else
constexpr bool kFfmpegDecodes = true;
#endif
// How far a compressed medium's length may stray from its PCM's, in milliseconds.
constexpr uint32_t kCodecSlackMs = kFfmpegDecodes ? 100 : 150;

// Play time in bytes of PCM, rounded as the player rounds it.
uint32_t MsToBytes(const BrivaneWaveFormat &format, uint32_t ms);

// The file `variable` names on SDL's disk driver, else null: SDL_DISKAUDIOFILE it writes, ...IN what it records.
const char *DiskAudioFile(const char *variable = "SDL_DISKAUDIOFILE");
std::vector<char> ReadFile(const std::string &path);
