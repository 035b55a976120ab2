// A real writer into the writer sink: each stream marked around its bytes, WriteChunk stamping the running time.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "ConvertSupport.h"
#include "files/WmaEncoder.h"
#include "files/WriterSink.h"

using namespace convert_test;

namespace {

// One letter per callback: B begin, S a stream's first header follows, H header bytes, D data bytes, E end.
void WINAPI Record(DWORD_PTR user, DWORD code, const BYTE *, LONG, BOOL isHeader) {
    const char letter = code == WRITER_SINK_DATA ? (isHeader ? 'H' : 'D') : "?B?S?E"[code < 6 ? code : 0];
    *reinterpret_cast<std::string *>(user) += letter;
}

TEST(WriterSink, MarksEachStreamAroundItsBytesWhileWriteChunkStampsTheRunningTime) {
    IWMWriter *writer = nullptr;
    IWMWriterAdvanced *advanced = nullptr;
    IWMProfile *profile = nullptr;
    ASSERT_EQ(WMCreateWriter(nullptr, &writer), S_OK);
    ASSERT_EQ(writer->QueryInterface(IID_IWMWriterAdvanced, reinterpret_cast<void **>(&advanced)), S_OK);
    ASSERT_EQ(LoadProfile(SpeechProfile().c_str(), &profile), S_OK);
    ASSERT_EQ(writer->SetProfile(profile), S_OK);
    std::string letters;
    CWriterSink *sink = new CWriterSink;
    sink->SetCallback(&Record, reinterpret_cast<DWORD_PTR>(&letters));
    ASSERT_EQ(advanced->AddSink(sink), S_OK);

    const Bytes pcm(64000);
    const WAVEFORMATEX format = PcmFormat(1, 16000, 16);
    DWORD runningMs = 500;
    // A sample the writer refuses leaves the running time alone.
    EXPECT_EQ(WriteChunk(writer, pcm.data(), 32000, &format, &runningMs), NS_E_INVALID_REQUEST);
    EXPECT_EQ(runningMs, 500u);

    const struct Step {
        DWORD bytes, startMs, endMs;
    } steps[] = {
        {32000, 0, 1000},        {16000, 1000, 1500}, {16, 1500, 1501},  // half a millisecond rounds up
        {14, 1501, 1501},                                                // less adds nothing
        {15970, 429500, 429999},                                         // the 100-ns time outgrows 32 bits
    };
    // The second stream is marked as anew.
    for (int stream = 0; stream < 2; ++stream) {
        sink->NotifyBegin(WRITER_SINK_BEGIN);
        ASSERT_EQ(writer->BeginWriting(), S_OK);
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
        EXPECT_TRUE(std::regex_match(letters, std::regex("BSH+D+E"))) << letters;
        letters.clear();
    }

    // The data units it lends hold exactly the size asked, and it is no file sink.
    INSSBuffer *unit = nullptr;
    ASSERT_EQ(sink->AllocateDataUnit(3200, &unit), S_OK);
    DWORD capacity = 0;
    unit->GetMaxLength(&capacity);
    EXPECT_EQ(capacity, 3200u);
    EXPECT_EQ(unit->Release(), 0u);
    void *object = sink;
    EXPECT_EQ(sink->QueryInterface(IID_IWMWriterFileSink, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    advanced->RemoveSink(sink);
    EXPECT_EQ(sink->Release(), 0u);
    profile->Release();
    advanced->Release();
    writer->Release();
}

}  // namespace
