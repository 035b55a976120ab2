// Loading speech recordings for conversion: shapes refused with what the user is told, bad data chunks, 8-bit widening.
#include <gtest/gtest.h>

#include <cstring>

#include "ConvertSupport.h"
#include "files/SpeechWave.h"

using namespace convert_test;

namespace {

const char kShapeMessage[] = "Speech Data should be from single channel, sample rate in [8K, 48K]";

TEST(SpeechWave, AcceptsMonoPcmOf8Or16BitsFrom8To48kHzAndTellsTheUserWhyNot) {
    const WAVEFORMATEX mono16 = PcmFormat(1, 16000, 16);
    WAVEFORMATEX noByteRate = mono16;
    noByteRate.nAvgBytesPerSec = 0;
    const struct Case {
        const char *what;
        Bytes file;
        DWORD count;                      // 0: refused
        const char *message;              // what the user is told, or null for silence
        std::vector<SHORT> samples = {};  // the first ones loaded, when given
    } cases[] = {
        {"16-bit 16 kHz", MakeWav(mono16, Bytes(80000, 1)), 40000, nullptr},
        {"8-bit widened",
         MakeWav(PcmFormat(1, 11025, 8), Bytes{0, 1, 127, 128, 129, 255}),
         6,
         nullptr,
         {-32768, -32512, -256, 0, 256, 32512}},
        {"18-byte fmt", MakeWav(mono16, Bytes(100, 1), 18), 50, nullptr},
        {"odd 16-bit data keeps whole samples", MakeWav(mono16, Bytes(5, 1)), 2, nullptr},
        {"huge declared data", MakeWav(mono16, Bytes(8, 1), 16, 0xFFFFFFF0), 4, nullptr},
        {"below 8 kHz", MakeWav(PcmFormat(1, 7999, 16), Bytes(100, 1)), 0, kShapeMessage},
        {"above 48 kHz", MakeWav(PcmFormat(1, 48001, 16), Bytes(100, 1)), 0, kShapeMessage},
        {"stereo", MakeWav(PcmFormat(2, 44100, 16), Bytes(100, 1)), 0, kShapeMessage},
        {"24-bit", MakeWav(PcmFormat(1, 16000, 24), Bytes(99, 1)), 0,
         "Speech Data Format incompatible: tag=1[Std=1], Bits=24[Std=8 or 16]"},
        {"float", MakeWav(PcmFormat(1, 16000, 32, 3), Bytes(100, 1)), 0,
         "Speech Data Format incompatible: tag=3[Std=1], Bits=32[Std=8 or 16]"},
        {"byte rate 0", MakeWav(noByteRate, Bytes(100, 1)), 0, nullptr},
        {"fmt shorter than 16 bytes", MakeWav(mono16, Bytes(100, 1), 14), 0, nullptr},
        {"one byte of 16-bit data", MakeWav(mono16, Bytes(1, 1)), 0, nullptr},
        {"no data chunk", Riff({FmtChunk(mono16)}), 0, nullptr},
        {"no fmt chunk", Riff({Chunk("data", Bytes{1, 2})}), 0, nullptr},
        {"not RIFF", Bytes{'h', 'e', 'l', 'l', 'o'}, 0, nullptr},
    };
    ScratchDir dir;
    const std::string path = dir.Path("in.wav");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        WriteBytes(path, c.file);
        DWORD count = 7;
        WAVEFORMATEX format = {};
        testing::internal::CaptureStderr();
        SHORT *samples = LoadSpeechWave(path.c_str(), &count, &format);
        const std::string told = testing::internal::GetCapturedStderr();
        EXPECT_EQ(count, c.count);
        EXPECT_EQ(samples != nullptr, c.count != 0);
        EXPECT_EQ(told.find("Speech Data") != std::string::npos, c.message != nullptr) << told;
        if (c.message) {
            EXPECT_NE(told.find(c.message), std::string::npos) << told;
        }
        if (samples) {
            // The file's own record.
            EXPECT_EQ(std::memcmp(&format, c.file.data() + 20, 16), 0);
            EXPECT_EQ(std::vector<SHORT>(samples, samples + c.samples.size()), c.samples);
            HeapFree(GetProcessHeap(), 0, samples);
        }
    }
}

}  // namespace
