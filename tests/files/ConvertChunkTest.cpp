// WriteChunk into a real writer: the running time advances by a chunk's rounded duration only when the writer took it.
#include <gtest/gtest.h>

#include "ConvertSupport.h"
#include "files/WmaEncoder.h"
#include "files/WriterSink.h"

using namespace convert_test;

namespace {

TEST(WriteChunk, StampsChunksWithTheRunningTime) {
    IWMWriter *writer = nullptr;
    IWMWriterAdvanced *advanced = nullptr;
    IWMProfile *profile = nullptr;
    ASSERT_EQ(WMCreateWriter(nullptr, &writer), S_OK);
    ASSERT_EQ(writer->QueryInterface(IID_IWMWriterAdvanced, reinterpret_cast<void **>(&advanced)), S_OK);
    ASSERT_EQ(LoadProfile(SpeechProfile().c_str(), &profile), S_OK);
    ASSERT_EQ(writer->SetProfile(profile), S_OK);
    CWriterSink *sink = new CWriterSink;
    sink->SetCallback(&IgnoreStream, 0);
    ASSERT_EQ(advanced->AddSink(sink), S_OK);

    const Bytes pcm = Pcm(Tone(16000, 2.0, 1000, 0.5), 16);
    const WAVEFORMATEX format = PcmFormat(1, 16000, 16);
    DWORD runningMs = 500;
    // A sample the writer refuses leaves the running time alone.
    EXPECT_EQ(WriteChunk(writer, pcm.data(), 32000, &format, &runningMs), NS_E_INVALID_REQUEST);
    EXPECT_EQ(runningMs, 500u);

    sink->NotifyBegin(WRITER_SINK_BEGIN);
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    const struct Step {
        DWORD bytes;
        DWORD startMs;
        DWORD endMs;
    } steps[] = {
        {32000, 0, 1000},        {16000, 1000, 1500}, {16, 1500, 1501},  // half a millisecond rounds up
        {14, 1501, 1501},                                                // less adds nothing
        {15970, 429500, 429999},                                         // the 100-ns time outgrows 32 bits
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

    advanced->RemoveSink(sink);
    sink->Release();
    profile->Release();
    advanced->Release();
    writer->Release();
}

}  // namespace
