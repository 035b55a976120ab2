// Frames per second of speed change without pitch change: our engine, fed as the speed adaptor feeds
// it, against FFmpeg's atempo and rubberband filters driven in-process through libavfilter, on the
// same 16-bit input, on one thread.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
}

#include "stretch/StretchEngine.h"

namespace {

const uint32_t kBlockBytes = 4096;  // what the speed adaptor feeds per put
const uint32_t kBlocks = 360;       // about 8 s of 44100 Hz stereo, 46 s of 16000 Hz mono

// Speech-like material: a gliding voiced tone with harmonics, syllable-rate amplitude and some noise.
std::vector<int16_t> MakeInput(uint32_t rate, uint32_t channels) {
    std::vector<int16_t> values(kBlocks * kBlockBytes / 2);
    uint32_t noise = 1;
    double phase = 0;
    for (size_t i = 0; i < values.size() / channels; ++i) {
        const double t = static_cast<double>(i) / rate;
        phase += 2 * M_PI * (140 + 40 * std::sin(2 * M_PI * 0.7 * t)) / rate;
        const double envelope = 0.55 + 0.45 * std::sin(2 * M_PI * 4 * t);
        noise = noise * 1664525u + 1013904223u;
        const double voice = std::sin(phase) + 0.5 * std::sin(2 * phase) + 0.25 * std::sin(3 * phase);
        const double sample = 9000 * envelope * voice + static_cast<int32_t>(noise >> 20) - 2048;
        for (uint32_t c = 0; c < channels; ++c) values[i * channels + c] = static_cast<int16_t>(sample * (1 - 0.2 * c));
    }
    return values;
}

void Report(benchmark::State &state, uint32_t channels, double outputFrames) {
    const double inputFrames = static_cast<double>(state.iterations()) * kBlocks * kBlockBytes / (2 * channels);
    state.counters["frames/s"] = benchmark::Counter(inputFrames, benchmark::Counter::kIsRate);
    state.counters["out/in"] = outputFrames / inputFrames;
}

void Engine(benchmark::State &state, uint32_t rate, uint32_t channels, float tempo) {
    const std::vector<int16_t> input = MakeInput(rate, channels);
    StretchState *engine = nullptr;
    if (!StretchOpen(&engine, rate, channels, 16)) state.SkipWithError("engine open failed");
    StretchSetSpeed(engine, tempo);
    std::vector<int16_t> out(8192 / 2);
    const uint32_t blockFrames = kBlockBytes / (2 * channels);
    double produced = 0;
    for (auto _ : state) {
        for (uint32_t block = 0; block < kBlocks; ++block) {
            StretchPutSamples(engine, input.data() + block * kBlockBytes / 2, blockFrames);
            while (uint32_t got = StretchReceiveSamples(engine, out.data(), 8192 / (2 * channels))) produced += got;
        }
    }
    StretchClose(engine);
    Report(state, channels, produced);
}

// One filter between a 16-bit source and a sink, on a single thread.
struct FilterChain {
    AVFilterGraph *graph = nullptr;
    AVFilterContext *source = nullptr;
    AVFilterContext *sink = nullptr;

    bool Open(const std::string &filter, uint32_t rate, uint32_t channels) {
        graph = avfilter_graph_alloc();
        graph->nb_threads = 1;
        const std::string sourceArgs = "sample_rate=" + std::to_string(rate) +
                                       ":sample_fmt=s16:channel_layout=" + (channels == 2 ? "stereo" : "mono") +
                                       ":time_base=1/" + std::to_string(rate);
        AVFilterContext *stretch = nullptr;
        return avfilter_graph_create_filter(&source, avfilter_get_by_name("abuffer"), "in", sourceArgs.c_str(), nullptr,
                                            graph) >= 0 &&
               avfilter_graph_create_filter(&sink, avfilter_get_by_name("abuffersink"), "out", nullptr, nullptr,
                                            graph) >= 0 &&
               avfilter_graph_create_filter(&stretch, avfilter_get_by_name(filter.substr(0, filter.find('=')).c_str()),
                                            "stretch", filter.substr(filter.find('=') + 1).c_str(), nullptr,
                                            graph) >= 0 &&
               avfilter_link(source, 0, stretch, 0) >= 0 && avfilter_link(stretch, 0, sink, 0) >= 0 &&
               avfilter_graph_config(graph, nullptr) >= 0;
    }
    ~FilterChain() { avfilter_graph_free(&graph); }
};

void Filter(benchmark::State &state, const char *name, uint32_t rate, uint32_t channels, float tempo) {
    const std::vector<int16_t> input = MakeInput(rate, channels);
    FilterChain chain;
    char filter[64];
    std::snprintf(filter, sizeof filter, "%s=tempo=%g", name, tempo);
    if (!chain.Open(filter, rate, channels)) {
        state.SkipWithError("filter graph could not be built");
        return;
    }
    // The input is cut into frames once; pushing keeps our reference, so the loop only moves data.
    const int blockFrames = static_cast<int>(kBlockBytes / (2 * channels));
    std::vector<AVFrame *> blocks(kBlocks);
    for (uint32_t block = 0; block < kBlocks; ++block) {
        AVFrame *frame = blocks[block] = av_frame_alloc();
        frame->format = AV_SAMPLE_FMT_S16;
        frame->sample_rate = static_cast<int>(rate);
        av_channel_layout_default(&frame->ch_layout, static_cast<int>(channels));
        frame->nb_samples = blockFrames;
        if (av_frame_get_buffer(frame, 0) < 0) state.SkipWithError("no memory");
        std::memcpy(frame->data[0], input.data() + block * kBlockBytes / 2, kBlockBytes);
    }
    AVFrame *out = av_frame_alloc();
    int64_t pts = 0;
    double produced = 0;
    for (auto _ : state) {
        for (AVFrame *frame : blocks) {
            frame->pts = pts;
            pts += blockFrames;
            if (av_buffersrc_add_frame_flags(chain.source, frame, AV_BUFFERSRC_FLAG_KEEP_REF) < 0) {
                state.SkipWithError("the filter refused a frame");
                break;
            }
            while (av_buffersink_get_frame(chain.sink, out) >= 0) {
                produced += out->nb_samples;
                av_frame_unref(out);
            }
        }
    }
    for (AVFrame *frame : blocks) av_frame_free(&frame);
    av_frame_free(&out);
    Report(state, channels, produced);
}

void RegisterAll() {
    struct Format {
        uint32_t rate, channels;
    };
    for (const Format &format : {Format{44100, 2}, Format{16000, 1}}) {
        for (float tempo : {0.5f, 0.7f, 1.5f, 2.0f}) {
            const std::string suffix = "/" + std::to_string(format.rate) + "Hz" +
                                       (format.channels == 2 ? "stereo" : "mono") +
                                       "/tempo:" + std::to_string(tempo).substr(0, 3);
            benchmark::RegisterBenchmark(("brivane" + suffix).c_str(), Engine, format.rate, format.channels, tempo)
                ->Unit(benchmark::kMillisecond);
            for (const char *filter : {"atempo", "rubberband"}) {
                benchmark::RegisterBenchmark((filter + suffix).c_str(), Filter, filter, format.rate, format.channels,
                                             tempo)
                    ->Unit(benchmark::kMillisecond);
            }
        }
    }
}

}  // namespace

int main(int argc, char **argv) {
    RegisterAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
