// Decoding a 10-minute 44.1 kHz stereo WMA (128 kbit/s): the media reader on a user clock, driven a
// second at a time as the library's decoder drives it, against a bare libavformat + libavcodec loop
// that decodes the same file and keeps nothing. The reader's figure includes its conversion to
// 16-bit PCM, its buffers, its thread and its callbacks. Both are timed in CPU time of the whole
// process, which other load on the machine does not disturb; the ratio is reported as "x bare".
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "platform/platform.h"

namespace {

const QWORD kSecond = 10000000;

// Made once with the ffmpeg program: pink noise on one channel, a tone on the other.
const std::string &Medium() {
    static const std::string path = [] {
        const std::string made = READER_BENCH_MEDIUM;
        if (access(made.c_str(), R_OK) == 0) return made;
        const std::string part = made + ".part.wma";
        const std::string command =
            "ffmpeg -nostdin -v error -y -f lavfi -i anoisesrc=color=pink:sample_rate=44100:duration=600:amplitude=0.25"
            " -f lavfi -i sine=frequency=330:sample_rate=44100:duration=600 -filter_complex amerge=inputs=2"
            " -c:a wmav2 -b:a 128k '" +
            part + "'";
        return std::system(command.c_str()) == 0 && std::rename(part.c_str(), made.c_str()) == 0 ? made : std::string();
    }();
    return path;
}

double ProcessSeconds() {
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Returns the frames decoded, or -1.
int64_t DecodeBare(const char *path) {
    AVFormatContext *format = nullptr;
    if (avformat_open_input(&format, path, nullptr, nullptr) < 0) return -1;
    avformat_find_stream_info(format, nullptr);
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    const AVCodec *codec = index >= 0 ? avcodec_find_decoder(format->streams[index]->codecpar->codec_id) : nullptr;
    AVCodecContext *context = codec ? avcodec_alloc_context3(codec) : nullptr;
    int64_t frames = -1;
    if (context && avcodec_parameters_to_context(context, format->streams[index]->codecpar) >= 0 &&
        avcodec_open2(context, codec, nullptr) >= 0) {
        frames = 0;
        AVPacket *packet = av_packet_alloc();
        AVFrame *frame = av_frame_alloc();
        bool more = true;
        while (more) {
            more = av_read_frame(format, packet) >= 0;
            if (more && packet->stream_index != index) {
                av_packet_unref(packet);
                continue;
            }
            avcodec_send_packet(context, more ? packet : nullptr);
            av_packet_unref(packet);
            while (avcodec_receive_frame(context, frame) >= 0) frames += frame->nb_samples;
        }
        av_frame_free(&frame);
        av_packet_free(&packet);
    }
    avcodec_free_context(&context);
    avformat_close_input(&format);
    return frames;
}

// Counts the PCM and moves the host's clock on a second each time the reader catches up.
class CDecodeCallback : private CComObject<IWMReaderCallback, IWMReaderCallbackAdvanced> {
public:
    CDecodeCallback() : m_done(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
    ~CDecodeCallback() override { CloseHandle(m_done); }
    IWMReaderCallback *Callback() { return this; }
    void Drive(IWMReaderAdvanced *advanced) { m_advanced = advanced; }
    bool Wait() { return WaitForSingleObject(m_done, 60000) == WAIT_OBJECT_0 && SUCCEEDED(m_result); }
    uint64_t Bytes() const { return m_bytes; }

private:
    void *FindInterface(REFIID riid) override {
        if (riid == IID_IWMReaderCallbackAdvanced) return static_cast<IWMReaderCallbackAdvanced *>(this);
        if (riid == IID_IUnknown || riid == IID_IWMReaderCallback) return static_cast<IWMReaderCallback *>(this);
        return nullptr;
    }
    // Lives on the benchmark's stack: the last Release destroys nothing.
    void OnFinalRelease() override {}
    HRESULT STDMETHODCALLTYPE OnStatus(WMT_STATUS status, HRESULT hr, WMT_ATTR_DATATYPE, BYTE *, void *) override {
        m_result = hr;
        if (status == WMT_STARTED) m_advanced->DeliverTime(m_time = kSecond);
        if (status == WMT_EOF) m_ended = true;
        if (status == WMT_OPENED || status == WMT_EOF || status == WMT_CLOSED || FAILED(hr)) SetEvent(m_done);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnSample(DWORD, QWORD, QWORD, DWORD, INSSBuffer *sample, void *) override {
        DWORD length = 0;
        sample->GetLength(&length);
        m_bytes += length;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnStreamSample(WORD, QWORD, QWORD, DWORD, INSSBuffer *, void *) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE OnTime(QWORD, void *) override {
        if (!m_ended) m_advanced->DeliverTime(m_time += kSecond);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnStreamSelection(WORD, WORD *, WMT_STREAM_SELECTION *, void *) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnOutputPropsChanged(DWORD, WM_MEDIA_TYPE *, void *) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE AllocateForStream(WORD, DWORD, INSSBuffer **, void *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AllocateForOutput(DWORD, DWORD, INSSBuffer **, void *) override { return E_NOTIMPL; }

    HANDLE m_done;
    IWMReaderAdvanced *m_advanced = nullptr;
    HRESULT m_result = S_OK;
    QWORD m_time = 0;
    bool m_ended = false;
    uint64_t m_bytes = 0;
};

// Returns the bytes of PCM delivered, or 0.
uint64_t DecodeWithReader(const WCHAR *path) {
    IWMReader *reader = nullptr;
    IWMReaderAdvanced *advanced = nullptr;
    if (FAILED(WMCreateReader(nullptr, 0, &reader))) return 0;
    reader->QueryInterface(IID_IWMReaderAdvanced, reinterpret_cast<void **>(&advanced));
    CDecodeCallback callback;
    callback.Drive(advanced);
    uint64_t bytes = 0;
    if (SUCCEEDED(reader->Open(path, callback.Callback(), nullptr)) && callback.Wait() &&
        SUCCEEDED(advanced->SetUserProvidedClock(TRUE)) && SUCCEEDED(reader->Start(0, 0, 1.0f, nullptr)) &&
        callback.Wait())
        bytes = callback.Bytes();
    reader->Close();
    advanced->Release();
    reader->Release();
    return bytes;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Each iteration decodes the file both ways, one right after the other, so that whatever else the
// machine does weighs on both alike; the iteration's time is the reader's.
void ReaderAgainstBareLoop(benchmark::State &state) {
    if (Medium().empty()) return state.SkipWithError("the ffmpeg program could not make the medium");
    std::vector<WCHAR> path(Medium().size() + 1);
    MultiByteToWideChar(CP_UTF8, 0, Medium().c_str(), -1, path.data(), int(path.size()));
    std::vector<double> bare, reader, ratios;
    int64_t frames = 0;
    uint64_t bytes = 0;
    for (auto _ : state) {
        double begin = ProcessSeconds();
        frames = DecodeBare(Medium().c_str());
        bare.push_back(ProcessSeconds() - begin);
        begin = ProcessSeconds();
        bytes = DecodeWithReader(path.data());
        reader.push_back(ProcessSeconds() - begin);
        ratios.push_back(reader.back() / bare.back());
        state.SetIterationTime(reader.back());
    }
    if (bytes == 0 || frames <= 0 || bytes != uint64_t(frames) * 4)
        return state.SkipWithError("the two decodes differ in length");
    state.counters["audio s"] = double(frames) / 44100;
    state.counters["bare ms"] = Median(bare) * 1000;
    state.counters["reader ms"] = Median(reader) * 1000;
    state.counters["x bare"] = Median(ratios);
}

BENCHMARK(ReaderAgainstBareLoop)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2);

}  // namespace

BENCHMARK_MAIN();
