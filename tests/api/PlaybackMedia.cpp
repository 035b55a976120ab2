#include "PlaybackMedia.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>

namespace {

namespace fs = std::filesystem;

// Made by playback_media.sh: beforehand on Windows (BRIVANE_PLAYBACK_MEDIA), here on Linux, once for parallel suites.
std::string PreparedMedia() {
    const char *given = std::getenv("BRIVANE_PLAYBACK_MEDIA");
    std::string dir = given ? given : "";
#ifndef _WIN32
    if (dir.empty()) {
        // Named after the script's text, so that a changed script never finds the media of an old one.
        std::ifstream script(BRIVANE_PLAYBACK_MEDIA_SCRIPT);
        const std::string text((std::istreambuf_iterator<char>(script)), std::istreambuf_iterator<char>());
        dir = (fs::temp_directory_path() / ("brivane-playback-media-" + std::to_string(std::hash<std::string>()(text))))
                  .string();
        if (std::system(("sh '" BRIVANE_PLAYBACK_MEDIA_SCRIPT "' '" + dir + "'").c_str()) != 0) dir.clear();
    }
#endif
    if (dir.empty() || !fs::exists(dir + "/complete")) {
        std::fprintf(stderr, "test media: no prepared media directory (BRIVANE_PLAYBACK_MEDIA)\n");
        std::abort();
    }
    return dir;
}

// A fresh directory of this process's own: the suite writes and damages media there.
std::string ScratchDirectory() {
    const auto base = fs::temp_directory_path();
    for (auto seed = std::chrono::steady_clock::now().time_since_epoch().count();; ++seed) {
        const fs::path dir = base / ("brivane-playback-" + std::to_string(seed));
        if (fs::create_directory(dir)) return dir.string();
    }
}

template <class Value>
void Put(std::vector<char> &out, const Value &value, size_t size = sizeof(Value)) {
    const char *bytes = reinterpret_cast<const char *>(&value);
    out.insert(out.end(), bytes, bytes + size);
}

class MediaSet {
public:
    MediaSet() {
        m_dir = ScratchDirectory();
        const std::string prepared = PreparedMedia();
        for (const char *name : {"tone.s16", "long.s16", "byte.u8", "tone.wma", "tone.mp3", "speech.wma", "minutes.wma",
                                 "tone.wma.s16", "tone.mp3.s16", "speech.wma.s16"})
            fs::copy_file(prepared + "/" + name, At(name));
        fs::create_directory(m_dir + "/folder");
        Make();
    }
    ~MediaSet() {
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }
    // A name the set lacks throws, and fails the case that asked for it.
    const Medium &Named(const char *name) const { return m_media.at(name); }

private:
    std::string At(const char *name) const { return m_dir + "/" + name; }

    void AddWave(const char *name, const BrivaneWaveFormat &format, const std::vector<char> &pcm) {
        Rewrite(At(name), WaveImage(format, pcm));
        Add(name, pcm, format, true);
    }
    void Add(const char *name, const std::vector<char> &pcm, const BrivaneWaveFormat &format, bool exact) {
        Medium &medium = m_media[name];
        medium.name = name;
        medium.path = At(name);
        medium.widePath = Path(medium.path.c_str());
        medium.image = ReadFile(medium.path);
        medium.pcm = pcm;
        medium.format = format;
        medium.durationMs = static_cast<uint32_t>(uint64_t(pcm.size()) * 1000 / format.nAvgBytesPerSec);
        medium.exact = exact;
    }

