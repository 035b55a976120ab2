// What the writer tests share: profile text from files, a tone, and the judges of the files they
// write: the ffmpeg programs. Windows API only; the reader tests' helpers reused.
#pragma once

#include <cstdio>

#include "reader_support.h"

#ifdef _WIN32
#define popen _popen
#define pclose _pclose
#endif

// Wine's Windows Media writer and profile manager are stubs: under Wine the writer tests end at
// their first call; elsewhere it succeeds.
#define ASSERT_OK_UNLESS_WINE_STUB(call)                                                             \
    do {                                                                                             \
        const HRESULT result = (call);                                                               \
        if (result == E_NOTIMPL && RunningUnderWine())                                               \
            GTEST_SKIP() << "Wine's Windows Media profile manager and writer are stubs (E_NOTIMPL)"; \
        ASSERT_EQ(result, S_OK);                                                                     \
    } while (0)

inline std::string ReadText(const std::string &path) {
    const std::vector<BYTE> bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// The text with the first `from` replaced; unchanged (and so still valid) when `from` is missing.
inline std::string Replace(std::string text, const std::string &from, const std::string &to) {
    const size_t at = text.find(from);
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// The profile in the XML text; S_OK and a profile, or the failure and none.
inline HRESULT LoadProfile(const WideString &text, IWMProfile **profile) {
    *profile = nullptr;
    IWMProfileManager *manager = nullptr;
    HRESULT hr = WMCreateProfileManager(&manager);
    if (FAILED(hr)) return hr;
    hr = manager->LoadProfileByData(text.c_str(), profile);
    manager->Release();
    return hr;
}

// A profile saved by the Windows tools, kept with the tests.
inline const std::string kRealWorldProfile = BRIVANE_TEST_DATA_DIR "/voice-22k-stereo-32k.prx";

// The writer with the profile of the text set; the failure when that does not work.
inline HRESULT SetProfileFrom(IWMWriter *writer, const std::string &text) {
    IWMProfile *profile = nullptr;
    HRESULT hr = LoadProfile(Wide(text), &profile);
    if (SUCCEEDED(hr)) {
        hr = writer->SetProfile(profile);
        profile->Release();
    }
    return hr;
}

inline std::string ProfilePath(const char *name) { return std::string(BRIVANE_PROFILE_DIR "/") + name; }

// A 440 Hz tone in the format (8 or 16 bits).
inline std::vector<BYTE> Tone(const WAVEFORMATEX &format, double seconds) {
    const size_t frames = size_t(seconds * format.nSamplesPerSec), width = format.wBitsPerSample / 8;
    std::vector<BYTE> bytes(frames * format.nBlockAlign);
    for (size_t i = 0; i < bytes.size() / width; ++i) {
        const double value =
            0.3 * std::sin(2 * 3.14159265358979 * 440 * double(i / format.nChannels) / format.nSamplesPerSec);
        const int sample = width == 1 ? 128 + int(value * 127) : int(value * 32767);
        for (size_t b = 0; b < width; ++b) bytes[i * width + b] = BYTE(sample >> (8 * b));
    }
    return bytes;
}

// Writes the PCM to the first input in samples of the given sizes (repeated), stamped with a
// running millisecond time.
inline HRESULT WritePcm(IWMWriter *writer, const std::vector<BYTE> &pcm, const WAVEFORMATEX &format,
                        const std::vector<DWORD> &chunkSizes) {
    HRESULT last = S_OK;
    QWORD ms = 0;
    for (size_t i = 0, offset = 0; offset < pcm.size(); ++i) {
        const DWORD chunk = DWORD(std::min<size_t>(chunkSizes[i % chunkSizes.size()], pcm.size() - offset));
        INSSBuffer *sample = nullptr;
        BYTE *data = nullptr;
        HRESULT hr = writer->AllocateSample(chunk, &sample);
        if (SUCCEEDED(hr)) {
            sample->GetBuffer(&data);
            std::memcpy(data, &pcm[offset], chunk);
            sample->SetLength(chunk);
            hr = writer->WriteSample(0, ms * 10000, 0, sample);
            sample->Release();
        }
        if (FAILED(hr)) last = hr;
        offset += chunk;
        ms += MulDiv(int(chunk), 1000, int(format.nAvgBytesPerSec));
    }
    return last;
}

// The props' media type with its format record passed through edit (to read or change it), set
// back on the props; the writer sees it only once the props are handed back.
template <class Edit>
HRESULT EditFormat(IWMMediaProps *props, Edit edit) {
    std::vector<ULONGLONG> storage;
    WM_MEDIA_TYPE *media = MediaTypeOf(props, storage);
    if (!media->pbFormat) return E_UNEXPECTED;
    edit(reinterpret_cast<WAVEFORMATEX *>(media->pbFormat));
    return props->SetMediaType(media);
}

// The standard output of a command line; empty when it cannot run.
inline std::string RunProgram(const std::string &command) {
    std::string output;
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe) return output;
    char buffer[4096];
    for (size_t got; (got = fread(buffer, 1, sizeof(buffer), pipe)) > 0;) output.append(buffer, got);
    pclose(pipe);
    return output;
}

// What ffprobe reports of the file: the entries asked for, comma-separated, a line for each section.
inline std::string Probe(const std::string &path, const std::string &entries) {
    return RunProgram("ffprobe -v error -show_entries " + entries + " -of csv=p=0 \"" + path + "\"");
}

// What ffmpeg decodes from the file, as 16-bit mono at the rate, from a start in seconds; *ok is
// false when it reports errors.
inline std::vector<int16_t> DecodedMono(const std::string &path, DWORD rate, int start = 0, bool *ok = nullptr) {
    const std::string raw = path + ".raw";
    const std::string errors = RunProgram("ffmpeg -v error -y -ss " + std::to_string(start) + " -i \"" + path +
                                          "\" -f s16le -ac 1 -ar " + std::to_string(rate) + " \"" + raw + "\" 2>&1");
    const std::vector<int16_t> samples = AsSamples(ReadBytes(raw));
    std::remove(raw.c_str());
    if (ok) *ok = errors.empty();
    return samples;
}

// Seconds of audio ffmpeg decodes from the file; -1 when it reports errors.
inline double DecodedSeconds(const std::string &path, DWORD rate, int start = 0) {
    bool ok = false;
    const size_t samples = DecodedMono(path, rate, start, &ok).size();
    return ok ? double(samples) / rate : -1;
}
