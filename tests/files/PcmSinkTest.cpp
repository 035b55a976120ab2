// The PCM sink: which bytes of a window reach the callback, and a callback that faults.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "WaveTestSupport.h"
#include "files/PcmSink.h"

namespace {

// Byte rate and block align are deliberately wrong: the sink computes its own.
WAVEFORMATEX Format(WORD tag, WORD channels, DWORD rate, WORD bits, WORD extra = 0) {
    WAVEFORMATEX format = PcmFormat(channels, rate, bits, tag, extra);
    format.nAvgBytesPerSec = format.nBlockAlign = 1;
    return format;
}

std::vector<BYTE> Ramp(size_t count) {
    std::vector<BYTE> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = BYTE(i * 7 + i / 251);
    return bytes;
}

struct Delivery {
    uint32_t code;
    std::vector<BYTE> data;
};

void BRIVANE_CALL Record(uint32_t reserved, BRIVANE_USER user, uint32_t code, const void *data, uint32_t length) {
    EXPECT_EQ(0u, reserved);
    const BYTE *bytes = static_cast<const BYTE *>(data);
    reinterpret_cast<std::vector<Delivery> *>(user)->push_back({code, std::vector<BYTE>(bytes, bytes + length)});
}

void BRIVANE_CALL Throwing(uint32_t, BRIVANE_USER user, uint32_t, const void *, uint32_t) {
    ++*reinterpret_cast<int *>(user);
    throw 1;
}

TEST(PcmSink, WindowDeliversExactlyTheBytesBetweenItsBoundsAndAFaultingCallbackIsNotCalledAgain) {
    const DWORD none = CPcmSink::kNoWindow;
    struct Case {
        const char *what;
        WAVEFORMATEX format;
        LONG startMs, endMs;
        DWORD startByte, endByte;
        bool rejected;
    };
    const Case cases[] = {
        {"mono 16-bit 8000 Hz, 1000..2000 ms", Format(1, 1, 8000, 16), 1000, 2000, 16000, 32000, false},
        // 529.2 bytes are 265 samples of 2 bytes: not a whole stereo frame.
        {"stereo bounds are whole samples", Format(1, 2, 44100, 16), 3, 5, 530, 882, false},
        {"24-bit bounds round to 3-byte samples", Format(1, 2, 48000, 24), 7, 9, 2016, 2592, false},
        {"a negative start means no window", Format(1, 1, 8000, 16), -1, 2000, none, none, false},
        {"an end before the start is rejected", Format(1, 1, 8000, 16), 2000, 1000, none, none, true},
        {"no whole byte per sample is rejected", Format(1, 1, 8000, 4), 1000, 2000, none, none, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<Delivery> got;
        CPcmSink sink;
        sink.SetTarget(c.startMs, c.endMs, &Record, reinterpret_cast<BRIVANE_USER>(&got));
        sink.SetFormat(c.format);
        ASSERT_EQ(c.rejected ? 2u : 1u, got.size());
        EXPECT_EQ(uint32_t(BRIVANE_PCM_FORMAT), got[0].code);
        ASSERT_EQ(18u, got[0].data.size());
        EXPECT_EQ(c.format.cbSize, WORD(got[0].data[16] | got[0].data[17] << 8)) << "the extra size is passed on";
        EXPECT_EQ(uint32_t(c.rejected ? BRIVANE_PCM_WINDOW_REJECTED : BRIVANE_PCM_FORMAT), got.back().code);

        // Uneven runs, with refused writes between them that must not move the position.
        const std::vector<BYTE> stream = Ramp(50000);
        size_t offset = 0;
        for (size_t run : {10000, 1, 9999, 7, 12000, 17993}) {
            EXPECT_EQ(-1, sink.WriteData(stream.data() + offset, 0));
            EXPECT_EQ(0, sink.WriteData(stream.data() + offset, LONG(run)));
            offset += run;
            EXPECT_EQ(c.endByte != none && offset >= c.endByte, sink.IsComplete());
        }
        EXPECT_TRUE(sink.Finish(true));
        std::vector<BYTE> delivered;
        for (const Delivery &d : got)
            if (d.code == BRIVANE_PCM_DATA) delivered.insert(delivered.end(), d.data.begin(), d.data.end());
        const size_t from = c.startByte == none ? 0 : c.startByte, to = c.endByte == none ? stream.size() : c.endByte;
        EXPECT_EQ(std::vector<BYTE>(stream.begin() + long(from), stream.begin() + long(to)), delivered);
    }
    // A callback that faults is not called again.
    int calls = 0;
    CPcmSink sink;
    sink.SetTarget(0, 0, &Throwing, reinterpret_cast<BRIVANE_USER>(&calls));
    sink.SetFormat(Format(1, 1, 8000, 16));
    EXPECT_EQ(0, sink.WriteData(Ramp(4).data(), 4));
    EXPECT_TRUE(sink.Finish(true));
    EXPECT_EQ(1, calls);
}

}  // namespace