    void Make() {
        const BrivaneWaveFormat stereo = Pcm(2, 44100, 16);
        const std::vector<char> tone = ReadFile(At("tone.s16"));
        AddWave("tone.wav", stereo, tone);
        AddWave("long.wav", stereo, ReadFile(At("long.s16")));
        AddWave("byte.wav", Pcm(1, 11025, 8), ReadFile(At("byte.u8")));

        // Compressed media, with ffmpeg's decode of each as its PCM.
        for (const char *name : {"tone.wma", "tone.mp3"}) Add(name, ReadFile(At(name) + ".s16"), stereo, false);
        Add("speech.wma", ReadFile(At("speech.wma.s16")), Pcm(1, 22050, 16), false);
        Add("minutes.wma", {}, Pcm(1, 22050, 16), false);

        const std::vector<char> wma = ReadFile(At("tone.wma"));
        Rewrite(At("garbage.bin"), std::vector<char>(3000, 'x'));
        Rewrite(At("empty.wav"), {});
        Rewrite(At("half.wma"), std::vector<char>(wma.begin(), wma.begin() + long(wma.size() / 2)));
        Rewrite(At("lying-long.wav"), WaveImage(stereo, tone, uint32_t(tone.size()) + 10 * 176400));
        Rewrite(At("lying-short.wav"), WaveImage(stereo, tone, uint32_t(tone.size() / 2)));
        // A damaged medium's PCM is that of the one it was made from: what it plays comes from it.
        for (const char *name : {"garbage.bin", "empty.wav"}) Add(name, {}, stereo, false);
        Add("half.wma", m_media["tone.wma"].pcm, stereo, false);
        for (const char *name : {"lying-long.wav", "lying-short.wav"}) Add(name, tone, stereo, true);
        Medium &folder = m_media["folder"];  // a directory: no open plays it
        folder.path = m_dir + "/folder";
        folder.widePath = Path(folder.path.c_str());
    }

    std::string m_dir;
    std::map<std::string, Medium> m_media;
};

const MediaSet &Media() {
    static const MediaSet media;
    return media;
}

}  // namespace

const Medium &MediumNamed(const char *name) { return Media().Named(name); }

Medium NoiseWave(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t ms) {
    Medium medium;
    medium.name =
        "noise " + std::to_string(rate) + " Hz " + std::to_string(bits) + "-bit " + std::to_string(channels) + " ch";
    medium.format = Pcm(channels, rate, bits);
    medium.pcm.resize(size_t(MsToBytes(medium.format, ms)) / medium.format.nBlockAlign * medium.format.nBlockAlign);
    uint32_t state = rate * 31u + bits * 7u + channels;
    for (char &byte : medium.pcm) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<char>(state >> 24);
    }
    medium.image = WaveImage(medium.format, medium.pcm);
    medium.durationMs = ms;
    medium.exact = true;
    return medium;
}

BrivaneWaveFormat Pcm(uint16_t channels, uint32_t rate, uint16_t bits) {
    const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
    return {1, channels, rate, rate * align, align, bits, 0};
}

std::vector<char> WaveImage(const BrivaneWaveFormat &format, const std::vector<char> &pcm, uint32_t claimed) {
    std::vector<char> out = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
    // A 16-byte chunk: the packed record without its cbSize.
    Put(out, uint32_t(16));
    Put(out, format, 16);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    Put(out, claimed == UINT32_MAX ? uint32_t(pcm.size()) : claimed);
    out.insert(out.end(), pcm.begin(), pcm.end());
    const uint32_t riff = static_cast<uint32_t>(out.size() - 8);
    std::memcpy(out.data() + 4, &riff, 4);
    return out;
}

bool Rewrite(const std::string &path, const std::vector<char> &bytes) {
    std::remove(path.c_str());
    return bool(std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size())));
}

std::string WriteTemp(const std::string &name, const std::vector<char> &bytes) {
    const std::string path = ::testing::TempDir() + name;
    Rewrite(path, bytes);
    return path;
}

std::string MediaDirectory() { return MediumNamed("folder").path; }

uint32_t MsToBytes(const BrivaneWaveFormat &format, uint32_t ms) {
    const uint32_t avg = format.nAvgBytesPerSec;
    return ms ? ((ms % 1000) * avg + 500) / 1000 + (ms / 1000) * avg : 0;
}

const char *DiskAudioFile(const char *variable) {
    const char *driver = std::getenv("SDL_AUDIODRIVER");
    return driver && std::strcmp(driver, "disk") == 0 ? std::getenv(variable) : nullptr;
}

// In one read: byte by byte, the media took seconds under ThreadSanitizer in every process.
std::vector<char> ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::vector<char> bytes(in ? size_t(in.tellg()) : 0);
    in.seekg(0);
    in.read(bytes.data(), std::streamsize(bytes.size()));
    return bytes;
}
