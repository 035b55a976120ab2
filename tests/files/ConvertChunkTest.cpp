// WriteChunk into a real writer whose output a writer sink collects: each chunk is one sample
// stamped with the running time, which advances by the chunk's rounded duration only when the
// writer took it; the sink marks the stream's start and end around bytes that play.
#include <gtest/gtest.h>

#include "ConvertSupport.h"
#include "files/WmaEncoder.h"
#include "files/WriterSink.h"

using namespace convert_test;

namespace {

struct Collected {
    std::vector<DWORD> codes;
    std::vector<BOOL> headerFlags;
    Bytes joined;  // header and data bytes in order, as a host would store them
};

void WINAPI Collect(DWORD_PTR user, DWORD code, const BYTE *data, LONG length, BOOL isHeader) {
    Collected *out = reinterpret_cast<Collected *>(user);
    out->codes.push_back(code);
    out->headerFlags.push_back(isHeader);
    if (data) out->joined.insert(out->joined.end(), data, data + length);
}

TEST(WriteChunk, StampsChunksWithTheRunningTimeAndTheSinkCarriesTheStream) {
    IWMWriter *writer = nullptr;
    IWMWriterAdvanced *advanced = nullptr;
    IWMProfile *profile = nullptr;
    ASSERT_EQ(WMCreateWriter(nullptr, &writer), S_OK);
    ASSERT_EQ(writer->QueryInterface(IID_IWMWriterAdvanced, reinterpret_cast<void **>(&advanced)), S_OK);
    ASSERT_EQ(LoadProfile(SpeechProfile().c_str(), &profile), S_OK);
    ASSERT_EQ(writer->SetProfile(profile), S_OK);
    Collected collected;
    CWriterSink *sink = new CWriterSink;
    sink->SetCallback(&Collect, reinterpret_cast<DWORD_PTR>(&collected));
    ASSERT_EQ(advanced->AddSink(sink), S_OK);

    const Bytes pcm = Pcm(Tone(16000, 2.0, 1000, 0.5), 16);
    const WAVEFORMATEX format{WAVE_FORMAT_PCM, 1, 16000, 32000, 2, 16, 0};
    WAVEFORMATEX noRate = format;
    noRate.nAvgBytesPerSec = 0;
    DWORD runningMs = 500;
    // Refusals leave the running time alone: no writer, no byte rate, a writer not yet writing.
    EXPECT_EQ(WriteChunk(nullptr, pcm.data(), 32000, &format, &runningMs), E_INVALIDARG);
    EXPECT_EQ(WriteChunk(writer, pcm.data(), 32000, &noRate, &runningMs), E_INVALIDARG);
    EXPECT_EQ(WriteChunk(writer, pcm.data(), 32000, &format, &runningMs), NS_E_INVALID_REQUEST);
    EXPECT_EQ(runningMs, 500u);

    sink->NotifyBegin(WRITER_SINK_BEGIN);
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    const struct Step {
        DWORD bytes;
        DWORD startMs;
        DWORD endMs;
    } steps[] = {
        {32000, 0, 1000}, {16000, 1000, 1500}, {16, 1500, 1501},  // half a millisecond rounds up
        {14, 1501, 1501},                                        // less adds nothing
        {15970, 429500, 429999},                                 // the 100-ns time outgrows 32 bits
    };
    size_t offset = 0;
    for (const Step &step : steps) {
        SCOPED_TRACE(step.startMs);
        runningMs = step.startMs;
        ASSERT_EQ(WriteChunk(writer, pcm.data() + offset, step.bytes, &format, &runningMs), S_OK);
        offset += step.bytes;
        EXPECT_EQ(runningMs, step.endMs);
        QWORD writerTime = 0;
        advanced->GetWriterTime(&writerTime);
        EXPECT_EQ(writerTime, QWORD(step.startMs) * 10000);
    }
    ASSERT_EQ(writer->EndWriting(), S_OK);

    ASSERT_GE(collected.codes.size(), 5u);
    EXPECT_EQ(collected.codes[0], DWORD(WRITER_SINK_BEGIN));
    EXPECT_EQ(collected.codes[1], DWORD(WRITER_SINK_HEADER_FIRST));
    EXPECT_EQ(collected.codes[2], DWORD(WRITER_SINK_DATA));
    EXPECT_TRUE(collected.headerFlags[2]);
    EXPECT_FALSE(collected.headerFlags[collected.codes.size() - 2]);
    EXPECT_EQ(collected.codes.back(), DWORD(WRITER_SINK_END));
    ScratchDir dir;
    WriteBytes(dir.Path("joined.wma"), collected.joined);
    EXPECT_NEAR(double(DecodeWithFfmpeg(dir.Path("joined.wma"), 16000).size()), offset / 2.0, 512);  // one WMA frame at 16 kHz
    advanced->RemoveSink(sink);
    sink->Release();
    profile->Release();
    advanced->Release();
    writer->Release();
}

}  // namespace
