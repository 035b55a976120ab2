// Encoding 10 minutes of 44.1 kHz stereo PCM to the music profile: our writer and file sink, fed
// one second per sample read straight from a WAV file, against the ffmpeg program making the same
// file from the same WAV file (the whole process, start to exit). Wall time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

const std::string kWork = BENCH_WORK_DIR;
const std::string kInput = kWork + "/writer-bench-input.wav";
const int kSeconds = 600;
const DWORD kRate = 44100, kChannels = 2, kBitrate = 128016;

std::string ReadFile(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::u16string Utf16(const std::string &text) { return std::u16string(text.begin(), text.end()); }

// Pink noise with a tone over it, stereo: music-like material for the encoder, made once.
bool MakeInput() {
    if (std::ifstream(kInput).good()) return true;
    const std::string command =
        "ffmpeg -v error -y -f lavfi -i \"anoisesrc=c=pink:r=44100:a=0.2:d=" + std::to_string(kSeconds) +
        "\" -f lavfi -i \"sine=f=330:r=44100:d=" + std::to_string(kSeconds) +
        "\" -filter_complex amix=inputs=2 -ac 2 -c:a pcm_s16le \"" + kInput + "\"";
    return std::system(command.c_str()) == 0;
}

// Leaves the file at the start of its data chunk and gives the chunk's size; 0 when there is none.
size_t FindData(FILE *wav) {
    char id[4];
    uint32_t size = 0;
    if (std::fseek(wav, 12, SEEK_SET) != 0) return 0;
    while (std::fread(id, 1, 4, wav) == 4 && std::fread(&size, 4, 1, wav) == 1) {
        if (std::memcmp(id, "data", 4) == 0) return size;
        if (std::fseek(wav, long(size + (size & 1)), SEEK_CUR) != 0) return 0;
    }
    return 0;
}

// Our writer: profile from XML text, file sink, non-blocking, one-second samples, as conversions run it.
bool EncodeWithWriter(const std::string &profileText, const std::string &output) {
    FILE *wav = std::fopen(kInput.c_str(), "rb");
    const size_t pcm = wav ? FindData(wav) : 0;
    IWMProfileManager *manager = nullptr;
    IWMProfile *profile = nullptr;
    IWMWriter *writer = nullptr;
    IWMWriterAdvanced3 *advanced = nullptr;
    IWMWriterFileSink *sink = nullptr;
    IWMWriterFileSink2 *fileSink = nullptr;
    bool done = pcm > 0 && WMCreateProfileManager(&manager) == S_OK &&
                manager->LoadProfileByData(Utf16(profileText).c_str(), &profile) == S_OK &&
                WMCreateWriter(nullptr, &writer) == S_OK && WMCreateWriterFileSink(&sink) == S_OK &&
                sink->QueryInterface(IID_IWMWriterFileSink2, reinterpret_cast<void **>(&fileSink)) == S_OK &&
                writer->QueryInterface(IID_IWMWriterAdvanced3, reinterpret_cast<void **>(&advanced)) == S_OK &&
                advanced->AddSink(fileSink) == S_OK && writer->SetProfile(profile) == S_OK &&
                fileSink->Open(Utf16(output).c_str()) == S_OK && advanced->SetNonBlocking() == S_OK &&
                writer->BeginWriting() == S_OK;
    const DWORD second = kRate * kChannels * 2;
    for (size_t offset = 0; done && offset < pcm; offset += second) {
        const DWORD chunk = DWORD(std::min<size_t>(second, pcm - offset));
        INSSBuffer *sample = nullptr;
        BYTE *data = nullptr;
        done = writer->AllocateSample(chunk, &sample) == S_OK;
        if (done) {
            sample->GetBuffer(&data);
            done = std::fread(data, 1, chunk, wav) == chunk && sample->SetLength(chunk) == S_OK;
            done = done && writer->WriteSample(0, QWORD(offset / second) * 10000000, 0, sample) == S_OK;
            sample->Release();
        }
    }
    done = done && writer->EndWriting() == S_OK && fileSink->Close() == S_OK;
    if (wav) std::fclose(wav);
    for (IUnknown *object : std::vector<IUnknown *>{advanced, fileSink, sink, writer, profile, manager})
        if (object) object->Release();
    return done;
}

bool EncodeWithFfmpeg(const std::string &output) {
    const std::string command =
        "ffmpeg -v error -y -i \"" + kInput + "\" -c:a wmav2 -b:a " + std::to_string(kBitrate) + " \"" + output + "\"";
    return std::system(command.c_str()) == 0;
}

double SecondsOf(bool (*encode)(const std::string &, const std::string &), const std::string &profile,
                 const std::string &output, bool &ok) {
    const auto start = std::chrono::steady_clock::now();
    ok = ok && encode(profile, output);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool Ffmpeg(const std::string &, const std::string &output) { return EncodeWithFfmpeg(output); }

// Each iteration runs both encodes, alternating which goes first, so both see the same machine.
void WriterAgainstFfmpeg(benchmark::State &state) {
    if (!MakeInput()) {
        state.SkipWithError("the ffmpeg program could not make the input");
        return;
    }
    const std::string profile = ReadFile(BRIVANE_PROFILE_DIR "/music-44k-stereo-128k.prx");
    double writer = 0, ffmpeg = 0;
    bool ok = true;
    long round = 0;
    for (auto _ : state) {
        const bool writerFirst = round++ % 2 == 0;
        if (!writerFirst) ffmpeg += SecondsOf(Ffmpeg, profile, kWork + "/writer-bench-ffmpeg.wma", ok);
        const double ours = SecondsOf(EncodeWithWriter, profile, kWork + "/writer-bench-writer.wma", ok);
        writer += ours;
        if (writerFirst) ffmpeg += SecondsOf(Ffmpeg, profile, kWork + "/writer-bench-ffmpeg.wma", ok);
        // The benchmark's own time is our writer's; the ffmpeg program's is a counter beside it.
        state.SetIterationTime(ours);
    }
    if (!ok) state.SkipWithError("an encode failed");
    const double iterations = double(state.iterations());
    state.counters["writer_s"] = writer / iterations;
    state.counters["ffmpeg_s"] = ffmpeg / iterations;
    state.counters["writer/ffmpeg"] = writer / ffmpeg;
    state.counters["x_realtime"] = kSeconds * iterations / writer;
}

BENCHMARK(WriterAgainstFfmpeg)->UseManualTime()->Iterations(3)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
